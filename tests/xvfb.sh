#!/usr/bin/env bash
# Starts or stops the X server the window tests draw on.
#   xvfb.sh start :N PIDFILE    xvfb.sh stop :N PIDFILE
set -u
action=$1 display=$2 pidfile=$3
n=${display#:}
stop() {
    if [ -f "$pidfile" ]; then
        kill "$(cat "$pidfile")" 2>/dev/null
        rm -f "$pidfile"
    fi
    # A server left behind by an interrupted run holds the display.
    if [ -f "/tmp/.X$n-lock" ]; then
        pid=$(tr -d ' ' <"/tmp/.X$n-lock")
        if [ -n "$pid" ] && grep -q Xvfb "/proc/$pid/cmdline" 2>/dev/null; then
            kill "$pid" 2>/dev/null
            for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        fi
        rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
    fi
}
case $action in
start)
    stop
    . "$(dirname "$0")/../scripts/lib.sh"
    xvfb_start "$display" "$pidfile.log"
    status=$?
    echo "$xvfb_pid" >"$pidfile"
    exit $status
    ;;
stop) stop ;;
esac
