// The emulated board's servo and ranger, on a board with no firmware whose
// clock the test sets: when a new width moves a servo and how fast, and what
// the ranger does with a ping while a servo turns or a trigger while its echo
// is high. A model kinder than the hardware would hide a settle that is short.
#include "tools/board/Ranger.h"
#include "tools/board/Servo.h"

#include <gtest/gtest.h>

#include <sim_cycle_timers.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Parts {
    avr_t* avr = avr_make_mcu_by_name("atmega328p");
    BoardTime time;
    DeviceLog log;
    char* logText = nullptr;
    size_t logSize = 0;
    Servo pan, tilt;
    Ranger ranger;
    std::vector<std::pair<double, uint32_t>> echo; // the echo line's changes: ms, level

    Parts() {
        avr_init(avr);
        avr->frequency = static_cast<uint32_t>(BOARD_CPU_HZ);
        time.avr = avr;
        log.file = open_memstream(&logText, &logSize);
        ServoInit(pan, avr, time, log, "pan");
        ServoInit(tilt, avr, time, log, "tilt");
        RangerInit(ranger, avr, time, log, pan, tilt, 0); // nothing in reach: the longest echo
        avr_irq_register_notify(ranger.irq + RANGER_IRQ_ECHO, OnEcho, this);
    }
    ~Parts() {
        CloseLog(log);
        free(logText);
        avr_terminate(avr);
    }
    static void OnEcho(avr_irq_t*, uint32_t level, void* param) {
        Parts& p = *static_cast<Parts*>(param);
        p.echo.emplace_back(BoardOwnMs(p.time), level);
    }
    // Moves the board's clock on to `ms` of its own time, running what falls due.
    void At(double ms) {
        avr_cycle_count_t to = static_cast<avr_cycle_count_t>(ms * BOARD_CPU_HZ / 1000);
        while (avr->cycle < to) {
            avr_cycle_count_t next = avr_cycle_timer_process(avr);
            avr->cycle = next > 0 && avr->cycle + next < to ? avr->cycle + next : to;
        }
        avr_cycle_timer_process(avr);
    }
    void Pulse(Servo& s, double ms, double widthUs) {
        At(ms);
        avr_raise_irq(s.irq + SERVO_IRQ_PULSE, static_cast<uint32_t>(widthUs * 2));
    }
    void Trigger(double ms) {
        At(ms);
        avr_raise_irq(ranger.irq + RANGER_IRQ_TRIGGER, 1);
        At(ms + 0.010);
        avr_raise_irq(ranger.irq + RANGER_IRQ_TRIGGER, 0);
    }
    // The log's lines that contain `what`.
    int Count(const char* what) {
        fflush(log.file);
        int n = 0;
        for (const char* at = logText; at && (at = strstr(at, what)); at++)
            n++;
        return n;
    }
};

// A width given 4 ms into a frame reaches the servo at the next frame, 20 ms
// after the first, and the servo knows it when that pulse ends (2 ms later);
// it then turns at a loaded servo's pace. The board falling behind the wall
// clock between the two widths changes none of it.
TEST(BoardParts, ServoTakesAWidthAtTheNextFrameAndTurnsAtItsPace) {
    Parts p;
    p.Pulse(p.pan, 1.0, SERVO_CENTRE_US);
    p.time.base += 100;
    p.Pulse(p.pan, 5.0, SERVO_CENTRE_US + SERVO_US_PER_90_DEGREES / 2); // 45 degrees
    const double learnt = 1.0 + SERVO_FRAME_MS + 2.0;
    EXPECT_EQ(ServoHeading(p.pan), 45.0);
    EXPECT_EQ(ServoAngle(p.pan, learnt - 0.1), 0.0);
    EXPECT_TRUE(ServoMoving(p.pan, learnt - 0.1)) << "a width on its way is a move";
    EXPECT_DOUBLE_EQ(ServoAngle(p.pan, learnt + 10 * SERVO_LOADED_MS_PER_DEGREE), 10.0);
    const double rest = learnt + 45 * SERVO_LOADED_MS_PER_DEGREE;
    EXPECT_TRUE(ServoMoving(p.pan, rest - 0.1));
    EXPECT_FALSE(ServoMoving(p.pan, rest + 0.1));
    EXPECT_EQ(ServoAngle(p.pan, rest + 0.1), 45.0);

    // A reset before the next frame: the width given just before it never
    // reaches the servo.
    p.Pulse(p.pan, 200.0, SERVO_CENTRE_US);
    ServoReset(p.pan, 201.0);
    EXPECT_FALSE(ServoMoving(p.pan, 300.0));
    EXPECT_EQ(ServoAngle(p.pan, 300.0), 45.0);
}

// A ping while a servo turns is an error. A trigger while the echo line is
// still high starts nothing and is logged; once it has fallen, one does.
TEST(BoardParts, RangerPingsOnlyWhenIdleAndLogsPingsWhileAServoTurns) {
    Parts p;
    p.Pulse(p.pan, 1.0, SERVO_CENTRE_US);
    p.Pulse(p.tilt, 1.0, SERVO_CENTRE_US);
    p.Trigger(100.0);
    EXPECT_EQ(p.Count("error"), 0);
    p.Trigger(120.0); // the first echo pulse lasts 38 ms
    EXPECT_EQ(p.Count("error trigger while the echo is high"), 1);
    p.At(180.0);
    ASSERT_EQ(p.echo.size(), 2u) << "one echo pulse";
    EXPECT_NEAR(p.echo[1].first - p.echo[0].first, 38.0, 0.01);
    p.Trigger(190.0);
    EXPECT_EQ(p.Count("ping pan"), 2);
    EXPECT_EQ(p.Count("error"), 1);

    p.At(250.0);
    p.Pulse(p.tilt, 250.0, SERVO_CENTRE_US + 100);
    p.Trigger(260.0); // the width has not reached the servo yet
    p.Trigger(400.0); // 9 degrees at 2.5 ms a degree: at rest since about 285 ms
    EXPECT_EQ(p.Count("error ping while tilt turns"), 1);
    EXPECT_EQ(p.Count("error"), 2);
}

} // namespace
