#include "Device.h"

#include "firmware/scanner/config.h"

#include <cstdio>
#include <deque>
#include <sstream>

std::vector<DeviceProcess::Command> DeviceProcess::Commands() {
    std::vector<Command> cmds;
    FILE* f = fopen(logPath.c_str(), "r");
    if (!f)
        return cmds;
    char line[512];
    while (fgets(line, sizeof line, f)) {
        std::istringstream in(line);
        Command c;
        std::string kind;
        in >> c.ms >> kind;
        if (kind != "cmd")
            continue;
        in >> c.h >> c.v >> c.reply >> c.note;
        cmds.push_back(c);
    }
    fclose(f);
    return cmds;
}

std::map<long, double> DeviceProcess::LastBytesWritten() {
    std::map<long, double> last;
    FILE* f = fopen(logPath.c_str(), "r");
    if (!f)
        return last;
    // Replies go out one after another: each ends at a count of bytes written.
    struct Pending {
        long command;
        long long end;
    };
    std::deque<Pending> due;
    long long queued = 0, written = 0;
    char line[512];
    while (fgets(line, sizeof line, f)) {
        std::istringstream in(line);
        double ms;
        std::string kind;
        in >> ms >> kind;
        if (kind == "reply") {
            long command, bytes;
            in >> command >> bytes;
            queued += bytes;
            due.push_back({command, queued});
        } else if (kind == "sent") {
            long bytes;
            in >> bytes;
            written += bytes;
            for (; !due.empty() && due.front().end <= written; due.pop_front())
                last[due.front().command] = ms;
        }
    }
    fclose(f);
    return last;
}

// The log's first "line" at the scanner's speed: "MS line 115200 8N1 after MS".
static bool FindLineConfigured(const std::string& logPath, double* seen, double* after) {
    FILE* f = fopen(logPath.c_str(), "r");
    char line[512];
    bool found = false;
    while (f && !found && fgets(line, sizeof line, f)) {
        std::istringstream s(line);
        std::string kind, rate, frame, word;
        s >> *seen >> kind >> rate >> frame >> word >> *after;
        found = kind == "line" && rate == std::to_string(SCANNER_BAUD) && word == "after";
    }
    if (f)
        fclose(f);
    return found;
}

double DeviceProcess::LineConfiguredMs() {
    double seen, after;
    return FindLineConfigured(logPath, &seen, &after) ? seen : -1;
}

double DeviceProcess::LineConfiguredAfterMs() {
    double seen, after;
    return FindLineConfigured(logPath, &seen, &after) ? after : -1e300;
}
