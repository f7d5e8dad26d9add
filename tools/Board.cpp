// rangescan-board: the scanner's firmware on an emulated ATmega328P board
// (simavr), in real time, with the hardware around it stood in for, each part
// in tools/board/:
//   - its serial port (UART0, through the board's USB adapter) on a
//     pseudo-terminal linked as a COM port, as rangescan-sim's is, with the
//     board's reset when the computer opens the port (HostLink);
//   - two servos on Timer1's PWM outputs (Servo);
//   - an ultrasonic ranger on the servos' bracket, facing the scene (Ranger).
// While no program has the port open the board is held: an open resets it.
#include "board/HostLink.h"
#include "board/Ranger.h"
#include "board/Servo.h"
#include "tools/Clock.h"
#include "tools/Line.h"
#include "tools/PortLink.h"
#include "tools/PortSettings.h"
#include "tools/StopSignals.h"
#include "tools/Tool.h"
#include "firmware/scanner/config.h"

#include <sim_elf.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

const char* USAGE =
    "Usage: rangescan-board [options]\n"
    "  --firmware ELF    the scanner's firmware (default: the build tree's\n"
    "                    ../firmware/firmware/scanner.elf beside this program, or the\n"
    "                    package's ../lib/rangescan/firmware/scanner.elf)\n"
    "  --port COMn       link the board's port as this port in the ports folder (default COM6)\n"
    "  --link PATH       link it at PATH instead\n"
    "  --force           replace an existing link that points at a live device\n"
    "  --line MODEL      how the board's bytes reach the computer: uart (default), ftdi,\n"
    "                    cdc, whole (see rangescan-sim --help)\n"
    "  --boot-ms MS      the bootloader's wait after a reset (default 1000)\n"
    "  --range CM        a flat target CM away in every direction instead of the scene;\n"
    "                    'none': nothing in the ranger's reach\n"
    "  --log FILE        every byte in and out with its time, each servo pulse and rest,\n"
    "                    each ping, and a line per command: ms, 'cmd', the two bytes, the reply\n"
    "  --version         the version\n"
    "The ports folder is $XDG_CONFIG_HOME/rangescan/ports (~/.config/rangescan/ports).\n";

const double SLICE_MS = 0.5;     // emulated time between looks at the world
const double IDLE_LOOK_MS = 5;   // while the port is closed, how often to look again
const double MAX_BEHIND_MS = 50; // the board that falls this far behind keeps the pace from there

struct Options {
    PortLinkOptions where;
    std::string firmware, logPath;
    LineModel line = LINE_UART;
    double bootMs = 1000;
    double range = -1; // a flat target's distance; -1: the scene; 0: nothing
};

Options ParseArgs(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&]() { return OptionValue(argc, argv, &i); };
        StandardOption(a, USAGE);
        if (TakePortLinkOption(o.where, argc, argv, &i)) {
            continue;
        } else if (a == "--firmware") {
            o.firmware = value();
        } else if (a == "--line") {
            std::string m = value();
            if (!ParseLineModel(m, &o.line))
                Fail("unknown line model: " + m);
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

avr_t* MakeBoard(const std::string& firmware) {
    elf_firmware_t f;
    memset(&f, 0, sizeof f);
    if (elf_read_firmware(firmware.c_str(), &f) != 0)
        Fail("cannot read " + firmware);
    avr_t* avr = avr_make_mcu_by_name("atmega328p");
    if (!avr || avr_init(avr) != 0)
        Fail("cannot make an ATmega328P");
    avr->frequency = static_cast<uint32_t>(BOARD_CPU_HZ);
    avr->log = LOG_ERROR;
    avr_load_firmware(avr, &f);
    avr->sleep = [](avr_t*, avr_cycle_count_t) {}; // the loop below keeps the pace
    return avr;
}

// The board's pin numbers on the ATmega328P: D0..D7 are port D, D8..D13 port
// B; Timer1's PWM outputs OC1A and OC1B are D9 and D10.
char PinPort(uint8_t pin) {
    return pin < 8 ? 'D' : 'B';
}
int PinBit(uint8_t pin) {
    return pin % 8;
}
int Timer1Output(uint8_t pin) {
    return pin - 9;
}

// True while the computer has the port open, after waiting up to `waitMs`
// for its bytes: with no one at the other end, the pseudo-terminal's device
// side reports a hang-up (at once, every time).
bool HostHasPort(int master, double waitMs, double* now) {
    pollfd pfd = {master, POLLIN, 0};
    timespec ts = {0, static_cast<long>(waitMs * 1e6)};
    ppoll(&pfd, 1, &ts, nullptr);
    *now = NowMs();
    return (pfd.revents & POLLHUP) == 0;
}

} // namespace

