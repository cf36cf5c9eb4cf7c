#!/usr/bin/env bash
# The whole chain on loopback: two loggers (vornix7-logger-headless, one in
# a folder as the template unit vornix7-logger@NAME lays it out, started by
# the unit's own command lines; one at the plain unit's single log path)
# poll the simulator every second; a forwarder rsyslogd (the shipped
# vornix7-forwarder.conf) ships their logs to a central rsyslogd (the
# shipped vornix7-central.conf) over RELP. Both rsyslogd are plain
# processes with their own work folders; only folders, the server's
# address and the port are put in. In the middle the central one is
# stopped for 20 s, and after it the forwarder is restarted. At the
# end each central file must be byte for byte its local log: every line
# once, whole, in order, CR LF kept. Then a half line at a log's end must
# stay local until it is whole. Prints the figures (lines, repeats, delays,
# the queue's size on disk). Exit 77 (skipped) without rsyslogd and RELP.
#   chain_test.sh SOURCE_DIR LOGGER SIM
set -euo pipefail
src=$(cd "$1" && pwd)
logger=$(realpath "$2")
sim=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/lib.sh
. "$src/scripts/lib.sh"

command -v rsyslogd >/dev/null || { echo "rsyslogd not found (package rsyslog)"; exit 77; }
for tool in python3 cmp; do command -v "$tool" >/dev/null || { echo "$tool not found"; exit 77; }; done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vornix7-rsyslog.XXXXXX")
pids=()
cleanup() {
  stop_pids "${pids[@]}"
  [ -n "${VORNIX7_KEEP:-}" ] && echo "kept: $scratch" || rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$scratch"/*/rsyslogd.err "$scratch"/*.err; do
    [ -s "$f" ] && { echo "--- $f"; tail -n 20 "$f"; }
  done >&2
  exit 1
}
# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local seconds=$1
  shift
  local end=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.2
  done
}
stop_pid() {
  kill -TERM "$1" 2>/dev/null || true
  wait_for 15 bash -c "! kill -0 $1 2>/dev/null" || fail "process $1 did not stop on SIGTERM"
  wait "$1" 2>/dev/null || true
}

# The layout of an installed machine below $root.
root=$scratch/root
lib=$root/var/lib
mkdir -p "$lib/private/vornix7-logger-dev1" "$lib/vornix7-logger" "$root/etc/vornix7-logger" \
  "$root/var/log/vornix7" "$scratch/forwarder" "$scratch/central" "$scratch/credentials"
# What systemd's DynamicUser and StateDirectory make of the instance folder.
ln -s private/vornix7-logger-dev1 "$lib/vornix7-logger-dev1"

# The RELP port: a free one on loopback.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# The shipped configuration, with folders, the server and the port put in.
substitute() { # SHIPPED OUT
  sed -e "s|\"/var/lib/|\"$root/var/lib/|g" -e "s|\"/var/log/vornix7/|\"$root/var/log/vornix7/|g" \
    -e 's|target="vornix7-central.example"|target="127.0.0.1"|' \
    -e "s|input(type=\"imrelp\" port=\"2514\"|input(type=\"imrelp\" address=\"127.0.0.1\" port=\"2514\"|" \
    -e "s|port=\"2514\"|port=\"$port\"|" "$1" >"$2"
  ! grep -nE '"/var/|vornix7-central\.example|"2514"' "$2" || fail "$1: not every folder, server or port was put in"
}
substitute "$src/packaging/rsyslog/vornix7-forwarder.conf" "$scratch/forwarder/vornix7-forwarder.conf"
substitute "$src/packaging/rsyslog/vornix7-central.conf" "$scratch/central/vornix7-central.conf"
for role in forwarder central; do
  # As Debian's /etc/rsyslog.conf: a work folder, then the drop-in.
  printf 'global(workDirectory="%s")\ninclude(file="%s")\n' "$scratch/$role" \
    "$scratch/$role/vornix7-$role.conf" >"$scratch/$role/rsyslog.conf"
