#!/usr/bin/env bash
# The MSI as an administrator uses it, under wine in the tests' prefix:
# installed over an older version (MajorUpgrade), the installed program run
# once, a downgrade refused, then uninstalled, each step checked on the
# files, the Start menu (the converter, "Export prüfen" and "Traskel Hilfe")
# and the registry.
#   WINEPREFIX=... DISPLAY=:N msi_install.sh WORK_DIR VERSION MSI PRODUCT_CODE \
#     OLD_VERSION OLD_MSI OLD_PRODUCT_CODE EXE LICENSE NOTICE HELP MESSAGES
# EXE, LICENSE, NOTICE and HELP are the files the package was built from;
# MESSAGES is docs/messages.md, every message of whose table HELP must name.
#
# msiexec's exit status reaches Linux cut to 8 bits: 1603 (fatal error)
# shows as 67, 1605 (not installed) as 69, 1638 (another version installed)
# as 102.
set -euo pipefail
work=$1 version=$2 msi=$3 product_code=$4 old_version=$5 old_msi=$6 old_product_code=$7
exe=$8 license=$9 notice=${10} help=${11} messages=${12}
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../tools/wine-run"
program_dir="$WINEPREFIX/drive_c/Program Files/Traskel"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
setting_key='HKLM\SOFTWARE\Zelvar\Kastovel\CSV'
shortcut_name='Traskel nach Quorvex.lnk'
check_shortcut_name='Export prüfen.lnk'
help_shortcut_name='Traskel Hilfe.lnk'

source "$here/checks.sh"

# msiexec's exit status, its log in $work.
msiexec() {
  local action=$1 package=$2 log=$3 status=0
  "$wine_run" msiexec "$action" "$(windows_path "$package")" /qn /l*v "$(windows_path "$work/$log")" \
    >>"$work/wine.log" 2>&1 || status=$?
  echo "$status"
}

key_missing() {
  ! "$wine_run" reg query "$1" >/dev/null 2>&1
}

# Every shortcut named $1 (the converter's by default) in the prefix: wine
# puts a per-machine one into the user's Start menu, Windows into
# ProgramData's.
shortcuts() {
  find "$WINEPREFIX/drive_c" -name "${1:-$shortcut_name}" 2>/dev/null
}

# The shortcut's target, as the .lnk stores it (UTF-16 there): the program,
# or the file named.
shortcut_points_to_program() {
  tr -d '\0' <"$1" | grep -aqF "Program Files\\Traskel\\${2:-traskel.exe}"
}

# The arguments it starts the program with, stored there the same way.
shortcut_has_arguments() {
  tr -d '\0' <"$1" | grep -aqF -- "$2"
}

