#!/usr/bin/env bash
# What the Windows tests run in: an Xvfb display, the wine prefix with its
# server kept running, and the simulated host's COM server registered there.
# CTest's fixture setup and cleanup:
#   WINEPREFIX=... DISPLAY=:N wine_session.sh start SERVER_DLL
#   WINEPREFIX=... DISPLAY=:N wine_session.sh stop
# and, within a session, the host's classes registered anew as served by
# quorvex_sim.dll (regsvr32) or by quorvex_sim_host.exe (/RegServer); either
# takes the other's place:
#   WINEPREFIX=... DISPLAY=:N wine_session.sh register SERVER_DLL_OR_EXE
# Wine's output goes to $WINEPREFIX.log: processes it leaves running must not
# hold the test's output open.
set -euo pipefail
: "${WINEPREFIX:?names the wine prefix}" "${DISPLAY:?names the display to start}"
wine_run="$(cd "$(dirname "$0")/../../tools" && pwd)/wine-run"
wineserver=/usr/lib/wine/wineserver64
number=${DISPLAY#:}
xvfb_pid_file="$WINEPREFIX.xvfb.pid"
log="$WINEPREFIX.log"

ours_running() {
  [[ -f $xvfb_pid_file ]] && kill -0 "$(cat "$xvfb_pid_file")" 2>/dev/null
}

start_display() {
  if ours_running; then return; fi
  if [[ -e /tmp/.X11-unix/X$number || -e /tmp/.X$number-lock ]]; then
    local holder
    holder=$(tr -d ' ' <"/tmp/.X$number-lock" 2>/dev/null || true)
    if [[ -n $holder ]] && kill -0 "$holder" 2>/dev/null; then
      echo "display $DISPLAY is taken by process $holder; choose another number" >&2
      exit 1
    fi
  fi
  setsid Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp -noreset </dev/null >"$WINEPREFIX.xvfb.log" 2>&1 &
  echo $! >"$xvfb_pid_file"
  for _ in $(seq 100); do
    if xdotool getdisplaygeometry >/dev/null 2>&1; then
      add_typed_keys
      return
    fi
    sleep 0.1
  done
  echo "Xvfb did not come up on $DISPLAY; see $WINEPREFIX.xvfb.log" >&2
  exit 1
}

# xdotool types a character missing from the keymap by binding it to a spare
# key for a moment; a program that looks the key up after the binding is
# undone gets nothing, so under load the umlauts of typed paths went missing.
# Keys of their own, bound before wine starts, take that race away. They
# last because Xvfb runs with -noreset: without it, the server resets its
# keymap whenever its last client leaves, between two wine runs for instance.
add_typed_keys() {
  xmodmap -e 'keycode any = udiaeresis Udiaeresis' \
    -e 'keycode any = adiaeresis Adiaeresis' \
    -e 'keycode any = odiaeresis Odiaeresis' \
    -e 'keycode any = ssharp'
}

start() {
  local dll=$1
  mkdir -p "$(dirname "$WINEPREFIX")"
  start_display
  : >"$log"
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "creating the wine prefix $WINEPREFIX"
    # Without 32-bit wine it reports the missing syswow64 part and fails;
    # the 64-bit prefix is complete all the same.
    "$wine_run" wineboot --init >>"$log" 2>&1 || true
    # The registry reaches the disk when the server ends.
    "$wineserver" -w
    if [[ ! -f $WINEPREFIX/system.reg ]]; then
      echo "wineboot made no prefix; see $log" >&2
      cat "$log" >&2
      exit 1
    fi
  fi
  # Kept running, so each test's wine process starts in a fraction of a second.
  "$wineserver" -p </dev/null >>"$log" 2>&1 || true
  # No window manager runs on the display: wine is to place and frame the
  # windows itself. Waiting for a manager instead costs 2 s each time a
  # window is hidden.
  "$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$log" 2>&1
  register "$dll"
  echo "display $DISPLAY, prefix $WINEPREFIX, $(basename "$dll") registered"
}

register() {
  local server=$1
  local windows_path="Z:${server//\//\\}"
  local command=("$wine_run" regsvr32 /s "$windows_path")
  if [[ $server == *.exe ]]; then command=("$wine_run" "$windows_path" /RegServer); fi
  if ! "${command[@]}" >>"$log" 2>&1; then
    echo "registering $windows_path failed; see $log" >&2
    cat "$log" >&2
    exit 1
  fi
}

stop() {
  if [[ -d $WINEPREFIX ]]; then
    # Ends every process of the prefix, and waits until they are gone.
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w >/dev/null 2>&1 || true
    # The server's socket folder, named by the prefix's device and inode.
    local server
    server=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
    for dir in "${TMPDIR:-/tmp}"/wine-*/"$server"; do
      if [[ -d $dir ]]; then
        rm -rf "$dir"
        rmdir "$(dirname "$dir")" 2>/dev/null || true
      fi
    done
  fi
  if ours_running; then kill "$(cat "$xvfb_pid_file")"; fi
  rm -f "$xvfb_pid_file"
  echo "wine server and display $DISPLAY stopped"
}

case ${1:-} in
  start) start "${2:?the simulated host DLL to register}" ;;
  register)
    register "${2:?the simulated host DLL or program to register}"
    echo "$(basename "$2") registered"
    ;;
  stop) stop ;;
  *)
    echo "usage: $0 start SERVER_DLL | register SERVER_DLL_OR_EXE | stop" >&2
    exit 2
    ;;
esac