done
grep -q 'omrelp\|imrelp' "$scratch/forwarder/vornix7-forwarder.conf"
rsyslogd -N1 -f "$scratch/central/rsyslog.conf" >/dev/null 2>"$scratch/n1.err" \
  || { grep -q "imrelp\|omrelp" "$scratch/n1.err" && { echo "RELP modules not found (package rsyslog-relp)"; exit 77; }; \
       fail "rsyslogd -N1: $(cat "$scratch/n1.err")"; }

start_rsyslogd() { # ROLE: sets rsyslogd_pid
  "$(command -v rsyslogd)" -n -f "$scratch/$1/rsyslog.conf" -i "$scratch/$1/rsyslogd.pid" \
    </dev/null >>"$scratch/$1/rsyslogd.out" 2>>"$scratch/$1/rsyslogd.err" &
  rsyslogd_pid=$!
  pids+=("$rsyslogd_pid")
}
relp_listening() { python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null; }
start_rsyslogd central
central_pid=$rsyslogd_pid
wait_for 10 relp_listening || fail "the central rsyslogd does not listen on 127.0.0.1:$port"

# The simulated device, a name with a tab and a non-ASCII letter in it.
start_sim "$sim" "$scratch" --max-seconds 200 --name $'Lab\tN\xc3\xb6rd' || fail "the simulator did not start"
pids+=("$sim_pid")
settings() {
  write_settings "$1" --crlf PollInterval=1 HTMLTimeout=1 UseLogFile=1 LastSensor=7 "URL=$sim_url" LogfileName=logfile.txt
}

# Lines an earlier run left in the instance's log, with bytes that rsyslog
# would escape or a JSON round trip could change: a lone Latin-1 byte, a
# quote, a backslash, a slash, a cookie, a tab.
dev1_log=$lib/vornix7-logger-dev1/logfile.txt
single_log=$lib/vornix7-logger/logfile.txt
printf '2026-12-08 10:00:00,"Caf\xe9 ""\\/"" @cee:{}",21.5,OK\r\n2026-12-08 10:00:01,a\tb,-2048000.,ERROR\r\n' \
  >"$dev1_log"

# Instance dev1 started by the template unit's own command lines, with
# systemd's specifiers and the installed paths put in.
settings "$root/etc/vornix7-logger/dev1.ini"
cp "$root/etc/vornix7-logger/dev1.ini" "$scratch/credentials/VORNIX7_Logger.ini" # LoadCredential=
unit="$src/packaging/systemd/system/vornix7-logger@.service"
unit_line() { # KEY: the unit's value with the specifiers put in
  sed -n "s/^$1=//p" "$unit" | sed -e "s|%S|$lib|g" -e 's|%i|dev1|g' -e "s|/usr/bin/vornix7-logger-headless|$logger|g" \
    -e "s|\${CREDENTIALS_DIRECTORY}|$scratch/credentials|g"
}
grep -qx "LoadCredential=VORNIX7_Logger.ini:/etc/vornix7-logger/%i.ini" "$unit" || fail "the unit loads no settings"
workdir=$(unit_line WorkingDirectory)
[ "$workdir" = "$lib/vornix7-logger-dev1" ] || fail "WorkingDirectory is $workdir"
while IFS= read -r command; do
  echo "ExecStartPre: $command"
  (cd "$workdir" && eval "$command") || fail "ExecStartPre $command"
done < <(unit_line ExecStartPre)
start_line=$(unit_line ExecStart)
echo "ExecStart: $start_line"
(cd "$workdir" && eval "exec $start_line") 2>"$scratch/dev1.err" &
pids+=($!)
dev1_pid=$!
# The plain unit's single log, by a copy of the program beside its settings.
cp "$logger" "$lib/vornix7-logger/"
settings "$lib/vornix7-logger/VORNIX7_Logger.ini"
(cd "$lib/vornix7-logger" && exec ./vornix7-logger-headless) 2>"$scratch/single.err" &
pids+=($!)
single_pid=$!

