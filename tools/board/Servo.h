// A hobby servo on one of Timer1's PWM outputs. A new pulse width reaches the
// output at the start of the timer's next 20 ms frame (the compare registers
// are double-buffered), and the servo knows the width only once that pulse
// has ended, up to 2.5 ms later. It then turns towards its angle at a loaded
// servo's pace (firmware/scanner/config.h) and logs when it comes to rest
// ("rest pan -12.25"). It keeps the board's own time, as Timer1 does: a board
// that falls behind the wall clock gives its servos no time it did not run.
// Times below are the board's own (BoardOwnMs).
#pragma once

#include "tools/board/BoardTime.h"
#include "tools/device/DeviceLog.h"

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
    double pending = 0, applyAt = -1;   // a width the servo learns at `applyAt`
    double frameOrigin = -1;            // Timer1's first frame since the board's reset
    bool restLogged = true;
};

// Sets it up, standing straight; `name` tags its log lines.
void ServoInit(Servo& s, avr_t* avr, const BoardTime& time, DeviceLog& log, const char* name);
// Takes its pulses from Timer1's PWM output `output` (0: OC1A, 1: OC1B).
void ServoConnect(Servo& s, avr_t* avr, int output);
// The board was reset at `ms`: the timer stops and starts again, so a width
// not yet sent is lost; the servo ends the move it has.
void ServoReset(Servo& s, double ms);

// Its angle at `ms`, in degrees.
double ServoAngle(const Servo& s, double ms);
// Where it is headed: the last width it was given, in degrees.
double ServoHeading(const Servo& s);
// True while a width waits to reach the servo or the servo turns.
bool ServoMoving(const Servo& s, double ms);
// Takes the width due by `ms`, and logs its coming to rest once it has.
void ServoPoll(Servo& s, double ms);
