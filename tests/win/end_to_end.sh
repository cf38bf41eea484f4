#!/usr/bin/env bash
# The shipped traskel.exe as a user runs it, under wine on the tests' X
# display: its open dialog answered by typing into it or the file named on
# its command line, the run going into the registered simulated host, the
# chosen file remembered in the registry; once checking a file only; a
# slow run stopped in its progress window, then continued; and a run whose
# host does not answer, given up on. PROBE_EXE (window_probe.exe) reads the
# converter's windows as another program sees them.
#   WINEPREFIX=... DISPLAY=:N end_to_end.sh TRASKEL_EXE PROBE_EXE WORK_DIR [HOST_EXE]
# With HOST_EXE (quorvex_sim_host.exe, registered with /RegServer) the host
# runs out of process: started before each run that reaches it, as a user
# has the host open, and expected to end once the converter lets go.
#
# end_to_end.trace is what the embedded host of the Linux build traces for
# end_to_end.csv under a German locale, so both hosts are held to one trace.
# After a change to the converter, make it anew from the repository's top:
#   d=$(mktemp -d); cp tests/win/end_to_end.csv "$d/teil.csv"; rm tests/win/end_to_end.trace
#   (cd "$d" && echo teil.csv | LC_ALL=de_DE.UTF-8 TRASKEL_SETTINGS_DIR="$d" \
#     QUORVEX_SIM_TRACE="$OLDPWD/tests/win/end_to_end.trace" "$OLDPWD/build/traskel" >/dev/null)
set -euo pipefail
exe=$1
probe_exe=$2
work=$3
host_exe=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../tools/wine-run"
setting_key='HKLM\SOFTWARE\Zelvar\Kastovel\CSV'

source "$here/checks.sh"

# Waits for a shown window whose whole title is $1; prints its id. The
# converter's main window has the caption of its message boxes and is shown
# while one waits, for its taskbar button, but without area (wine maps it as
# a single pixel): the window meant is the one with area.
window_titled() {
  local id width
  for _ in $(seq 600); do
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
      width=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null | sed -n 's/^WIDTH=//p')
      if ((${width:-0} > 1)); then
        echo "$id"
        return
      fi
    done
    sleep 0.1
  done
}

# Clicks at x, y (arithmetic on WIDTH and HEIGHT) in the window titled $1
# and prints its id. Wine may replace a window's X window just after it is
# mapped, so a vanished one is looked for anew.
click_in() {
  local id geometry
  for _ in $(seq 20); do
    id=$(window_titled "$1") || true
    if [[ -n $id ]] && geometry=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null); then
      eval "$geometry"
      if xdotool mousemove --window "$id" $(($2)) $(($3)) click 1 2>/dev/null; then
        echo "$id"
        return
      fi
    fi
    sleep 0.2
  done
}

# Waits for a message box whose whole title is $1; prints its id. It is
# looked for once the converter waits in it. A progress window of the same
# title may still stand then, but it never has the keyboard and is older:
# the box is the focused window, or else the newest one.
box_titled() {
  local id focused width found
  wait_until_idle
  for _ in $(seq 600); do
    focused=$(xdotool getwindowfocus 2>/dev/null) || true
    found=
    for id in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
      width=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null | sed -n 's/^WIDTH=//p')
      if ((${width:-0} <= 1)); then continue; fi
      if [[ $id == "$focused" ]]; then
        found=$id
        break
      fi
      if [[ -z $found ]] || ((id > found)); then found=$id; fi
    done
    if [[ -n $found ]]; then
      echo "$found"
      return
    fi
    sleep 0.1
  done
}

check_remembered() {
  local want got
  want=$(windows_path "$1")
  got=$(registry_value "$setting_key" LastImportFile)
  check "the registry remembers $want" test "$got" = "$want"
  if [[ $got != "$want" ]]; then
    echo "  it holds: $got" >&2
    printf '%s' "$got" | od -c | head -n 5 >&2
  fi
}

