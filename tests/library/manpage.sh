#!/usr/bin/env bash
# A program's manual page says what its --help says, so that the two cannot drift apart:
#   - the page formats without a warning (groff -ww);
#   - every long option --help names is in the page, and every long option the page names is
#     one --help names (none left over from an option that is gone);
#   - every short option of --help's option list (-u, --user) is in the page;
#   - every term --help lists (commands, JSON members, settings' keys and variables) is in
#     the page.
# The page is read as a reader sees it (formatted to plain text), not as roff source.
#   manpage.sh PROGRAM PAGE    (PAGE: the page's source, or the installed page, .gz or not)
set -euo pipefail
program=$1
page=$2
name=$(basename "$program")

source_text() { if [[ $page == *.gz ]]; then gzip -dc "$page"; else cat "$page"; fi; }

status=0
fail() { echo "$name: $*"; status=1; }

warnings=$(source_text | groff -man -ww -z 2>&1) || fail "groff failed"
[[ -z $warnings ]] || fail "groff warnings in $page:"$'\n'"$warnings"

# One line per paragraph (a line length no paragraph reaches) and no hyphenation, so that no
# name is split; no bold or underlining.
text=$(source_text | groff -man -Tascii -rLL=5000n -P-cbou)
help=$("$program" --help)

# NAME appears in TEXT as a name of its own: not inside a longer name or option.
has() { grep -qE -- "(^|[^A-Za-z0-9_-])$1(\$|[^A-Za-z0-9_-])" <<<"$2"; }

mapfile -t help_long < <(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u)
mapfile -t page_long < <(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$text" | sort -u)
mapfile -t short < <(sed -nE 's/^ +(-[A-Za-z]), --.*/\1/p' <<<"$help" | sort -u)
# The terms of --help's lists: a word at the start of a line indented by two, followed by
# two blanks (commands, JSON members); a setting's variable and its key.
mapfile -t terms < <(
  {
    sed -nE 's/^  ([a-z][a-z_]*)  .*/\1/p' <<<"$help"
    sed -nE 's/^  ([A-Z][A-Z0-9_]*_[A-Z0-9_]+) +([a-z][a-z_]*) .*/\1\n\2/p' <<<"$help"
  } | sort -u)

((${#help_long[@]})) || fail "--help names no long option"
for option in "${help_long[@]}"; do
  has "$option" "$text" || fail "$option is in --help, not in the manual page"
done
for option in "${page_long[@]}"; do
  has "$option" "$help" || fail "$option is in the manual page, not in --help"
done
for option in "${short[@]}"; do
  has "$option" "$text" || fail "$option is in --help, not in the manual page"
done
for term in "${terms[@]}"; do
  has "$term" "$text" || fail "\"$term\" is listed in --help, not in the manual page"
done

((status == 0)) && echo "$name: the manual page names the ${#help_long[@]} long options," \
  "${#short[@]} short options and ${#terms[@]} listed terms of --help: ${help_long[*]} ${short[*]} ${terms[*]}"
exit $status
