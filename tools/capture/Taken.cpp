#include "tools/capture/Taken.h"

#include "firmware/scanner/config.h"
#include "scan/ScanState.h"

#include <cstdlib>

Reading KindOf(const Taken& t) {
    if (t.reply.empty() || t.cm == NO_READING)
        return NO_REPLY;
    for (char c : t.reply)
        if (c < '0' || c > '9')
            return GARBLED;
    return strtod(t.reply.c_str(), nullptr) >= ECHO_TIMEOUT_US ? NO_ECHO : ECHOED;
}
