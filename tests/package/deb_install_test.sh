#!/usr/bin/env bash
# Builds the .deb from this build tree, unpacks it with dpkg -x into a
# scratch root, and starts the installed logger through its link on the PATH
# with --help and no display: it must name the settings file in the
# programs' own folder, the link resolved. Exit 77 (skipped) without dpkg.
#   deb_install_test.sh CPACK BUILD_DIR
set -euo pipefail
cpack=$1
build=$2
for tool in dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "$tool not found (package dpkg-dev)"; exit 77; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vornix7-deb.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 \
  || { cat "$scratch/cpack.log"; fail "cpack -G DEB"; }
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "not one .deb: ${debs[*]}"
deb=${debs[0]}

# The run-time libraries were found by dpkg-shlibdeps, not written by hand.
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
grep -q 'libqt6widgets6' <<<"$depends" || fail "Depends lacks the Qt Widgets library"

dpkg -x "$deb" "$scratch/root"
root=$(cd "$scratch/root" && pwd -P)
for file in opt/vornix7-logger/VORNIX7_Logger opt/vornix7-logger/vornix7-check opt/vornix7-logger/vornix7-sim \
  opt/vornix7-logger/vornix7-report opt/vornix7-logger/uPlot.iife.min.js opt/vornix7-logger/uPlot.min.css \
  opt/vornix7-logger/uPlot.LICENSE usr/bin/vornix7-report \
  usr/bin/VORNIX7_Logger usr/bin/vornix7-check usr/bin/vornix7-sim \
  usr/share/applications/vornix7-logger.desktop \
  usr/lib/systemd/system/vornix7-logger.service usr/lib/systemd/user/vornix7-logger.service \
  usr/share/doc/vornix7-logger/README.md usr/share/doc/vornix7-logger/examples/VORNIX7_Logger.ini; do
  [ -e "$root/$file" ] || fail "$file is not in the package"
done
[ -L "$root/usr/bin/VORNIX7_Logger" ] || fail "usr/bin/VORNIX7_Logger is not a link"

# From an empty working folder, which must stay empty.
mkdir "$scratch/work"
cd "$scratch/work"
help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/VORNIX7_Logger" --help) \
  || fail "--help through the link failed"
echo "$help"
grep -qxF "Settings: $root/opt/vornix7-logger/VORNIX7_Logger.ini" <<<"$help" \
  || fail "--help does not name $root/opt/vornix7-logger/VORNIX7_Logger.ini"
[ -z "$(ls -A)" ] || fail "--help created files: $(ls -A)"
"$root/usr/bin/vornix7-sim" --help >/dev/null || fail "vornix7-sim through its link"
# The report, started through its link, finds the chart library beside its
# real file and writes it into the page.
printf '2026-12-07 10:00:00,Lab,1.,OK\r\n' >"$scratch/log.txt"
"$root/usr/bin/vornix7-report" "$scratch/log.txt" 2>"$scratch/report.err" || fail "vornix7-report through its link"
[ ! -s "$scratch/report.err" ] || fail "vornix7-report: $(cat "$scratch/report.err")"
grep -q 'data-charts="1"' "$scratch/log.txt.html" || fail "the installed report has no charts"
echo "PASS"
