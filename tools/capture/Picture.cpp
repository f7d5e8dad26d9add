#include "tools/capture/KeptFiles.h"

#include "scan/ScanState.h"

#include <algorithm>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

bool WritePicture(const std::string& path, const std::vector<Taken>& taken, int step,
                  double scaleCm) {
    const int px = PICTURE_PX_PER_STEP, width = RASTER_COLUMNS * px, height = RASTER_ROWS * px;
    std::vector<unsigned char> image(static_cast<size_t>(width) * height * 3, 0);
    for (const Taken& t : taken) {
        unsigned char rgb[3];
        MapColour(KindOf(t) == NO_REPLY ? NO_READING : t.cm, scaleCm, rgb);
        // The block reaches right and up from the aim, within the raster;
        // the image's first line is its top, the raster's last row.
        int x0 = t.aim.column * px, x1 = std::min(t.aim.column + step, RASTER_COLUMNS) * px;
        int y0 = (RASTER_ROWS - std::min(t.aim.row + step, RASTER_ROWS)) * px;
        int y1 = (RASTER_ROWS - t.aim.row) * px;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                std::copy(rgb, rgb + 3, &image[(static_cast<size_t>(y) * width + x) * 3]);
    }
    return stbi_write_png(path.c_str(), width, height, 3, image.data(), width * 3) != 0;
}
