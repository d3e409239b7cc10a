#!/bin/sh
# Opens the contact sheet of the sample in headless Chromium and checks that
# its screenshot is not blank. Skipped (77) where Chromium is not installed.
#   page_test.sh TARVOVCARD SAMPLE
set -eu
browser=$(command -v chromium || command -v chromium-browser) ||
  { echo "page_test: no chromium: skipped" >&2; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvovcard-page.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$1" to-html "$work/sheet.html" "$2" 2>/dev/null
"$browser" --headless --no-sandbox --disable-gpu --window-size=1000,700 \
  --screenshot="$work/sheet.png" "file://$work/sheet.html" >/dev/null 2>&1
# Not blank: the decoded rows of the PNG hold more than one colour.
python3 - "$work/sheet.png" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
pos, idat = 8, b""
while pos < len(data):
    length, kind = struct.unpack(">I4s", data[pos:pos + 8])
    idat += data[pos + 8:pos + 8 + length] if kind == b"IDAT" else b""
    pos += 12 + length
sys.exit(0 if len(set(zlib.decompress(idat))) > 16 else "the page is blank")
PY
