#include "tools/device/PortSettings.h"

#include "platform/posix/speeds.h"

void PortSettings(const termios& t, long* baud, int* bits, int* frame) {
    *baud = BaudOfSpeed(cfgetospeed(&t));
    *bits = 5 + static_cast<int>((t.c_cflag & CSIZE) == CS6) +
            2 * static_cast<int>((t.c_cflag & CSIZE) == CS7) +
            3 * static_cast<int>((t.c_cflag & CSIZE) == CS8);
    *frame = 1 + *bits + ((t.c_cflag & PARENB) ? 1 : 0) + ((t.c_cflag & CSTOPB) ? 2 : 1);
}

std::string PortSettingsName(const termios& t) {
    long baud;
    int bits, frame;
    PortSettings(t, &baud, &bits, &frame);
    char parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    return std::to_string(baud) + " " + std::to_string(bits) + parity +
           ((t.c_cflag & CSTOPB) ? "2" : "1");
}
