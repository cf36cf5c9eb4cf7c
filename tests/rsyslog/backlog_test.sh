#!/usr/bin/env bash
# A long outage in a short time: while the central rsyslogd is away, 1500
# lines (25 minutes of one logger polling every second) land in a log at
# once; the forwarder must queue them all, and once the server is there
# every one must arrive, in order. The one repeat that rsyslog makes after
# 1000 waiting lines (README, "Collecting many loggers") is allowed, no
# other. The shipped files with folders, address and port put in, as in
# chain_test.sh. Exit 77 (skipped) without rsyslogd.
#   backlog_test.sh SOURCE_DIR
set -euo pipefail
src=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/lib.sh
. "$src/scripts/lib.sh"
command -v rsyslogd >/dev/null || { echo "rsyslogd not found (package rsyslog)"; exit 77; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vornix7-backlog.XXXXXX")
pids=()
cleanup() {
  stop_pids "${pids[@]}"
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$scratch"/*/rsyslogd.err; do [ -s "$f" ] && { echo "--- $f"; tail -n 5 "$f"; }; done >&2
  exit 1
}

root=$scratch/root
mkdir -p "$root/var/lib/vornix7-logger" "$root/var/log/vornix7" "$scratch/forwarder" "$scratch/central"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
for role in forwarder central; do
  sed -e "s|\"/var/lib/|\"$root/var/lib/|g" -e "s|\"/var/log/vornix7/|\"$root/var/log/vornix7/|g" \
    -e 's|target="vornix7-central.example"|target="127.0.0.1"|' \
    -e 's|input(type="imrelp" port="2514"|input(type="imrelp" address="127.0.0.1" port="2514"|' \
    -e "s|port=\"2514\"|port=\"$port\"|" "$src/packaging/rsyslog/vornix7-$role.conf" >"$scratch/$role/vornix7-$role.conf"
  printf 'global(workDirectory="%s")\ninclude(file="%s")\n' "$scratch/$role" \
    "$scratch/$role/vornix7-$role.conf" >"$scratch/$role/rsyslog.conf"
done
start_rsyslogd() { # ROLE
  "$(command -v rsyslogd)" -n -f "$scratch/$1/rsyslog.conf" -i "$scratch/$1/rsyslogd.pid" \
    </dev/null >>"$scratch/$1/rsyslogd.out" 2>>"$scratch/$1/rsyslogd.err" &
  pids+=($!)
}

log=$root/var/lib/vornix7-logger/logfile.txt
start_rsyslogd forwarder
for i in $(seq 1500); do
  printf '2026-12-09 %02d:%02d:%02d,Lab,%d.,OK\r\n' $((i / 3600)) $((i / 60 % 60)) $((i % 60)) "$i"
done >"$log"
# All of it read into the queue (its file grows no more), then the server.
previous=-1
for _ in $(seq 60); do
  size=$(find "$scratch/forwarder" -name 'vornix7-forward.0*' -printf '%s\n' | awk '{s += $1} END {print s + 0}')
  [ "$size" -gt 0 ] && [ "$size" -eq "$previous" ] && break
  previous=$size
  sleep 0.5
done
echo "queued on disk: $size bytes for 1500 lines"
start_rsyslogd central
central=/nonexistent
for _ in $(seq 120); do
  for central in "$root"/var/log/vornix7/*/vornix7-logger.log; do :; done
  [ -f "$central" ] && [ "$(tr -cd '\n' <"$central" | wc -c)" -ge 1500 ] && break
  sleep 0.5
done
sleep 2 # a late repeat
python3 - "$here" "$log" "$central" <<'EOF' || fail "the backlog did not arrive whole and in order"
import sys
sys.path.insert(0, sys.argv[1])
from chain_figures import compare, read_lines
local, central = read_lines(sys.argv[2]), read_lines(sys.argv[3])
c = compare(local, central)
print(f"lines written {len(local)}, central {len(central)}, {c}")
sys.exit(0 if c["missing"] == c["foreign"] == c["out_of_place"] == c["half"] == 0 and c["repeats"] <= 1 else 1)
EOF
echo "PASS"
