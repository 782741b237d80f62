#!/bin/bash
# adcheck.exe under Wine: the dialogue with piped answers, exit status 0, and the credential
# library kxSSPI.dll found beside the program; a copy of the program without it reports
# result 4 with the loader's code 0x7e. Wine has no directory services, so the account
# lookups fail; what is checked here is the program and its library, not a domain.
#   adcheck_wine.sh ADCHECK_EXE
# ORVO_WINE (the Wine loader of the build), WINEPREFIX and WINEDEBUG come from the caller.
set -u
wine=${ORVO_WINE:?names the Wine loader}
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

run() {  # DIRECTORY PROGRAM: runs it there with an NT4 name (no translation needed)
  (cd "$1" && printf 'DOM\\someone\npw\n\nn\n' | "$wine" "$2" > "$work/out" 2> "$work/err")
}

# Beside its library: the logon is made (whatever Wine answers), never result 4.
mkdir "$work/alone"
cp "$program" "$work/alone/adcheck.exe"
run "$work" "$program"
status=$?
[[ $status == 0 ]] || fail "exit status $status"
grep -qF 'user []: password []: server []: enum groups [y]: ' "$work/out" || fail "no prompts in: $(cat "$work/out")"
grep -qF 'kxAuthenticator::authenticateUser domain: DOM, user: someone' "$work/err" ||
  fail "no log line of the credential check in: $(cat "$work/err")"
if grep -qF 'Error code 4' "$work/out" "$work/err"; then fail "kxSSPI.dll beside the program was not used"; fi

# Without it (and run from a folder without it): result 4 and the module-not-found code.
run "$work/alone" ./adcheck.exe
status=$?
[[ $status == 0 ]] || fail "exit status $status without the library"
grep -qF 'Error code 4([0x7e] ' "$work/err" || fail "no 'Error code 4([0x7e] ' without the library in: $(cat "$work/err")"

if (( failures )); then
  echo "$failures failure(s)"
  exit 1
fi
echo "adcheck.exe under Wine: dialogue and credential library as expected"
