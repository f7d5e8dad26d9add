#include "tools/device/PortServe.h"

#include "tools/device/Clock.h"
#include "tools/device/PortSettings.h"

#include <unistd.h>

bool ServeSettings(PortServe& p, DeviceLog& log, double now, termios* t) {
    termios cur;
    if (tcgetattr(p.master, &cur) != 0 || PortSettingsName(cur) == p.settings) {
        p.lookedAt = now;
        return false;
    }
    p.settings = PortSettingsName(cur);
    if (t)
        *t = cur;
    Log(log, now, "line %s after %.3f", p.settings.c_str(), p.lookedAt - log.start);
    p.lookedAt = now;
    return true;
}

void ServeBytes(PortServe& p, Line& line, DeviceLog& log, double now) {
    p.unsent += LineTake(line, now);
    if (p.unsent.empty())
        return;
    ssize_t w = write(p.master, p.unsent.data(), p.unsent.size());
    if (w > 0) {
        p.unsent.erase(0, static_cast<size_t>(w)); // the rest once the computer reads
        Log(log, NowMs(), "sent %zd", w);
    }
}
