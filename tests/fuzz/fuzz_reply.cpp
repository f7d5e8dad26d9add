// Fuzz target over the reply path: DecodeReply on the raw input, then a run
// of acquisition ticks against a scripted line whose replies, their sizes and
// the way they trickle in (one chunk per count of waiting bytes) all come from
// the input. ASan/UBSan catch any write outside str or the grid; the checks
// below catch a tick that waits past its bound or stores something that is
// neither a reading nor "no reading".
#include "scan/Acquire.h"
#include "scan/Reply.h"
#include "support/ScriptedSerial.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    uint8_t Byte() { return n ? (n--, *p++) : 0; }
    std::string Bytes(size_t k) {
        k = k < n ? k : n;
        std::string s(reinterpret_cast<const char*>(p), k);
        p += k;
        n -= k;
        return s;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeReply(reinterpret_cast<const char*>(data), static_cast<int>(size));

    static std::unique_ptr<ScanState> s(new ScanState);
    Input in{data, size};
    ScriptedLine line;
    // Each command's answer: up to three chunks of up to 255 bytes (a length
    // byte of 255 stands for a burst of 4,000), or, with the top flag bit, a
    // hang-up.
    line.device = [&](BYTE, BYTE) {
        uint8_t flags = in.Byte();
        if (flags & 0x80)
            line.gone = true;
        for (int c = 0; c < (flags & 3); c++) {
            uint8_t len = in.Byte();
            line.trickle.push_back(len == 255 ? std::string(4000, '7') : in.Bytes(len));
        }
        return std::string();
    };
    AttachLine(&line);
    Serial port("COM6");
    AttachLine(nullptr);
    InitScanState(*s, GetTickCount());
    line.waiting = in.Bytes(in.Byte() % 8); // unasked bytes before the first tick

    for (int tick = 0; tick < 40 && in.n > 0; tick++) {
        while (!TickDue(*s, GetTickCount()))
            Sleep(1);
        uint32_t start = GetTickCount();
        AcquireSample(*s, port);
        if (GetTickCount() - start > REPLY_TIMEOUT_MS + 5)
            abort(); // the wait outlived its bound
        if (s->posX >= 0) {
            float v = s->bufferX[s->posX][s->layerY];
            if (!(v == NO_READING || v >= 0.0f))
                abort(); // neither a reading nor "no reading"
        }
    }
    return 0;
}
