#!/bin/bash
# kxzone against BIND's named-compilezone on the zone corpus.
#   zone_corpus.sh KXZONE CORPUS_DIR
# For every corpus/*.db file and several output options: the records named-compilezone reads
# from "kxzone format"'s output equal those it reads from the file itself, and formatting the
# output again changes nothing. The *.kxdb files use line forms of the library's own (aging
# marks) that BIND does not read: for them only the fixed point and their survival are
# checked. Then the exit statuses and messages of "kxzone check".
set -u
kxzone=$1
corpus=$2
peer=/usr/bin/named-compilezone
origin=example.com.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Included files are named relative to the corpus folder.
cd "$corpus" || exit 1

canonical() {  # FILE -> BIND's canonical records on standard output
  "$peer" -q -i none -s full -o - "$origin" "$1"
}

option_sets=("" "--sort name" "--sort type" "--sort name --descending" "--sort type --descending"
             "--keep-directives")

for file in *.db *.kxdb; do
  case $file in inc-*) continue ;; esac
  if [[ $file == *.db ]]; then
    canonical "$file" > "$work/expected" || { fail "$file: named-compilezone refuses the original"; continue; }
    [[ -s $work/expected ]] || fail "$file: named-compilezone read no records"
  fi
  for options in "${option_sets[@]}"; do
    what="$file${options:+ ($options)}"
    # shellcheck disable=SC2086
    if ! "$kxzone" format "$file" --origin "$origin" $options > "$work/once" 2> "$work/err"; then
      fail "$what: kxzone format failed: $(cat "$work/err")"
      continue
    fi
    # shellcheck disable=SC2086
    if ! "$kxzone" format "$work/once" --origin "$origin" $options > "$work/twice" 2> "$work/err"; then
      fail "$what: kxzone format of its own output failed: $(cat "$work/err")"
    elif ! diff -u "$work/once" "$work/twice" > "$work/diff"; then
      fail "$what: formatting the output again changes it"
      cat "$work/diff"
    fi
    if [[ $file == *.db ]]; then
      if ! canonical "$work/once" > "$work/actual" 2> "$work/err"; then
        fail "$what: named-compilezone refuses kxzone's output: $(cat "$work/err")"
        cat "$work/once"
      elif ! diff -u "$work/expected" "$work/actual" > "$work/diff"; then
        fail "$what: named-compilezone reads other records from kxzone's output"
        cat "$work/diff"
      fi
    fi
  done
done

# The library's own line forms survive formatting.
"$kxzone" format extensions.kxdb --origin "$origin" --keep-directives > "$work/ext" 2>&1
for text in ';<!dis:old' '>retired 2023' '[AGE:3640000]' '[AGE:3640001]' '; refreshed by the client' \
            '$INCLUDE inc-hosts.db branch' '$GENERATE' '; The library' ; do
  grep -qF -- "$text" "$work/ext" || fail "extensions.kxdb: '$text' is lost by kxzone format"
done

# check: record count, errors and exit statuses.
expect() {  # STATUS TEXT-IN-OUTPUT ARGS...
  local status=$1 text=$2
  shift 2
  "$kxzone" "$@" > "$work/out" 2>&1
  local got=$?
  [[ $got == "$status" ]] || fail "kxzone $*: exit status $got, expected $status: $(cat "$work/out")"
  grep -qF -- "$text" "$work/out" || fail "kxzone $*: no '$text' in: $(cat "$work/out")"
}
printf 'a A 192.0.2.1\nb TXT "x"\n' > "$work/nosoa.db"
printf '$TTL 1h\n@ SOA ns hm 1 2 3 4 5\nbad 1h2x A 192.0.2.1\n' > "$work/badttl.db"
printf '@ SOA ns hm 1 2 3 4 5\nx IN AXFRX data\n' > "$work/badtype.db"
: > "$work/empty.db"
expect 0 "basic.db: 24 records, 3 comment lines" check basic.db --origin "$origin"
expect 0 "basic.db:29: warning: out-of-zone data" check basic.db --origin "$origin"
expect 1 "nosoa.db: error: no SOA record" check "$work/nosoa.db"
expect 0 "nosoa.db: 2 records, 0 comment lines" check "$work/nosoa.db" --no-zone-checks
expect 1 "error: Missing SOA record." check "$work/nosoa.db" --require-soa
expect 1 "empty.db:1: error: Missing SOA record." check "$work/empty.db" --require-soa
expect 1 "badttl.db:3: error: Incorrect TTL format." check "$work/badttl.db"
expect 1 "Unknown resource record type \"AXFRX\"" format "$work/badtype.db"
expect 1 "Include not supported." check directives.db --no-include
expect 2 "no-such.db" check "$work/no-such.db"
expect 2 "is a directory" check "$work"
expect 2 "unknown option" check basic.db --frobnicate
expect 2 "--sort" format basic.db --sort size
expect 2 "no file" check
expect 0 "Usage: kxzone" --help

if (( failures )); then
  echo "$failures failure(s)"
  exit 1
fi
echo "all zone corpus checks passed"
