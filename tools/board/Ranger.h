// An HC-SR04-type ultrasonic ranger on the servos' bracket. A trigger pulse of
// 10 us starts a ping along the servos' aim; 250 us later the echo line rises
// for the round trip to the scene's first surface (or a flat target), or for
// the 38 ms time-out pulse where nothing echoes within its 4 m. A ping while a
// servo still turns is logged as an error ("error ping while pan turns").
#pragma once

#include "BoardTime.h"
#include "Servo.h"
#include "tools/DeviceLog.h"

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
    double target = -1; // a flat target's distance in cm; -1: the scene; 0: nothing
    double trigRise = -1;
    uint32_t echoUs = 0;
};

// Sets it up on the bracket the two servos turn, facing the scene.
void RangerInit(Ranger& r, avr_t* avr, const BoardTime& time, DeviceLog& log, Servo& pan,
                Servo& tilt);
// Trigger from pin `trigPort``trigBit` (an output), echo to pin `echoPort``echoBit`.
void RangerConnect(Ranger& r, avr_t* avr, char trigPort, int trigBit, char echoPort, int echoBit);
