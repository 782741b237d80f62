#!/usr/bin/env bash
# The credential plugin exports its two C entry points and nothing else, and has a versioned
# SONAME.
#   plugin_exports.sh PLUGIN    (libkxSSPI.so)
set -euo pipefail
plugin=$1
exports=$(nm -D --defined-only "$plugin" | awk 'NF == 3 {print $3}' | sort | paste -sd' ')
soname=$(objdump -p "$plugin" | awk '$1 == "SONAME" {print $2}')
status=0
[[ $exports == "kxSetSSP kxUserLogon" ]] || { echo "$plugin exports: $exports"; status=1; }
[[ $soname =~ ^libkxSSPI\.so\.[0-9]+$ ]] || { echo "$plugin SONAME: '$soname'"; status=1; }
((status == 0)) && echo "$plugin: exports $exports; SONAME $soname"
exit $status
