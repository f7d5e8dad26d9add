#include "tools/capture/CaptureOptions.h"

#include "tools/device/Tool.h"

#include <cstdlib>

namespace {

const char* USAGE =
    "Usage: rangescan-capture [options] PORT OUT\n"
    "Takes the scanner's raster at its own pace, each command sent as soon as the\n"
    "last reply has ended, and keeps it as OUT.csv (a row an aim), OUT.ply (the\n"
    "points that echoed, in cm) and OUT.png (the map as rangescan colours it).\n"
    "  PORT            the scanner's port: COMn (on Linux, the link comN in the ports\n"
    "                  folder, as rangescan finds it) or a device (/dev/ttyACM0)\n"
    "  --step N        every Nth column and row of the raster (default 1: all of\n"
    "                  its 152 x 141 aims)\n"
    "  --pings N       readings an aim, the median kept (default 1)\n"
    "  --scale CM      the picture's full red (default 30, as rangescan's map)\n"
    "  --wait-ms MS    wait after opening, while the board resets and starts (default 2000)\n"
    "  --force         replace the files of an earlier capture\n"
    "  --version       the version\n"
    "Ctrl+C (on Windows also closing the console) stops it after the aim under way,\n"
    "and the three files keep what was taken; a second Ctrl+C ends it at once.\n"
    "Exit code: 0 the raster was taken; 1 the scanner gave no reading to the first\n"
    "aims; 2 the port could not be opened or used, a file could not be written, or\n"
    "the command line is wrong; 3 it was stopped before the end.\n";

} // namespace

CaptureOptions ParseCaptureArgs(int argc, char** argv) {
    CaptureOptions o;
    int free = 0;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&]() { return OptionValue(argc, argv, &i); };
        StandardOption(a, USAGE);
        if (a == "--step") {
            o.step = Number(value(), "--step");
        } else if (a == "--pings") {
            o.pings = Number(value(), "--pings");
        } else if (a == "--scale") {
            o.scale = static_cast<double>(Number(value(), "--scale"));
        } else if (a == "--wait-ms") {
            o.waitMs = Number(value(), "--wait-ms");
        } else if (a == "--force") {
            o.force = true;
        } else if (a[0] != '-' && free < 2) {
            (free++ == 0 ? o.port : o.out) = a;
        } else {
            UnknownOption(a, USAGE);
        }
    }
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