# Starts the host program, if there is one, with its trace going to $1, the
# busy spell $2 (QUORVEX_SIM_BUSY) and the delay of each operation $3
# (QUORVEX_SIM_DELAY), if given, and waits until it serves: a converter
# started earlier would make COM start another one.
host_pid=
open_host() {
  if [[ -z $host_exe ]]; then return; fi
  local attempt host_status
  # Under load, wine now and then ends a program it has just started
  # before the program runs a line of its own: no output at all. Such a
  # start is tried again; a program that said anything is judged at once.
  for attempt in 1 2 3; do
    : >"$work/host.log"
    QUORVEX_SIM_TRACE=$(windows_path "$1") QUORVEX_SIM_BUSY=${2:-} QUORVEX_SIM_DELAY=${3:-} \
      "$wine_run" "$host_exe" >>"$work/host.log" 2>&1 &
    host_pid=$!
    for _ in $(seq 300); do
      if grep -q '^quorvex_sim_host: serving' "$work/host.log"; then return; fi
      if ! kill -0 "$host_pid" 2>/dev/null; then break; fi
      sleep 0.1
    done
    if kill -0 "$host_pid" 2>/dev/null || [[ -s $work/host.log ]]; then break; fi
    host_status=0
    wait "$host_pid" || host_status=$?
    echo "note: start $attempt of the host program ended at once, status $host_status, no output" >&2
  done
  echo "FAILED: the host program did not start serving; its output:" >&2
  cat "$work/host.log" >&2
  kill "$host_pid" 2>/dev/null || true
  exit 1
}

# The host program ends by itself once the converter has released its
# objects.
check_host_ended() {
  if [[ -z $host_exe ]]; then return; fi
  for _ in $(seq 100); do
    kill -0 "$host_pid" 2>/dev/null || break
    sleep 0.1
  done
  check "the host program ends once the converter lets go" bash -c "! kill -0 $host_pid 2>/dev/null"
  kill "$host_pid" 2>/dev/null || true
  wait "$host_pid" 2>/dev/null || true
}

# Starts the converter with its trace going to $1 and the arguments $2...;
# its dialog is then answered by `answer_dialog`, and `finish` collects the
# exit status. $sim_delay, if set, delays each operation of a host in the
# converter's process, and $sim_hang_at has it hang at that operation;
# $silence_s is the converter's QUORVEX_TIMEOUT_S.
pid=
start_converter() {
  local trace=$1
  shift
  QUORVEX_SIM_TRACE=$(windows_path "$trace") QUORVEX_SIM_DELAY=${sim_delay:-} \
    QUORVEX_SIM_HANG_AT=${sim_hang_at:-} QUORVEX_TIMEOUT_S=${silence_s:-} LC_ALL=de_DE.UTF-8 \
    "$wine_run" "$exe" "$@" >>"$work/wine.log" 2>&1 &
  pid=$!
}

# The converter's processor time so far, in clock ticks.
cpu_ticks() {
  awk '{ print $14 + $15 }' "/proc/$pid/stat" 2>/dev/null || echo gone
}

# A window is on screen before its dialog has set its focus and filled its
# lists; keys pressed meanwhile go astray, more often on a loaded machine.
# So keys wait until the converter has used no processor time for 0.6 s.
wait_until_idle() {
  local last now quiet=0
  last=$(cpu_ticks)
  for _ in $(seq 150); do
    sleep 0.2
    now=$(cpu_ticks)
    if [[ $now == "$last" ]]; then quiet=$((quiet + 1)); else quiet=0; fi
    if ((quiet >= 3)); then return; fi
    last=$now
  done
}

# Gives the window $1 the keyboard and presses the keys $2...
press_in() {
  local window=$1
  shift
  wait_until_idle
  # windowfocus works without a window manager; windowactivate does not.
  # A window gone meanwhile gets no keys.
  xdotool windowfocus "$window" 2>/dev/null || return 1
  sleep 0.3
  "$@"
}

# Types $1 into the open dialog, then presses $2 (Return by default).
answer_dialog() {
  local dialog
  dialog=$(window_titled 'Auswahl CSV Dateien') || true
  if [[ -z $dialog ]]; then
    echo "FAILED: no open dialog appeared" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
  fi
  if [[ -n $1 ]]; then press_in "$dialog" xdotool type --delay 20 "$1"; fi
  press_in "$dialog" xdotool key "${2:-Return}"
}

