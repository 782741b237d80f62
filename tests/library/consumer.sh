#!/usr/bin/env bash
# Builds the consumer of tests/library/consumer against an installed orvo twice, through its
# CMake package and through pkg-config, and runs both: each must link beside its own quote()
# and toLowerText(), print what the library and its own functions give, and carry no LDAP,
# Kerberos or SASL library (it links orvo::orvo alone). Then every installed header is
# compiled in one unit with ORVO_NO_GLOBAL_NAMES.
#   consumer.sh ORVO_DIR WORKDIR    (ORVO_DIR: the installed <libdir>/cmake/orvo)
set -euo pipefail
orvo_dir=$(cd "$1" && pwd)
work=$2
source=$(cd "$(dirname "$0")/consumer" && pwd)
rm -rf "$work"
mkdir -p "$work"
export PKG_CONFIG_PATH="$orvo_dir/../../pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
version=$(pkg-config --modversion orvo)

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
echo "== CMake package ($orvo_dir)"
cmake -S "$source" -B "$work/cmake" "${generator[@]}" -Dorvo_DIR="$orvo_dir" >"$work/cmake.log" 2>&1 \
  || { cat "$work/cmake.log"; exit 1; }
cmake --build "$work/cmake" >>"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; exit 1; }
echo "== pkg-config ($(pkg-config --variable=libdir orvo))"
(cd "$source" && g++ -std=c++20 -o "$work/consumer-pc" main.cpp own.cpp names.cpp $(pkg-config --cflags --libs orvo))

expected=$(printf '%s\n' '"zone" www.example. 2001:db8::1' '<zone> lower:WWW' '<X>"X"x' "$version")
status=0
for program in "$work/cmake/consumer" "$work/consumer-pc"; do
  output=$("$program")
  if [[ $output != "$expected" ]]; then
    echo "$program printed:"; echo "$output"; echo "expected:"; echo "$expected"; status=1
  fi
  if foreign=$(ldd "$program" | grep -Ei 'ldap|lber|krb5|gssapi|sasl|k5crypto'); then
    echo "$program carries directory libraries:"; echo "$foreign"; status=1
  fi
done

echo "== every header without the global names"
includedir=$(pkg-config --variable=includedir orvo)
(cd "$includedir" && find orvo -name '*.h' | sort | sed 's/.*/#include <&>/') >"$work/headers.cpp"
g++ -std=c++20 -Wall -Wextra -fsyntax-only -DORVO_NO_GLOBAL_NAMES $(pkg-config --cflags orvo) "$work/headers.cpp" \
  || status=1
((status == 0)) && echo "consumer: both builds link, run and carry no directory libraries"
exit $status
