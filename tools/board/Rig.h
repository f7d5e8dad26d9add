// The emulated board and the hardware wired to it, as the board emulator's
// main wires them: its clock, its log, two servos, a ranger and the port to
// the computer. The parts hold pointers to the clock and the log, so a Rig
// stays where it was made.
#pragma once

#include "tools/board/BoardTime.h"
#include "tools/board/HostLink.h"
#include "tools/board/Ranger.h"
#include "tools/board/Servo.h"
#include "tools/device/DeviceLog.h"

struct Rig {
    BoardTime time;
    DeviceLog log;
    Servo pan, tilt;
    Ranger ranger;
    HostLink host;
};
