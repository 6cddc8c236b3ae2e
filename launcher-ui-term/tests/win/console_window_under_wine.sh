#!/usr/bin/env bash
# The console window library LarkLauncherUI.dll under Wine, driven through its exports by
# console_host.exe with a script on standard input (a pipe, so every change is one plain line):
# the dialog's first commands, the account and password prompts, the progress lines, Enter to play,
# the slash commands, the end of input as the close request, and the remembered account name in the
# registry. It also checks that the DLL needs no MinGW run-time DLLs.
# Usage: console_window_under_wine.sh WINE-RUN console_host.exe LarkLauncherUI.dll [OBJDUMP]
set -u
wine_run=$1 host=$2 library=$3 objdump=${4:-}
fail() { echo "FAIL: $*"; exit 1; }
# Each text appears, in this order, in the file.
in_order() {
  local file=$1; shift
  python3 - "$file" "$@" <<'PY' || return 1
import sys
text = open(sys.argv[1], encoding="utf-8", errors="replace").read().replace("\r\n", "\n")
at = 0
for want in sys.argv[2:]:
    found = text.find(want, at)
    if found < 0:
        print("missing (in order): %r\n--- output:\n%s" % (want, text))
        sys.exit(1)
    at = found + len(want)
PY
}
out=$(mktemp /tmp/lark_console_out.XXXXXX)
trap 'rm -f "$out"' EXIT
# A key of its own, so that runs of this test never share a remembered name.
key="Software\\Halcyra\\LarkspurConsoleTest$$"
run() { printf "$1" | "$wine_run" "$host" "$library" --key "$key" >"$out" 2>&1; }

if [ -n "$objdump" ] && command -v "$objdump" >/dev/null; then
  imports=$("$objdump" -p "$library" | sed -n 's/^\s*DLL Name: //p')
  grep -qi '^kernel32.dll' <<<"$imports" || fail "no imports read from $library: $imports"
  grep -Eqi 'libstdc|libgcc|libwinpthread' <<<"$imports" && fail "$library needs MinGW DLLs: $imports"
  echo "ok: the library carries its run-times (imports: $(tr '\n' ' ' <<<"$imports"))"
fi

run '/remember on\nRowan\nswordfish\n\n'; rc=$?
[ $rc -eq 125 ] && { echo "SKIP: wine is not installed"; exit 125; }
[ $rc -eq 0 ] || fail "exit code $rc: $(cat "$out")"
in_order "$out" "> PreInitDialog" "Larkspur (type /help for the commands)" "> InitDialog" \
  "Remember Username: on" \
  "Username... " "Password... " "> Login" "> names Rowan 9" "Total: Total Progress 0%" \
  "File: Logging in... 0%" "File: Patching : Readme.txt 100%" "Total: Total Progress 50%" \
  "File: Patching : ...hiveWithAVeryLongName.wad 40%" \
  "File: Scanning : ...hiveWithAVeryLongName.wad 100%" "Total: Total Progress 100%" \
  "Total: Download Complete! 100%" "PLAY! Press Enter to play." "> Play" "> ticks " \
  || fail "sign-in, progress and play"
grep -q $'\033' "$out" && fail "escape codes on a pipe"
grep -q '> ticks 0$' "$out" && fail "no Tick while the window was idle"
echo "ok: sign-in, progress lines, Enter to play (plain lines, Ticks while idle)"

run '\nhunter2\n\n'
in_order "$out" "Username... [Rowan]" "> names Rowan 7" "> Play" \
  || fail "the account name was not remembered in the registry"
echo "ok: the remembered account name is offered and taken with an empty line"

run '/help\n/limit 64\n/quit\n'
in_order "$out" "/quit              quit the launcher" "> SetDownloadLimit|64" "> Quit" "> ticks" \
  || fail "/quit"
grep -q '> OnClose' "$out" && fail "/quit sent the close request too"
run '/close\n'
in_order "$out" "> InitDialog" "> OnClose" "> ticks" || fail "/close"
run 'Rowan\n'
in_order "$out" "Password... " "> OnClose" "> ticks" || fail "the end of input is not the close request"
grep -q '> Login' "$out" && fail "the end of input at the password prompt signed in"
echo "ok: /quit sends Quit, /close and the end of input send OnClose"
echo "PASS"
