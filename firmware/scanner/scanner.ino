// rangescan scanner firmware, for an ATmega328P board at 16 MHz (Uno, Nano).
//
// It points a pan servo and a tilt servo where the computer tells it, pings an
// ultrasonic ranger and answers with the echo time. The exchange, at 115200
// baud, 8N1:
//   computer to scanner: 2 bytes, horizontal command (4..156), vertical
//                        command (0..140);
//   scanner to computer: the round-trip echo time in microseconds as decimal
//                        digits, no sign, no terminator; "0" when nothing
//                        echoes before the ranger's timeout.
// It sends nothing unasked. A lone byte that no second byte follows within
// LONE_BYTE_MS is dropped, so that the next command is read in step; commands
// outside their ranges are clamped.
//
// Builds from the command line (make -C firmware) or opens in the board's IDE
// as a sketch. The servos run on Timer1's hardware PWM, so no interrupt of
// theirs disturbs the echo timing.
#include <Arduino.h>

// ---- Pins -------------------------------------------------------------------
const uint8_t PIN_PAN = 9;   // pan servo signal: OC1A, Timer1's first PWM output
const uint8_t PIN_TILT = 10; // tilt servo signal: OC1B, Timer1's second PWM output
const uint8_t PIN_TRIG = 7;  // ranger trigger (output)
const uint8_t PIN_ECHO = 8;  // ranger echo (input)

// ---- Commands to angles ---------------------------------------------------
// Both axes move half a degree a command step:
//   pan  = (h - 80.5) / 2 degrees, right of straight ahead: 4..156 give
//          -38.25..+37.75 (the sweep's 5..156: -37.75..+37.75);
//   tilt = (70 - v) / 2 degrees, above level: 0 gives +35 (up), 140 gives -35
//          (down; the scan's first layer).
// A servo stands straight (0 degrees) at a 1500 us pulse and turns 90 degrees
// for 1000 us more or less: 100/9 us a degree, so that 500..2500 us covers
// -90..+90. Pan turns right and tilt up as the pulse grows.
const uint8_t PAN_MIN = 4, PAN_MAX = 156;   // horizontal commands are clamped to these
const uint8_t TILT_MIN = 0, TILT_MAX = 140; // vertical commands are clamped to these
const int PAN_CENTRE_X2 = 161;              // twice the horizontal command that looks ahead
const int TILT_CENTRE = 70;                 // the vertical command that looks level
const long SERVO_CENTRE_US = 1500;
const long SERVO_US_PER_90_DEGREES = 1000;

// ---- Timing ---------------------------------------------------------------
const long BAUD = 115200;
const unsigned long LONE_BYTE_MS = 100;       // shorter than the computer's 250 ms tick
const unsigned long SETTLE_MS = 20;           // after any move, for the servo to come to rest
const unsigned long SETTLE_MS_PER_DEGREE = 2; // hobby servos turn about 60 degrees in 0.1 s
const unsigned long ECHO_TIMEOUT_US = 25000;  // about 4.3 m there and back
const unsigned int TIMER1_TOP = 39999;        // 20 ms servo frame of 0.5 us timer ticks

// Servo pulse, in Timer1 ticks (0.5 us), for an angle given in quarter degrees.
static unsigned int PulseTicks(long quarterDegrees) {
    // ticks = 2 * (1500 + degrees * 1000 / 90) = 3000 + quarterDegrees * 50 / 9
    long scaled = quarterDegrees * 2 * SERVO_US_PER_90_DEGREES / 4;
    long rounded = (scaled >= 0 ? scaled + 45 : scaled - 45) / 90;
    return static_cast<unsigned int>(2 * SERVO_CENTRE_US + rounded);
}

static long PanQuarterDegrees(uint8_t h) {
    return (2L * h - PAN_CENTRE_X2);
}

static long TiltQuarterDegrees(uint8_t v) {
    return 2L * (TILT_CENTRE - v);
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

// The ranger's echo time in microseconds, 0 when nothing echoes in time.
static unsigned long Ping() {
    digitalWrite(PIN_TRIG, LOW);
    delayMicroseconds(4);
    digitalWrite(PIN_TRIG, HIGH);
    delayMicroseconds(10);
    digitalWrite(PIN_TRIG, LOW);
    return pulseIn(PIN_ECHO, HIGH, ECHO_TIMEOUT_US);
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
    Serial.begin(BAUD);
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
