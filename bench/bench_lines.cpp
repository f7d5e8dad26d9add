// Reply framing over the simulated scanner's line models: for each model, the
// readings a run of ticks gets wrong (each against the decode of the whole
// reply the simulator logged) and how long a tick holds the loop, with the
// tick's framing and with the earlier one (decode what the first count of
// waiting bytes saw), side by side; with the scene's replies, then with replies
// of 1 to 100 digits.
//   bench_lines [TICKS]     (default 200 a model and framing)
#include "SerialClass.h"
#include "scan/Acquire.h"
#include "scan/Reply.h"
#include "support/Device.h"
#include "tools/device/Line.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// The earlier tick: drop what is waiting, send, wait for the first byte,
// decode as many bytes as the count then finds, read them, and no more.
void EarlierTick(ScanState& s, Serial& port) {
    uint32_t now = GetTickCount();
    s.time = now;
    StepSweep(s);
    char scratch[REPLY_BUFFER_SIZE];
    int waiting;
    while ((waiting = port.countData()) > 0 && GetTickCount() - now < 100) {
        port.ReadData(scratch, sizeof scratch);
        Sleep(1);
    }
    port.WriteData(s.buffer, 2);
    while ((waiting = port.countData()) == 0 && GetTickCount() - now < REPLY_TIMEOUT_MS)
        Sleep(1);
    int len = std::min(port.countData(), REPLY_BUFFER_SIZE);
    if (waiting <= 0 || len <= 0) {
        if (s.posX >= 0)
            s.bufferX[s.posX][s.layerY] = NO_READING;
        return;
    }
    port.ReadData(s.str, static_cast<unsigned int>(len));
    if (s.posX >= 0)
        s.bufferX[s.posX][s.layerY] = DecodeReply(s.str, len);
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[static_cast<size_t>((v.size() - 1) * p + 0.5)];
}

void Run(const char* line, bool earlier, int ticks, bool longReplies) {
    std::vector<std::string> args = {"--line", line};
    if (longReplies)
        args.insert(args.end(), {"--digits", "1-100"});
    DeviceProcess sim(args);
    std::unique_ptr<Serial> port(new Serial("COM6"));
    std::unique_ptr<ScanState> s(new ScanState), replay(new ScanState);
    InitScanState(*s, GetTickCount());
    InitScanState(*replay, 0);
    std::vector<double> held;
    for (int i = 0; i < ticks; i++) {
        double t0 = NowMs();
        (earlier ? EarlierTick : AcquireSample)(*s, *port);
        held.push_back(NowMs() - t0);
        Sleep(5);
    }
    port.reset();
    auto cmds = sim.Commands();
    int wrong = 0, readings = 0;
    for (int i = 0; i < ticks && i < static_cast<int>(cmds.size()); i++) {
        StepSweep(*replay);
        if (replay->posX < 0)
            continue;
        readings++;
        const std::string& r = cmds[i].reply;
        wrong += s->bufferX[replay->posX][replay->layerY] !=
                 DecodeReply(r.data(), static_cast<int>(r.size()));
    }
    printf("%-5s %-8s wrong %3d of %3d, tick holds the loop: median %6.2f ms, p99 %6.2f ms\n", line,
           earlier ? "earlier" : "whole", wrong, readings, Percentile(held, 0.5),
           Percentile(held, 0.99));
    fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    int ticks = argc > 1 ? atoi(argv[1]) : 200;
    for (bool longReplies : {false, true}) {
        printf("framing over the line models, %d ticks each, replies 30 ms late: %s\n", ticks,
               longReplies ? "1 to 100 digits" : "the scene's (4 or 5 digits)");
        for (int m = 0; m < LINE_COUNT; m++)
            for (bool earlier : {true, false})
                Run(LINE_MODELS[m].name, earlier, ticks, longReplies);
    }
    return 0;
}
