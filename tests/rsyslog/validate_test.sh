#!/usr/bin/env bash
# The shipped rsyslog drop-ins, unchanged, as /etc/rsyslog.conf includes
# them on Debian (after its own modules and work folder), each alone and
# both on one machine: rsyslogd -N1 must accept them without a word. And the
# shipped systemd units, the template one as an instance, checked by
# systemd-analyze verify in a scratch root that holds what they start.
# Exit 77 (skipped) without rsyslogd.
#   validate_test.sh SOURCE_DIR
set -euo pipefail
src=$(cd "$1" && pwd)
command -v rsyslogd >/dev/null || { echo "rsyslogd not found (package rsyslog)"; exit 77; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vornix7-validate.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

forwarder=$src/packaging/rsyslog/vornix7-forwarder.conf
central=$src/packaging/rsyslog/vornix7-central.conf
for files in "$forwarder" "$central" "$forwarder $central"; do
  {
    echo 'module(load="imuxsock")'
    echo "\$WorkDirectory $scratch"
    for f in $files; do echo "include(file=\"$f\")"; done
  } >"$scratch/rsyslog.conf"
  status=0
  rsyslogd -N1 -f "$scratch/rsyslog.conf" >"$scratch/out" 2>&1 || status=$?
  cat "$scratch/out"
  [ "$status" -eq 0 ] || fail "rsyslogd -N1 refused $files"
  # Only the two lines of a clean run: no warning either.
  ! grep -v -e 'config validation run' -e 'End of config validation run' "$scratch/out" \
    || fail "rsyslogd -N1 warned about $files"
done

if command -v systemd-analyze >/dev/null; then
  # The units' programs where an installed system has them.
  root=$scratch/root
  mkdir -p "$root/usr/bin" "$root/usr/lib/systemd" "$root/etc/systemd/system"
  cp -a /usr/lib/systemd/system "$root/usr/lib/systemd/"
  ln -s usr/bin "$root/bin"
  cp "$(command -v cp)" "$(command -v env)" "$root/usr/bin/"
  printf '#!/bin/sh\n' >"$root/usr/bin/vornix7-logger-headless"
  chmod +x "$root/usr/bin/vornix7-logger-headless"
  cp "$src"/packaging/systemd/system/*.service "$root/etc/systemd/system/"
  status=0
  systemd-analyze verify --root="$root" vornix7-logger.service 'vornix7-logger@lab-north.service' \
    >"$scratch/out" 2>&1 || status=$?
  cat "$scratch/out"
  [ "$status" -eq 0 ] && [ ! -s "$scratch/out" ] || fail "systemd-analyze verify"
fi
echo "PASS"
