#include "tools/board/Ranger.h"

#include "firmware/scanner/config.h"
#include "tools/device/Scene.h"

#include <avr_ioport.h>

#include <cmath>

namespace {

// From HC-SR04 datasheets: the 10 us trigger (shorter ones are not sure to
// start a ping), a burst of eight 40 kHz pulses (200 us) before the echo line
// rises, and a 38 ms echo pulse when nothing echoes. The module listens for a
// trigger again only once its echo line has fallen.
const uint32_t ECHO_DELAY_US = 250; // the burst of pulses before the echo line rises
const uint32_t NO_ECHO_US = 38000;  // the echo line's time-out pulse when nothing echoes
const uint32_t TRIGGER_MIN_US = 8;  // shorter trigger pulses start no ping

const char* IRQ_NAMES[RANGER_IRQ_COUNT] = {"1<ranger.trigger", "1>ranger.echo"};

avr_cycle_count_t EchoFall(avr_t*, avr_cycle_count_t, void* param) {
    Ranger& r = *static_cast<Ranger*>(param);
    avr_raise_irq(r.irq + RANGER_IRQ_ECHO, 0);
    r.busy = false;
    return 0;
}

avr_cycle_count_t EchoRise(avr_t* avr, avr_cycle_count_t, void* param) {
    Ranger& r = *static_cast<Ranger*>(param);
    avr_raise_irq(r.irq + RANGER_IRQ_ECHO, 1);
    avr_cycle_timer_register_usec(avr, r.echoUs, EchoFall, param);
    return 0;
}

void OnTrigger(avr_irq_t*, uint32_t value, void* param) {
    Ranger& r = *static_cast<Ranger*>(param);
    double ms = BoardOwnMs(*r.time), wall = BoardMs(*r.time);
    if (value) {
        r.trigRise = ms;
        return;
    }
    if (r.trigRise < 0 || (ms - r.trigRise) * 1000 < TRIGGER_MIN_US)
        return;
    r.trigRise = -1;
    if (r.busy) {
        Log(*r.log, wall, "error trigger while the echo is high");
        return;
    }
    for (Servo* s : {r.pan, r.tilt})
        if (ServoMoving(*s, ms))
            Log(*r.log, wall, "error ping while %s turns (at %.2f of %.2f degrees)", s->name,
                ServoAngle(*s, ms), ServoHeading(*s));
    double p = ServoAngle(*r.pan, ms), t = ServoAngle(*r.tilt, ms);
    double cm = r.target < 0 ? RangeCmAt(p, t) : r.target > 0 ? r.target : INFINITY;
    bool echo = Echoes(cm);
    r.echoUs = echo ? static_cast<uint32_t>(std::lround(cm * 2 * ECHO_US_PER_CM)) : NO_ECHO_US;
    Log(*r.log, wall, "ping pan %.2f tilt %.2f cm %.2f echo %u", p, t, echo ? cm : 0.0,
        echo ? r.echoUs : 0u);
    r.busy = true;
    avr_cycle_timer_register_usec(r.avr, ECHO_DELAY_US, EchoRise, param);
}

} // namespace

void RangerInit(Ranger& r, avr_t* avr, const BoardTime& time, DeviceLog& log, Servo& pan,
                Servo& tilt, double target) {
    r = Ranger();
    r.target = target;
    r.avr = avr;
    r.time = &time;
    r.log = &log;
    r.pan = &pan;
    r.tilt = &tilt;
    r.irq = avr_alloc_irq(&avr->irq_pool, 0, RANGER_IRQ_COUNT, IRQ_NAMES);
    avr_irq_register_notify(r.irq + RANGER_IRQ_TRIGGER, OnTrigger, &r);
}

void RangerConnect(Ranger& r, avr_t* avr, char trigPort, int trigBit, char echoPort, int echoBit) {
    avr_connect_irq(avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ(trigPort), trigBit),
                    r.irq + RANGER_IRQ_TRIGGER);
    avr_connect_irq(r.irq + RANGER_IRQ_ECHO,
                    avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ(echoPort), echoBit));
}

void RangerReset(Ranger& r) {
    if (r.busy)
        avr_raise_irq(r.irq + RANGER_IRQ_ECHO, 0);
    r.busy = false;
    r.trigRise = -1;
}
