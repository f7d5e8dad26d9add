#include "scan/ScanState.h"

// Advances to the next layer, wrapping after the last, and widens layermax.
static void LayerStep(ScanState& s) {
    s.layerY += 1;
    if (s.layerY > LAYER_LAST)
        s.layerY = 0;
    if (s.layerY + 1 > s.layermax)
        s.layermax = s.layerY + 1;
}

void StepSweep(ScanState& s) {
    if (!s.reverse) {
        // Forward: step, then test; the turning tick is taken at column 151.
        s.buffer[0] += 1;
        s.posX += 1;
        if (s.maxX < s.posX)
            s.maxX = s.posX;
        if (s.buffer[0] > SWEEP_TURN_CMD) {
            s.reverse = true;
            LayerStep(s);
        }
    } else {
        // Reverse: test, then step; the turning tick is taken at column -1.
        if (s.buffer[0] == SWEEP_FIRST_CMD) {
            s.reverse = false;
            LayerStep(s);
        }
        s.buffer[0] -= 1;
        s.posX -= 1;
    }
    s.buffer[1] = static_cast<uint8_t>(LAYER_LAST - s.layerY);
}
