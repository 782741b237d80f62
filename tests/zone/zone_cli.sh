#!/bin/bash
# kxzone's command line: exit statuses, the form of its messages, standard input, -o, --json
# (read back with python3's json module), --version, --help, --warnings-fail, progress.
#   zone_cli.sh KXZONE VERSION SOURCE_DIR
set -u
kxzone=$1
version=$2
source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# run ARGS...: kxzone's exit status in $status, its output in out and err.
run() {
  "$kxzone" "$@" > out 2> err
  status=$?
}
expect_status() {  # STATUS WHAT
  [[ $status == "$1" ]] || fail "$2: exit status $status, expected $1: $(cat out err)"
}
expect_in() {  # FILE TEXT WHAT
  grep -qF -- "$2" "$1" || fail "$3: no '$2' in $1: $(cat "$1")"
}
expect_not_in() {  # FILE TEXT WHAT
  ! grep -qF -- "$2" "$1" || fail "$3: '$2' in $1: $(cat "$1")"
}
# json EXPRESSION: evaluates a Python expression over the JSON document in out (as r).
json() {
  python3 -c 'import json, sys; r = json.load(open("out")); print(eval(sys.argv[1]))' "$1" 2>&1
}
expect_json() {  # EXPRESSION VALUE WHAT
  local got
  got=$(json "$1")
  [[ $got == "$2" ]] || fail "$3: $1 is '$got', expected '$2'"
}

printf '$ORIGIN example.com.\n$TTL 3600\n@ SOA ns hm 1 2 3 4 5\n@ NS ns\n; the name server\nns A 192.0.2.53\n' > good.db
{ cat good.db; printf 'd A 192.0.2.1\nd A 192.0.2.1\n'; } > warn.db
{ cat good.db; printf 'a A 192.0.2.300\nb MX 70000 ns\nc A 192.0.2.1\nc CNAME ns\n'; } > bad.db
{ cat good.db; printf 'x 1h2x A 192.0.2.1\n'; } > syntax.db

# Exit statuses and the form of messages: the library's own texts after FILE:LINE.
run check good.db
expect_status 0 "a sound zone"
expect_in out "good.db: 3 records, 1 comment line" "the summary counts records and comment lines apart"
[[ -s err ]] && fail "a sound zone: messages: $(cat err)"
run check warn.db
expect_status 0 "a zone with a warning"
expect_in err "warn.db:8: warning: duplicate record d.example.com. A (see warn.db:7)" "a warning"
expect_in err "kxzone: warn.db: 0 errors, 1 warning" "the count of problems"
run check warn.db --warnings-fail
expect_status 1 "--warnings-fail"
run check bad.db
expect_status 1 "a zone with errors"
expect_in err 'bad.db:7: error: Incorrect A record data: field 1 "192.0.2.300" is not an IPv4 address.' "a data fault"
expect_in err 'bad.db:8: error: Incorrect MX record data: field 1 "70000" is not a number from 0 to 65535.' "every data fault"
expect_in err "bad.db:10: error: CNAME and other data at c.example.com. (see bad.db:9)" "a zone-level error"
expect_in err "kxzone: bad.db: 3 errors, 0 warnings" "the count of problems"
run check syntax.db
expect_status 1 "a syntax error"
expect_in err "syntax.db:7: error: Incorrect TTL format." "a syntax error"
run check bad.db --max-errors=1
expect_status 1 "--max-errors=1"
[[ $(grep -c ': error: ' err) == 1 ]] || fail "--max-errors=1 shows $(grep -c ': error: ' err) problems"
expect_in err "kxzone: 2 more problems not shown (--max-errors 1)" "--max-errors"
expect_in err "kxzone: bad.db: 3 errors, 0 warnings" "--max-errors counts every problem"
run check bad.db --syntax-only
expect_status 0 "--syntax-only"
printf '$ORIGIN example.com.\nwww A 192.0.2.1\n' > part.db
run check part.db --no-zone-checks
expect_status 0 "--no-zone-checks"
run check part.db --origin example.com.
expect_status 1 "a zone without SOA record"
expect_in err "part.db: error: no SOA record at the zone apex example.com." "a problem that no line holds"
run check part.db
expect_in err "part.db: error: no SOA record, so the zone has no apex" "a zone without SOA record or origin"
printf '@ SOA ns hm 1 2 3 4 5\n@ NS ns\nns A 192.0.2.1\n' > noorigin.db
run check noorigin.db
expect_in out 'origin assumed: "."' "without --origin and \$ORIGIN the origin assumed is said"
run check good.db
expect_not_in out "origin assumed" "a zone with \$ORIGIN"
printf '$ORIGIN example.com.\n$TTL 3600\n@ SOA ns hm 1 2 3 4 5\n@ NS ns\nns A 192.0.2.53\nx\033[2J.example.net. A 192.0.2.1\n' > control.db
run check control.db
expect_in err 'x\027[2J.example.net.' "a control character in a message is escaped"
[[ $(tr -d -c '\033' < err | wc -c) == 0 ]] || fail "a control character reaches the terminal"

