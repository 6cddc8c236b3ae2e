#!/usr/bin/env bash
# Runs the Windows launcher under Wine in a fresh game root, as a player's machine would, and
# checks its start-up from outside: the usage listing, the configuration error, the missing window
# library, one instance only, and a fail-safe address nobody answers.
# Usage: launcher_under_wine.sh WINE-RUN LarkLauncher.exe LarkLauncherUI.dll PatchConfig.xml
set -u
wine_run=$1 launcher=$2 window=$3 config=$4
[ -f "$launcher" ] || { echo "SKIP: $launcher is not built"; exit 125; }
root=$(mktemp -d /tmp/lark_wine_root.XXXXXX)
trap 'rm -rf "$root"' EXIT
bank=$root/PatchClient/BankA
mkdir -p "$bank"
# A name of its own keeps the single-instance check away from launchers of other tests.
name=LarkLauncher_$(basename "$root" | cut -d. -f2).exe
cp "$launcher" "$bank/$name"
cd "$bank"
fail() { echo "FAIL: $*"; exit 1; }
# The Windows build has one window library, the console window: LARK_UI, set here as a Linux
# user might, has no other to choose, and the library's absence is reported under its own name.
export LARK_UI=terminal
run() { "$wine_run" "./$name" "$@" 2>&1; }

out=$(run -r -x -u:5); rc=$?
[ $rc -eq 125 ] && { echo "SKIP: wine is not installed"; exit 125; }
[ $rc -eq 1 ] || fail "exit code $rc after an illegal option"
grep -qF 'Illegal argument: <x>.  Legal arguments are:' <<<"$out" || fail "no usage listing: $out"
grep -qF ' -u[:]<num> U64   : ' <<<"$out" || fail "no U64 line in the usage"
grep -qF 'Configuration file read error.' LarkLauncher.Log.txt || fail "no configuration error logged"
grep -qE '^[0-9]{2}/[0-9]{2}/[0-9]{2} [0-9:]{8} \[ERRO\] HYPatchClient   PatchClientUI\.cpp' \
    LarkLauncher.Log.txt || fail "log line format: $(cat LarkLauncher.Log.txt)"
echo "ok: usage listing, configuration error, log line"

cp "$config" PatchConfig.xml
out=$(run -r); rc=$?
[ $rc -eq 1 ] || fail "exit code $rc without the window library"
grep -qF 'Initialize: Dll LarkLauncherUI.dll was not found' <<<"$out" || fail "binding failure: $out"
grep -qF 'window front-end: the console window (the one window library of this build); LARK_UI=terminal has no other to choose' \
    <<<"$out" || fail "front-end line: $out"
echo "ok: missing window library reported"

cp "$window" LarkLauncherUI.dll
export LARK_FAKE_UI_RECORD=$root/record.txt LARK_FAKE_UI_HOLD=$root/hold
run -r >"$root/first.txt" &
first=$!
for _ in $(seq 600); do grep -q '|ShowUI|' "$root/record.txt" 2>/dev/null && break; sleep 0.1; done
grep -q '|ShowUI|Larkspur.skf|0|0|' "$root/record.txt" || fail "first launcher showed no window: $(cat "$root/record.txt" 2>/dev/null)"
run -r >/dev/null; rc=$?
[ $rc -eq 1 ] || fail "second launcher exit code $rc"
grep -q '|AlreadyRunning' "$root/record.txt" || fail "second launcher did not see the first"
touch "$root/hold"
wait $first
[ "$(grep -c '|Initialize|' "$root/record.txt")" -eq 1 ] || fail "the second launcher initialised a window"
echo "ok: one instance (OS code 0 under Wine on Linux)"

rm -f "$root/record.txt"
sed -i 's|<FailSafeURL path=""/>|<FailSafeURL path="http://127.0.0.1:9/failsafe/"/>|' PatchConfig.xml
grep -qF 'http://127.0.0.1:9/failsafe/' PatchConfig.xml || fail "sample configuration has no empty FailSafeURL"
touch "$root/hold"
run -r >/dev/null
grep -q '|ShowUI|' "$root/record.txt" || fail "an unanswered fail-safe address stopped start-up"
ls ./*.patch FailSafePatch.exe 2>/dev/null && fail "a failed fail-safe download left files"
echo "ok: fail-safe address without an answer; start-up goes on"
echo "PASS"
