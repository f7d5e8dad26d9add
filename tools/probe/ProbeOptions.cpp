#include "tools/probe/ProbeOptions.h"

#include "firmware/scanner/config.h"
#include "tools/device/Options.h"
#include "tools/device/Tool.h"

namespace {

Usage ProbeUsage(ProbeOptions& o) {
    Usage u;
    u.head = "Usage: rangescan-probe [options] PORT\n";
    u.column = 18;
    u.rows = {
        PortWordRow(),
        WaitMsRow(&o.waitMs),
        {"--expect-cm", "CM",
         "every reply must be CM away, within 2 % (0: nothing in reach, so\n"
         "every reply is the ranger's time-out, " +
             std::to_string(ECHO_TIMEOUT_US) + ")",
         [&o](const char* v) { o.expectCm = static_cast<double>(Number(v, "--expect-cm")); }},
        VersionRow(),
    };
    u.tail = "Exit code: 0 every check passed; 1 the scanner failed a check; 2 the port could\n"
             "not be opened or used (the verdict says why).\n";
    return u;
}

} // namespace

ProbeOptions ParseProbeArgs(int argc, char** argv) {
    ProbeOptions o;
    ParseOptions(argc, argv, ProbeUsage(o), [&o](const char* word) {
        if (!o.port.empty())
            return false;
        o.port = word;
        return true;
    });
    if (o.port.empty())
        Fail("which port?");
    return o;
}