start_rsyslogd forwarder
forwarder_pid=$rsyslogd_pid
# The central files, below the folder of the one host that sends (rsyslog's
# name for this machine: the host name up to its first dot).
central_file() { # NAME: its path, once there
  local file
  for file in "$root"/var/log/vornix7/*/"$1"; do echo "$file"; return; done
}

# Every 0.2 s: seconds, the lines in each local log and each central file,
# and the forwarder's queue on disk in bytes.
lines() { if [ -f "$1" ]; then tr -cd '\n' <"$1" | wc -c; else echo 0; fi; }
sample() {
  while :; do
    queue=$(find "$scratch/forwarder" -name 'vornix7-forward*' -type f -printf '%s\n' 2>/dev/null | awk '{s += $1} END {print s + 0}')
    echo "$(date +%s.%N) $(lines "$dev1_log") $(lines "$single_log") $(lines "$(central_file dev1.log)") $(lines "$(central_file vornix7-logger.log)") $queue"
    sleep 0.2
  done >"$scratch/samples.txt"
}
sample &
pids+=($!)
sampler_pid=$!
event() { echo "$(date +%s.%N) $1" >>"$scratch/events.txt"; echo "$(date +%T) $1"; }

event start
sleep 12
wait_for 10 test -s "$(central_file vornix7-logger.log)" || fail "no line reached the central server"
hosts=$(ls "$root/var/log/vornix7")
[ "$(wc -w <<<"$hosts")" -eq 1 ] || fail "the central server has folders $hosts, not one for this machine"
echo "central folder of this machine ($(hostname)): $hosts"
central_dev1=$root/var/log/vornix7/$hosts/dev1.log
central_single=$root/var/log/vornix7/$hosts/vornix7-logger.log
restart_forwarder() {
  event forwarder-stop
  stop_pid "$forwarder_pid"
  sleep 2
  start_rsyslogd forwarder
  forwarder_pid=$rsyslogd_pid
  event forwarder-start
}
event central-stop
# VORNIX7_CENTRAL_KILL=1: the central server dies (SIGKILL) instead of
# stopping, as in a crash.
if [ -n "${VORNIX7_CENTRAL_KILL:-}" ]; then kill -KILL "$central_pid"; fi
stop_pid "$central_pid"
# VORNIX7_RESTART_IN_OUTAGE=1: the forwarder is restarted while the central
# server is away instead (the one line it is retrying then moves behind the
# queued ones; the comparison below reports it).
if [ -n "${VORNIX7_RESTART_IN_OUTAGE:-}" ]; then
  sleep 6
  restart_forwarder
  sleep 12
else
  sleep 20
fi
event central-start
start_rsyslogd central
central_pid=$rsyslogd_pid
sleep 10
[ -n "${VORNIX7_RESTART_IN_OUTAGE:-}" ] || restart_forwarder
sleep 10
event loggers-stop
stop_pid "$dev1_pid"
stop_pid "$single_pid"

# Everything in, at the latest 40 s on (the forwarder retries at most 5 s apart).
caught_up() { cmp -s "$dev1_log" "$central_dev1" && cmp -s "$single_log" "$central_single"; }
wait_for 40 caught_up || true
event caught-up
kill "$sampler_pid" 2>/dev/null || true
python3 "$here/chain_figures.py" "$scratch/samples.txt" "$scratch/events.txt" \
  "$dev1_log" "$central_dev1" "$single_log" "$central_single" || fail "the central files are not the local logs"

# A half line at a log's end stays local until it is whole.
printf '2026-12-09 00:00:00,half' >>"$single_log"
sleep 3
cmp -s "$central_single" <(head -c -24 "$single_log") || fail "a half line was shipped, or lines are missing"
printf ',1.,OK\r\n' >>"$single_log"
wait_for 15 cmp -s "$single_log" "$central_single" || fail "the completed line did not arrive whole"
echo "PASS"