int main(int argc, char** argv) {
    SetToolName("rangescan-board");
    Options o = ParseArgs(argc, argv);
    if (o.firmware.empty())
        o.firmware = FindFirmware();
    if (o.firmware.empty())
        Fail("no firmware found beside this program: --firmware names the firmware's ELF file");

    BoardTime t;
    t.avr = MakeBoard(o.firmware);
    std::string link = PortLinkPath(o.where.port, o.where.link);
    DevicePty pty = OpenDevicePty();
    termios settings;
    tcgetattr(pty.slave, &settings);
    // Our copy of the computer's side goes: the master then sees a hang-up
    // while no one has the port open, and none while the computer has.
    close(pty.slave);
    PlaceLink(link, pty.slavePath, o.where.force);
    CatchStopSignals();
    double start = NowMs();
    DeviceLog log;
    OpenLog(log, o.logPath, start);
    t.base = start;

    // The wiring, as the firmware's pin map has it (firmware/scanner/config.h).
    Servo pan, tilt;
    ServoInit(pan, t.avr, t, log, "pan");
    ServoConnect(pan, t.avr, Timer1Output(PIN_PAN));
    ServoInit(tilt, t.avr, t, log, "tilt");
    ServoConnect(tilt, t.avr, Timer1Output(PIN_TILT));
    Ranger ranger;
    RangerInit(ranger, t.avr, t, log, pan, tilt);
    ranger.target = o.range;
    RangerConnect(ranger, t.avr, PinPort(PIN_TRIG), PinBit(PIN_TRIG), PinPort(PIN_ECHO),
                  PinBit(PIN_ECHO));
    HostLink host;
    HostLinkInit(host, t.avr, t, log, pty.master, PortSettingsName(settings));
    host.line.model = o.line;
    host.bootMs = o.bootMs;
    HostLinkConnect(host, t.avr, '0');

    printf("rangescan-board: %s is %s, linked at %s\n", o.where.port.c_str(), pty.slavePath.c_str(),
           link.c_str());
    fflush(stdout);

    double lagged = 0, now = start;
    bool held = true;
    bool open = HostHasPort(pty.master, 0, &now);
    auto serve = [&]() {
        if (HostLinkServe(host, open, now)) {
            ServoReset(pan, BoardOwnMs(t));
            ServoReset(tilt, BoardOwnMs(t));
            RangerReset(ranger);
        }
    };
    while (!StopRequested()) {
        serve();
        if (!open) { // held until the computer opens the port, which resets it
            held = true;
            usleep(static_cast<useconds_t>(IDLE_LOOK_MS * 1000));
            open = HostHasPort(pty.master, 0, &now);
            continue;
        }
        // No time passes for a board held in reset: it starts afresh from now.
        bool booting = HostLinkBooting(host, now);
        if (booting || held)
            t.base = now - t.avr->cycle * 1000.0 / BOARD_CPU_HZ;
        held = booting;
        if (!booting) {
            // Run the board a slice ahead of the wall clock.
            avr_cycle_count_t until =
                t.avr->cycle + static_cast<avr_cycle_count_t>(BOARD_CPU_HZ * SLICE_MS / 1000);
            while (t.avr->cycle < until) {
                HostLinkFeed(host);
                int state = avr_run(t.avr);
                if (state == cpu_Done || state == cpu_Crashed)
                    Fail("the firmware stopped");
            }
            double behind = NowMs() - BoardMs(t);
            if (behind > MAX_BEHIND_MS) {
                lagged = std::fmax(lagged, behind);
                t.base += behind;
            }
        }
        ServoPoll(pan, BoardOwnMs(t));
        ServoPoll(tilt, BoardOwnMs(t));
        // Until the wall clock has caught up with the board: each byte to the
        // computer when it is due, the computer's bytes as they come.
        double until = booting ? std::fmin(now + 1, host.bootUntil) : BoardMs(t);
        for (;;) {
            double wait = std::fmax(0, std::fmin(until, LineNextDue(host.line)) - NowMs());
            open = HostHasPort(pty.master, wait, &now);
            if (!open || now >= until || StopRequested())
                break;
            serve();
        }
    }
    HostLinkEnd(host);
    if (lagged > 0)
        Log(log, NowMs(), "lagged %.1f ms at most", lagged);
    close(pty.master);
    RemoveLink(link, pty.slavePath);
    CloseLog(log);
    avr_terminate(t.avr);
    return 0;
}
