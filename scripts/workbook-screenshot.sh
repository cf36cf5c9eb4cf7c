#!/usr/bin/env bash
# The README's picture of vornix7-report's workbook as LibreOffice Calc
# renders it: a short log written here (four sensors, one device, an offline
# spell of three polls), the workbook of it, LibreOffice headless to PDF,
# pdftoppm to PNG, its summary page and its first page of polls side by side.
#   scripts/workbook-screenshot.sh [OUT.png]   default docs/vornix7-workbook.png
#   BUILD_DIR  a build folder with vornix7-report
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=${1:-$root/docs/vornix7-workbook.png}
tool=$build/tools/report/vornix7-report
[ -x "$tool" ] || { echo "$tool is not built" >&2; exit 1; }
for program in soffice pdftoppm convert; do
  command -v "$program" >/dev/null || { echo "$program is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
work=$(mktemp -d /tmp/vornix7-workbook-shot.XXXXXX)
trap 'rm -rf "$work"' EXIT

python3 - "$work/Lab-North.log" <<'PY'
import math, sys
with open(sys.argv[1], "wb") as f:
    for i in range(30):
        stamp = f"2026-12-07 10:{i // 12:02}:{i * 5 % 60:02}"
        if 14 <= i < 17:
            f.write(f"{stamp},Lab North,{','.join(['-2048000.'] * 4)},ERROR\r\n".encode())
            continue
        values = [f"{20 + 4 * s + math.sin((i + 3 * s) / 4) * (1 + s / 2):.2f}".rstrip("0") for s in range(4)]
        f.write(f"{stamp},Lab North,{','.join(values)},OK\r\n".encode())
PY
(cd "$work" && "$tool" Lab-North.log --xlsx Lab-North.xlsx >/dev/null)
LC_ALL=en_GB.UTF-8 timeout 120 soffice --headless --norestore "-env:UserInstallation=file://$work/profile" \
  --convert-to pdf --outdir "$work" "$work/Lab-North.xlsx" >/dev/null 2>&1
pdftoppm -png -r 80 "$work/Lab-North.pdf" "$work/page"
pages=("$work"/page-*.png)
# Each page cut to what it shows, framed, side by side.
convert "${pages[0]}" "${pages[1]}" -trim +repage -bordercolor white -border 16 -bordercolor '#888' -border 1 \
  -background white -gravity North +append "$out"
echo "$out"