status=
finish() {
  for _ in $(seq 600); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "FAILED: the converter did not end; windows open:" >&2
    xdotool search --name . getwindowname %@ >&2 2>/dev/null || true
    kill "$pid" 2>/dev/null || true
    exit 1
  fi
  status=0
  wait "$pid" || status=$?
}

rm -rf "$work"
folder="$work/Prüfdaten"
mkdir -p "$folder"
: >"$work/wine.log"
"$wine_run" reg delete 'HKLM\SOFTWARE\Zelvar' /f >/dev/null 2>&1 || true
"$wine_run" reg delete 'HKCU\Software\Zelvar' /f >/dev/null 2>&1 || true

# Waits for the message box that ends a run and presses its OK; $1 says
# what it is for, $2 is its title if not the main window's.
confirm_box() {
  local box title=${2:-Traskel nach Quorvex}
  # A progress window taken for the box may close before the key.
  for _ in 1 2 3; do
    box=$(box_titled "$title") || true
    if [[ -z $box ]] || press_in "$box" xdotool key Return; then break; fi
  done
  check "$1 shows a message box titled '$title'" test -n "$box"
  if [[ -z $box ]]; then return; fi
  # Gone before the next box is looked for, which may bear the same title.
  for _ in $(seq 100); do
    xdotool getwindowname "$box" >/dev/null 2>&1 || break
    sleep 0.1
  done
}

# 1. Nothing remembered: the full path is typed. The file's one unknown
#    record is named in a message box, and the status says lines were left out.
cp "$here/end_to_end.csv" "$folder/teil.csv"
open_host "$work/first.trace"
start_converter "$work/first.trace"
answer_dialog "$(windows_path "$folder/teil.csv")"
confirm_box "the line left out"
finish
check "first run converts the whole file but one line (status $status)" test "$status" = 4
check "its trace is the embedded host's for the same file" \
  diff -u "$here/end_to_end.trace" "$work/first.trace"
check "its copy is deleted" test ! -e "$folder/teil.csvconf"
check_remembered "$folder/teil.csv"
check_host_ended

# 2. The dialog opens in the remembered folder: a bare name is found there.
printf 'Kopf\r\n' >"$folder/Maße.csv"
open_host "$work/second.trace"
start_converter "$work/second.trace"
answer_dialog 'Maße.csv'
confirm_box "a file without data lines"
finish
check "second run converts the file named bare, a header alone (status $status)" test "$status" = 4
check "its comment reaches the host" grep -qx 'CommentData call 6 I4:1 Str&:"Kopf"' "$work/second.trace"
check_remembered "$folder/Maße.csv"
check_host_ended

# The progress window shows a busy spell, and the converter is idle
# meanwhile: a box after the spell is looked for once the host has taken
# every call of the run.
whole_trace() {
  for _ in $(seq 300); do
    (($(wc -l <"$1") >= $(wc -l <"$here/end_to_end.trace"))) && return
    sleep 0.1
  done
}

# A busy host, out of process only: busy from the first record's fifth
# operation on (operation 80). A spell shorter than the converter's 10 s is
# waited out without a word: the one box is the line left out, and a
# question before it would leave that box open and the run unfinished. A
# longer spell asks once, and Retry, the default button, waits it out.
if [[ -n $host_exe ]]; then
  open_host "$work/busy-short.trace" 80:3000
  start_converter "$work/busy-short.trace"
  answer_dialog "$(windows_path "$folder/teil.csv")"
  whole_trace "$work/busy-short.trace"
  confirm_box "a host busy for 3 s: only the line left out"
  finish
  check "the file is converted all the same (status $status)" test "$status" = 4
  check "its trace is the one without the spell" \
    diff -u "$here/end_to_end.trace" "$work/busy-short.trace"
  check_host_ended

  open_host "$work/busy-long.trace" 80:12000
  start_converter "$work/busy-long.trace"
  answer_dialog "$(windows_path "$folder/teil.csv")"
  # The question comes 10 s into the spell; the progress window, idle
  # meanwhile, is not taken for it.
  sleep 11
  confirm_box "a host busy for 12 s: after 10 s the question"
  whole_trace "$work/busy-long.trace"
  confirm_box "then, once Retry has waited the spell out, the line left out"
  finish
  check "the file is converted (status $status)" test "$status" = 4
  check "its trace is the one without the spell" \
    diff -u "$here/end_to_end.trace" "$work/busy-long.trace"
  check_host_ended
