#include "tools/capture/KeptFiles.h"

#include "tools/device/ScanTable.h"
#include "tools/device/Scene.h"

FILE* OpenTable(const std::string& path) {
    FILE* f = fopen(path.c_str(), "wb");
    if (f && (fprintf(f, "%s\n", SCAN_TABLE_HEADER) < 0 || fflush(f) != 0)) {
        fclose(f);
        return nullptr;
    }
    return f;
}

// The reply as a field: printable bytes as they came, any other byte (and a
// comma or a quote, which would split or quote the field) as '?', which the
// program decodes as it decodes that byte: as the digit 0.
static std::string Field(const std::string& reply) {
    std::string f = reply;
    for (char& c : f)
        if (c <= ' ' || c > '~' || c == ',' || c == '"')
            c = '?';
    return f;
}

bool WriteRow(FILE* table, const Taken& t) {
    const Aim& a = t.aim;
    std::string cm, point;
    Reading kind = KindOf(t);
    char buf[96];
    if (kind != NO_REPLY) {
        snprintf(buf, sizeof buf, "%.3f", t.cm);
        cm = buf;
    }
    if (kind == ECHOED) {
        Point p = PointOf(a, t.cm);
        snprintf(buf, sizeof buf, "%.3f,%.3f,%.3f", p.x, p.y, p.z);
        point = buf;
    } else {
        point = ",,";
    }
    int n = fprintf(table, "%u,%u,%.2f,%.2f,%s,%s,%s,%lu\n", a.h, a.v, PanDegrees(a.h),
                    TiltDegrees(a.v), Field(kind == NO_REPLY ? "" : t.reply).c_str(), cm.c_str(),
                    point.c_str(), static_cast<unsigned long>(t.ms));
    return n > 0 && fflush(table) == 0;
}
