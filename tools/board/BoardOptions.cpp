#include "tools/board/BoardOptions.h"

#include "tools/device/Options.h"
#include "tools/device/Tool.h"

#include <climits>
#include <unistd.h>

namespace {

const int COLUMN = 20;

Usage BoardUsage(BoardOptions& o) {
    Usage u;
    u.head = "Usage: rangescan-board [options]\n";
    u.column = COLUMN;
    u.rows.push_back({"--firmware", "ELF",
                      "the scanner's firmware (default: the build tree's\n"
                      "../firmware/firmware/scanner.elf beside this program, or the\n"
                      "package's ../lib/rangescan/firmware/scanner.elf)",
                      [&o](const char* v) { o.firmware = v; }});
    for (OptionRow& r : PortLinkOptionRows(o.where,
                                           "link the board's port as this port in the ports "
                                           "folder (default COM6)",
                                           "link it at PATH instead"))
        u.rows.push_back(r);
    std::string models;
    for (int m = 0; m < LINE_COUNT; m++)
        models +=
            std::string(m ? ", " : "") + LINE_MODELS[m].name + (m == LINE_UART ? " (default)" : "");
    u.rows.push_back(LineOptionRow(&o.line, Wrapped("how the board's bytes reach the computer: " +
                                                        models + " (see rangescan-sim --help)",
                                                    COLUMN)));
    u.rows.push_back({"--boot-ms", "MS", "the bootloader's wait after a reset (default 1000)",
                      [&o](const char* v) { o.bootMs = Number(v, "--boot-ms"); }});
    u.rows.push_back(
        {"--range", "CM",
         "a flat target CM away in every direction instead of the scene;\n"
         "'none': nothing in the ranger's reach",
         [&o](const char* v) { o.range = std::string(v) == "none" ? 0 : Number(v, "--range"); }});
    u.rows.push_back({"--log", "FILE",
                      "every byte in and out with its time, each servo pulse and rest,\n"
                      "each ping, and a line per command: ms, 'cmd', the two bytes, the reply",
                      [&o](const char* v) { o.logPath = v; }});
    u.rows.push_back(VersionRow());
    u.tail = "The ports folder is $XDG_CONFIG_HOME/rangescan/ports (~/.config/rangescan/ports).\n";
    return u;
}

BoardOptions ParseArgs(int argc, char** argv) {
    BoardOptions o;
    ParseOptions(argc, argv, BoardUsage(o));
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
