#include "tools/board/BoardOptions.h"

#include "tools/device/Tool.h"

#include <climits>
#include <unistd.h>

namespace {

const char* USAGE =
    "Usage: rangescan-board [options]\n"
    "  --firmware ELF    the scanner's firmware (default: the build tree's\n"
    "                    ../firmware/firmware/scanner.elf beside this program, or the\n"
    "                    package's ../lib/rangescan/firmware/scanner.elf)\n"
    "  --port COMn       link the board's port as this port in the ports folder (default COM6)\n"
    "  --link PATH       link it at PATH instead\n"
    "  --force           replace a live device's link, or a running tool's\n"
    "  --line MODEL      how the board's bytes reach the computer: uart (default), ftdi,\n"
    "                    cdc, whole (see rangescan-sim --help)\n"
    "  --boot-ms MS      the bootloader's wait after a reset (default 1000)\n"
    "  --range CM        a flat target CM away in every direction instead of the scene;\n"
    "                    'none': nothing in the ranger's reach\n"
    "  --log FILE        every byte in and out with its time, each servo pulse and rest,\n"
    "                    each ping, and a line per command: ms, 'cmd', the two bytes, the reply\n"
    "  --version         the version\n"
    "The ports folder is $XDG_CONFIG_HOME/rangescan/ports (~/.config/rangescan/ports).\n";

BoardOptions ParseArgs(int argc, char** argv) {
    BoardOptions o;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&]() { return OptionValue(argc, argv, &i); };
        StandardOption(a, USAGE);
        if (TakePortLinkOption(o.where, argc, argv, &i) ||
            TakeLineOption(&o.line, argc, argv, &i)) {
            continue;
        } else if (a == "--firmware") {
            o.firmware = value();
        } else if (a == "--boot-ms") {
            o.bootMs = Number(value(), "--boot-ms");
        } else if (a == "--range") {
            std::string r = value();
            o.range = r == "none" ? 0 : Number(r.c_str(), "--range");
        } else if (a == "--log") {
            o.logPath = value();
        } else {
            UnknownOption(a, USAGE);
        }
    }
    return o;
}

// The firmware beside this program: the build tree's (build/native and
// build/firmware side by side), else the package's.
std::string FindFirmware() {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "";
    std::string dir(self, static_cast<size_t>(n));
    dir = dir.substr(0, dir.rfind('/'));
    for (const char* rel :
         {"/../firmware/firmware/scanner.elf", "/../lib/rangescan/firmware/scanner.elf"})
        if (access((dir + rel).c_str(), R_OK) == 0)
            return dir + rel;
    return "";
}

} // namespace

BoardOptions ParseBoardArgs(int argc, char** argv) {
    BoardOptions o = ParseArgs(argc, argv);
    if (o.firmware.empty())
        o.firmware = FindFirmware();
    if (o.firmware.empty())
        Fail("no firmware found beside this program: --firmware names the firmware's ELF file");
    return o;
}
