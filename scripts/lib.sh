# Steps the scripts share; sourced, not run.
#
# usage                  prints the calling script's header comment as its help
# track PID              ends PID (and the rest tracked, last first) on exit
# cleanup_on_exit DIR    on exit: ends what is tracked, waits, removes DIR
# wait_for_link PATH     waits up to 5 s for a device's port link to appear
# faketime_lib           the path of faketime's preload library

# The header comment of the script that sourced this, from its second line to
# the first line that is no comment.
usage() {
    awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"
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
