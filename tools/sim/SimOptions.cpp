#include "tools/sim/SimOptions.h"

#include "tools/device/Options.h"
#include "tools/device/Tool.h"

#include <cstdio>
#include <cstdlib>

const FaultRow FAULTS[] = {
    {"none", ""},
    {"silent", ""},
    {"slow", ""},
    {"split", ""},
    {"burst", ""},
    {"garbage", ""},
    {"cut", "the reply's first half, then a hang-up --split-ms later"},
};
const int FAULT_COUNT = sizeof FAULTS / sizeof FAULTS[0];

namespace {

const int COLUMN = 22;

// "silent | slow | ... | cut (its note)", without "none".
std::string FaultsHelp() {
    std::string text;
    for (int f = 1; f < FAULT_COUNT; f++) {
        text += (f > 1 ? " | " : "") + std::string(FAULTS[f].name);
        if (FAULTS[f].note[0])
            text += std::string(" (") + FAULTS[f].note + ")";
    }
    return Wrapped(text, COLUMN);
}

void TakeDigits(Options& o, const std::string& range) {
    size_t dash = range.find('-');
    if (dash == std::string::npos)
        Fail("--digits takes MIN-MAX");
    o.digitsMin = Number(range.substr(0, dash).c_str(), "--digits");
    o.digitsMax = Number(range.substr(dash + 1).c_str(), "--digits");
    if (o.digitsMin < 1 || o.digitsMax < o.digitsMin)
        Fail("--digits takes MIN-MAX with 1 <= MIN <= MAX");
}

void TakeFault(Options& o, const std::string& name) {
    for (int f = 0; f < FAULT_COUNT; f++)
        if (name == FAULTS[f].name) {
            o.fault = static_cast<Fault>(f);
            return;
        }
    Fail("unknown fault: " + name);
}

// Takes a whole number for option `name` into *to.
template <typename T>
OptionRow NumberRow(const char* name, const char* value, const char* help, T* to) {
    return {name, value, help,
            [name, to](const char* v) { *to = static_cast<T>(Number(v, name)); }};
}

Usage SimUsage(Options& o) {
    Usage u;
    u.head = "Usage: rangescan-sim [options]\n";
    u.column = COLUMN;
    u.rows = PortLinkOptionRows(o.where,
                                "link the device as this port in the ports folder (default COM6)",
                                "link the device at PATH instead");
    auto add = [&u](OptionRow r) { u.rows.push_back(std::move(r)); };
    add(NumberRow("--latency", "MS", "reply latency (default 30)", &o.latency));
    add({"--fixed", "DIGITS", "always reply DIGITS instead of the scene",
         [&o](const char* v) { o.fixed = v; }});
    add({"--digits", "MIN-MAX", "reply random digits instead, MIN to MAX of them",
         [&o](const char* v) { TakeDigits(o, v); }});
    add(LineOptionRow(&o.line, "how the reply bytes reach the computer (default uart):\n" +
                                   LineModelsHelp()));
    add({"--replay", "FILE",
         "answer each aim with the reply a capture kept for it\n"
         "(rangescan-capture's OUT.csv), or for the nearest aim kept;\n"
         "silent where the capture got no reply",
         [&o](const char* v) { o.replay = v; }});
    add({"--stripes", "", "a scene of stripes two columns wide, 5 and 25 cm by turns",
         [&o](const char*) { o.stripes = true; }});
    add({"--log", "FILE",
         "one line per command: ms, 'cmd', the two bytes, the reply;\n"
         "one per write: ms, 'sent', the byte count",
         [&o](const char* v) { o.logPath = v; }});
    add({"--fault", "KIND", FaultsHelp(), [&o](const char* v) { TakeFault(o, v); }});
    add(NumberRow("--fault-from", "N", "first command (1-based) the fault applies to (default 1)",
                  &o.faultFrom));
    add(NumberRow("--fault-count", "N",
                  "commands the fault applies to (default 0: all from there on)", &o.faultCount));
    add(NumberRow("--slow-ms", "MS", "slow: reply this late (default 1500)", &o.slowMs));
    add(NumberRow("--split-ms", "MS", "split: the rest of the reply this much later (default 50)",
                  &o.splitMs));
    add(NumberRow("--burst-bytes", "N", "burst: send N digits instead of the reply (default 10000)",
                  &o.burstBytes));
    add({"--unasked", "TEXT", "send TEXT unasked after the host configures the line",
         [&o](const char* v) { o.unasked = v; }});
    add(NumberRow("--unasked-ms", "MS", "unasked: this long after (default 500)", &o.unaskedMs));
    add(NumberRow("--hangup-after", "N", "answer N commands, then hang up and exit",
                  &o.hangupAfter));
    add(VersionRow());
    u.tail = "The ports folder is $XDG_CONFIG_HOME/rangescan/ports (~/.config/rangescan/ports).\n";
    return u;
}

} // namespace

Options ParseArgs(int argc, char** argv) {
    Options o;
    ParseOptions(argc, argv, SimUsage(o));
    return o;
}
