// An HC-SR04-type ultrasonic ranger on the servos' bracket. A trigger pulse of
// 10 us starts a ping along the servos' aim; 250 us later the echo line rises
// for the round trip to the scene's first surface (or a flat target), or for
// the 38 ms time-out pulse where nothing echoes within its 4 m. Until the echo
// line has fallen it ignores its trigger, as an HC-SR04 does. A ping while a
// servo still turns, and a trigger it ignores, are logged as errors ("error
// ping while pan turns", "error trigger while the echo is high").
#pragma once

#include "tools/board/BoardTime.h"
#include "tools/board/Servo.h"
#include "tools/device/DeviceLog.h"

enum {
    RANGER_IRQ_TRIGGER, // in: the trigger line
    RANGER_IRQ_ECHO,    // out: the echo line
    RANGER_IRQ_COUNT
};

struct Ranger {
    avr_t* avr = nullptr;
    const BoardTime* time = nullptr;
    DeviceLog* log = nullptr;
    Servo *pan = nullptr, *tilt = nullptr;
    avr_irq_t* irq = nullptr;
    double target = -1;   // a flat target's distance in cm; -1: the scene; 0: nothing
    double trigRise = -1; // the board's own ms the trigger rose at
    bool busy = false;    // from a ping until its echo line falls
    uint32_t echoUs = 0;
};

// Sets it up on the bracket the two servos turn, facing the scene (`target`
// -1), a flat target `target` cm away, or nothing in reach (0).
void RangerInit(Ranger& r, avr_t* avr, const BoardTime& time, DeviceLog& log, Servo& pan,
                Servo& tilt, double target);
// Trigger from pin `trigPort``trigBit` (an output), echo to pin `echoPort``echoBit`.
void RangerConnect(Ranger& r, avr_t* avr, char trigPort, int trigBit, char echoPort, int echoBit);
// The board was reset: its pending events are gone, and by the time the
// firmware runs again (after the bootloader) the echo line has fallen.
void RangerReset(Ranger& r);
