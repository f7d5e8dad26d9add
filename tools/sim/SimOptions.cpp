#include "tools/sim/SimOptions.h"

#include "tools/device/Tool.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char* USAGE =
    "Usage: rangescan-sim [options]\n"
    "  --port COMn         link the device as this port in the ports folder (default COM6)\n"
    "  --link PATH         link the device at PATH instead\n"
    "  --force             replace a live device's link, or a running tool's\n"
    "  --latency MS        reply latency (default 30)\n"
    "  --fixed DIGITS      always reply DIGITS instead of the scene\n"
    "  --digits MIN-MAX    reply random digits instead, MIN to MAX of them\n"
    "  --line MODEL        how the reply bytes reach the computer (default uart):\n"
    "                      uart   a byte at a time, at the pace of the line's settings\n"
    "                      ftdi   a USB adapter with a 16 ms latency timer, 62-byte packets\n"
    "                      cdc    a USB board, sent on at every 1 ms USB frame\n"
    "                      whole  each reply in one piece, at once\n"
    "  --replay FILE       answer each aim with the reply a capture kept for it\n"
    "                      (rangescan-capture's OUT.csv), or for the nearest aim kept;\n"
    "                      silent where the capture got no reply\n"
    "  --stripes           a scene of stripes two columns wide, 5 and 25 cm by turns\n"
    "  --log FILE          one line per command: ms, 'cmd', the two bytes, the reply;\n"
    "                      one per write: ms, 'sent', the byte count\n"
    "  --fault KIND        silent | slow | split | burst | garbage | cut (the reply's\n"
    "                      first half, then a hang-up --split-ms later)\n"
    "  --fault-from N      first command (1-based) the fault applies to (default 1)\n"
    "  --fault-count N     commands the fault applies to (default 0: all from there on)\n"
    "  --slow-ms MS        slow: reply this late (default 1500)\n"
    "  --split-ms MS       split: the rest of the reply this much later (default 50)\n"
    "  --burst-bytes N     burst: send N digits instead of the reply (default 10000)\n"
    "  --unasked TEXT      send TEXT unasked after the host configures the line\n"
    "  --unasked-ms MS     unasked: this long after (default 500)\n"
    "  --hangup-after N    answer N commands, then hang up and exit\n"
    "  --version           the version\n"
    "The ports folder is $XDG_CONFIG_HOME/rangescan/ports (~/.config/rangescan/ports).\n";

const char* FAULT_NAMES[FAULT_COUNT] = {"none",  "silent",  "slow", "split",
                                        "burst", "garbage", "cut"};

} // namespace

Options ParseArgs(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&]() { return OptionValue(argc, argv, &i); };
        StandardOption(a, USAGE);
        if (TakePortLinkOption(o.where, argc, argv, &i) ||
            TakeLineOption(&o.line, argc, argv, &i)) {
            continue;
        } else if (a == "--latency") {
            o.latency = Number(value(), "--latency");
        } else if (a == "--fixed") {
            o.fixed = value();
        } else if (a == "--digits") {
            std::string range = value();
            size_t dash = range.find('-');
            if (dash == std::string::npos)
                Fail("--digits takes MIN-MAX");
            o.digitsMin = Number(range.substr(0, dash).c_str(), "--digits");
            o.digitsMax = Number(range.substr(dash + 1).c_str(), "--digits");
            if (o.digitsMin < 1 || o.digitsMax < o.digitsMin)
                Fail("--digits takes MIN-MAX with 1 <= MIN <= MAX");
        } else if (a == "--replay") {
            o.replay = value();
        } else if (a == "--stripes") {
            o.stripes = true;
        } else if (a == "--log") {
            o.logPath = value();
        } else if (a == "--fault") {
            std::string k = value();
            int found = -1;
            for (int f = 0; f < FAULT_COUNT; f++)
                if (k == FAULT_NAMES[f])
                    found = f;
            if (found < 0)
                Fail("unknown fault: " + k);
            o.fault = static_cast<Fault>(found);
        } else if (a == "--fault-from") {
            o.faultFrom = Number(value(), "--fault-from");
        } else if (a == "--fault-count") {
            o.faultCount = Number(value(), "--fault-count");
        } else if (a == "--slow-ms") {
            o.slowMs = Number(value(), "--slow-ms");
        } else if (a == "--split-ms") {
            o.splitMs = Number(value(), "--split-ms");
        } else if (a == "--burst-bytes") {
            o.burstBytes = Number(value(), "--burst-bytes");
        } else if (a == "--unasked") {
            o.unasked = value();
        } else if (a == "--unasked-ms") {
            o.unaskedMs = Number(value(), "--unasked-ms");
        } else if (a == "--hangup-after") {
            o.hangupAfter = Number(value(), "--hangup-after");
        } else {
            UnknownOption(a, USAGE);
        }
    }
    return o;
}
