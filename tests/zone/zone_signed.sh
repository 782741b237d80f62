#!/bin/bash
# kxzone on signed zones, signed here with keys made for the run:
#   zone_signed.sh KXZONE
# The zone is signed by dnssec-signzone with NSEC, with NSEC3 and a salt, and with NSEC3
# opt-out signing every key (-3 - -A -z), and by ldns-signzone with ZONEMD records of SHA-384
# and SHA-512. For each signed zone: "kxzone check" passes; named-compilezone reads the same
# records from "kxzone format"'s output as from the signed zone; formatting the output again
# changes nothing; and dnssec-verify (and for the ZONEMD zone ldns-verify-zone -Z) accepts the
# output, so no signature lost its data.
set -u
kxzone=$1
origin=example.com.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

canonical() {  # FILE -> BIND's canonical records on standard output
  named-compilezone -q -i none -k ignore -s full -o - "$origin" "$1"
}

cd "$work" || exit 1
# Besides the usual records, types whose text forms BIND writes in its own way (NID and L64
# without leading zeros), added types, a signed and an unsigned delegation and a wildcard.
cat > zone.db <<'EOF'
$TTL 3600
@ SOA ns1 hostmaster 2024010101 7200 3600 1209600 300
@ NS ns1
@ NS ns2.example.net.
@ MX 10 mail
ns1 A 192.0.2.53
mail A 192.0.2.25
mail AAAA 2001:db8::25
www CNAME mail
@ TXT "v=spf1 mx -all"
@ CAA 0 issue "ca.example.net"
_443._tcp.www TLSA 3 1 1 0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF
www2 HTTPS 1 . alpn="h2,h3" port=443 ipv4hint=192.0.2.80
mail SSHFP 1 1 dd465c09cfa51fb45020cc83316fff21b9ec74ac
n NID 10 14:4fff:ff20:ee64
n L64 10 2001:db8:1140:1000
_sip._udp SRV 0 5 5060 mail
*.wild A 192.0.2.99
sub NS ns.sub
sub DS 60485 13 2 D4B7D520E7BB5F0F67674A0CCEB1E3E0614B93C4F9E99B8383F6A1E4469DA50A
ns.sub A 192.0.2.54
insecure NS ns.example.net.
EOF

mkdir bind ldns
dnssec-keygen -q -K bind -a ECDSAP256SHA256 -f KSK "$origin" > /dev/null || exit 1
dnssec-keygen -q -K bind -a ECDSAP256SHA256 "$origin" > /dev/null || exit 1
sign() {  # OUTPUT OPTIONS...
  local output=$1
  shift
  dnssec-signzone -q -S -K bind "$@" -o "$origin" -f "$output" zone.db > /dev/null || fail "dnssec-signzone $* failed"
}
sign nsec.db
sign nsec3-salt.db -3 AABBCCDD
sign nsec3-optout.db -3 - -A -z
(
  cd ldns || exit 1
  zsk=$(ldns-keygen -a ECDSAP256SHA256 "$origin") && ksk=$(ldns-keygen -k -a ECDSAP256SHA256 "$origin") &&
    ldns-signzone -z 1:1 -z 1:2 -o "$origin" -f ../ldns-zonemd.db ../zone.db "$zsk" "$ksk"
) || fail "ldns-signzone failed"

for signed in nsec.db nsec3-salt.db nsec3-optout.db ldns-zonemd.db; do
  [[ -s $signed ]] || continue
  "$kxzone" check "$signed" --origin "$origin" > out 2>&1 || fail "$signed: kxzone check refuses it: $(head -5 out)"
  if ! "$kxzone" format "$signed" --origin "$origin" > formatted 2> err; then
    fail "$signed: kxzone format failed: $(head -5 err)"
    continue
  fi
  "$kxzone" format formatted --origin "$origin" > again 2> err || fail "$signed: formatting the output failed: $(head -5 err)"
  cmp -s formatted again || fail "$signed: formatting the output again changes it"
  canonical "$signed" > expected 2> err || fail "$signed: named-compilezone refuses the signed zone: $(cat err)"
  canonical formatted > actual 2> err || fail "$signed: named-compilezone refuses kxzone's output: $(cat err)"
  diff -u expected actual > diff || { fail "$signed: named-compilezone reads other records from kxzone's output"; head -20 diff; }
  dnssec-verify -q -o "$origin" formatted > out 2>&1 || fail "$signed: dnssec-verify refuses kxzone's output: $(head -5 out)"
  if [[ $signed == ldns-zonemd.db ]]; then
    grep -q ZONEMD formatted || fail "$signed: the ZONEMD records are gone"
    ldns-verify-zone -Z formatted > out 2>&1 || fail "$signed: ldns-verify-zone -Z refuses kxzone's output: $(head -5 out)"
  fi
done

if (( failures )); then
  echo "$failures failures"
  exit 1
fi
echo "all signed zones passed"
