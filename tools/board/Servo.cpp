#include "tools/board/Servo.h"

#include "firmware/scanner/config.h"

#include <avr_timer.h>

#include <cmath>

namespace {

const char* IRQ_NAMES[SERVO_IRQ_COUNT] = {"32<servo.pulse"};

double RestAt(const Servo& s) {
    return s.since + std::fabs(s.to - s.from) * SERVO_LOADED_MS_PER_DEGREE;
}

// The angle of the move under way, whatever waits for the next frame.
double MoveAngle(const Servo& s, double ms) {
    double reach = (ms - s.since) / SERVO_LOADED_MS_PER_DEGREE;
    if (std::fabs(s.to - s.from) <= reach)
        return s.to;
    return s.from + (s.to > s.from ? reach : -reach);
}

// A width the servo has learnt by `ms`: it turns towards it from then.
void Apply(Servo& s, double ms) {
    if (s.applyAt < 0 || ms < s.applyAt)
        return;
    s.from = MoveAngle(s, s.applyAt);
    s.to = s.pending;
    s.since = s.applyAt;
    s.applyAt = -1;
    s.restLogged = false;
}

// The servo as it stands at `ms`, for queries.
Servo At(const Servo& s, double ms) {
    Servo now = s;
    Apply(now, ms);
    return now;
}

// The wall-clock moment of the board's own `ms`, for the log.
double Wall(const Servo& s, double ms) {
    return s.time->base + ms;
}

void OnPulse(avr_irq_t*, uint32_t ticks, void* param) {
    Servo& s = *static_cast<Servo*>(param);
    if (ticks == 0)
        return; // no pulse: the servo holds where it is
    double ms = BoardOwnMs(*s.time);
    Apply(s, ms);
    double widthUs = ticks / 2.0;
    double angle = (widthUs - SERVO_CENTRE_US) * 90.0 / SERVO_US_PER_90_DEGREES;
    Log(*s.log, Wall(s, ms), "%s %.1f us", s.name, widthUs);
    // The firmware starts Timer1 and sets both widths together at its start:
    // the first width marks the timer's frames.
    if (s.frameOrigin < 0)
        s.frameOrigin = ms;
    if (angle == ServoHeading(s))
        return; // the width it has, or is about to get
    double frames = std::floor((ms - s.frameOrigin) / SERVO_FRAME_MS) + 1;
    s.pending = angle;
    s.applyAt = s.frameOrigin + frames * SERVO_FRAME_MS + widthUs / 1000.0;
}

} // namespace

void ServoInit(Servo& s, avr_t* avr, const BoardTime& time, DeviceLog& log, const char* name) {
    s = Servo();
    s.name = name;
    s.time = &time;
    s.log = &log;
    s.irq = avr_alloc_irq(&avr->irq_pool, 0, SERVO_IRQ_COUNT, IRQ_NAMES);
    avr_irq_register_notify(s.irq + SERVO_IRQ_PULSE, OnPulse, &s);
}

void ServoConnect(Servo& s, avr_t* avr, int output) {
    avr_connect_irq(avr_io_getirq(avr, AVR_IOCTL_TIMER_GETIRQ('1'), TIMER_IRQ_OUT_PWM0 + output),
                    s.irq + SERVO_IRQ_PULSE);
}

void ServoReset(Servo& s, double ms) {
    Apply(s, ms);
    s.applyAt = -1;
    s.frameOrigin = -1;
}

double ServoAngle(const Servo& s, double ms) {
    return MoveAngle(At(s, ms), ms);
}

double ServoHeading(const Servo& s) {
    return s.applyAt >= 0 ? s.pending : s.to;
}

bool ServoMoving(const Servo& s, double ms) {
    Servo now = At(s, ms);
    return now.applyAt >= 0 || ms < RestAt(now);
}

void ServoPoll(Servo& s, double ms) {
    Apply(s, ms);
    if (!s.restLogged && ms >= RestAt(s)) {
        Log(*s.log, Wall(s, RestAt(s)), "rest %s %.2f", s.name, s.to);
        s.restLogged = true;
    }
}
