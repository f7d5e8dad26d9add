#include "tools/device/Line.h"

#include "tools/device/Tool.h"

#include <cmath>

namespace {

struct Adapter {
    double periodMs; // latency timer or USB frame
    size_t packet;   // bytes that fill a packet and send it at once
};

Adapter AdapterOf(LineModel m) {
    return m == LINE_FTDI ? Adapter{16.0, 62} : Adapter{1.0, 64};
}

const char* NAMES[LINE_COUNT] = {"whole", "uart", "ftdi", "cdc"};

} // namespace

bool TakeLineOption(LineModel* model, int argc, char** argv, int* i) {
    if (std::string(argv[*i]) != "--line")
        return false;
    std::string name = OptionValue(argc, argv, i);
    for (int m = 0; m < LINE_COUNT; m++)
        if (name == NAMES[m]) {
            *model = static_cast<LineModel>(m);
            return true;
        }
    Fail("unknown line model: " + name);
}

void SetLinePace(Line& line, long baud, int bitsPerByte) {
    if (baud > 0 && bitsPerByte > 0)
        line.byteMs = 1000.0 * bitsPerByte / baud;
}

void LineSend(Line& line, double ms, const std::string& bytes) {
    if (line.model == LINE_WHOLE) {
        for (char c : bytes)
            line.wire.emplace_back(ms, c);
        return;
    }
    double t = std::fmax(ms, line.wireFree);
    for (char c : bytes) {
        t += line.byteMs;
        line.wire.emplace_back(t, c);
    }
    line.wireFree = t;
}

void LineByte(Line& line, double ms, char byte) {
    line.wire.emplace_back(ms, byte);
    line.wireFree = ms;
}

std::string LineTake(Line& line, double ms) {
    std::string out;
    if (line.model == LINE_WHOLE || line.model == LINE_UART) {
        while (!line.wire.empty() && line.wire.front().first <= ms) {
            out += line.wire.front().second;
            line.wire.pop_front();
        }
        return out;
    }
    // An adapter: bytes gather in its packet, which goes to the computer when
    // it is full or when the timer runs out. The timer runs on whether or not
    // there is anything to send, and starts again when a full packet goes.
    Adapter a = AdapterOf(line.model);
    if (line.flushAt == 0)
        line.flushAt = a.periodMs;
    // An idle timer keeps its phase: catch it up to the first expiry from the
    // next byte (or now) on, rather than run through every expiry missed.
    double from = line.wire.empty() ? ms : std::fmin(ms, line.wire.front().first);
    if (line.packet.empty() && line.flushAt < from)
        line.flushAt += std::ceil((from - line.flushAt) / a.periodMs) * a.periodMs;
    for (;;) {
        double byteAt = line.wire.empty() ? INFINITY : line.wire.front().first;
        double next = std::fmin(byteAt, line.flushAt);
        if (next > ms)
            break;
        if (byteAt <= line.flushAt) {
            line.packet += line.wire.front().second;
            line.wire.pop_front();
            if (line.packet.size() >= a.packet) {
                out += line.packet;
                line.packet.clear();
                line.flushAt = byteAt + a.periodMs;
            }
        } else {
            out += line.packet;
            line.packet.clear();
            line.flushAt += a.periodMs;
        }
    }
    return out;
}

double LineNextDue(const Line& line) {
    double next = line.wire.empty() ? 1e300 : line.wire.front().first;
    if ((line.model == LINE_FTDI || line.model == LINE_CDC) && !line.packet.empty())
        next = std::fmin(next, line.flushAt);
    return next;
}

bool LineBusy(const Line& line) {
    return !line.wire.empty() || !line.packet.empty();
}
