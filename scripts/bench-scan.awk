# The scan's figures from two files: frame-watch's output (the moments the X
# server showed new frames, between its "start" and "end" lines) and a device
# log ("cmd" and "sent" lines, times from its "clock" line). Prints how many
# frames were shown, the periods between commands, and the time from each
# reply's last byte to the first frame shown after it.
#
#   awk -f scripts/bench-scan.awk -v period_floor=MS FRAMES LOG

BEGIN {
    P99 = 0.99 # the percentile reported beside the median
}

FNR == 1 { file++ }

file == 1 {
    if ($1 == "start") from = $2
    else if ($1 == "end") to = $2
    else frame[n++] = $1
    next
}

$2 == "clock" { base = $3; next }
{ t = base + $1 }
t < from || t > to { next }
$2 == "cmd" { replied(); if (cmds++) period[np++] = t - lastcmd; lastcmd = t }
$2 == "sent" { last = t } # a reply reaches the host in pieces: its last one counts

# The frame that first showed the reply whose last byte went at `last`.
function replied() {
    if (!last) return
    while (k < n && frame[k] <= last) k++
    if (k < n) lat[nl++] = frame[k] - last
    last = 0
}

function report(name, v, m, note,    i, j, x, sum) {
    for (i = 1; i < m; i++) { x = v[i]; for (j = i - 1; j >= 0 && v[j] > x; j--) v[j + 1] = v[j]; v[j + 1] = x }
    for (i = 0; i < m; i++) sum += v[i]
    if (m == 0) { printf "%s: none\n", name; return }
    printf "%s: %d, mean %.2f ms, median %.2f, p99 %.2f, max %.2f%s\n", name, m, sum / m,
           v[int((m - 1) / 2)], v[int((m - 1) * P99 + 0.5)], v[m - 1], note
}

END {
    replied()
    printf "frames shown: %d (%.1f a second)\n", n, n * 1000 / (to - from)
    report("periods", period, np, " (floor " period_floor ")")
    report("reply to frame", lat, nl, "")
}
