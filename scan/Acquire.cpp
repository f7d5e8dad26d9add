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

// The tick count as the tick reads it, and the finest step it has been seen
// to make (0 until it has moved).
struct Clock {
    uint32_t last, grain;
};

static uint32_t Read(Clock& c) {
    uint32_t t = GetTickCount();
    uint32_t step = t - c.last;
    if (step > 0 && (c.grain == 0 || step < c.grain))
        c.grain = step;
    c.last = t;
    return t;
}

// Reads the `waiting` bytes into the reply buffer after the `have` it holds;
// what does not fit is read and dropped. Returns how many it now holds.
static int Take(Serial& port, char* str, int have, int waiting) {
    int room = REPLY_BUFFER_SIZE - have;
    int ask = waiting < room ? waiting : room;
    int got = ask > 0 ? port.ReadData(str + have, static_cast<unsigned int>(ask)) : 0;
    if (got < 0)
        return have;
    Discard(port, waiting - got);
    return have + got;
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

    // Collect the reply until the line has been quiet for QUIET_GAP_MS. The
    // tick count may move in steps (about 15.6 ms on Windows): two readings
    // `d` apart may then be up to one step more or less apart in truth, so the
    // quiet is taken as proven only at QUIET_GAP_MS plus the finest step seen.
    Clock clock = {now, 0};
    int len = 0;
    bool heard = false;
    uint32_t lastHeard = now;
    for (;;) {
        // The time before the count: a count of 0 taken after it proves the
        // line quiet up to that time, however long the program was held
        // between the two.
        uint32_t t = Read(clock);
        waiting = port.countData();
        if (waiting < 0) // the port failed: no more can come
            break;
        if (waiting > 0) {
            len = Take(port, s.str, len, waiting);
            heard = true;
            lastHeard = t;
        } else if (heard && clock.grain > 0 && t - lastHeard >= QUIET_GAP_MS + clock.grain) {
            break;
        }
        if (t - now >= REPLY_TIMEOUT_MS)
            break;
        Sleep(1);
    }
    // Bytes counted but not read (a read failed) do not make a reply.
    Store(s, heard && len > 0 ? DecodeReply(s.str, len) : NO_READING);
}
