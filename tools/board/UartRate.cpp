#include "tools/board/UartRate.h"

#include <cmath>

namespace {

// ATmega328P UART0 registers, by data address.
const int UCSR0A = 0xC0, UCSR0B = 0xC1, UBRR0L = 0xC4, UBRR0H = 0xC5;
const int U2X0 = 1, TXEN0 = 3, RXEN0 = 4;
const int FRAME_BITS = 10; // start, 8 data, stop

// The sender's line in its bit `i`: idle (1) outside the frames.
int Level(const std::string& bytes, long i) {
    if (i < 0 || i >= static_cast<long>(bytes.size()) * FRAME_BITS)
        return 1;
    int pos = static_cast<int>(i % FRAME_BITS);
    unsigned char b = static_cast<unsigned char>(bytes[static_cast<size_t>(i / FRAME_BITS)]);
    return pos == 0 ? 0 : pos == FRAME_BITS - 1 ? 1 : (b >> (pos - 1)) & 1;
}

} // namespace

double FirmwareBaud(const avr_t* avr) {
    uint8_t b = avr->data[UCSR0B];
    if (!(b & ((1 << RXEN0) | (1 << TXEN0))))
        return 0;
    unsigned ubrr = ((avr->data[UBRR0H] & 0x0F) << 8) | avr->data[UBRR0L];
    double perBit = (avr->data[UCSR0A] & (1 << U2X0)) ? 8.0 : 16.0;
    return avr->frequency / (perBit * (ubrr + 1));
}

std::string ReceivedAt(const std::string& bytes, double sendBaud, double receiveBaud, int errorAs) {
    std::string out;
    if (sendBaud <= 0 || receiveBaud <= 0)
        return out;
    double ratio = sendBaud / receiveBaud; // sender's bits in one of the receiver's
    long end = static_cast<long>(bytes.size()) * FRAME_BITS;
    for (long i = 0; i < end;) {
        // The receiver waits for a falling edge, at one of the sender's bit edges.
        while (i < end && !(Level(bytes, i - 1) == 1 && Level(bytes, i) == 0))
            i++;
        if (i >= end)
            break;
        double edge = static_cast<double>(i);
        auto sample = [&](int k) {
            return Level(bytes, static_cast<long>(std::floor(edge + (k + 0.5) * ratio)));
        };
        if (sample(0) != 0) { // no start bit at its middle: a glitch
            i++;
            continue;
        }
        int b = 0;
        for (int k = 1; k <= 8; k++)
            b |= sample(k) << (k - 1);
        if (sample(FRAME_BITS - 1) == 0 && errorAs >= 0)
            b = errorAs;
        out += static_cast<char>(b);
        i = static_cast<long>(std::floor(edge + (FRAME_BITS - 0.5) * ratio)) + 1;
    }
    return out;
}
