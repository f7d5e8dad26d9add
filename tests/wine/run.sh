#!/usr/bin/env bash
# Runs a Windows program under Wine for the tests: a private prefix (made on
# first use, under a lock, so that tests started at once share one), no debug
# output, and, where RANGESCAN_SIM is set, a simulated scanner host that the
# program's tests drive through files (see sim-host.sh).
#   run.sh PROGRAM.exe [ARGS...]
#   run.sh --init          (only makes the prefix)
set -u
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?WINEPREFIX must name the prefix of the tests}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        # Without a display, so that no desktop process keeps the server up.
        env -u DISPLAY wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
) 9>"$WINEPREFIX.lock"

[ "${1:-}" = "--init" ] && exit 0

status=0
if [ -n "${RANGESCAN_SIM:-}" ]; then
    # No COM6 but the one a test asks for (these tests hold the prefix's COM6 lock).
    rm -f "$WINEPREFIX/dosdevices/com6"
    dir=$(mktemp -d "${TMPDIR:-/tmp}/rangescan-simhost-XXXXXX")
    "$here/sim-host.sh" "$dir" "$RANGESCAN_SIM" "$WINEPREFIX/dosdevices/com6" &
    host=$!
    # Stopped or timed out: the host ends its simulator on its way out.
    trap 'touch "$dir/done"; wait "$host"; rm -rf "$dir"; exit 143' TERM INT
    RANGESCAN_SIM_DIR="Z:$dir" wine "$@" || status=$?
    touch "$dir/done"
    wait "$host"
    rm -rf "$dir"
else
    wine "$@" || status=$?
fi
exit $status
