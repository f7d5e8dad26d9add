#include "scan/Acquire.h"

#include "SerialClass.h"
#include "scan/Reply.h"

bool TickDue(const ScanState& s, uint32_t now) {
    return static_cast<uint32_t>(now - s.time) > TICK_PERIOD_MS;
}

// Stores this tick's reading where its cell lies in the grid. The tick that
// turns a reverse sweep has column -1: its reading is dropped.
static void Store(ScanState& s, float value) {
    if (s.posX >= 0 && s.posX < GRID_SIZE && s.layerY >= 0 && s.layerY < GRID_SIZE)
        s.bufferX[s.posX][s.layerY] = value;
}

// The longest a tick spends dropping stale bytes before its command; it
// counts towards the tick's reply bound.
static const uint32_t DRAIN_MS = 100;

// Reads and drops up to `count` waiting bytes.
static void Discard(Serial& port, int count) {
    char scratch[REPLY_BUFFER_SIZE];
    while (count > 0) {
        int ask = count < REPLY_BUFFER_SIZE ? count : REPLY_BUFFER_SIZE;
        int got = port.ReadData(scratch, static_cast<unsigned int>(ask));
        if (got <= 0)
            break;
        count -= got;
    }
}

void AcquireSample(ScanState& s, Serial& port) {
    uint32_t now = GetTickCount();
    s.time = now;

    StepSweep(s);
    // The scanner speaks only when asked, so nothing waiting before the command
    // goes out is part of its answer: it is the tail of a split or late reply,
    // the rest of a burst, or bytes sent unasked. Taken as the reply, it would
    // put this reading and every later one a cell off. Drained until the line
    // has been quiet for a millisecond (a burst reaches the queue in pieces),
    // and for at most DRAIN_MS, so a device that never stops cannot hold the tick.
    int waiting;
    while ((waiting = port.countData()) > 0 &&
           static_cast<uint32_t>(GetTickCount() - now) < DRAIN_MS) {
        Discard(port, waiting);
        Sleep(1);
    }

    port.WriteData(s.buffer, 2);

    while ((waiting = port.countData()) == 0) {
        if (static_cast<uint32_t>(GetTickCount() - now) >= REPLY_TIMEOUT_MS) {
            Store(s, NO_READING);
            return;
        }
        Sleep(1);
    }
    int len = port.countData();
    int n = port.countData();
    if (waiting < 0 || len < 0 || n < 0) { // the port failed: no reply can come
        Store(s, NO_READING);
        return;
    }

    // The reply buffer takes at most its size; the rest of what was counted is
    // read and dropped, as bytes read beyond the decoded count are.
    int toRead = n < REPLY_BUFFER_SIZE ? n : REPLY_BUFFER_SIZE;
    port.ReadData(s.str, static_cast<unsigned int>(toRead));
    Discard(port, n - toRead);
    if (len > REPLY_BUFFER_SIZE)
        len = REPLY_BUFFER_SIZE;

    Store(s, DecodeReply(s.str, len));
}
