// A hobby servo on one of Timer1's PWM outputs. A new pulse width takes effect
// at the start of the timer's next 20 ms frame; the servo then turns towards
// its angle at a loaded servo's pace (firmware/scanner/config.h) and logs when
// it comes to rest ("rest pan -12.25").
#pragma once

#include "BoardTime.h"
#include "tools/DeviceLog.h"

enum {
    SERVO_IRQ_PULSE, // in: the pulse width, in Timer1 ticks of 0.5 us
    SERVO_IRQ_COUNT
};

struct Servo {
    const char* name = "";
    const BoardTime* time = nullptr;
    DeviceLog* log = nullptr;
    avr_irq_t* irq = nullptr;
    double from = 0, to = 0, since = 0; // degrees; the move began at `since`
    double pending = 0, applyAt = -1;   // a pulse waiting for its frame
    double frameOrigin = -1;            // the first pulse since the board's reset
    bool restLogged = true;
};

// Sets it up, standing straight; `name` tags its log lines.
void ServoInit(Servo& s, avr_t* avr, const BoardTime& time, DeviceLog& log, const char* name);
// Takes its pulses from Timer1's PWM output `output` (0: OC1A, 1: OC1B).
void ServoConnect(Servo& s, avr_t* avr, int output);
// The board was reset: the timer starts again, the servo stays where it is.
void ServoReset(Servo& s);

// Its angle at `ms`, in degrees.
double ServoAngle(Servo& s, double ms);
// True while a pulse waits for its frame or the servo turns.
bool ServoMoving(Servo& s, double ms);
// Logs its coming to rest, once `ms` has passed it.
void ServoPoll(Servo& s, double ms);
