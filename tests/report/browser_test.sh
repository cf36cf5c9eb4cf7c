#!/usr/bin/env bash
# vornix7-report's page in a real browser (headless Chromium): every chart
# draws, and the summary holds the numbers of a log whose content is known.
# Usage: browser_test.sh known|several|week REPORT_TOOL WORK_DIR
#   known  a small log written here, its summary checked cell by cell, and a
#          screenshot saved as WORK_DIR/known.png
#   several  two logs of different sensor counts on one page: a summary per
#          log, a chart per sensor with a line per log, each log under the
#          same name and colour in every chart (WORK_DIR/several.png)
#   week   a week at one poll a second with 17 sensors (600,000 lines): the
#          page is made in seconds, stays small, and every chart draws
set -euo pipefail
kind=$1 tool=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/lib.sh
. "$here/../../scripts/lib.sh"
browser=$(need chromium "scripts/install-deps.sh installs it")
mkdir -p "$work"
dir=$(mktemp -d "$work/$kind.XXXXXX")
trap 'rm -rf "$dir"' EXIT
# Bounded, headless, nothing fetched or kept: a fresh profile per run.
run_browser() {
  local profile
  profile=$(mktemp -d "$dir/profile.XXXXXX")
  timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --virtual-time-budget=10000 "$@" 2>"$dir/browser.err"
}

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}
# The text of the element with this id in the browser's DOM.
cell() { grep -o "id=\"$1\">[^<]*<" "$dir/dom.html" | head -1 | sed 's/^[^>]*>//; s/<$//'; }
expect_cell() {
  local got
  got=$(cell "$1")
  [ "$got" = "$2" ] || fail "$1: \"$got\", expected \"$2\""
}
# A row of the sensor table: readings, minimum, maximum, mean.
expect_sensor() {
  local got
  got=$(grep -o "<tr id=\"sensor-$1\">.*</tr>" "$dir/dom.html" | sed 's/<[^>]*>/ /g' | tr -s ' ' | sed 's/^ //; s/ $//')
  [ "$got" = "t$1 $2" ] || fail "sensor $1: \"$got\", expected \"t$1 $2\""
}
expect_all_charts_drawn() {
  local body charts drawn
  body=$(grep -o '<body[^>]*>' "$dir/dom.html" | head -1)
  charts=$(echo "$body" | sed -n 's/.*data-charts="\([0-9]*\)".*/\1/p')
  drawn=$(echo "$body" | sed -n 's/.*data-charts-drawn="\([0-9a-z]*\)".*/\1/p')
  [ "$charts" = "$1" ] || fail "the page has \"$charts\" charts, expected $1"
  [ "$drawn" = "$1" ] || fail "$drawn of $1 charts drew (body: $body)"
  [ "$(grep -o '<canvas' "$dir/dom.html" | wc -l)" -ge "$1" ] || fail "fewer canvases than charts"
}

case "$kind" in
known)
  # 20 good polls a minute apart (t0 = i, t1 = i/2, t2 = -i), 5 failed ones,
  # a good one with its name quoted, a line of junk, a half line.
  log="$dir/known.log"
  : >"$log"
  for i in $(seq 1 20); do
    printf '2026-12-07 10:%02d:00,Lab North,%d.,%s,-%d.,OK\r\n' "$i" "$i" "$(awk "BEGIN{print $i/2}" | sed 's/^\([0-9]*\)$/\1./')" "$i" >>"$log"
  done
  for i in $(seq 21 25); do
    printf '2026-12-07 10:%02d:00,Lab North,-2048000.,-2048000.,-2048000.,ERROR\r\n' "$i" >>"$log"
  done
  printf '2026-12-07 10:26:00,"Lab, North",50.,0.,7.25,OK\r\n' >>"$log"
  printf 'not a log line\r\n2026-12-07 10:27:00,Lab No' >>"$log"

  status=0
  "$tool" "$log" -o "$dir/known.html" >"$dir/tool.out" 2>"$dir/tool.err" || status=$?
  [ "$status" -eq 3 ] || fail "exit status $status, expected 3 (one line not read): $(cat "$dir/tool.err")"
  grep -q "known.log:27: " "$dir/tool.err" || fail "line 27 not named: $(cat "$dir/tool.err")"

  run_browser --dump-dom "file://$dir/known.html" >"$dir/dom.html" || fail "chromium: $(tail -3 "$dir/browser.err")"
  expect_all_charts_drawn 3
  grep -q 'id="charts-missing"' "$dir/dom.html" && fail "the note for browsers without charts stays"
  # A browser that cannot run the chart library (Internet Explorer 11 stops
  # at its first ES2015 line; here a syntax error put before it) shows the
  # note in the charts' place, and the tables.
  python3 -c 'import sys; p = open(sys.argv[1]).read().split("<script>", 1); open(sys.argv[2], "w").write(p[0] + "<script>let let;" + p[1])' \
    "$dir/known.html" "$dir/old.html"
  run_browser --dump-dom "file://$dir/old.html" >"$dir/old-dom.html" || fail "chromium: $(tail -3 "$dir/browser.err")"
  grep -q 'id="charts-missing">The charts need a current browser' "$dir/old-dom.html" ||
    fail "without the chart library the page does not say the charts need a current browser"
  grep -q 'data-charts-drawn="none"' "$dir/old-dom.html" || fail "the chart library ran after all"
  grep -q 'id="polls">26<' "$dir/old-dom.html" || fail "without the chart library the summary is not shown"
  expect_cell polls 26
  expect_cell ok 21
  expect_cell error 5
  expect_cell first "2026-12-07 10:01:00"
  expect_cell last "2026-12-07 10:26:00"
  expect_cell spells 1
  expect_cell longest "5 min 00 s from 2026-12-07 10:21:00 to 2026-12-07 10:26:00 (5 failed polls)"
  expect_cell unreadable 1
  expect_sensor 0 "21 1 50 12.38"
  expect_sensor 1 "21 0 10 5"
  expect_sensor 2 "21 -20 7.25 -9.65"
  grep -q 'Lab, North' "$dir/dom.html" || fail "the quoted name is not shown"

  run_browser --screenshot="$dir/known.png" --window-size=1100,1500 "file://$dir/known.html" >/dev/null ||
    fail "no screenshot"
  [ -s "$dir/known.png" ] && cp "$dir/known.png" "$work/known.png"
  ;;
