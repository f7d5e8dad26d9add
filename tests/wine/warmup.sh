#!/usr/bin/env bash
# Readies the tests' Wine prefix on the tests' display before any test runs:
# makes the prefix if need be, ends a server left from test discovery (which
# ran without a display), and starts one GUI program once, since the first
# window of a new prefix takes many seconds.
#   warmup.sh PROGRAM.exe        (WINEPREFIX and DISPLAY set by the caller)
set -u
here=$(cd "$(dirname "$0")" && pwd)
export WINEDEBUG=-all
"$here/run.sh" --init || exit 1
wineserver -k 2>/dev/null
wineserver -w
rm -f "$WINEPREFIX/dosdevices/com6"
"$here/run.sh" "$1" >/dev/null 2>&1 &
prog=$!
for _ in $(seq 2400); do
    window=$(xdotool search --name "OpenGL Sample" 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    sleep 0.1
done
if [ -z "$window" ]; then
    echo "no window from $1 under Wine" >&2
    kill $prog
    exit 1
fi
xdotool key --window "$window" Escape 2>/dev/null
xdotool keyup Escape 2>/dev/null
wait $prog