# The folder it starts in: the user's Documents, as the shell names it; also
# stored there.
documents=$(registry_value 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' Personal)
shortcut_starts_in_documents() {
  [[ -n $documents ]] && tr -d '\0' <"$1" | grep -aqF "$documents"
}

same_file() {
  cmp -s "$1" "$2"
}

# Whether the page names every message in the first column of the table "At
# a glance" of docs/messages.md: the quoted texts, Markdown's escapes taken
# off, in the page's text, its entities decoded.
help_names_every_message() {
  local text message count=0
  text=$(sed -e 's/<[^>]*>//g' -e 's/&lt;/</g; s/&gt;/>/g; s/&quot;/"/g; s/&amp;/\&/g' "$1")
  while IFS= read -r message; do
    count=$((count + 1))
    if ! grep -qF -- "$message" <<<"$text"; then
      echo "   not in the help: $message"
      return 1
    fi
  done < <(sed -n '/^## At a glance/,/^## [^A]/p' "$messages" | grep '^| "' | cut -d'|' -f2 |
    grep -o '"[^"]*"' | sed -e 's/^"//; s/"$//' -e 's/\\\(.\)/\1/g')
  echo "   it names all $count"
  ((count > 10))
}

expect_apps_entry() {
  local code=$1 want_version=$2
  check "Apps lists $code as Traskel" test "$(registry_value "$uninstall_key\\$code" DisplayName)" = Traskel
  check "its version is $want_version" \
    test "$(registry_value "$uninstall_key\\$code" DisplayVersion)" = "$want_version"
  check "its publisher is Traskel" \
    test "$(registry_value "$uninstall_key\\$code" Publisher)" = Traskel
}

rm -rf "$work"
mkdir -p "$work"
: >"$work/wine.log"

# Left over by a run that broke off: no package of either version installed.
for package in "$msi" "$old_msi"; do
  "$wine_run" msiexec /x "$(windows_path "$package")" /qn >>"$work/wine.log" 2>&1 || true
done

# The remembered path, which the package must never touch; put back at the end.
remembered_before=$(registry_value "$setting_key" LastImportFile)
marker='C:\Messdaten\vor der Installation.csv'
"$wine_run" reg add "$setting_key" /v LastImportFile /t REG_SZ /d "$marker" /f >>"$work/wine.log" 2>&1
restore_remembered() {
  if [[ -n $remembered_before ]]; then
    "$wine_run" reg add "$setting_key" /v LastImportFile /t REG_SZ /d "$remembered_before" /f
  else
    "$wine_run" reg delete "$setting_key" /v LastImportFile /f
  fi >>"$work/wine.log" 2>&1 || true
}
trap restore_remembered EXIT

# 1. The older version, as a machine would have it.
status=$(msiexec /i "$old_msi" install-old.log)
check "msiexec /i Traskel $old_version ends with 0 (status $status)" test "$status" = 0
expect_apps_entry "$old_product_code" "$old_version"

# 2. The current one replaces it in place.
status=$(msiexec /i "$msi" install.log)
check "msiexec /i Traskel $version over $old_version ends with 0 (status $status)" test "$status" = 0
check "the upgrade removed $old_version from Apps" key_missing "$uninstall_key\\$old_product_code"
expect_apps_entry "$product_code" "$version"
check "Program Files\\Traskel\\traskel.exe is the built one" same_file "$exe" "$program_dir/traskel.exe"
check "LICENSE is beside it" same_file "$license" "$program_dir/LICENSE"
check "NOTICE is beside it" same_file "$notice" "$program_dir/NOTICE"
check "Traskel-Hilfe.html is beside it" same_file "$help" "$program_dir/Traskel-Hilfe.html"
check "the folder holds nothing else" \
  test "$(find "$program_dir" -mindepth 1 | wc -l)" = 4
check "the help is the page 'Traskel Hilfe'" \
  grep -q '<title>Traskel Hilfe</title>' "$program_dir/Traskel-Hilfe.html"
check "it names every message of the messages' table" \
  help_names_every_message "$program_dir/Traskel-Hilfe.html"
mapfile -t found < <(shortcuts)
check "one Start-menu shortcut '${shortcut_name%.lnk}' (found ${#found[@]})" test "${#found[@]}" = 1
if ((${#found[@]} == 1)); then
  echo "   it is ${found[0]#"$WINEPREFIX/"}"
  check "it is in a Start-menu folder Traskel" \
    test "$(basename "$(dirname "${found[0]}")")" = Traskel
  check "it starts Program Files\\Traskel\\traskel.exe" shortcut_points_to_program "${found[0]}"
  check "in $documents" shortcut_starts_in_documents "${found[0]}"
  shortcut_folder=$(dirname "${found[0]}")
fi
mapfile -t found < <(shortcuts "$check_shortcut_name")
check "one Start-menu shortcut '${check_shortcut_name%.lnk}' (found ${#found[@]})" \
  test "${#found[@]}" = 1
if ((${#found[@]} == 1)); then
  check "it is beside the first" test "$(dirname "${found[0]}")" = "${shortcut_folder:-}"
  check "it starts Program Files\\Traskel\\traskel.exe" shortcut_points_to_program "${found[0]}"
  check "with --pruefen" shortcut_has_arguments "${found[0]}" --pruefen
  check "in $documents" shortcut_starts_in_documents "${found[0]}"
fi
mapfile -t found < <(shortcuts "$help_shortcut_name")
check "one Start-menu shortcut '${help_shortcut_name%.lnk}' (found ${#found[@]})" \
  test "${#found[@]}" = 1
if ((${#found[@]} == 1)); then
  check "it is beside the first" test "$(dirname "${found[0]}")" = "${shortcut_folder:-}"
  check "it opens Program Files\\Traskel\\Traskel-Hilfe.html" \
    shortcut_points_to_program "${found[0]}" Traskel-Hilfe.html
fi
check "the remembered path is untouched" \
  test "$(registry_value "$setting_key" LastImportFile)" = "$marker"

# The installed program converts an export named on its command line, as
# when one is dropped on the shortcut: no dialog and no message (either would
# keep it from ending), the point in the registered simulated host, the file
# remembered.
{
  printf 'Kopf %s\r\n' 1 2 3 4 5 6 7 8 9 10
  printf 'PT,P1,1,2,3,0,0,1,,,,,,,,,,0.5\r\n'
} >"$work/teil.csv"
status=0
QUORVEX_SIM_TRACE=$(windows_path "$work/installed.trace") \
  timeout 120 "$wine_run" "$program_dir/traskel.exe" "$(windows_path "$work/teil.csv")" \
  >>"$work/wine.log" 2>&1 || status=$?
check "the installed traskel.exe converts a file named on its command line (status $status)" \
  test "$status" = 0
check "its point reaches the host" grep -qx 'FeatureData put 6 R8:0.5' "$work/installed.trace"
check "it remembers the file" \
  test "$(registry_value "$setting_key" LastImportFile)" = "$(windows_path "$work/teil.csv")"
"$wine_run" reg add "$setting_key" /v LastImportFile /t REG_SZ /d "$marker" /f >>"$work/wine.log" 2>&1

# 3. An older version does not install over a newer one.
status=$(msiexec /i "$old_msi" downgrade.log)
check "msiexec /i Traskel $old_version over $version fails with 1603, shown as 67 (status $status)" \
  test "$status" = 67
check "the downgrade left $version in place" \
  test "$(registry_value "$uninstall_key\\$product_code" DisplayVersion)" = "$version"
check "and its program" same_file "$exe" "$program_dir/traskel.exe"

# 4. Uninstalled: program and shortcut gone, the remembered path kept.
status=$(msiexec /x "$msi" uninstall.log)
check "msiexec /x ends with 0 (status $status)" test "$status" = 0
check "Program Files\\Traskel is gone" test ! -e "$program_dir"
mapfile -t found < <(shortcuts)
check "the shortcut is gone (found ${#found[@]})" test "${#found[@]}" = 0
for name in "$check_shortcut_name" "$help_shortcut_name"; do
  mapfile -t found < <(shortcuts "$name")
  check "so is '${name%.lnk}' (found ${#found[@]})" test "${#found[@]}" = 0
done
if [[ -n ${shortcut_folder:-} ]]; then
  check "so is its Start-menu folder" test ! -e "$shortcut_folder"
fi
check "Apps lists Traskel no more" key_missing "$uninstall_key\\$product_code"
check "the package's own key HKLM\\Software\\Traskel is gone" key_missing 'HKLM\Software\Traskel'
check "the remembered path is kept" \
  test "$(registry_value "$setting_key" LastImportFile)" = "$marker"

checks_done
