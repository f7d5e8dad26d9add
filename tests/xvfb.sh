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
    setsid Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$pidfile.log" 2>&1 </dev/null &
    echo $! >"$pidfile"
    for _ in $(seq 100); do
        [ -S "/tmp/.X11-unix/X$n" ] && DISPLAY=$display xdpyinfo >/dev/null 2>&1 && exit 0
        sleep 0.1
    done
    echo "Xvfb did not start on $display:" >&2
    cat "$pidfile.log" >&2
    exit 1
    ;;
stop) stop ;;
esac