fi

# 3. Cancel: the message box says so, the run ends with status 2.
start_converter "$work/third.trace"
answer_dialog '' Escape
confirm_box "cancel"
finish
check "cancel ends with status 2 (status $status)" test "$status" = 2
check "cancel leaves the host untouched" test ! -s "$work/third.trace"

# A trace's or a log's lines without what follows " -> ", the result or the
# error, which host and caller may put differently.
operations() {
  sed 's/ -> .*$//' "$1"
}

# 4. A file named on the command line, relative to the current folder, with
#    a character no ANSI code page of the test locale has: no dialog opens
#    (if one did, the converter would not end). The converter logs its host
#    calls itself.
named="Teil Ω.csv"
cp "$here/end_to_end.csv" "$folder/$named"
open_host "$work/fourth.trace"
cd "$folder"
start_converter "$work/fourth.trace" --protokoll "$(windows_path "$work/fourth.log")" "$named"
cd - >/dev/null
confirm_box "the line left out"
finish
check "a named file converts without the dialog, but one line (status $status)" test "$status" = 4
check "its trace is the embedded host's for the same file" \
  diff -u "$here/end_to_end.trace" "$work/fourth.trace"
check "its call log holds the host's trace, operation for operation" \
  diff -u <(operations "$work/fourth.trace") <(operations "$work/fourth.log")
check_remembered "$folder/$named"
check_host_ended

# 5. A named file that is missing: the message, then the dialog.
open_host "$work/fifth.trace"
start_converter "$work/fifth.trace" "$(windows_path "$folder/fehlt.csv")"
confirm_box "a missing named file"
answer_dialog "$(windows_path "$folder/teil.csv")"
confirm_box "the line left out"
finish
check "then the file typed into the dialog converts, but one line (status $status)" \
  test "$status" = 4
check "its trace is the embedded host's for the same file" \
  diff -u "$here/end_to_end.trace" "$work/fifth.trace"
check_remembered "$folder/teil.csv"
check_host_ended

# 6. A check of the file the fourth run converted, as when it is dropped on
#    "Export prüfen": one message box, the status of that conversion, the
#    file remembered, neither the host nor the copy touched (a host object
#    created would reach the trace, in process or not).
start_converter "$work/sixth.trace" --pruefen "$(windows_path "$folder/$named")"
confirm_box "the check" 'Traskel – Export prüfen'
finish
check "the check ends with the status its conversion had (status $status)" test "$status" = 4
check "the check leaves the host untouched" test ! -s "$work/sixth.trace"
check "it writes no copy" test ! -e "$folder/${named}conf"
check_remembered "$folder/$named"

# 7. A slow run, each host operation 100 ms: after a second its progress
#    window shows, and its button "Abbrechen" stops the run after a whole
#    record, with one box and status 5. The next run of the file offers to
#    go on there; Yes, the default, does, and the two runs send the host what
#    one whole run sends.
resume_key='HKCU\Software\Zelvar\Kastovel\CSV\Fortsetzen'
open_host "$work/seventh.trace" "" 100
sim_delay=100
start_converter "$work/seventh.trace" "$(windows_path "$folder/teil.csv")"
sim_delay=
progress=$(window_titled 'Traskel nach Quorvex') || true
check "a slow run shows its progress window" test -n "$progress"
if [[ -n $progress ]]; then
  # Clicked: the window does not take the keyboard. The button is at its
  # bottom right.
  wait_until_idle
  progress=$(click_in 'Traskel nach Quorvex' 'WIDTH - 59' 'HEIGHT - 26')
  for _ in $(seq 300); do
    xdotool getwindowname "$progress" >/dev/null 2>&1 || break
    sleep 0.1
  done
