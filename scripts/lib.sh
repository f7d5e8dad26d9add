# Steps the scripts share; sourced, not run.
#
# usage                  prints the calling script's header comment as its help
# summary SCRIPT         the one-line summary a script's header begins with
# track PID              ends PID (and the rest tracked, last first) on exit
# cleanup_on_exit DIR    on exit: ends what is tracked, waits, removes DIR
# wait_for_link PATH     waits up to 5 s for a device's port link to appear
# faketime_lib           the path of faketime's preload library
# xvfb_start [:N] LOG    starts Xvfb on :N, or on a display it picks itself, and
#                        waits until it answers; sets DISPLAY and xvfb_pid

# The header comment of the script that sourced this, from its second line to
# the first line that is no comment.
usage() {
    awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"
}

# The first line of a script's header comment: what it does, in a line.
summary() {
    sed -n '2s/^# //p' "$1"
}

pids=()
track() {
    pids+=("$1")
}

# $1: the work folder to remove; the rest: a command to run first (as ending
# Wine's server).
cleanup_on_exit() {
    cleanup_dir=$1
    shift
    cleanup_extra=("$@")
    trap cleanup_now EXIT
}

cleanup_now() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    [ ${#cleanup_extra[@]} -eq 0 ] || "${cleanup_extra[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$cleanup_dir"
}

wait_for_link() {
    for _ in $(seq 50); do [ -L "$1" ] && return 0; sleep 0.1; done
    echo "no device linked at $1" >&2
    return 1
}

faketime_lib() {
    local lib
    lib=$(find /usr/lib -name libfaketime.so.1 | head -n 1)
    [ -n "$lib" ] || { echo "faketime is not installed" >&2; return 1; }
    echo "$lib"
}

# Every X server the scripts and tests use starts here: a 1024x768 screen in
# 24-bit colour, no TCP, and no reset when its last client leaves (a server
# that resets between two programs refuses the second one's connection).
# Without :N, -displayfd has the server pick a display no other server holds.
xvfb_start() {
    local want="" log
    if [[ ${1:-} == :* ]]; then
        want=$1
        shift
    fi
    log=$1
    local args=(-noreset -screen 0 1024x768x24 -nolisten tcp)
    if [ -n "$want" ]; then
        setsid Xvfb "$want" "${args[@]}" >"$log" 2>&1 </dev/null &
        xvfb_pid=$!
        DISPLAY=$want
    else
        setsid Xvfb -displayfd 3 "${args[@]}" 3>"$log.display" >"$log" 2>&1 </dev/null &
        xvfb_pid=$!
        for _ in $(seq 100); do [ -s "$log.display" ] && break; sleep 0.1; done
        DISPLAY=:$(head -n 1 "$log.display" 2>/dev/null)
    fi
    export DISPLAY
    for _ in $(seq 100); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on ${DISPLAY}:" >&2
    cat "$log" >&2
    return 1
}
