#include "tools/device/PortSettings.h"

namespace {

const struct {
    speed_t s;
    long baud;
} RATES[] = {{B1200, 1200},     {B2400, 2400},     {B4800, 4800},    {B9600, 9600},
             {B19200, 19200},   {B38400, 38400},   {B57600, 57600},  {B115200, 115200},
             {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};

} // namespace

speed_t BaudSpeed(long baud) {
    for (auto& r : RATES)
        if (r.baud == baud)
            return r.s;
    return B0;
}

void PortSettings(const termios& t, long* baud, int* bits, int* frame) {
    speed_t sp = cfgetospeed(&t);
    *baud = 0;
    for (auto& r : RATES)
        if (r.s == sp)
            *baud = r.baud;
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
