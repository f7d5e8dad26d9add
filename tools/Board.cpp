// rangescan-board: the scanner's firmware on an emulated ATmega328P board
// (simavr), in real time, with the hardware around it stood in for:
//   - its serial port (UART0, through the board's USB adapter) on a
//     pseudo-terminal linked as a COM port, as rangescan-sim's is; the bytes
//     reach the computer as the UART sends them (or as --line has it);
//   - the board's reset when the computer opens the port, and its bootloader's
//     wait before the firmware starts;
//   - two servos driven by Timer1's PWM, which turn at a hobby servo's pace;
//   - an ultrasonic ranger that answers each trigger with an echo pulse as long
//     as the round trip to the scene's first surface along the servos' aim.
#include "Line.h"
#include "Ports.h"
#include "Scene.h"

#include <avr_ioport.h>
#include <avr_timer.h>
#include <avr_uart.h>
#include <sim_avr.h>
#include <sim_elf.h>
#include <sim_irq.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <deque>
#include <poll.h>
#include <unistd.h>

namespace {

const char* USAGE =
    "usage: rangescan-board [--firmware ELF] [options]\n"
    "  --firmware ELF    the scanner's firmware (build/firmware/firmware/scanner.elf;\n"
    "                    installed, ../share/rangescan/firmware/scanner.elf by default)\n"
    "  --port COMn       link the board's port as this port in the ports folder (default COM6)\n"
    "  --link PATH       link it at PATH instead\n"
    "  --force           replace an existing link that points at a live device\n"
    "  --line MODEL      how the board's bytes reach the computer: uart (default), ftdi,\n"
    "                    cdc, whole (see rangescan-sim --help)\n"
    "  --boot-ms MS      the bootloader's wait after a reset (default 1000)\n"
    "  --range CM        a flat target CM away in every direction instead of the scene;\n"
    "                    'none': nothing in the ranger's reach\n"
    "  --log FILE        every byte in and out with its time, each servo pulse, each\n"
    "                    ping, and a line per command: ms, 'cmd', the two bytes, the reply\n"
    "The ports folder is $XDG_CONFIG_HOME/rangescan/ports (~/.config/rangescan/ports).\n";

const double CPU_HZ = 16e6;
const double SLICE_MS = 0.5;         // emulated time between looks at the world
const double SERVO_DEG_PER_MS = 0.6; // 60 degrees in 0.1 s
const double RANGER_MAX_CM = 400;    // farther, or nothing: no echo
const uint32_t ECHO_DELAY_US = 250;  // the burst of pulses before the echo line rises
const uint32_t NO_ECHO_US = 38000;   // the echo line's time-out pulse when nothing echoes
const uint32_t TRIGGER_MIN_US = 8;   // shorter trigger pulses start no ping
const double REPLY_DONE_MS = 3;      // the firmware's reply has ended after this quiet
const double LONE_BYTE_MS = 100;     // as the firmware drops a lone byte

// A hobby servo: 1500 us stands straight, 1000 us more or less turns 90
// degrees; it turns towards the pulse's angle at its own pace.
struct Servo {
    double from = 0, to = 0, since = 0;
};

double ServoAngle(const Servo& s, double ms) {
    double reach = SERVO_DEG_PER_MS * (ms - s.since);
    if (std::fabs(s.to - s.from) <= reach)
        return s.to;
    return s.from + (s.to > s.from ? reach : -reach);
}

void ServoPulse(Servo& s, double ms, uint32_t ticks) { // Timer1 ticks of 0.5 us
    if (ticks == 0)
        return; // no pulse: the servo holds where it is
    s.from = ServoAngle(s, ms);
    s.to = (ticks / 2.0 - 1500.0) * 90.0 / 1000.0;
    s.since = ms;
}

struct Board {
    avr_t* avr = nullptr;
    DeviceLog log;
    Line line;
    double range = -1; // a flat target's distance; -1: the scene; 0: nothing
    double base = 0;   // wall-clock ms at emulated time 0
    // The computer's side.
    bool hostOpen = false;
    double bootUntil = 0; // the bootloader runs until then; the firmware after
    std::deque<uint8_t> toBoard;
    bool xoff = false;
    std::string unsent;
    // The hardware.
    Servo pan, tilt;
    double trigRise = -1;
    avr_irq_t* echoPin = nullptr;
    avr_irq_t* rxPin = nullptr;
    uint32_t echoUs = 0;
    // The log's commands: pairs of bytes in, and the reply that follows.
    int firstByte = -1;
    double firstAt = 0;
    bool replyOpen = false;
    int h = 0, v = 0;
    double cmdAt = 0, lastOut = 0;
    std::string reply;
};

double BoardMs(const Board& b) {
    return b.base + b.avr->cycle * 1000.0 / CPU_HZ;
}

void EndCommand(Board& b) {
    if (b.replyOpen)
        Log(b.log, b.cmdAt, "cmd %d %d %s", b.h, b.v, b.reply.c_str());
    b.replyOpen = false;
}

void OnUartOut(avr_irq_t*, uint32_t value, void* param) {
    Board& b = *static_cast<Board*>(param);
    double ms = BoardMs(b);
    char c = static_cast<char>(value);
    Log(b.log, ms, "out %c", c);
    LineByte(b.line, ms, c);
    b.reply += c;
    b.lastOut = ms;
}

void OnXon(avr_irq_t*, uint32_t, void* param) {
    static_cast<Board*>(param)->xoff = false;
}

void OnXoff(avr_irq_t*, uint32_t, void* param) {
    static_cast<Board*>(param)->xoff = true;
}

void OnPanPwm(avr_irq_t*, uint32_t value, void* param) {
    Board& b = *static_cast<Board*>(param);
    ServoPulse(b.pan, BoardMs(b), value);
    Log(b.log, BoardMs(b), "pan %.1f us", value / 2.0);
}

void OnTiltPwm(avr_irq_t*, uint32_t value, void* param) {
    Board& b = *static_cast<Board*>(param);
    ServoPulse(b.tilt, BoardMs(b), value);
    Log(b.log, BoardMs(b), "tilt %.1f us", value / 2.0);
}

avr_cycle_count_t EchoFall(avr_t*, avr_cycle_count_t, void* param) {
    Board& b = *static_cast<Board*>(param);
    avr_raise_irq(b.echoPin, 0);
    return 0;
}

avr_cycle_count_t EchoRise(avr_t* avr, avr_cycle_count_t, void* param) {
    Board& b = *static_cast<Board*>(param);
    avr_raise_irq(b.echoPin, 1);
    avr_cycle_timer_register_usec(avr, b.echoUs, EchoFall, param);
    return 0;
}

// The ranger: a trigger pulse starts a ping along the servos' aim.
void OnTrigger(avr_irq_t*, uint32_t value, void* param) {
    Board& b = *static_cast<Board*>(param);
    double ms = BoardMs(b);
    if (value) {
        b.trigRise = ms;
        return;
    }
    if (b.trigRise < 0 || (ms - b.trigRise) * 1000 < TRIGGER_MIN_US)
        return;
    b.trigRise = -1;
    double p = ServoAngle(b.pan, ms), t = ServoAngle(b.tilt, ms);
    double cm = b.range < 0 ? RangeCmAt(p, t) : b.range;
    bool echo = cm > 0 && cm <= RANGER_MAX_CM;
    b.echoUs = echo ? static_cast<uint32_t>(std::lround(cm * 2 * 29.1)) : NO_ECHO_US;
    Log(b.log, ms, "ping pan %.2f tilt %.2f cm %.2f echo %u", p, t, echo ? cm : 0.0,
        echo ? b.echoUs : 0u);
    avr_cycle_timer_register_usec(b.avr, ECHO_DELAY_US, EchoRise, param);
}

// A byte from the computer, in the firmware's hands unless the bootloader
// still has the board.
void FromHost(Board& b, double ms, uint8_t byte) {
    Log(b.log, ms, "in %u", byte);
    if (ms < b.bootUntil)
        return;
    b.toBoard.push_back(byte);
    if (b.firstByte >= 0 && ms - b.firstAt <= LONE_BYTE_MS) {
        EndCommand(b);
        b.h = b.firstByte;
        b.v = byte;
        b.cmdAt = ms;
        b.reply.clear();
        b.replyOpen = true;
        b.firstByte = -1;
    } else {
        b.firstByte = byte;
        b.firstAt = ms;
    }
}

void Reset(Board& b, double ms, double bootMs) {
    avr_reset(b.avr);
    b.toBoard.clear();
    b.xoff = false;
    b.firstByte = -1;
    EndCommand(b);
    b.bootUntil = ms + bootMs;
    Log(b.log, ms, "reset");
}

// The computer's side at `now`: the port opened or closed, bytes in, bytes out.
void Serve(Board& b, int master, bool open, double now, double bootMs, std::string& settings) {
    if (open != b.hostOpen) {
        b.hostOpen = open;
        Log(b.log, now, open ? "open" : "close");
        if (open) // the adapter's DTR line pulls the board's reset
            Reset(b, now, bootMs);
    }
    if (!open) { // what the board sends while no one listens is lost
        LineTake(b.line, now);
        b.unsent.clear();
        return;
    }
    termios cur;
    if (tcgetattr(master, &cur) == 0 && LineName(cur) != settings) {
        settings = LineName(cur);
        Log(b.log, now, "line %s", settings.c_str());
    }
    uint8_t in[256];
    ssize_t got = read(master, in, sizeof in);
    for (ssize_t i = 0; i < got; i++)
        FromHost(b, now, in[i]);
    b.unsent += LineTake(b.line, now);
    if (!b.unsent.empty()) {
        ssize_t w = write(master, b.unsent.data(), b.unsent.size());
        if (w > 0) {
            b.unsent.erase(0, static_cast<size_t>(w));
            Log(b.log, now, "sent %zd", w);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    SetToolName("rangescan-board");
    std::string firmware, port = "COM6", linkArg, logPath;
    bool force = false;
    double bootMs = 1000;
    Board b;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                Fail(a + " needs a value");
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            fputs(USAGE, stdout);
            return 0;
        } else if (a == "--firmware") {
            firmware = value();
        } else if (a == "--port") {
            port = value();
        } else if (a == "--link") {
            linkArg = value();
        } else if (a == "--force") {
            force = true;
        } else if (a == "--line") {
            std::string m = value();
            if (!ParseLineModel(m, &b.line.model))
                Fail("unknown line model: " + m);
        } else if (a == "--boot-ms") {
            bootMs = Number(value(), "--boot-ms");
        } else if (a == "--range") {
            std::string r = value();
            b.range = r == "none" ? 0 : Number(r.c_str(), "--range");
        } else if (a == "--log") {
            logPath = value();
        } else {
            fputs(USAGE, stderr);
            Fail("unknown option: " + a);
        }
    }
    if (firmware.empty()) { // installed: the firmware the package put beside us
        char self[PATH_MAX];
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : "";
        dir = dir.substr(0, dir.rfind('/'));
        std::string installed = dir + "/../share/rangescan/firmware/scanner.elf";
        if (n > 0 && access(installed.c_str(), R_OK) == 0)
            firmware = installed;
    }
    if (firmware.empty())
        Fail("--firmware names the firmware's ELF file");

    elf_firmware_t f;
    memset(&f, 0, sizeof f);
    if (elf_read_firmware(firmware.c_str(), &f) != 0)
        Fail("cannot read " + firmware);
    b.avr = avr_make_mcu_by_name("atmega328p");
    if (!b.avr || avr_init(b.avr) != 0)
        Fail("cannot make an ATmega328P");
    b.avr->frequency = static_cast<uint32_t>(CPU_HZ);
    b.avr->log = LOG_ERROR;
    avr_load_firmware(b.avr, &f);
    b.avr->sleep = [](avr_t*, avr_cycle_count_t) {}; // the loop below keeps the pace

    uint32_t flags = 0; // no echo of the UART on our standard output
    avr_ioctl(b.avr, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
    avr_irq_register_notify(avr_io_getirq(b.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT),
                            OnUartOut, &b);
    avr_irq_register_notify(avr_io_getirq(b.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XON),
                            OnXon, &b);
    avr_irq_register_notify(avr_io_getirq(b.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XOFF),
                            OnXoff, &b);
    b.rxPin = avr_io_getirq(b.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT);
    avr_irq_register_notify(avr_io_getirq(b.avr, AVR_IOCTL_TIMER_GETIRQ('1'), TIMER_IRQ_OUT_PWM0),
                            OnPanPwm, &b);
    avr_irq_register_notify(avr_io_getirq(b.avr, AVR_IOCTL_TIMER_GETIRQ('1'), TIMER_IRQ_OUT_PWM1),
                            OnTiltPwm, &b);
    // Trigger on D7, echo on D8 (port B, pin 0), as the firmware wires them.
    avr_irq_register_notify(avr_io_getirq(b.avr, AVR_IOCTL_IOPORT_GETIRQ('D'), 7), OnTrigger, &b);
    b.echoPin = avr_io_getirq(b.avr, AVR_IOCTL_IOPORT_GETIRQ('B'), 0);

    std::string link = PortLinkPath(port, linkArg);
    DevicePty pty = OpenDevicePty();
    termios t;
    tcgetattr(pty.slave, &t);
    // Our copy of the computer's side goes: the master then sees a hang-up
    // while no one has the port open, and none while the computer has.
    close(pty.slave);
    PlaceLink(link, pty.slavePath, force);
    CatchStopSignals();

    double start = NowMs();
    OpenLog(b.log, logPath, start);
    b.base = start;
    printf("rangescan-board: %s is %s, linked at %s\n", port.c_str(), pty.slavePath.c_str(),
           link.c_str());
    fflush(stdout);

    double lagged = 0;
    std::string settings = LineName(t);
    while (!StopRequested()) {
        double now = NowMs();
        if (now >= b.bootUntil) {
            // Run the board a slice ahead of the wall clock.
            avr_cycle_count_t until =
                b.avr->cycle + static_cast<avr_cycle_count_t>(CPU_HZ * SLICE_MS / 1000);
            while (b.avr->cycle < until) {
                if (!b.toBoard.empty() && !b.xoff) {
                    avr_raise_irq(b.rxPin, b.toBoard.front());
                    b.toBoard.pop_front();
                }
                int state = avr_run(b.avr);
                if (state == cpu_Done || state == cpu_Crashed)
                    Fail("the firmware stopped");
            }
            double behind = NowMs() - BoardMs(b);
            if (behind > 50) { // keep the pace from here on
                lagged = std::fmax(lagged, behind);
                b.base += behind;
            }
        } else {
            b.base = now - b.avr->cycle * 1000.0 / CPU_HZ; // held in reset: no time passes
        }
        if (b.replyOpen && !b.reply.empty() && BoardMs(b) - b.lastOut > REPLY_DONE_MS)
            EndCommand(b);
        // Until the wall clock has caught up with the board: each byte to the
        // computer when it is due, the computer's bytes as they come.
        double until = now < b.bootUntil ? std::fmin(now + 1, b.bootUntil) : BoardMs(b);
        do {
            now = NowMs();
            double wait = std::fmax(0, std::fmin(until, LineNextDue(b.line)) - now);
            pollfd pfd = {pty.master, POLLIN, 0};
            timespec ts = {0, static_cast<long>(wait * 1e6)};
            ppoll(&pfd, 1, &ts, nullptr);
            now = NowMs();
            Serve(b, pty.master, (pfd.revents & POLLHUP) == 0, now, bootMs, settings);
        } while (now < until && !StopRequested());
    }
    EndCommand(b);
    if (lagged > 0)
        Log(b.log, NowMs(), "lagged %.1f ms at most", lagged);
    close(pty.master);
    RemoveLink(link, pty.slavePath);
    CloseLog(b.log);
    avr_terminate(b.avr);
    return 0;
}
