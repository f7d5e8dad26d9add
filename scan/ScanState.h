// The scan's whole state: where the serpentine raster stands, the command pair
// sent to the scanner, the range grid the readings fill, and the acquisition
// tick's own fields. One record, owned by WinMain for the whole run.
#pragma once

#include <cstdint>

// Raster geometry.
const int GRID_SIZE = 200;      // the grid has room for 200 columns and 200 rows
const int SWEEP_FIRST_CMD = 5;  // horizontal command of column 0
const int SWEEP_TURN_CMD = 155; // a forward sweep turns once raised above this
const int LAYER_LAST = 140;     // highest layer; the next layer step wraps to 0
const int REPLY_BUFFER_SIZE = 100;

// What a cell holds before it gets its first reading, or after a tick that got
// no reply. Replies decode to 0 or more, so no reading can be mistaken for it.
const float NO_READING = -1.0f;

// The field names are the ones the tests, the benchmarks and
// docs/performance.md use.
struct ScanState {
    // ---- Where the raster stands, and the command it sends ----
    uint8_t buffer[2]; // CommandPair: horizontal, vertical (command steps, half a degree each)
    int32_t posX;      // column of this tick, -1..151 (-1: the reverse sweep's turning tick)
    int32_t maxX;      // highest column reached so far
    int32_t layerY;    // current row, 0..LAYER_LAST
    int32_t layermax;  // rows in use, 1..LAYER_LAST + 1
    bool reverse;      // true while the horizontal command falls

    // ---- What the scan has measured ----
    float bufferX[GRID_SIZE][GRID_SIZE]; // ranges in cm, [column][row]; NO_READING where none

    // ---- The acquisition tick's own ----
    uint32_t time;               // tick count (ms) at the start of the last tick
    char str[REPLY_BUFFER_SIZE]; // reply bytes, kept from tick to tick
    bool replyCut;               // the last tick stopped listening mid-reply
};

// Sets every field to its start value; `now` is the current tick count.
void InitScanState(ScanState& s, uint32_t now);

// Moves the raster one position and leaves this tick's command pair in buffer.
void StepSweep(ScanState& s);