# Usage errors and unreadable files: status 2.
for args in "check good.db --frobnicate" "check good.db -x" "format good.db --sort size" "check" \
            "check good.db good.db" "frob good.db" "check good.db -o out.db" "check good.db --origin" \
            "format good.db --json" "check good.db --max-errors=0" "check no-such.db" "check ."; do
  # shellcheck disable=SC2086
  run $args
  expect_status 2 "kxzone $args"
  expect_in err "kxzone: " "kxzone $args names itself"
done

# Standard input, "--" and --opt=value.
run check - < warn.db
expect_status 0 "standard input"
expect_in out "<stdin>: 5 records" "standard input"
expect_in err "<stdin>:8: warning: duplicate record" "standard input"
"$kxzone" format good.db > from-file
"$kxzone" format - < good.db > from-input
cmp -s from-file from-input || fail "format reads standard input as it reads the file"
cp good.db ./-dash.db
run check -- -dash.db
expect_status 0 "a file named after '--'"
run check --origin=example.com. noorigin.db
expect_status 0 "--origin=NAME"
expect_not_in out "origin assumed" "--origin=NAME"

# format and sort refuse what check refuses; -o through a temporary file.
run format bad.db
expect_status 1 "format of a zone with errors"
[[ -s out ]] && fail "format writes a zone with errors"
run format bad.db --syntax-only
expect_status 0 "format --syntax-only"
expect_in out "192.0.2.300" "format --syntax-only writes what it read"
run format warn.db --warnings-fail
expect_status 1 "format --warnings-fail"
[[ -s out ]] && fail "format --warnings-fail writes a zone with warnings"
run format warn.db -o formatted.db
expect_status 0 "format -o"
[[ -s out ]] && fail "format -o writes to standard output too"
"$kxzone" format warn.db > expected.db 2> /dev/null
cmp -s expected.db formatted.db || fail "format -o writes other text than format"
cp warn.db inplace.db
chmod 640 inplace.db
run format inplace.db -o inplace.db
expect_status 0 "format -o onto the input"
cmp -s expected.db inplace.db || fail "format -o onto the input: $(cat inplace.db)"
[[ $(stat -c %a inplace.db) == 640 ]] || fail "format -o changes the target's permissions to $(stat -c %a inplace.db)"
cp bad.db kept.db
run format kept.db -o kept.db --output=kept.db
expect_status 1 "format -o of a zone with errors"
cmp -s bad.db kept.db || fail "format -o of a zone with errors changes the target"
ln -s formatted.db link.db
run sort warn.db -o link.db --descending
expect_status 0 "sort -o onto a symbolic link"
[[ -L link.db ]] || fail "sort -o replaces a symbolic link with a file"
"$kxzone" format warn.db --sort name --descending > sorted.db 2> /dev/null
cmp -s sorted.db formatted.db || fail "sort is format --sort name, and -o writes through the link"
(umask 027 && "$kxzone" format good.db -o new.db)
[[ $(stat -c %a new.db) == 640 ]] || fail "a new -o file has mode $(stat -c %a new.db), not 640 (umask 027)"
leftovers=$(find . -name '.*kxzone-*')
[[ -z $leftovers ]] || fail "temporary files left behind: $leftovers"
run format good.db -o "$work/no-such-folder/x.db"
expect_status 2 "format -o into a missing folder"

