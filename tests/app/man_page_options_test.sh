#!/usr/bin/env bash
# The manual pages and --help name the same options, switches and commands.
#   man_page_options_test.sh HIVORA HIVORA_HIVE MAN_SOURCE_DIR
# Options the page documents ahead of this build's --help are listed in
# DOCUMENTED_AHEAD (each must then be absent from --help, so the list empties
# itself once the program prints them).
set -euo pipefail
hivora=$1 hive=$2 man=$3
DOCUMENTED_AHEAD=""

# Option names (--word, -h) and switches (/Word) of a text, one a line.
options() { grep -oE '(^|[^[:alnum:]_/.-])(--[a-z][a-z-]*|-h|/[A-Z][a-z]+)\b' | sed -E 's/^[^-/]//' | sort -u; }
# The page's option terms: the bold words of its definition lists' terms.
terms() { awk 'prev ~ /^\*/ && /^\t/ { print prev } { prev = $0 }' "$1"; }
page_options() { terms "$1" | grep -oE '\*(--[a-z][a-z-]*|-h|/[A-Z][a-z]+)\*' | tr -d '*' | sort -u; }
page_commands() { terms "$1" | grep -oE '^\*[a-z]+\* _' | sed -E 's/^\*([a-z]+)\*.*/\1/' | sort -u; }

status=0
compare() {  # NAME HELP_LIST PAGE_LIST
  local missing extra
  missing=$(comm -23 <(echo "$2") <(echo "$3"))
  extra=$(comm -13 <(echo "$2") <(echo "$3"))
  for ahead in $DOCUMENTED_AHEAD; do
    if grep -qx -- "$ahead" <<<"$2"; then
      echo "FAIL $1: $ahead is in --help now; take it off DOCUMENTED_AHEAD"; status=1
    fi
    extra=$(grep -vx -- "$ahead" <<<"$extra" || true)
  done
  if [ -n "$missing" ]; then echo "FAIL $1: in --help, not in the page:" $missing; status=1; fi
  if [ -n "$extra" ]; then echo "FAIL $1: in the page, not in --help:" $extra; status=1; fi
  [ -z "$missing$extra" ] && echo "ok $1: $(echo "$2" | wc -l) names"
}

help=$("$hivora" --help 2>&1)
compare "hivora(1) options" "$(options <<<"$help")" "$(page_options "$man/hivora.1.scd")"

help=$("$hive" --help 2>&1 || true)
compare "hivora-hive(1) options" "$(options <<<"$help")" "$(page_options "$man/hivora-hive.1.scd")"
hive_commands=$(grep -oE '^  [a-z]+ [A-Z]' <<<"$help" | awk '{print $1}' | sort -u)
compare "hivora-hive(1) commands" "$hive_commands" "$(page_commands "$man/hivora-hive.1.scd")"

# Every exit code --help names is explained on the page.
for code in $("$hivora" --help | sed -n '/^Exit codes/,$p' | grep -oE '^  [0-9]+' ); do
  grep -qE "^\*$code\*$" "$man/hivora.1.scd" || { echo "FAIL hivora(1): exit code $code not on the page"; status=1; }
done
exit $status
