#include "tools/capture/KeptFiles.h"

#include "render/Colour.h"

#include <algorithm>

void MapColour(float cm, double scaleCm, unsigned char rgb[3]) {
    float parts[3];
    RangeColour(cm, static_cast<float>(scaleCm), parts);
    for (int i = 0; i < 3; i++)
        rgb[i] = static_cast<unsigned char>(std::min(1.0f, std::max(0.0f, parts[i])) * 255 + 0.5f);
}

bool WriteCloud(const std::string& path, const std::vector<Taken>& taken, double scaleCm) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    size_t points = std::count_if(taken.begin(), taken.end(),
                                  [](const Taken& t) { return KindOf(t) == ECHOED; });
    fprintf(f,
            "ply\nformat ascii 1.0\n"
            "comment rangescan-capture: cm; x ahead, y to the left, z up; origin at the pivot\n"
            "element vertex %zu\n"
            "property float x\nproperty float y\nproperty float z\n"
            "property uchar red\nproperty uchar green\nproperty uchar blue\n"
            "property float scalar_range\nproperty float quality\nend_header\n",
            points);
    for (const Taken& t : taken) {
        if (KindOf(t) != ECHOED)
            continue;
        Point p = PointOf(t.aim, t.cm);
        unsigned char rgb[3];
        MapColour(t.cm, scaleCm, rgb);
        fprintf(f, "%.3f %.3f %.3f %u %u %u %.3f %.3f\n", p.x, p.y, p.z, rgb[0], rgb[1], rgb[2],
                t.cm, t.cm);
    }
    bool ok = !ferror(f);
    return fclose(f) == 0 && ok;
}
