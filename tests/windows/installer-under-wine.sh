#!/usr/bin/env bash
# The Windows setup under Wine, installed and uninstalled silently as an
# administrator's script would: the files, the Programs and Features entry,
# the PATH component (added, kept single, removed, a too-long Path left
# alone), the installed programs' --version, and an uninstall that takes
# everything it installed and leaves the user's settings and run log.
#
#   tests/windows/installer-under-wine.sh WINDOWS_BUILD   (after ./run package-windows)
#
# Needs WINEPREFIX (an initialised, throw-away prefix); exits 1 when a check
# fails. With a DISPLAY (an X server such as Xvfb) the installed torvane.exe
# is also started and must show its window.
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
build=$1
: "${WINEPREFIX:?set WINEPREFIX to a throw-away Wine prefix}"
display=${DISPLAY:-}
export WINEDEBUG=-all DISPLAY=

version=$(sed -n 's/^!define TORVANE_VERSION "\(.*\)"$/\1/p' "$build/windows-resources/installer.nsh")
setup=$build/torvane-$version-setup.exe
stage=$build/package/torvane-$version-windows-x64
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Torvane'
environment_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
settings_key='HKCU\Software\Oskel\Torvane'
failures=0

pass() { echo "PASS  $1"; }
fail() {
  echo "FAIL  $1"
  [ $# -gt 1 ] && sed 's/^/      /' <<<"$2"
  failures=$((failures + 1))
}
# expect NAME CONDITION...: passes when the command succeeds.
expect() {
  local name=$1
  shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}

if [ ! -f "$setup" ] || [ ! -d "$stage" ]; then
  echo "installer-under-wine: no $setup (run ./run package-windows first)" >&2
  exit 1
fi

# A registry value's data as `reg query` prints it ("" when there is none).
reg_value() {
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 \{1,\}REG_[A-Z_]* \{1,\}//Ip" | head -n 1
}
key_absent() { ! wine reg query "$1" >/dev/null 2>&1; }
machine_path() { reg_value "$environment_key" PATH; }
set_machine_path() {
  wine reg add "$environment_key" /v PATH /t REG_EXPAND_SZ /d "$1" /f >/dev/null 2>&1
}
run_setup() { timeout 120 wine "$setup" "$@"; }

win_dir='C:\Program Files\Torvane'
dir=$(winepath -u "$win_dir" 2>/dev/null)
local_app_data=$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
run_log_win="$local_app_data\\Torvane\\runs.jsonl"
run_log=$(winepath -u "$run_log_win" 2>/dev/null)
start_menu=$(winepath -u "$(wine cmd /c echo %ProgramData% 2>/dev/null | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs\\Torvane.lnk")
path_before=$(machine_path)
# With the window program, the Start menu entry and the icon in Programs and
# Features are its own; without it the setup carries torvane-cli alone.
gui=0
main_program=torvane-cli.exe
[ -f "$stage/torvane.exe" ] && gui=1 main_program=torvane.exe

# --- a silent install with the PATH component ---------------------------------
if run_setup /S /PATH; then pass "setup.exe /S /PATH exits 0"; else fail "setup.exe /S /PATH exits 0"; fi

missing=$( (cd "$stage" && find . -type f) | while read -r f; do
  cmp -s "$stage/$f" "$dir/$f" || echo "${f#./}"
done)
if [ -z "$missing" ] && [ -f "$dir/uninstall.exe" ]; then
  pass "every packaged file is installed as built, with uninstall.exe"
else
  fail "files missing or different in $win_dir" "${missing:-uninstall.exe}"
fi
if [ $gui -eq 1 ]; then
  expect "the Start menu holds Torvane.lnk" test -f "$start_menu"
fi

key=$(wine reg query "$uninstall_key" 2>/dev/null | tr -d '\r')
bad=
while IFS='|' read -r value expected; do
  actual=$(sed -n "s/^ *$value \{1,\}REG_[A-Z_]* \{1,\}//p" <<<"$key")
  # The expected text is a pattern: its backslashes are plain characters.
  pattern=${expected//\\/\\\\}
  # shellcheck disable=SC2053
  [[ $actual == $pattern ]] || bad+="$value: '$actual', expected '$expected'"$'\n'
done <<CASES
DisplayName|Torvane
DisplayVersion|$version
Publisher|?*
DisplayIcon|$win_dir\\$main_program,0
UninstallString|"$win_dir\\uninstall.exe"
QuietUninstallString|"$win_dir\\uninstall.exe" /S
InstallLocation|$win_dir
EstimatedSize|0x[1-9a-f]*
NoModify|0x1
NoRepair|0x1
CASES
if [ -z "$bad" ]; then pass "Programs and Features entry $uninstall_key"; else fail "the uninstall key" "$bad$key"; fi

expect "the install folder is appended to the machine's Path" test "$(machine_path)" = "$path_before;$win_dir"

# The programs as installed: stripped, with their resources, and they run.
out=$(wine "$dir/torvane-cli.exe" --version 2>&1)
if [ "$(head -n 1 <<<"$out" | tr -d '\r')" = "torvane-cli $version" ]; then
  pass "the installed torvane-cli.exe --version says $version"
else
  fail "the installed torvane-cli.exe --version" "$out"
fi
if [ $gui -eq 1 ]; then
  out=$(wine "$dir/torvane.exe" --version 2>&1)
  if [ "$(head -n 1 <<<"$out" | tr -d '\r')" = "torvane $version" ]; then
    pass "the installed torvane.exe --version says $version"
  else
    fail "the installed torvane.exe --version" "$out"
  fi
  if [ -n "$display" ]; then
    # A Wine session started without a display shows no windows: afresh on this one.
    wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
    DISPLAY=$display wine "$dir/torvane.exe" >/dev/null 2>&1 &
    gui_pid=$!
    # Its window's title carries the product identity --version named.
    identity=$(sed -n 's/^product identity "\(.*\)".*/\1/p' <<<"$out" | head -n 1)
    shown=no
    for _ in $(seq 1 80); do
      if DISPLAY=$display xdotool search --onlyvisible --name "${identity:-Torvane}" >/dev/null 2>&1; then shown=yes; break; fi
      sleep 0.25
    done
    if [ $shown = yes ]; then pass "the installed torvane.exe shows its window"; else fail "the installed torvane.exe shows no window"; fi
    kill "$gui_pid" 2>/dev/null; wait "$gui_pid" 2>/dev/null
    wineserver -k 2>/dev/null; wineserver -w 2>/dev/null
  fi
fi

# --- run again: the PATH entry stays single; without the component it goes -----
run_setup /S /PATH
expect "a second install with /PATH leaves one entry" test "$(machine_path)" = "$path_before;$win_dir"
run_setup /S
expect "an install without /PATH takes the entry off again" test "$(machine_path)" = "$path_before"

# A Path longer than the setup's strings: never read in part and written back.
long_path="$path_before;C:\\$(printf 'x%.0s' $(seq 1 1100))"
set_machine_path "$long_path"
run_setup /S /PATH
expect "a Path too long to edit is left exactly as it was" test "$(machine_path)" = "$long_path"
set_machine_path "$path_before"

# Entries of others around ours survive the removal in place and in order.
set_machine_path "C:\\before;;$path_before;"
run_setup /S /PATH
expect "appending after a trailing ';' adds no empty entry" test "$(machine_path)" = "C:\\before;;$path_before;$win_dir"
set_machine_path "C:\\before;;${win_dir^^}\\;$path_before;$win_dir;"

# --- the user's things, then a silent uninstall -----------------------------------
wine reg add "$settings_key" /v com /t REG_SZ /d 6 /f >/dev/null 2>&1
mkdir -p "$(dirname "$run_log")"
echo '{"exit_code":0}' >"$run_log"

# The uninstaller copies itself to the temporary folder, starts the copy and
# returns at once; waiting for Wine's processes waits for the copy.
timeout 120 wine "$dir/uninstall.exe" /S >/dev/null 2>&1
timeout 60 wineserver -w
expect "the install folder is gone" test ! -e "$dir"
expect "the uninstall key is gone" key_absent "$uninstall_key"
expect "only our Path entries are removed (any case, trailing '\\')" test "$(machine_path)" = "C:\\before;;$path_before;"
if [ $gui -eq 1 ]; then
  expect "the Start menu entry is gone" test ! -e "$start_menu"
fi
expect "the user's settings are kept" test "$(reg_value "$settings_key" com)" = 6
expect "the run log is kept" grep -qF '"exit_code":0' "$run_log"

set_machine_path "$path_before"
wine reg delete "$settings_key" /f >/dev/null 2>&1
rm -rf "$(dirname "$run_log")"

if [ "$failures" -ne 0 ]; then
  echo "installer-under-wine: $failures check(s) failed"
  exit 1
fi
echo "installer-under-wine: every check passed"
