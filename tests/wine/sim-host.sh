#!/usr/bin/env bash
# Starts and stops the simulated scanner on request of a test running under
# Wine, which cannot start native programs itself. The test writes the
# simulator's arguments, each ended by a NUL byte, to DIR/request; the host links the
# simulator at LINK, writes DIR/ready once it runs, DIR/exited once it has
# ended, and stops it when DIR/stop appears (answering DIR/stopped).
#   sim-host.sh DIR SIMULATOR LINK        (ends when DIR/done appears)
set -u
dir=$1 sim=$2 link=$3
pid=""
stop_sim() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        pid=""
    fi
}
trap stop_sim EXIT
while [ ! -e "$dir/done" ]; do
    if [ -e "$dir/request" ]; then
        stop_sim
        mapfile -d '' -t args <"$dir/request"
        rm -f "$dir/request" "$dir/ready" "$dir/exited" "$dir/stopped" "$dir/sim.out"
        (
            "$sim" --force --link "$link" --log "$dir/sim.log" "${args[@]}" >"$dir/sim.out" 2>&1 &
            child=$!
            trap 'kill "$child" 2>/dev/null' TERM
            wait "$child"
            wait "$child" 2>/dev/null # once more, if a TERM cut the first wait short
            touch "$dir/exited"
        ) &
        pid=$!
        for _ in $(seq 200); do
            grep -q "linked at" "$dir/sim.out" 2>/dev/null && break
            [ -e "$dir/exited" ] && break
            sleep 0.01
        done
        touch "$dir/ready"
    fi
    if [ -e "$dir/stop" ]; then
        rm -f "$dir/stop"
        stop_sim
        touch "$dir/stopped"
    fi
    sleep 0.01
done
