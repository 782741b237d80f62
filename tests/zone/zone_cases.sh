#!/bin/bash
# kxzone beside BIND on the small zone texts of cases.txt (see there for their form):
#   zone_cases.sh KXZONE CASES_FILE CORPUS_DIR
# "load" cases must load in named-compilezone, which must read the same records from
# "kxzone format"'s output; "fail" cases must be refused by named-checkzone and by "kxzone
# check" at the same line; "ours" cases by "kxzone check" at that line; "strict" cases by
# "kxzone check --strict-types" at that line, while "kxzone check" passes. The tables are about
# reading and writing records, as named-compilezone -i none is: kxzone runs without its
# zone-level checks here (checks.txt has those).
set -u
kxzone=$1
cases=$2
corpus=$3
compile=/usr/bin/named-compilezone
checkzone=/usr/bin/named-checkzone
origin=example.com.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
count=0
header='$TTL 3600\n@ SOA ns hm 1 2 3 4 5\n@ NS ns\nns A 192.0.2.53\n'

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

canonical() {  # FILE -> BIND's canonical records on standard output (host name rules aside)
  "$compile" -q -i none -k ignore -s full -o - "$origin" "$1"
}

# Included files are named relative to the corpus folder.
cd "$corpus" || exit 1

while IFS= read -r line; do
  [[ -z $line || $line == \#* ]] && continue
  kind=${line%% | *}
  rest=${line#* | }
  name=${rest%% | *}
  text=${rest#* | }
  count=$((count + 1))
  zone=$work/case.db
  if [[ $text == raw:* ]]; then
    printf '%b\n' "${text#raw:}" > "$zone"
  else
    printf '%b%b\n' "$header" "$text" > "$zone"
  fi

  case $kind in
    load)
      canonical "$zone" > "$work/expected" 2> "$work/err" || { fail "$name: named-compilezone refuses the case: $(cat "$work/err")"; continue; }
      "$kxzone" check "$zone" --origin "$origin" --no-zone-checks > "$work/out" 2>&1 || fail "$name: kxzone check refuses it: $(cat "$work/out")"
      for options in "" "--keep-directives"; do
        # shellcheck disable=SC2086
        if ! "$kxzone" format "$zone" --origin "$origin" --no-zone-checks $options > "$work/formatted" 2> "$work/err"; then
          fail "$name ($options): kxzone format failed: $(cat "$work/err")"
        elif ! canonical "$work/formatted" > "$work/actual" 2> "$work/err"; then
          fail "$name ($options): named-compilezone refuses kxzone's output: $(cat "$work/err")"
          cat "$work/formatted"
        elif ! diff -u "$work/expected" "$work/actual" > "$work/diff"; then
          fail "$name ($options): named-compilezone reads other records from kxzone's output"
          cat "$work/diff"
        fi
      done
      ;;
    strict\ *)
      at=${kind#* }
      "$kxzone" check "$zone" --origin "$origin" --no-zone-checks > "$work/out" 2>&1 || fail "$name: kxzone check refuses it: $(cat "$work/out")"
      "$kxzone" check "$zone" --origin "$origin" --no-zone-checks --strict-types > "$work/out" 2>&1
      status=$?
      [[ $status == 1 ]] || fail "$name: kxzone check --strict-types exits with $status, not 1: $(cat "$work/out")"
      grep -q "case.db:$at: error: " "$work/out" || fail "$name: kxzone check --strict-types does not name line $at: $(cat "$work/out")"
      ;;
    fail\ * | ours\ *)
      at=${kind#* }
      if [[ $kind == fail* ]]; then
        "$checkzone" -i none "$origin" "$zone" > "$work/peer" 2>&1 && fail "$name: named-checkzone loads it"
        grep -q "case.db:$at:" "$work/peer" || fail "$name: named-checkzone does not name line $at: $(cat "$work/peer")"
      fi
      "$kxzone" check "$zone" --origin "$origin" --no-zone-checks > "$work/out" 2>&1
      status=$?
      [[ $status == 1 ]] || fail "$name: kxzone check exits with $status, not 1: $(cat "$work/out")"
      grep -q "case.db:$at: error: " "$work/out" || fail "$name: kxzone check does not name line $at: $(cat "$work/out")"
      ;;
    *)
      fail "unknown kind '$kind' in case '$name'"
      ;;
  esac
done < "$cases"

if (( failures )); then
  echo "$failures of $count cases failed"
  exit 1
fi
echo "all $count zone cases passed"
