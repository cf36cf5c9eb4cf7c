#!/usr/bin/env bash
# vornix7-report's workbook as LibreOffice Calc reads it under a
# decimal-comma locale: converted headless to CSV (";" between fields, text
# cells quoted, cells as shown), the readings come out as numbers in the
# locale's form (21,5), the times as date-times in their own format, the
# device names as text (a formula-looking one neither evaluated nor with the
# logger's "'"), a failed poll's readings as empty cells.
# Usage: workbook_libreoffice_test.sh REPORT_TOOL WORK_DIR
set -euo pipefail
tool=$1 work=$2
# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/../../scripts/lib.sh"
soffice=$(need soffice "scripts/install-deps.sh installs libreoffice-calc-nogui")
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "the de_DE.UTF-8 locale is missing (scripts/install-deps.sh makes it)" >&2
  exit 1
fi
mkdir -p "$work"
dir=$(mktemp -d "$work/libreoffice.XXXXXX")
trap 'rm -rf "$dir"' EXIT

printf '%b\r\n' "2026-12-07 10:00:00,'=Lab+1,21.5,-3.25,1000.5,OK" \
  "2026-12-07 10:00:05,'=Lab+1,-2048000.,-2048000.,-2048000.,ERROR" "garbage" \
  "2026-12-07 10:00:10,\"Caf\xc3\xa9, North\",22.,0.,1234567.25,OK" "2026-12-07 10:00:15,'@home,20.,-1.5,OK" \
  >"$dir/log.txt"
printf '2026-12-07 10:00:20,Lab,2' >>"$dir/log.txt"
status=0
"$tool" "$dir/log.txt" --xlsx "$dir/book.xlsx" >"$dir/tool.out" 2>"$dir/tool.err" || status=$?
[ "$status" -eq 3 ] || {
  echo "FAILED: exit status $status, not 3 for the unreadable line" >&2
  cat "$dir/tool.err" >&2
  exit 1
}

# A profile of its own, so nothing outside the folder is read or kept.
# Filter options: ';' '"' UTF-8, from row 1, text cells quoted, cells as
# shown, every sheet to a file of its own.
LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 timeout 120 "$soffice" --headless --norestore \
  "-env:UserInstallation=file://$dir/profile" \
  --convert-to 'csv:Text - txt - csv (StarCalc):59,34,76,1,,0,true,true,true,false,false,-1' \
  --outdir "$dir/out" "$dir/book.xlsx" >"$dir/soffice.out" 2>&1 || true

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}
polls=$dir/out/book-Polls.csv
summary=$dir/out/book-Summary.csv
if [ ! -f "$polls" ] || [ ! -f "$summary" ]; then
  cat "$dir/soffice.out" >&2
  echo "FAILED: LibreOffice wrote no CSV of the sheets" >&2
  exit 1
fi
expected='"Time";"Device";"t0";"t1";"t2";"Status"
2026-12-07 10:00:00;"=Lab+1";21,5;-3,25;1000,5;"OK"
2026-12-07 10:00:05;"=Lab+1";;;;"ERROR"
2026-12-07 10:00:10;"Café, North";22;0;1234567,25;"OK"
2026-12-07 10:00:15;"@home";20;-1,5;;"OK"'
got=$(tr -d '\r' <"$polls")
if [ "$got" != "$expected" ]; then
  fail "the polls sheet as LibreOffice shows it under de_DE:"
  diff <(echo "$expected") <(echo "$got") >&2 || true
fi
for line in '"Polls";4;' '"OK";3;' '"ERROR (device offline)";1;' '"First poll";2026-12-07 10:00:00;' \
  '"Longest offline spell";0:00:05;' '"Lines not read";1;' '"t0";3;20;22;21,1666666666667' \
  '"t1";3;-3,25;0;-1,58333333333333' '"t2";2;1000,5;1234567,25;617783,875'; do
  grep -qF -- "$line" "$summary" || fail "the summary has no line starting $line"
done

if [ "$failures" -gt 0 ]; then
  echo "summary sheet:" >&2
  cat "$summary" >&2
  exit 1
fi
echo "LibreOffice under de_DE: the polls and the summary as expected"
