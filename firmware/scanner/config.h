// The scanner's facts: its exchange with the computer, the mapping of commands
// to angles, its ranger and its pins. Plain constants that both the board's
// compiler (avr-gcc) and the computer's take: the firmware, the simulated
// scanner, the board emulator, the test host and the scene all read them from
// here, so that none of them can disagree with another.
//
// NOTE: docs/scanner.md's tables are made from these; if one is changed, also
// update that page. The program takes the line speed from here. The command
// ranges and the microseconds a centimetre are also the program's own (it
// reads no file): change them here alone and the scanner no longer fits
// rangescan (the tests say so).
#pragma once

#include <stdint.h>

// ---- The board -------------------------------------------------------------
// An ATmega328P at 16 MHz. The firmware's build gives the core the same clock
// (F_CPU, firmware/CMakeLists.txt); the board emulator runs at it.
const unsigned long BOARD_CPU_HZ = 16000000UL;
#ifdef F_CPU
static_assert(F_CPU == BOARD_CPU_HZ, "the firmware is built for another clock");
#endif

// ---- The line --------------------------------------------------------------
// 8 data bits, no parity, 1 stop bit, at this speed.
const long SCANNER_BAUD = 115200;

// A byte that no second byte follows within this is dropped, so that the next
// command is read in step. It must stay well under the computer's 250 ms tick.
const unsigned long LONE_BYTE_MS = 100;

// ---- Commands to angles ------------------------------------------------------
// The computer sends 2 bytes a command: horizontal h, vertical v. Both axes
// move half a degree a command step:
//   pan  = (h - 80.5) / 2 degrees, right of straight ahead: 4..156 give
//          -38.25..+37.75 (the sweep's 5..156: -37.75..+37.75);
//   tilt = (70 - v) / 2 degrees, above level: 0 gives +35 (up), 140 gives -35
//          (down; the scan's first layer).
// Commands outside these ranges are clamped to them.
const uint8_t PAN_MIN = 4, PAN_MAX = 156;
const uint8_t TILT_MIN = 0, TILT_MAX = 140;
const int PAN_CENTRE_X2 = 161; // twice the horizontal command that looks ahead
const int TILT_CENTRE = 70;    // the vertical command that looks level

// The angles of a command, in quarter degrees (whole numbers on the board).
inline long PanQuarterDegrees(uint8_t h) {
    return 2L * h - PAN_CENTRE_X2;
}
inline long TiltQuarterDegrees(uint8_t v) {
    return 2L * (TILT_CENTRE - v);
}

// ---- Servos ----------------------------------------------------------------
// A hobby servo stands straight at a 1500 us pulse and turns 90 degrees for
// 1000 us more or less (500..2500 us: -90..+90). Pan turns right and tilt up
// as the pulse grows. The pulses come from Timer1's fast PWM: 0.5 us ticks,
// a frame of TIMER1_TOP + 1 ticks (20 ms). A new pulse width takes effect at
// the start of the next frame (the compare registers are double-buffered).
const long SERVO_CENTRE_US = 1500;
const long SERVO_US_PER_90_DEGREES = 1000;
const unsigned int TIMER1_TOP = 39999;
const unsigned long SERVO_FRAME_MS = 20;
static_assert((TIMER1_TOP + 1UL) / 2 == SERVO_FRAME_MS * 1000,
              "Timer1's frame, in 0.5 us ticks, is the servo frame");

// How fast a servo turns with the ranger and bracket on it. SG90/MG90S-type
// servos are rated 0.1 s per 60 degrees with no load at 4.8 V and are slower
// under load: taken as 0.15 s per 60 degrees, 2.5 ms a degree.
// NOTE: the firmware's settle time (below) must cover a move at this pace
// plus a frame; the board emulator turns its servos at it.
constexpr double SERVO_LOADED_MS_PER_DEGREE = 2.5;

// After a move, before the ping: one servo frame for the new pulse to take
// effect, 10 ms to spare, then 3 ms a degree of the larger move: a loaded
// servo's 2.5 ms a degree and a fifth more. The largest move of the raster,
// the 70-degree tilt return after its last layer, waits 240 ms; the servo is
// at rest after 195 ms.
const unsigned long SETTLE_MS = SERVO_FRAME_MS + 10;
const unsigned long SETTLE_MS_PER_DEGREE = 3;
static_assert(SETTLE_MS >= SERVO_FRAME_MS && SETTLE_MS_PER_DEGREE >= SERVO_LOADED_MS_PER_DEGREE,
              "the settle covers a frame and a loaded servo's move");

// ---- The ranger (HC-SR04 type) -----------------------------------------------
// Sound takes 29.1 us a centimetre (343 m/s); the echo comes back after twice
// that. The ranger measures from 2 cm to 4 m.
constexpr double ECHO_US_PER_CM = 29.1; // one way
const unsigned int RANGER_MIN_CM = 2, RANGER_MAX_CM = 400;

// The replies at both ends of the ranger's span. A reading nearer than its
// minimum is answered as the minimum (116 us, 2 cm): something is there,
// nearer than it can tell. No echo within its reach (open space, or a surface
// that sends the sound away) is answered as the longest time it waits for one
// (25,000 us, 4.3 m): far, never near.
const unsigned long ECHO_MIN_US = 116;
const unsigned long ECHO_TIMEOUT_US = 25000;
static_assert(ECHO_MIN_US == static_cast<unsigned long>(RANGER_MIN_CM * 2 * ECHO_US_PER_CM + 0.5),
              "the nearest reply is the round trip to the ranger's minimum");

// ---- Pins (ATmega328P board: Uno, Nano) ----------------------------------------
// The board emulator wires the same pins; the servos must stay on Timer1's
// outputs OC1A (D9) and OC1B (D10), whose hardware PWM the firmware uses.
const uint8_t PIN_PAN = 9;   // pan servo signal: OC1A, Timer1's first PWM output
const uint8_t PIN_TILT = 10; // tilt servo signal: OC1B, Timer1's second PWM output
const uint8_t PIN_TRIG = 7;  // ranger trigger (output)
const uint8_t PIN_ECHO = 8;  // ranger echo (input)
