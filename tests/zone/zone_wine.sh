#!/bin/bash
# kxzone built for Windows, run under Wine, against kxzone built for Linux on the zone
# corpus: "kxzone check" and "kxzone format" give the same standard output, standard error
# and exit status on both systems. Windows writes text lines ended by CR LF; the CRs are
# taken out before comparing.
#   zone_wine.sh LINUX_KXZONE WINDOWS_KXZONE CORPUS_DIR
# ORVO_WINE (the Wine loader of the build), WINEPREFIX and WINEDEBUG come from the caller.
set -u
wine=${ORVO_WINE:?names the Wine loader}
linux=$1
windows=$2
corpus=$3
origin=example.com.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
compared=0

cd "$corpus" || exit 1

# Files that are refused, each at its own place.
printf 'a A 192.0.2.1\nb TXT "x"\n' > "$work/nosoa.db"
printf '$TTL 1h\n@ SOA ns hm 1 2 3 4 5\nbad 1h2x A 192.0.2.1\n' > "$work/badttl.db"
printf '@ SOA ns hm 1 2 3 4 5\nx IN AXFRX data\n' > "$work/badtype.db"
printf '@ SOA ns hm 1 2 3 4 5\nx TXT abc\0def\n' > "$work/zerobyte.db"
printf '@ SOA ns hm 1 2 3 4 5\nx TXT "never closed\n' > "$work/open.db"
: > "$work/empty.db"

same() {  # ARGS... : both programs with the same arguments
  "$linux" "$@" > "$work/linux.out" 2> "$work/linux.err"
  local linuxStatus=$?
  "$wine" "$windows" "$@" > "$work/windows.out" 2> "$work/windows.err"
  local windowsStatus=$?
  compared=$((compared + 1))
  for stream in out err; do
    tr -d '\r' < "$work/windows.$stream" > "$work/windows.$stream.lf"
    if ! diff -u "$work/linux.$stream" "$work/windows.$stream.lf" > "$work/diff"; then
      echo "FAIL: kxzone $*: standard $stream differs (- Linux, + Windows)"
      head -40 "$work/diff"
      failures=$((failures + 1))
    fi
  done
  if [[ $linuxStatus != "$windowsStatus" ]]; then
    echo "FAIL: kxzone $*: exit status $linuxStatus on Linux, $windowsStatus on Windows"
    failures=$((failures + 1))
  fi
}

for file in *.db *.kxdb; do
  same check "$file" --origin "$origin"
  same format "$file" --origin "$origin"
  same format "$file" --origin "$origin" --sort type --keep-directives
done
for file in nosoa badttl badtype zerobyte open empty; do
  same check "$work/$file.db"
  same check "$work/$file.db" --require-soa
done
# -o onto the input: Windows replaces no file that is open, so the input must be closed first.
for system in linux windows; do cp basic.db "$work/$system-inplace.db"; done
"$linux" format "$work/linux-inplace.db" --origin "$origin" -o "$work/linux-inplace.db" 2> /dev/null
"$wine" "$windows" format "$work/windows-inplace.db" --origin "$origin" -o "$work/windows-inplace.db" 2> /dev/null
compared=$((compared + 1))
if ! tr -d '\r' < "$work/windows-inplace.db" | diff -u "$work/linux-inplace.db" - > "$work/diff"; then
  echo "FAIL: kxzone format -o onto the input: the files differ (- Linux, + Windows)"
  head -40 "$work/diff"
  failures=$((failures + 1))
fi
same check directives.db --no-include
same check "$work/no-such.db"
same check basic.db --frobnicate
same --help

if (( failures )); then
  echo "$failures of $compared runs differ"
  exit 1
fi
echo "kxzone under Wine matches Linux in all $compared runs"
