#include "scan/ScanState.h"

void InitScanState(ScanState& s, uint32_t now) {
    s.buffer[0] = SWEEP_FIRST_CMD;
    s.buffer[1] = 0;
    s.time = now;
    s.posX = 0;
    s.maxX = 0;
    s.layerY = 0;
    s.layermax = 1;
    s.reverse = false;
    s.replyCut = false;
    for (int a = 0; a < GRID_SIZE; a++)
        for (int b = 0; b < GRID_SIZE; b++)
            s.bufferX[a][b] = NO_READING;
    for (int i = 0; i < REPLY_BUFFER_SIZE; i++)
        s.str[i] = 0;
}
