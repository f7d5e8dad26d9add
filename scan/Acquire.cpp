#include "scan/Acquire.h"

#include "SerialClass.h"
#include "scan/Reply.h"

bool TickDue(const ScanState& s, uint32_t now) {
    return static_cast<uint32_t>(now - s.time) > TICK_PERIOD_MS;
}

// Stores this tick's reading where its cell lies in the grid. The tick that
// turns a reverse sweep has column -1: its reading is dropped.
static void StoreInGrid(ScanState& s, float value) {
    if (s.posX >= 0 && s.posX < GRID_SIZE && s.layerY >= 0 && s.layerY < GRID_SIZE)
        s.bufferX[s.posX][s.layerY] = value;
}

// The tick count as the tick reads it, and the finest step it has been seen
// to make (0 until it has moved).
struct TickClock {
    uint32_t last, grain;
};

// Reads the tick count, and learns its grain from the step since the last reading.
static uint32_t ReadTickCount(TickClock& c) {
    uint32_t t = GetTickCount();
    uint32_t step = t - c.last;
    if (step > 0 && (c.grain == 0 || step < c.grain))
        c.grain = step;
    c.last = t;
    return t;
}

// One listen to the line, a look each millisecond (LookAtLine), for stale
// bytes (dropping them) or for the reply: it ends once the line has been quiet for QUIET_GAP_MS
// after the last byte, or `until` ms from the tick's start. The tick count may move in steps
// (about 15.6 ms on Windows): two readings `d` apart may then be up to one step more or less apart
// in truth, so the quiet is taken as proven only at QUIET_GAP_MS plus the finest step seen.
struct Listen {
    TickClock clock;
    uint32_t start, until;
    bool dropping = false; // stale bytes before the command: read and dropped
    bool heard = false;    // at least one byte came
    bool failed = false;   // the port failed: no more can come
    bool quiet = false;    // it ended on the quiet gap
    uint32_t lastHeard = 0;
};

// Reads the `waiting` bytes into `keep` after the `have` it holds (none with
// `keep` null); what does not fit is read and dropped. Returns how many it now
// holds, or -1 when a read failed.
static int ReadWaiting(Serial& port, char* keep, int have, int waiting) {
    char scratch[REPLY_BUFFER_SIZE];
    while (waiting > 0) {
        int room = keep ? REPLY_BUFFER_SIZE - have : 0;
        char* to = room > 0 ? keep + have : scratch;
        int ask = room > 0 ? room : REPLY_BUFFER_SIZE;
        ask = waiting < ask ? waiting : ask;
        int got = port.ReadData(to, static_cast<unsigned int>(ask));
        if (got <= 0)
            return -1;
        if (room > 0)
            have += got;
        waiting -= got;
    }
    return have;
}

// One look at the line: reads what is waiting into `keep` (see ReadWaiting;
// null while dropping) and tells whether to look again after a millisecond's
// sleep. `*have` counts the bytes kept.
static bool LookAtLine(Listen& l, Serial& port, char* keep, int* have) {
    // A count of 0 proves the line quiet up to the time read before it. Bytes
    // a count finds may have come at any moment up to the count, however long
    // the program was held before it: they are timed by a reading after it.
    uint32_t before = ReadTickCount(l.clock);
    int waiting = port.countData();
    if (waiting > 0) {
        int kept = ReadWaiting(port, keep, *have, waiting);
        l.failed = kept < 0;
        *have = kept < 0 ? *have : kept;
        l.heard = true;
        l.lastHeard = ReadTickCount(l.clock);
    } else if (waiting < 0) {
        l.failed = true;
    }
    if (l.failed)
        return false;
    if (waiting == 0 && !l.heard && l.dropping)
        return false; // nothing stale: the drain costs one count
    if (waiting == 0 && l.heard && l.clock.grain > 0 &&
        static_cast<uint32_t>(before - l.lastHeard) >= QUIET_GAP_MS + l.clock.grain) {
        l.quiet = true;
        return false;
    }
    return static_cast<uint32_t>(l.clock.last - l.start) < l.until;
}

float ExchangeCommand(ScanState& s, Serial& port, uint32_t start, int* len) {
    // The scanner speaks only when asked, so nothing waiting before the command
    // goes out is part of its answer: it is the tail of a split or late reply,
    // the rest of a burst, or bytes sent unasked. Taken as the reply, it would
    // put this reading and every later one a cell off. Stale bytes come in
    // pieces as the reply does, so they are dropped until the line has been
    // quiet for the same gap, and for at most DRAIN_MS, so a device that never
    // stops cannot hold the tick. With nothing waiting this is one count,
    // unless the last tick's reply was cut by its bound: the rest of it may be
    // on its way, between two USB packets, so the line counts as heard now.
    Listen drain;
    drain.clock = {start, 0};
    drain.start = start;
    drain.until = DRAIN_MS;
    drain.dropping = true;
    drain.heard = s.replyCut;
    drain.lastHeard = start;
    int dropped = 0;
    while (LookAtLine(drain, port, nullptr, &dropped))
        Sleep(1);

    port.WriteData(s.buffer, 2);

    // Collect the reply until the line has been quiet for QUIET_GAP_MS.
    Listen reply;
    reply.clock = drain.clock;
    reply.start = start;
    reply.until = REPLY_TIMEOUT_MS;
    *len = 0;
    while (LookAtLine(reply, port, s.str, len))
        Sleep(1);
    s.replyCut = reply.heard && !reply.failed && !reply.quiet;
    // A reply the port failed in the middle of is no reading: its digits are
    // a part of a number, not the number. One cut by the bound is decoded as
    // far as it came. A drain that ran to its bound, with the stale stream
    // still coming, cannot tell where that stream ends and the reply begins:
    // what follows the command is no reading either.
    bool drainedToBound = drain.heard && !drain.failed && !drain.quiet;
    if (drainedToBound || !reply.heard || reply.failed || *len == 0)
        return NO_READING;
    return DecodeReply(s.str, *len);
}

void AcquireSample(ScanState& s, Serial& port) {
    uint32_t now = GetTickCount();
    s.time = now;

    StepSweep(s);
    int len;
    StoreInGrid(s, ExchangeCommand(s, port, now, &len));
}