fi
confirm_box "the stopped run"
finish
check "the stopped run ends with status 5 (status $status)" test "$status" = 5
check "its copy is deleted" test ! -e "$folder/teil.csvconf"
# The host's status text says last where it stopped; before that, what
# the run sent.
check "the host is told where it stopped" \
  grep -q '^Application put 9 Str:"Abgebrochen nach Zeile [0-9]* von [0-9]*\."$' \
  <(tail -n 1 "$work/seventh.trace")
head -n -1 "$work/seventh.trace" >"$work/seventh.sent"
sent=$(wc -l <"$work/seventh.sent")
whole=$(wc -l <"$here/end_to_end.trace")
check "it sent the start of the whole run" \
  cmp -s <(head -n "$sent" "$here/end_to_end.trace") "$work/seventh.sent"
check "it stopped before the last line ($sent of $whole operations)" test "$sent" -lt "$((whole - 2))"
check "it stopped after a whole record, before a line's status text" \
  grep -q '^Application put 9 ' <<<"$(sed -n "$((sent + 1))p" "$here/end_to_end.trace")"
# One entry, whole: "1|written|L|M|fingerprint|half-built line|possibly|label|file".
entries=$(registry_values "$resume_key")
check "where it stopped is remembered for the file, in one value" \
  test "$(grep -c . <<<"$entries")" = 1 -a "${entries##*|}" = "$(windows_path "$folder/teil.csv")"
check "it is the last line sent" \
  test "$(cut -d'|' -f3 <<<"$entries")" = "$(grep -c '^Application put 9 ' "$work/seventh.sent")"
check_host_ended

open_host "$work/eighth.trace"
start_converter "$work/eighth.trace" "$(windows_path "$folder/teil.csv")"
confirm_box "the offer to go on"
confirm_box "the line left out"
finish
check "the continued run ends as a whole one, but one line (status $status)" test "$status" = 4
# The same, but for the end, which names the lines the second run sent.
check "the two runs send what one whole run sends" \
  diff -u <(head -n -1 "$here/end_to_end.trace") \
  <(cat "$work/seventh.sent" && tail -n +8 "$work/eighth.trace" | head -n -1)
check "the continued run's end names its lines" \
  grep -q '^Application put 9 Str:"Fertig: Zeilen [0-9]* bis [0-9]* ([0-9]* Datenzeilen) ' \
  <(tail -n 1 "$work/eighth.trace")
check "where it stopped is forgotten" test -z "$(registry_values "$resume_key")"
check_host_ended

# Milliseconds since the epoch.
now_ms() {
  echo $(($(date +%s%N) / 1000000))
}

# 9. A host that does not answer: in process it hangs in an operation of
#    line 12 (QUORVEX_SIM_HANG_AT), out of process the host program is
#    stopped (SIGSTOP) once the records have begun. After 2 s without an
#    answer (QUORVEX_TIMEOUT_S) the progress window says so, with "Weiter
#    warten" beside "Abbrechen", and its thread answers at once meanwhile.
#    "Abbrechen" (Esc in process) gives the call up: within 2 s one box says
#    where the run ended, and once it is confirmed the converter ends at
#    once, without the call, with status 5. The copy is gone, where it
#    stopped is remembered, and the call log ends with the call unanswered.
probe() {
  "$wine_run" "$probe_exe" 'Traskel nach Quorvex' "$1" 2>>"$work/wine.log" || true
}
silence_s=2
if [[ -n $host_exe ]]; then
  open_host "$work/ninth.trace" "" 100
  start_converter "$work/ninth.trace" --protokoll "$(windows_path "$work/ninth.log")" \
    "$(windows_path "$folder/teil.csv")"
  # Once the first record's command is made (operation 69).
  for _ in $(seq 300); do
    [[ -f $work/ninth.trace ]] && (($(wc -l <"$work/ninth.trace") >= 69)) && break
    sleep 0.1
  done
  kill -STOP "$host_pid"
else
  sim_hang_at=100  # a put of C1, whose command is made
  start_converter "$work/ninth.trace" --protokoll "$(windows_path "$work/ninth.log")" \
    "$(windows_path "$folder/teil.csv")"
  sim_hang_at=
