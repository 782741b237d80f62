#!/usr/bin/env bash
# Refuses a library whose free functions lie outside its namespace. A free function defined
# at global scope clashes at link time with a program's own function of the same name and
# parameters ("multiple definition of `quote(...)'"), so every one of them lives in orvo::
# and the headers declare it at global scope as well. Allowed at global scope: operators
# whose operands include one of the library's kx classes (argument-dependent lookup must
# find them beside their class, and their parameters cannot be a program's own).
#   global_names.sh LIBRARY   (liborvo.a or liborvo.so)
set -euo pipefail
library=$1
case $library in
  *.so*) symbols=$(nm -D --defined-only "$library") ;;
  *) symbols=$(nm --defined-only "$library") ;;
esac
# Itanium mangling: _Z followed by a length is a name of the global namespace, _Z and two
# lower-case letters a global operator; a defined code symbol without _Z is a C function.
mapfile -t code < <(awk 'NF == 3 && $2 ~ /^[TWi]$/ {print $3}' <<<"$symbols" | sort -u)
((${#code[@]})) || { echo "no code symbols in $library" >&2; exit 1; }
faults=()
for symbol in "${code[@]}"; do
  case $symbol in
    _Z[0-9]*) faults+=("$(c++filt "$symbol")") ;;
    _Z[a-z][a-z]*)
      readable=$(c++filt "$symbol")
      [[ $readable == *kx[A-Z]* ]] || faults+=("$readable") ;;
    _*) ;;  # compiler and runtime symbols (__gxx_personality_v0, _init, ...)
    *) faults+=("$symbol (not a C++ name)") ;;
  esac
done
if ((${#faults[@]})); then
  echo "functions of $library outside namespace orvo:" >&2
  printf '  %s\n' "${faults[@]}" >&2
  exit 1
fi
echo "${#code[@]} code symbols, none at global scope"
