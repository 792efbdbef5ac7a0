#!/usr/bin/env bash
# man_page_test.sh MANPAGE PROGRAM: the manual page renders without a warning, names the
# program's version, and its OPTIONS section documents exactly the long options that
# "PROGRAM --help" lists (and every short one).
set -euo pipefail
page=$1
program=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man reports: $warnings"

# The page names the program's version in its header.
version=$("$program" --version | awk '{print $2}')
grep -q "^\.TH RAVLIN 1 .* \"Ravlin $version\"" "$page" || fail "the page's header does not name Ravlin $version"

# Help: the options in the option column ("  -x, --name VALUE  text").
help_options=$("$program" --help | grep -E '^ +-' | grep -oE '^ +(-[a-zA-Z], )?--?[a-z][a-z0-9-]*' |
  grep -oE -- '--?[a-zA-Z][a-z0-9-]*' | sort -u)
[ -n "$help_options" ] || fail "no options found in --help"
# Manual: the tags of the OPTIONS section (the line after each .TP), troff's \- read as -.
man_options=$(awk '/^\.SH /{section = $2} section == "OPTIONS" && tag {print} {tag = /^\.TP/}' "$page" |
  sed 's/\\-/-/g' | grep -oE -- '(^|[ "])--?[a-zA-Z][a-z0-9-]*' | grep -oE -- '--?[a-zA-Z][a-z0-9-]*' |
  sort -u)

missing=$(comm -23 <(echo "$help_options") <(echo "$man_options"))
[ -z "$missing" ] || fail "options of --help missing from the manual page: $(echo $missing)"
extra=$(comm -13 <(grep -- '^--' <<<"$help_options") <(grep -- '^--' <<<"$man_options"))
[ -z "$extra" ] || fail "long options in the manual page that --help does not list: $(echo $extra)"
echo "manual page documents: $(echo $help_options)"
