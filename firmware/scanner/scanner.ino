// rangescan scanner firmware, for an ATmega328P board at 16 MHz (Uno, Nano).
//
// It points a pan servo and a tilt servo where the computer tells it, pings an
// ultrasonic ranger and answers with the echo time. The exchange, at
// SCANNER_BAUD, 8N1 (the facts are in config.h):
//   computer to scanner: 2 bytes, horizontal command (4..156), vertical
//                        command (0..140);
//   scanner to computer: the round-trip echo time in microseconds as decimal
//                        digits, no sign, no terminator. When nothing echoes
//                        within the ranger's reach, the longest time it waits
//                        (ECHO_TIMEOUT_US, "25000"): far, never "0". A reading
//                        nearer than the ranger's 2 cm minimum is answered as
//                        the minimum (ECHO_MIN_US, "116").
// It sends nothing unasked. A lone byte that no second byte follows within
// LONE_BYTE_MS is dropped, so that the next command is read in step; commands
// outside their ranges are clamped.
//
// Builds from the command line (cmake --preset firmware && cmake --build
// --preset firmware) or opens in the board's IDE as a sketch. The servos run
// on Timer1's hardware PWM, so no interrupt of theirs disturbs the echo timing.
#include <Arduino.h>

#include "config.h"

// Servo pulse, in Timer1 ticks (0.5 us), for an angle given in quarter degrees.
static unsigned int PulseTicks(long quarterDegrees) {
    // ticks = 2 * (1500 + degrees * 1000 / 90) = 3000 + quarterDegrees * 50 / 9
    long scaled = quarterDegrees * 2 * SERVO_US_PER_90_DEGREES / 4;
    long rounded = (scaled >= 0 ? scaled + 45 : scaled - 45) / 90;
    return static_cast<unsigned int>(2 * SERVO_CENTRE_US + rounded);
}

static long panNow = 0, tiltNow = 0; // where the servos were last sent, in quarter degrees

static void Aim(uint8_t h, uint8_t v) {
    if (h < PAN_MIN)
        h = PAN_MIN;
    if (h > PAN_MAX)
        h = PAN_MAX;
    if (v > TILT_MAX)
        v = TILT_MAX;
    long pan = PanQuarterDegrees(h), tilt = TiltQuarterDegrees(v);
    OCR1A = PulseTicks(pan);
    OCR1B = PulseTicks(tilt);
    long move = max(labs(pan - panNow), labs(tilt - tiltNow)); // quarter degrees
    panNow = pan;
    tiltNow = tilt;
    delay(SETTLE_MS + (move * SETTLE_MS_PER_DEGREE + 3) / 4);
}

// The ranger's echo time in microseconds, within the ranger's span: no echo
// in time is far, an echo too soon to tell is the nearest it measures.
static unsigned long Ping() {
    digitalWrite(PIN_TRIG, LOW);
    delayMicroseconds(4);
    digitalWrite(PIN_TRIG, HIGH);
    delayMicroseconds(10);
    digitalWrite(PIN_TRIG, LOW);
    unsigned long us = pulseIn(PIN_ECHO, HIGH, ECHO_TIMEOUT_US);
    if (us == 0)
        return ECHO_TIMEOUT_US;
    return us < ECHO_MIN_US ? ECHO_MIN_US : us;
}

void setup() {
    pinMode(PIN_TRIG, OUTPUT);
    digitalWrite(PIN_TRIG, LOW);
    pinMode(PIN_ECHO, INPUT);
    pinMode(PIN_PAN, OUTPUT);
    pinMode(PIN_TILT, OUTPUT);
    // Timer1 fast PWM, TOP = ICR1 (mode 14), prescaler 8: non-inverting
    // pulses on OC1A and OC1B every 20 ms. Both servos start straight ahead.
    TCCR1A = _BV(COM1A1) | _BV(COM1B1) | _BV(WGM11);
    TCCR1B = _BV(WGM13) | _BV(WGM12) | _BV(CS11);
    ICR1 = TIMER1_TOP;
    OCR1A = PulseTicks(0);
    OCR1B = PulseTicks(0);
    Serial.begin(SCANNER_BAUD);
}

void loop() {
    if (Serial.available() == 0)
        return;
    uint8_t h = Serial.read();
    unsigned long first = millis();
    while (Serial.available() == 0)
        if (millis() - first > LONE_BYTE_MS)
            return; // a byte without its partner: dropped
    uint8_t v = Serial.read();
    Aim(h, v);
    Serial.print(Ping());
}
