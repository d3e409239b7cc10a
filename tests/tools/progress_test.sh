#!/bin/sh
# The progress line of a Load on a terminal (script(1) gives the client one):
# shown with the cards and bytes of every input, then erased. That it is never
# written when standard error is a file, every row of cli_test.cpp shows.
# Skipped (77) without a terminal.
#   progress_test.sh TARVOVCARD
set -eu
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvovcard-progress.XXXXXX")
trap 'rm -rf "$work"' EXIT
card='BEGIN:VCARD\r\nFN:A\r\nEND:VCARD\r\n'
printf "$card$card" >"$work/two.vcf"
# A nested card is part of its card; a lower-case start still counts.
printf 'begin:vcard\r\nAGENT:\r\nBEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\nEND:VCARD\r\n' >"$work/nested.vcf"
script -qec true /dev/null </dev/null >/dev/null 2>&1 ||
  { echo "progress_test: no terminal: skipped" >&2; exit 77; }
script -qec "TARVOVCARD_PROGRESS_DELAY_MS=0 '$1' show '$work/two.vcf' '$work/nested.vcf' \
  >/dev/null" /dev/null >"$work/tty" </dev/null
fail() { echo "progress_test: $1" >&2; cat -v "$work/tty" >&2; exit 1; }
# The last drawing holds every card and byte, and is erased.
grep -q "$(printf 'reading: 3 cards, 0.0 MB of 0.0 MB\033\\[K\r\033\\[K')" "$work/tty" ||
  fail "no final progress line followed by its erasure"
