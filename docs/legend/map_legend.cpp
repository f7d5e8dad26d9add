// The facts the map's legend is drawn from, as the program and the scanner
// have them: a colour bar of the program's own colour rule, and the angles
// the map's edges stand for, from the raster and the scanner's mapping of
// commands to angles. Used by scripts/map-picture.
//   map-legend BAR.ppm    writes the bar; prints the scale and the edges' angles
#include "firmware/scanner/config.h"
#include "render/Surface.h"

#include <algorithm>
#include <cstdio>

namespace {

const float BAR_CM = 40.0f; // the bar runs from 0 cm to beyond full red
const int BAR_WIDTH = 400, BAR_HEIGHT = 24;

// The part GL would show for a colour part given to it.
int Shown(float part) {
    return static_cast<int>(std::min(1.0f, std::max(0.0f, part)) * 255.0f + 0.5f);
}

} // namespace

int main(int argc, char** argv) {
    FILE* bar = argc == 2 ? fopen(argv[1], "w") : nullptr;
    if (!bar) {
        fputs("usage: map-legend BAR.ppm\n", stderr);
        return 2;
    }
    fprintf(bar, "P3\n%d %d\n255\n", BAR_WIDTH, BAR_HEIGHT);
    for (int y = 0; y < BAR_HEIGHT; y++)
        for (int x = 0; x < BAR_WIDTH; x++) {
            float rgb[3];
            RangeColour(BAR_CM * x / (BAR_WIDTH - 1), MAP_FULL_RED_CM, rgb);
            fprintf(bar, "%d %d %d\n", Shown(rgb[0]), Shown(rgb[1]), Shown(rgb[2]));
        }
    fclose(bar);
    // Column 0 and column maxX (151) on the left and right edges; row 0 on the
    // bottom edge and row LAYER_LAST on the top. Degrees right of and above
    // straight ahead.
    const int lastColumn = SWEEP_TURN_CMD + 1 - SWEEP_FIRST_CMD;
    printf("bar_cm %g\nfull_red_cm %g\n", BAR_CM, MAP_FULL_RED_CM);
    printf("left %g\nright %g\n", PanQuarterDegrees(SWEEP_FIRST_CMD) / 4.0,
           PanQuarterDegrees(static_cast<uint8_t>(SWEEP_FIRST_CMD + lastColumn)) / 4.0);
    printf("bottom %g\ntop %g\n", TiltQuarterDegrees(LAYER_LAST - 0) / 4.0,
           TiltQuarterDegrees(LAYER_LAST - LAYER_LAST) / 4.0);
    return 0;
}