# --json, read back as JSON.
run check bad.db --json --max-errors 2
expect_status 1 "check --json"
expect_json 'r["file"], r["origin"], r["origin_assumed"]' "('bad.db', 'example.com.', False)" "--json names"
expect_json 'r["records"], r["comment_lines"], r["errors"], r["warnings"], r["not_shown"]' "(7, 1, 3, 0, 1)" "--json counts"
expect_json '[(p["file"], p["line"], p["severity"]) for p in r["problems"]]' \
  "[('bad.db', 7, 'error'), ('bad.db', 8, 'error')]" "--json problems"
expect_json 'r["problems"][0]["message"]' 'Incorrect A record data: field 1 "192.0.2.300" is not an IPv4 address.' \
  "--json message"
[[ -s err ]] && fail "check --json writes to standard error: $(cat err)"
run check warn.db --json
expect_json 'r["problems"][0]["related"]' "{'file': 'warn.db', 'line': 7}" "--json related record"
run check syntax.db --json
expect_json '"records" in r, r["errors"], r["problems"][-1]["line"]' "(False, 1, 7)" "--json of a syntax error"
printf '$ORIGIN example.com.\n$TTL 3600\n@ SOA ns hm 1 2 3 4 5\n@ NS ns\nns A 192.0.2.53\n\xff\xfe.example.net. A 192.0.2.1\n' > latin.db
run check latin.db --json
expect_json 'r["warnings"], r["problems"][0]["line"]' "(1, 6)" "--json of a name that is not UTF-8"
run format warn.db --json -o json.db
expect_status 0 "format --json -o"
expect_json 'r["warnings"]' "1" "format --json -o"

# --version and --help.
run --version
expect_status 0 "--version"
[[ $(head -1 out) == "kxzone $version" ]] || fail "--version: first line '$(head -1 out)', not 'kxzone $version'"
run check --help
expect_status 0 "--help"
for option in $(sed -n '/kLongOptions\[\] = {/,/^};/p' "$source/tools/kxzone.cpp" | grep -o '{"[a-z-]*"' | tr -d '{"'); do
  grep -q -- "--$option" out || fail "--help does not describe --$option"
done

# Progress: on a terminal only, past 50 MB (here of long comment lines on standard input).
python3 - "$kxzone" > progress 2>&1 << 'EOF'
import os, pty, subprocess, sys, threading
line = b"; " + b"x" * 998 + b"\n"
master, slave = pty.openpty()
proc = subprocess.Popen([sys.argv[1], "check", "-", "--no-zone-checks"], stdin=subprocess.PIPE,
                        stdout=subprocess.DEVNULL, stderr=slave)
os.close(slave)
def feed():
    for _ in range(52000):
        proc.stdin.write(line)
    proc.stdin.close()
threading.Thread(target=feed).start()
shown = b""
while True:
    try:
        chunk = os.read(master, 4096)
    except OSError:
        break
    if not chunk:
        break
    shown += chunk
proc.wait()
print(repr(shown))
EOF
expect_in progress "MB read" "progress on a terminal"
expect_in progress "records/s" "progress on a terminal"
expect_in progress '\r' "progress is one updating line"
head -c 60000000 /dev/zero | tr '\0' 'x' | fold -w 1000 | sed 's/^/; /' > big.db
run check big.db --no-zone-checks
expect_status 0 "a zone of 60 MB"
expect_not_in err "MB read" "no progress when standard error is no terminal"

if (( failures )); then
  echo "$failures failure(s)"
  exit 1
fi
echo "all command-line checks passed"