several)
  # North: 2 sensors, a poll a minute from 10:01, failed at 10:10. South: 3
  # sensors, a poll every two minutes from 10:04.
  north="$dir/north.log" south="$dir/south.log"
  : >"$north"
  : >"$south"
  for i in $(seq 1 20); do
    if [ "$i" -eq 10 ]; then
      printf '2026-12-07 10:%02d:00,Lab North,-2048000.,-2048000.,ERROR\r\n' "$i" >>"$north"
    else
      printf '2026-12-07 10:%02d:00,Lab North,%d.,1.5,OK\r\n' "$i" "$i" >>"$north"
    fi
    printf '2026-12-07 %02d:%02d:30,Lab South,%d.,2.,-%d.,OK\r\n' $((10 + (2 + 2 * i) / 60)) $(((2 + 2 * i) % 60)) $((i * 2)) "$i" >>"$south"
  done
  status=0
  "$tool" "$north" "$south" -o "$dir/several.html" >"$dir/tool.out" 2>"$dir/tool.err" || status=$?
  [ "$status" -eq 0 ] || fail "exit status $status: $(cat "$dir/tool.err")"
  grep -q "2 logs, 40 polls (39 OK, 1 ERROR), 3 charts" "$dir/tool.out" || fail "tool said: $(cat "$dir/tool.out")"

  run_browser --dump-dom "file://$dir/several.html" >"$dir/dom.html" || fail "chromium: $(tail -3 "$dir/browser.err")"
  expect_all_charts_drawn 3
  expect_cell log1-polls 20
  expect_cell log1-error 1
  expect_cell log1-first "2026-12-07 10:01:00"
  expect_cell log2-polls 20
  expect_cell log2-last "2026-12-07 10:42:30"
  grep -q '<tr id="log1-sensor-1"><td>t1</td><td class="n">19</td><td class="n">1.5</td>' "$dir/dom.html" ||
    fail "log 1's sensor t1 row"
  grep -q '<tr id="log2-sensor-2"><td>t2</td><td class="n">20</td><td class="n">-20</td>' "$dir/dom.html" ||
    fail "log 2's sensor t2 row"
  grep -q 'id="log1-sensor-2"' "$dir/dom.html" && fail "log 1 has no sensor t2"
  # Each chart's legend: the logs that have that sensor, by name, each in
  # its own colour in every chart.
  legend() { sed 's/id="chart-/\n&/g' "$dir/dom.html" | grep "^id=\"chart-$1\"" |
    grep -o 'u-marker" style="[^"]*"></div><div class="u-label">[^<]*' | sed 's/.*border: [^;]*\(rgb([^)]*)\).*u-label">/\1 /'; }
  for chart in 0 1 2; do
    legend "$chart" >"$dir/legend-$chart"
  done
  for chart in 0 1; do
    grep -qx "rgb(31, 111, 235) $north" "$dir/legend-$chart" || fail "chart $chart: no blue line for north: $(cat "$dir/legend-$chart")"
    grep -qx "rgb(213, 94, 0) $south" "$dir/legend-$chart" || fail "chart $chart: no orange line for south: $(cat "$dir/legend-$chart")"
  done
  grep -qx "rgb(213, 94, 0) $south" "$dir/legend-2" || fail "chart 2: no orange line for south: $(cat "$dir/legend-2")"
  grep -q "$north" "$dir/legend-2" && fail "chart 2 has a line for north, which has no t2"

  run_browser --screenshot="$dir/several.png" --window-size=1100,1900 "file://$dir/several.html" >/dev/null ||
    fail "no screenshot"
  [ -s "$dir/several.png" ] && cp "$dir/several.png" "$work/several.png"
  ;;
week)
  log="$dir/week.log"
  python3 "$here/week_log.py" 600000 >"$log"
  start=$(date +%s%N)
  "$tool" "$log" -o "$dir/week.html" >"$dir/tool.out" 2>"$dir/tool.err" || fail "exit status $?: $(cat "$dir/tool.err")"
  took_ms=$((($(date +%s%N) - start) / 1000000))
  size=$(wc -c <"$dir/week.html")
  echo "600,000 lines: report in $took_ms ms, page $size bytes"
  [ "$took_ms" -lt 20000 ] || fail "the report took $took_ms ms"
  [ "$size" -lt 3000000 ] || fail "the page is $size bytes"
  start=$(date +%s%N)
  run_browser --dump-dom "file://$dir/week.html" >"$dir/dom.html" || fail "chromium: $(tail -3 "$dir/browser.err")"
  echo "chromium drew it in $((($(date +%s%N) - start) / 1000000)) ms"
  expect_all_charts_drawn 17
  expect_cell polls 600000
  expect_cell ok 591000
  expect_cell error 9000
  expect_cell spells 30
  ;;
*)
  echo "usage: $0 known|several|week REPORT_TOOL WORK_DIR" >&2
  exit 2
  ;;
esac

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed; the page and the browser's DOM are kept in $work/kept-$kind" >&2
  rm -rf "$work/kept-$kind"
  cp -r "$dir" "$work/kept-$kind"
  exit 1
fi
echo "PASSED"
