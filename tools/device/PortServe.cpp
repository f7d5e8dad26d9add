#include "tools/device/PortServe.h"

#include "tools/device/PortSettings.h"

#include <unistd.h>

bool ServeSettings(PortServe& p, DeviceLog& log, double now, termios* t) {
    termios cur;
    if (tcgetattr(p.master, &cur) != 0 || PortSettingsName(cur) == p.settings)
        return false;
    p.settings = PortSettingsName(cur);
    if (t)
        *t = cur;
    Log(log, now, "line %s", p.settings.c_str());
    return true;
}

void ServeBytes(PortServe& p, Line& line, DeviceLog& log, double now) {
    p.unsent += LineTake(line, now);
    if (p.unsent.empty())
        return;
    ssize_t w = write(p.master, p.unsent.data(), p.unsent.size());
    if (w > 0) {
        p.unsent.erase(0, static_cast<size_t>(w)); // the rest once the computer reads
        Log(log, now, "sent %zd", w);
    }
}
