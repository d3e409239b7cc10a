#!/bin/sh
# Opens the contact sheet of the sample in headless Chromium and checks that
# its screenshot is not blank. Skipped (77) where Chromium is not installed.
#   page_test.sh TARVOVCARD SAMPLE
set -eu
tool=$1
sample=$2
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  echo "page_test: no chromium: skipped" >&2
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvovcard-page.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$tool" to-html "$work/sheet.html" "$sample" 2>/dev/null
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
    if kind == b"IDAT":
        idat += data[pos + 8:pos + 8 + length]
    pos += 12 + length
pixels = zlib.decompress(idat)
sys.exit(0 if len(set(pixels)) > 16 else "the page is blank")
PY
