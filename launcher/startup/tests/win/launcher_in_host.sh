#!/usr/bin/env bash
# Runs the Windows launcher the way a Linux player meets it: started by `larkhost` (the Linux build's
# host) through its alternate loader, inside the host's own process, in a fresh bottle. Checks from
# outside that the program ran there and got as far as its window: the recording window library
# notes the calls the launcher made into it.
# Usage: launcher_in_host.sh larkhost LarkLauncher.exe LarkLauncherUI.dll PatchConfig.xml
set -u
larkhost=$1 launcher=$2 window=$3 config=$4
[ -x "$larkhost" ] || { echo "SKIP: $larkhost is not built (build the default preset first)"; exit 125; }
[ -f "$launcher" ] || { echo "SKIP: $launcher is not built"; exit 125; }
command -v wine64 >/dev/null 2>&1 || [ -x /usr/lib/wine/wine64 ] || { echo "SKIP: wine is not installed"; exit 125; }
work=$(mktemp -d /tmp/lark_host_root.XXXXXX)
trap 'rm -rf "$work"' EXIT
bank=$work/game/PatchClient/BankA
mkdir -p "$bank"
name=LarkLauncher_$(basename "$work" | cut -d. -f2).exe
cp "$launcher" "$bank/$name"
cp "$config" "$bank/PatchConfig.xml"
cp "$window" "$bank/LarkLauncherUI.dll"
fail() { echo "FAIL: $*"; echo "--- host output"; cat "$work/out.txt"; echo "--- host log"; cat "$log"; exit 1; }

# The host's settings, bottles and logs in the test's own folders; no display, so no windows.
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state
unset DISPLAY WAYLAND_DISPLAY WINEPREFIX
export LARK_FAKE_UI_RECORD=$work/record.txt LARK_FAKE_UI_HOLD=$work/hold
touch "$work/hold"
log=$work/state/Larkspur/logs/larkhost.log
cd "$work"
LARKSPUR_LAUNCHER_EXE=$bank/$name timeout 240 "$larkhost" >"$work/out.txt" 2>&1
rc=$?
[ $rc -eq 124 ] && fail "the host did not end within 240 s"
grep -qF "starting Z:${bank//\//\\}\\$name inside this process" "$log" ||
  fail "the host did not start the launcher inside its process"
grep -qF "The Windows program ended the process; shutting the host down first." "$log" ||
  fail "the host did not see the launcher end its process"
# The library writes its record in Windows text mode: lines end in CR LF.
record=$(tr -d '\r' <"$work/record.txt" 2>/dev/null)
grep -q "|Initialize|${name%.exe}|English$" <<<"$record" ||
  fail "the launcher did not bind its window library: $record"
grep -q '|ShowUI|Larkspur.skf|' <<<"$record" || fail "the launcher showed no window: $record"
grep -q '|Closed$' <<<"$record" || fail "the window did not close: $record"
[ -s "$bank/LarkLauncher.Log.txt" ] || fail "the launcher wrote no log in its game root"
echo "ok: LarkLauncher.exe ran inside larkhost (exit code $rc), bound its window library and closed"
echo "PASS"