fi
silence_s=
silent=$(probe 'antwortet seit')
check "after 2 s without an answer the progress window says so, with its two buttons" \
  test "$(head -n -1 <<<"$silent" | sed 's/seit 0:0[2-9] nicht/seit 0:0N nicht/')" = \
  $'teil.csv\nQuorvex antwortet seit 0:0N nicht.\nAbbrechen\nWeiter warten'
answered=$(sed -n 's/^answered within \([0-9]*\) ms$/\1/p' <<<"$silent")
check "its thread answers a message within 0.2 s meanwhile (${answered:-no answer} ms)" \
  test "${answered:-1000000}" -lt 200
# What xdotool fails to do is noted; the checks after it tell what it cost.
xdo() {
  xdotool "$@" || echo "note: xdotool $* failed" >&2
}
if [[ -n $host_exe ]]; then
  progress=$(click_in 'Traskel nach Quorvex' 'WIDTH - 59' 'HEIGHT - 26')
  asked=$(now_ms)
else
  # The keys reach it once it is clicked: it never takes the keyboard itself.
  progress=$(click_in 'Traskel nach Quorvex' 'WIDTH / 2' 10)
  asked=$(now_ms)
  sleep 0.2
  xdo key Escape
fi
box=
for _ in $(seq 100); do
  for id in $(xdotool search --onlyvisible --name '^Traskel nach Quorvex$' 2>/dev/null); do
    width=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null | sed -n 's/^WIDTH=//p')
    if [[ $id != "$progress" ]] && ((${width:-0} > 1)); then box=$id; fi
  done
  [[ -n $box ]] && break
  sleep 0.05
done
took=$(($(now_ms) - asked))
check "Abbrechen gives the call up: a box within 2 s (${took} ms)" \
  test -n "$box" -a "$took" -le 2000
told=$(probe 'nicht geantwortet' | grep -m 1 'nicht geantwortet') || true
confirm_box "the call given up"
confirmed=$(now_ms)
finish
took=$(($(now_ms) - confirmed))
check "then the converter ends at once, with status 5 (status $status, ${took} ms)" \
  test "$status" = 5 -a "$took" -le 2000
check "its copy is deleted" test ! -e "$folder/teil.csvconf"
entries=$(registry_values "$resume_key")
check "where it stopped is remembered for the file, in one value" \
  test "$(grep -c . <<<"$entries")" = 1 -a "${entries##*|}" = "$(windows_path "$folder/teil.csv")"
done_lines=$(cut -d'|' -f3 <<<"$entries")
if [[ -z $host_exe ]]; then
  check "in process that is line 11, before the hung call's line" test "$done_lines" = 11
fi
check "the box names the line in flight" \
  test "${told/seit 0:0[2-9] nicht/seit 0:0N nicht}" = "Quorvex hat seit 0:0N nicht geantwortet; \
die Konvertierung wurde in Zeile $((done_lines + 1)) abgebrochen."
logged=$(wc -l <"$work/ninth.log") || true
check "the call log holds what the run sent before" \
  cmp -s <(operations "$work/ninth.log" | head -n -1) \
  <(operations "$here/end_to_end.trace" | head -n $((logged - 1)))
check "and ends with the call that had no answer" \
  test "$(tail -n 1 "$work/ninth.log" | sed 's/0:0[2-9]$/0:0N/')" = \
  "$(operations "$here/end_to_end.trace" | sed -n "${logged}p") -> error 0x800705B4 no answer, \
given up after 0:0N"
if [[ -z $host_exe ]]; then
  check "in process that is the operation that hangs" test "$logged" = 100
else
  # Continued, the host keeps the objects of a client that is gone, as wine
  # never takes them back: it is ended, and wine's RPCSS after it, which
  # would hand the classes it leaves registered to the next client.
  kill -CONT "$host_pid"
  kill "$host_pid"
  wait "$host_pid" 2>/dev/null || true
  "$wine_run" taskkill /f /im rpcss.exe >>"$work/wine.log" 2>&1 || true
  open_host "$work/tenth.trace"
  start_converter "$work/tenth.trace" "$(windows_path "$folder/Maße.csv")"
  confirm_box "a file without data lines"
  finish
  check "then a new host program serves the next run (status $status)" test "$status" = 4
  check_host_ended
fi

checks_done
