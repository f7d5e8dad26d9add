#include "tools/device/Line.h"

#include "tools/device/Tool.h"

#include <cmath>

// In the order --help lists them; LineModel names the rows by their index.
const LineModelRow LINE_MODELS[] = {
    {"uart", "a byte at a time, at the pace of the line's settings", true, 0, 0},
    {"ftdi", "a USB adapter with a 16 ms latency timer, 62-byte packets", true, 16.0, 62},
    {"cdc", "a USB board, sent on at every 1 ms USB frame", true, 1.0, 64},
    {"whole", "each reply in one piece, at once", false, 0, 0},
};
const int LINE_COUNT = sizeof LINE_MODELS / sizeof LINE_MODELS[0];

int LineModelNamed(const std::string& name) {
    for (int m = 0; m < LINE_COUNT; m++)
        if (name == LINE_MODELS[m].name)
            return m;
    return -1;
}

OptionRow LineOptionRow(LineModel* model, const std::string& help) {
    return {"--line", "MODEL", help, [model](const char* name) {
                int m = LineModelNamed(name);
                if (m < 0)
                    Fail(std::string("unknown line model: ") + name);
                *model = static_cast<LineModel>(m);
            }};
}

std::string LineModelsHelp() {
    std::string text;
    for (int m = 0; m < LINE_COUNT; m++) {
        std::string name = LINE_MODELS[m].name;
        name.resize(7, ' ');
        text += (m ? "\n" : "") + name + LINE_MODELS[m].help;
    }
    return text;
}

void SetLinePace(Line& line, long baud, int bitsPerByte) {
    if (baud > 0 && bitsPerByte > 0)
        line.byteMs = 1000.0 * bitsPerByte / baud;
}

void LineSend(Line& line, double ms, const std::string& bytes) {
    if (!LINE_MODELS[line.model].paced) {
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
    const LineModelRow& a = LINE_MODELS[line.model];
    if (a.periodMs == 0) {
        while (!line.wire.empty() && line.wire.front().first <= ms) {
            out += line.wire.front().second;
            line.wire.pop_front();
        }
        return out;
    }
    // An adapter: bytes gather in its packet, which goes to the computer when
    // it is full or when the timer runs out. The timer runs on whether or not
    // there is anything to send, and starts again when a full packet goes.
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
            if (line.packet.size() >= a.packetBytes) {
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
    if (LINE_MODELS[line.model].periodMs > 0 && !line.packet.empty())
        next = std::fmin(next, line.flushAt);
    return next;
}

bool LineBusy(const Line& line) {
    return !line.wire.empty() || !line.packet.empty();
}
