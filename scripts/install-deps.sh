#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the benchmarks,
# the fuzzers and the demo need. Safe to run again: it only installs what is
# missing. Needs root (or sudo) on a fresh Debian 12 / Ubuntu machine.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev libcurl4-openssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format clang-tidy valgrind
  locales xvfb xauth openbox imagemagick
  python3 dpkg-dev file
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 googletest wine64 wine nsis zip unzip
  chromium
  libxlsxwriter-dev libz-mingw-w64-dev libreoffice-calc-nogui python3-openpyxl poppler-utils
)

# rsyslog (with RELP) for the log-collecting tests (label rsyslog); they run
# rsyslogd as their own processes, never the system's. It replaces any other
# system log daemon (syslog-ng, busybox-syslogd...), so where one is
# installed it stays, and those tests are skipped.
other_syslog=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package} ${Provides}\n' 2>/dev/null \
  | awk '$1 == "ii" && $2 != "rsyslog" && /system-log-daemon/ {print $2}')
if [ -z "$other_syslog" ]; then
  packages+=(rsyslog rsyslog-relp)
else
  echo "Not installing rsyslog: the system log daemon here is $other_syslog (the rsyslog tests are skipped)"
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

# 32-bit Wine, for the 32-bit Windows programs in a 32-bit prefix: Debian's
# i386 packages.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture (for wine32)"
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
packages+=(wine32:i386)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# npm fetches vornix7-report's chart library at build time. Any npm will do:
# a Node.js from elsewhere brings its own, which Debian's package conflicts with.
if ! command -v npm >/dev/null 2>&1; then
  missing+=(npm)
fi
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A decimal-comma locale, so the tests can prove the log does not depend on
# it, and one that writes the time as 12.30.00, for the time separator.
for wanted in de_DE fi_FI; do
  if ! locale -a 2>/dev/null | grep -qi "^${wanted}\.utf-\?8$"; then
    echo "Generating the ${wanted}.UTF-8 locale"
    if ! grep -q "^${wanted}.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null; then
      echo "${wanted}.UTF-8 UTF-8" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    fi
    generate=1
  fi
done
if [ -n "${generate:-}" ]; then
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi
