#!/bin/bash
# The zone-level checks of "kxzone check" beside named-checkzone (BIND) and kzonecheck (Knot)
# on the zones of checks.txt (see there for their form):
#   zone_checks.sh KXZONE CHECKS_FILE [--print]
# For every zone, each checker's exit status and what it flags must be what the table says.
# With --print, the table's lines are printed as the checkers answer today instead.
set -u
kxzone=$1
cases=$2
print=${3:-}
checkzone=/usr/bin/named-checkzone
knot=/usr/bin/kzonecheck
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

# BIND: its exit status, then the lines it names ("FILE:LINE:"), and "zone" when it says
# something of the zone without a line (missing glue, a target without address, ...).
bind_verdict() {
  local out status flags
  out=$("$checkzone" -i local "$origin" "$1" 2>&1)
  status=$?
  flags=$(grep -o "^\(dns_master_load: \)\?[^ ]*case\.db:[0-9]*:" <<< "$out" | sed 's/.*case\.db:\([0-9]*\):/\1/' | sort -nu | tr '\n' ' ')
  grep -v "loaded serial\|not loaded due to errors\|loading from master file" <<< "$out" | grep -q "^zone $origin\|^zone ${origin%.}/IN:" && flags+="zone "
  echo "$status ${flags:--}" | sed 's/ *$//'
}

# Knot: its exit status, then the owners it names, relative to the zone ("@" for the apex).
knot_verdict() {
  local out status owners
  out=$("$knot" -o "$origin" "$1" 2>&1)
  status=$?
  owners=$(grep -o '^\[[^]]*\]' <<< "$out" | tr -d '[]' | sed "s/\.\?${origin//./\\.}\$//; s/^\$/@/" | sort -u | tr '\n' ' ')
  echo "$status ${owners:--}" | sed 's/ *$//'
}

# kxzone: its exit status, then its findings from --json as E<line> or W<line>, in line order.
our_verdict() {
  local status findings
  "$kxzone" check "$1" --origin "$origin" --json > "$work/json" 2> "$work/err"
  status=$?
  findings=$(python3 -c '
import json, sys
report = json.load(open(sys.argv[1]))
items = sorted((p["line"], p["severity"]) for p in report["problems"])
print(" ".join(("E" if s == "error" else "W") + str(l) for l, s in items))' "$work/json") || findings="(no JSON: $(cat "$work/err"))"
  echo "$status ${findings:--}"
}

while IFS= read -r line; do
  [[ -z $line || $line == \#* ]] && continue
  IFS='|' read -r name text want_bind want_knot want_ours <<< "$line"
  name=$(xargs <<< "$name")
  text=${text# }
  text=${text% }
  count=$((count + 1))
  zone=$work/case.db
  if [[ $text == raw:* ]]; then
    printf '%b\n' "${text#raw:}" > "$zone"
  else
    printf '%b%b\n' "$header" "$text" > "$zone"
  fi
  got_bind=$(bind_verdict "$zone")
  got_knot=$(knot_verdict "$zone")
  got_ours=$(our_verdict "$zone")
  if [[ $print == --print ]]; then
    printf '%s | %s | %s | %s | %s\n' "$name" "$text" "$got_bind" "$got_knot" "$got_ours"
    continue
  fi
  for who in bind knot ours; do
    want=want_$who got=got_$who
    want=$(xargs <<< "${!want}")
    [[ $want == "${!got}" ]] || fail "$name: $who gives '${!got}', the table says '$want'"
  done
done < "$cases"

[[ $print == --print ]] && exit 0
if (( failures )); then
  echo "$failures failures in $count zones"
  exit 1
fi
echo "all $count zones checked as the table says"
