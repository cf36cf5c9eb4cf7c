#!/usr/bin/env bash
# Builds the two .deb packages from this build tree: vornix7-logger-headless
# (the service program; libcurl, no Qt) and vornix7-logger (the window
# program, depending on the first). Unpacks both with dpkg -x into a scratch
# root and starts each installed logger through its link on the PATH with
# --help and no display: it must name the settings file in the programs' own
# folder, the link resolved. Exit 77 (skipped) without dpkg.
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
headless=("$scratch"/out/vornix7-logger-headless_*.deb)
desktop=("$scratch"/out/vornix7-logger_*.deb)
all=("$scratch"/out/*.deb)
[ ${#all[@]} -eq 2 ] && [ -f "${headless[0]}" ] && [ -f "${desktop[0]}" ] \
  || fail "not the two packages vornix7-logger-headless and vornix7-logger: ${all[*]}"

# The run-time libraries were found by dpkg-shlibdeps, not written by hand.
# A box without a display installs the service package and gets no Qt.
headless_depends=$(dpkg-deb --field "${headless[0]}" Depends)
desktop_depends=$(dpkg-deb --field "${desktop[0]}" Depends)
echo "vornix7-logger-headless Depends: $headless_depends"
echo "vornix7-logger Depends: $desktop_depends"
grep -q 'libcurl' <<<"$headless_depends" || fail "the service package's Depends lacks libcurl"
! grep -qi 'qt' <<<"$headless_depends" || fail "the service package depends on Qt"
grep -q 'libqt6widgets6' <<<"$desktop_depends" || fail "the desktop package's Depends lacks Qt Widgets"
grep -q 'vornix7-logger-headless' <<<"$desktop_depends" || fail "the desktop package does not depend on the service one"

# Which package carries what: a file in the wrong one is a file missing.
dpkg -x "${headless[0]}" "$scratch/headless"
dpkg -x "${desktop[0]}" "$scratch/desktop"
in_package() { # PACKAGE_ROOT FILE...
  local dir=$1
  shift
  for file in "$@"; do
    [ -e "$dir/$file" ] || [ -L "$dir/$file" ] || fail "$file is not in $(basename "$dir")'s package"
  done
}
in_package "$scratch/headless" opt/vornix7-logger/vornix7-logger-headless opt/vornix7-logger/vornix7-check \
  usr/bin/vornix7-logger-headless usr/bin/vornix7-check \
  opt/vornix7-logger/vornix7-report opt/vornix7-logger/uPlot.iife.min.js opt/vornix7-logger/uPlot.min.css \
  opt/vornix7-logger/uPlot.LICENSE usr/bin/vornix7-report \
  usr/lib/systemd/system/vornix7-logger.service usr/lib/systemd/user/vornix7-logger.service \
  usr/share/doc/vornix7-logger/README.md usr/share/doc/vornix7-logger/examples/VORNIX7_Logger.ini \
  'usr/lib/systemd/system/vornix7-logger@.service' usr/share/doc/vornix7-logger/examples/rsyslog/vornix7-forwarder.conf \
  usr/share/doc/vornix7-logger/examples/rsyslog/vornix7-central.conf
in_package "$scratch/desktop" opt/vornix7-logger/VORNIX7_Logger opt/vornix7-logger/vornix7-sim \
  usr/bin/VORNIX7_Logger usr/bin/vornix7-sim usr/share/applications/vornix7-logger.desktop
# The units start the service program, not the window program.
for unit in system user; do
  grep -qx 'ExecStart=/usr/bin/vornix7-logger-headless' \
    "$scratch/headless/usr/lib/systemd/$unit/vornix7-logger.service" || fail "the $unit unit does not run vornix7-logger-headless"
done
# No file in both (dpkg would refuse to install the second).
shared=$(comm -12 <(cd "$scratch/headless" && find . ! -type d | sort) <(cd "$scratch/desktop" && find . ! -type d | sort))
[ -z "$shared" ] || fail "files in both packages: $shared"
# The service program needs no Qt library at all.
! ldd "$scratch/headless/opt/vornix7-logger/vornix7-logger-headless" | grep -i 'libqt' \
  || fail "vornix7-logger-headless loads Qt"

# Installed together, as apt does for the desktop package.
dpkg -x "${headless[0]}" "$scratch/root"
dpkg -x "${desktop[0]}" "$scratch/root"
root=$(cd "$scratch/root" && pwd -P)
for link in VORNIX7_Logger vornix7-logger-headless; do
  [ -L "$root/usr/bin/$link" ] || fail "usr/bin/$link is not a link"
done

# From an empty working folder, which must stay empty.
mkdir "$scratch/work"
cd "$scratch/work"
for program in VORNIX7_Logger vornix7-logger-headless; do
  help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/$program" --help) \
    || fail "$program --help through the link failed"
  echo "$help"
  grep -qxF "Settings: $root/opt/vornix7-logger/VORNIX7_Logger.ini" <<<"$help" \
    || fail "$program --help does not name $root/opt/vornix7-logger/VORNIX7_Logger.ini"
  [ -z "$(ls -A)" ] || fail "$program --help created files: $(ls -A)"
done
"$root/usr/bin/vornix7-sim" --help >/dev/null || fail "vornix7-sim through its link"
# The report, started through its link, finds the chart library beside its
# real file and writes it into the page.
printf '2026-12-07 10:00:00,Lab,1.,OK\r\n' >"$scratch/log.txt"
"$root/usr/bin/vornix7-report" "$scratch/log.txt" 2>"$scratch/report.err" || fail "vornix7-report through its link"
[ ! -s "$scratch/report.err" ] || fail "vornix7-report: $(cat "$scratch/report.err")"
grep -q 'data-charts="1"' "$scratch/log.txt.html" || fail "the installed report has no charts"
echo "PASS"
