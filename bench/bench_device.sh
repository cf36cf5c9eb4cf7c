# Sourced by the bench scripts: their scratch folder, the bench device on
# 127.0.0.1 and the end of every process they start, also when they are
# interrupted. A script puts each process it starts in pid_of (name -> pid)
# and unsets it once it has ended it itself, so no reused id is ever hit.
# shellcheck shell=bash

# $root is the repository, set by the script that sources this.
# shellcheck source=scripts/lib.sh disable=SC2154
. "$root/scripts/lib.sh"

declare -A pid_of=()
sim_pid=''
# shellcheck disable=SC2317 # run by the trap
bench_cleanup() {
    local pid
    for pid in "${pid_of[@]}" $sim_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}

# bench_start SIM NAME MAX_SECONDS   makes the scratch folder $work
# (vornix7-NAME.XXXXXX) and starts SIM (vornix7-sim) serving the 2 KB bench
# page: 8 sensors, padded with blanks to exactly 2048 bytes; sets url. The
# device stops by itself after MAX_SECONDS even if the script is killed
# without its trap.
# shellcheck disable=SC2034
bench_start() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/vornix7-$2.XXXXXX")
    trap bench_cleanup EXIT
    trap 'exit 130' INT TERM
    start_sim "$1" "$work" --sensors 8 --name "Perf Bench" --mode size --body-bytes 2048 --max-seconds "$3"
    url=$sim_url
}
