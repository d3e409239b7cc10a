#!/bin/sh
# The manual page and the README name every command and option that --help
# names.
#   man_page_test.sh TARVOVCARD MAN_PAGE README
set -eu
tool=$1
page=$(sed 's/\\-/-/g' "$2")  # roff's escaped "-" undone
readme=$(cat "$3")
missing=0
for word in $("$tool" --help | sed -n 's/^  \([a-z-]*\) .*/\1/p; s/.*\(--[a-z-]*\).*/\1/p' | sort -u) \
            $(for c in to-vcard to-xml show to-csv to-html; do "$tool" "$c" --help; done |
              grep -o -- '--[a-z-]*' | sort -u); do
  case "$page" in *"$word"*) ;; *) echo "man page lacks '$word'" >&2; missing=1 ;; esac
  case "$readme" in *"$word"*) ;; *) echo "README lacks '$word'" >&2; missing=1 ;; esac
done
exit $missing
