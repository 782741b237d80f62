#!/usr/bin/env bash
# kxzone's bash completion offers what kxzone --help offers: the commands first, then for
# each command the long options --help lists (those --help marks "(format, sort)" for format
# and sort only, the others for all three), nothing --help lacks, the values of --sort, and
# file names for -o and the zone file.
#   completion.sh PROGRAM [COMPLETION]
# COMPLETION is the completion file to load; without it bash-completion's loader finds the
# installed one, as an interactive shell does.
program=$1
completion=${2:-}
bash_completion=/usr/share/bash-completion/bash_completion
[[ -r $bash_completion ]] || { echo "completion: no $bash_completion (package bash-completion)"; exit 1; }
# bash_completion is written for interactive shells, so no -e or -u while it is read.
source "$bash_completion"
if [[ -n $completion ]]; then
  source "$completion"
else
  _completion_loader kxzone
fi
set -o pipefail
declare -F _kxzone >/dev/null || { echo "completion: no _kxzone after loading ${completion:-kxzone}"; exit 1; }

# compopt works only inside a completion that bash runs; here it records its arguments.
nospace=
compopt() { [[ $* == *"-o nospace"* ]] && nospace=yes; return 0; }

# The completions offered at the end of LINE, sorted, on one line. Words are split as bash
# splits them for completion (blanks, and "=" as a word of its own).
offered() {
  local line=$1 word
  local -a split=() words=()
  read -ra split <<<"$line"
  [[ $line == *" " ]] && split+=("")
  for word in "${split[@]}"; do
    if [[ $word == *=* ]]; then words+=("${word%%=*}" "=" "${word#*=}"); else words+=("$word"); fi
  done
  COMP_WORDS=("${words[@]}")
  COMP_CWORD=$((${#words[@]} - 1))
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMPREPLY=()
  nospace=
  _kxzone
  printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | paste -sd' '
}

status=0
expect() {  # LINE EXPECTED
  local got
  got=$(offered "$1")
  [[ $got == "$2" ]] || { echo "FAILED: \"$1\" offered \"$got\", not \"$2\""; status=1; }
}
holds() {  # LINE WORD: WORD is among the completions
  local got
  got=$(offered "$1")
  [[ " $got " == *" $2 "* ]] || { echo "FAILED: \"$1\" offered \"$got\", without \"$2\""; status=1; }
}

# What --help lists: its option lines, and those for format and sort only.
help=$("$program" --help) || { echo "FAILED: $program --help"; exit 1; }
option_lines=$(grep -E '^ +(-[A-Za-z], )?--[a-z]' <<<"$help")
names() { grep -oE -- '--[a-z][a-z0-9-]*' | head -1; }
mapfile -t all < <(while read -r l; do names <<<"$l"; done <<<"$option_lines" | sort -u)
mapfile -t writers_only < <(grep -F '(format, sort)' <<<"$option_lines" | while read -r l; do names <<<"$l"; done | sort -u)
((${#all[@]} > 10 && ${#writers_only[@]} > 0)) || { echo "FAILED: no option list in $program --help"; exit 1; }

expect "kxzone " "check format sort"
expect "kxzone ch" "check"
expect "kxzone -" "--help --version"
expect "kxzone bogus -" ""

for command in check format sort; do
  # The long options offered, without the "=" of those that take a value.
  mapfile -t got < <(offered "kxzone $command -" | tr ' ' '\n' | grep -- '^--' | sed 's/=$//' | sort -u)
  for option in "${all[@]}"; do
    want=yes
    [[ $command == check && " ${writers_only[*]} " == *" $option "* ]] && want=no
    has=no
    [[ " ${got[*]} " == *" $option "* ]] && has=yes
    [[ $has == "$want" ]] || { echo "FAILED: kxzone $command: $option offered: $has, --help: $want"; status=1; }
  done
  for option in "${got[@]}"; do
    [[ " ${all[*]} " == *" $option "* ]] || { echo "FAILED: kxzone $command offers $option, which --help lacks"; status=1; }
  done
done
holds "kxzone format -" "-o"
offered "kxzone check --max-e" >/dev/null
[[ $nospace == yes ]] || { echo "FAILED: --max-errors= is followed by a blank"; status=1; }

expect "kxzone sort --sort " "name type"
expect "kxzone format --sort=t" "type"
expect "kxzone check --origin " ""
expect "kxzone check --max-errors=" ""

# File names: the zone, -o's file and, after "--", a file whose name starts with "-".
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/zone.db" "$work/-x.db"
cd "$work" || exit 1
expect "kxzone check zo" "zone.db"
expect "kxzone sort --descending zo" "zone.db"
expect "kxzone format -o zo" "zone.db"
expect "kxzone format --output=zo" "zone.db"
expect "kxzone check -- -" "-x.db"

((status == 0)) && echo "completion: kxzone's commands and its ${#all[@]} long options as --help lists them (${writers_only[*]} for format and sort only), --sort's values and file names"
exit $status
