// rangescan-board: the scanner's firmware on an emulated ATmega328P board
// (simavr), in real time, with the hardware around it stood in for, each part
// in tools/board/:
//   - its serial port (UART0, through the board's USB adapter) on a
//     pseudo-terminal linked as a COM port, as rangescan-sim's is, with the
//     board's reset when the computer opens the port (HostLink);
//   - two servos on Timer1's PWM outputs (Servo);
//   - an ultrasonic ranger on the servos' bracket, facing the scene (Ranger).
// This file wires them as the firmware's pin map has it; Pacing keeps the
// board's real-time pace. While no program has the port open the board is
// held: an open resets it.
#include "tools/board/BoardOptions.h"
#include "tools/board/Pacing.h"
#include "tools/board/Rig.h"
#include "tools/device/Clock.h"
#include "tools/device/PortLink.h"
#include "tools/device/PortSettings.h"
#include "tools/device/StopSignals.h"
#include "tools/device/Tool.h"
#include "firmware/scanner/config.h"

#include <sim_elf.h>

#include <cstring>
#include <unistd.h>

namespace {

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
    avr->sleep = [](avr_t*, avr_cycle_count_t) {}; // Pacing keeps the pace
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

// The wiring, as the firmware's pin map has it (firmware/scanner/config.h).
void Wire(Rig& r, const BoardOptions& o, int master, const std::string& settings) {
    avr_t* avr = r.time.avr;
    ServoInit(r.pan, avr, r.time, r.log, "pan");
    ServoConnect(r.pan, avr, Timer1Output(PIN_PAN));
    ServoInit(r.tilt, avr, r.time, r.log, "tilt");
    ServoConnect(r.tilt, avr, Timer1Output(PIN_TILT));
    RangerInit(r.ranger, avr, r.time, r.log, r.pan, r.tilt, o.range);
    RangerConnect(r.ranger, avr, PinPort(PIN_TRIG), PinBit(PIN_TRIG), PinPort(PIN_ECHO),
                  PinBit(PIN_ECHO));
    HostLinkInit(r.host, avr, r.time, r.log, master, settings, o.line, o.bootMs);
    HostLinkConnect(r.host, avr, '0');
}

} // namespace

int main(int argc, char** argv) {
    SetToolName("rangescan-board");
    BoardOptions o = ParseBoardArgs(argc, argv);
    // A stop asked for from here on still removes the link.
    CatchStopSignals();
    Rig r;
    r.time.avr = MakeBoard(o.firmware);
    std::string link = PortLinkPath(o.where.port, o.where.link);
    DevicePty pty = OpenDevicePty();
    termios settings;
    double unlinked = NowMs(); // no computer can have the port before the link is placed
    tcgetattr(pty.slave, &settings);
    // Our copy of the computer's side goes: the master then sees a hang-up
    // while no one has the port open, and none while the computer has.
    close(pty.slave);
    PlacedLink placed = PlaceLink(link, pty.slavePath, o.where.force);
    double start = NowMs();
    OpenLog(r.log, o.logPath, start);
    r.time.base = start;
    Wire(r, o, pty.master, PortSettingsName(settings));
    r.host.port.lookedAt = unlinked;
    printf("rangescan-board: %s is %s, linked at %s\n", o.where.port.c_str(), pty.slavePath.c_str(),
           link.c_str());
    fflush(stdout);

    double lagged = RunPaced(r);
    HostLinkEnd(r.host);
    if (lagged > 0)
        Log(r.log, NowMs(), "lagged %.1f ms at most", lagged);
    close(pty.master);
    RemoveLink(placed);
    CloseLog(r.log);
    avr_terminate(r.time.avr);
    return 0;
}
