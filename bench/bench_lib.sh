# shellcheck shell=bash
# Shared by bench/logger_perf.sh and bench/logger_callgrind.sh (sourced, not
# run): the simulated device and a logger's settings file.

# shellcheck disable=SC2034 # sim_pid and url are for the caller
# Starts vornix7-sim on 127.0.0.1 serving the 2 KB bench page (8 sensors,
# padded with blanks to exactly 2048 bytes) and sets sim_pid and url. It
# stops by itself after MAX_SECONDS even if the caller is killed without its
# trap. Usage: start_sim SIM WORK MAX_SECONDS
start_sim() {
    local sim=$1 work=$2 max_seconds=$3 port=
    "$sim" --sensors 8 --name "Perf Bench" --mode size --body-bytes 2048 --quiet \
        --max-seconds "$max_seconds" >"$work/sim.out" 2>&1 &
    sim_pid=$!
    for _ in $(seq 100); do
        port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/sim.out")
        [ -n "$port" ] && break
        sleep 0.1
    done
    [ -n "$port" ] || { echo "vornix7-sim did not start: $(cat "$work/sim.out")" >&2; return 1; }
    url=http://127.0.0.1:$port/
}

# Writes DIR/VORNIX7_Logger.ini: poll URL every INTERVAL ticks (0: every
# tick), logging sensors 0..7 to LOG. Usage: write_settings DIR INTERVAL URL LOG
write_settings() {
    printf '[Settings]\nPollInterval=%s\nHTMLTimeout=1\nUseLogFile=1\nLastSensor=7\nStartMinimized=0\n[VORNIX7]\nURL=%s\nLogfileName=%s\n' \
        "$2" "$3" "$4" >"$1/VORNIX7_Logger.ini"
}
