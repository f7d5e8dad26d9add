#include "speeds.h"

namespace {

const struct {
    long baud;
    speed_t speed;
} RATES[] = {
    {50, B50},         {75, B75},         {110, B110},         {134, B134},
    {150, B150},       {200, B200},       {300, B300},         {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},       {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},     {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {2000000, B2000000},
};

} // namespace

speed_t SpeedOfBaud(long baud) {
    for (const auto& r : RATES)
        if (r.baud == baud)
            return r.speed;
    return B0;
}

long BaudOfSpeed(speed_t speed) {
    for (const auto& r : RATES)
        if (r.speed == speed)
            return r.baud;
    return 0;
}
