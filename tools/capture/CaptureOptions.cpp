#include "tools/capture/CaptureOptions.h"

#include "tools/device/Options.h"
#include "tools/device/Tool.h"

#include <cstdlib>

namespace {

Usage CaptureUsage(CaptureOptions& o) {
    Usage u;
    u.head = "Usage: rangescan-capture [options] PORT OUT\n"
             "Takes the scanner's raster at its own pace, each command sent as soon as the\n"
             "last reply has ended, and keeps it as OUT.csv (a row an aim), OUT.ply (the\n"
             "points that echoed, in cm) and OUT.png (the map as rangescan colours it).\n";
    u.column = 18;
    u.rows = {
        PortWordRow(),
        {"--step", "N",
         "every Nth column and row of the raster (default 1: all of\nits 152 x 141 aims)",
         [&o](const char* v) { o.step = Number(v, "--step"); }},
        {"--pings", "N", "readings an aim, the median kept (default 1)",
         [&o](const char* v) { o.pings = Number(v, "--pings"); }},
        {"--scale", "CM", "the picture's full red (default 30, as rangescan's map)",
         [&o](const char* v) { o.scale = static_cast<double>(Number(v, "--scale")); }},
        WaitMsRow(&o.waitMs),
        {"--force", "", "replace the files of an earlier capture",
         [&o](const char*) { o.force = true; }},
        VersionRow(),
    };
    u.tail = "Ctrl+C (on Windows also closing the console) stops it after the aim under way,\n"
             "and the three files keep what was taken; a second Ctrl+C ends it at once.\n"
             "Exit code: 0 the raster was taken; 1 the scanner gave no reading to the first\n"
             "aims; 2 the port could not be opened or used, a file could not be written, or\n"
             "the command line is wrong; 3 it was stopped before the end.\n";
    return u;
}

} // namespace

CaptureOptions ParseCaptureArgs(int argc, char** argv) {
    CaptureOptions o;
    int free = 0;
    ParseOptions(argc, argv, CaptureUsage(o), [&o, &free](const char* word) {
        if (free >= 2)
            return false;
        (free++ == 0 ? o.port : o.out) = word;
        return true;
    });
    if (free < 2)
        Fail(free == 0 ? "which port, and where to keep the scan (PORT OUT)?"
                       : "where to keep the scan (OUT)?");
    if (o.step < 1 || o.step > 140)
        Fail("--step takes 1 to 140");
    if (o.pings < 1 || o.pings > 100)
        Fail("--pings takes 1 to 100");
    if (o.scale < 1)
        Fail("--scale takes 1 cm or more");
    return o;
}
