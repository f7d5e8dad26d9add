#!/bin/sh
# Checks that every case tests/cases.txt lists is a test of its suite, so that
# a misspelled case cannot run as a filter that matches nothing (and passes).
#   cases-check.sh CASES SUITE=BINARY...
set -eu
cases=$1
shift
status=0
for pair in "$@"; do
    suite=${pair%%=*} binary=${pair#*=}
    tests=$("$binary" --gtest_list_tests | awk -v s="$suite" '
        /^[^ ]/ { sub(/\.$/, ""); n = split($1, p, "/"); on = (p[n] == s); next }
        on { m = split($1, t, "/"); print $1; print t[m] }')
    for c in $(awk -v s="$suite" '$1 == s { for (i = 2; i <= NF; i++) print $i }' "$cases"); do
        c=${c#native:}
        if ! printf '%s\n' "$tests" | grep -qx "$c"; then
            echo "cases.txt: $suite has no case $c" >&2
            status=1
        fi
    done
done
exit $status
