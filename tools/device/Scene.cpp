#include "tools/device/Scene.h"

#include "firmware/scanner/config.h"

#include <cmath>

namespace {

const double PI = 3.14159265358979323846;

struct Vec {
    double x, y, z;
};

double Dot(Vec a, Vec b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Sensor at the origin: x to the right, y up, z straight ahead (centimetres).
const double WALL_Z = 40.0;
const double FLOOR_Y = -14.0;
// The floor is a landing that ends on the left: beyond its edge, a stairwell
// deeper than the ranger's reach, where nothing echoes.
const double FLOOR_EDGE_X = -10.0;

struct Sphere {
    Vec c;
    double r;
};
const Sphere SPHERES[] = {{{-9.0, -3.0, 15.0}, 5.0}, {{10.0, 5.0, 22.0}, 4.5}};

struct Box {
    Vec lo, hi;
};
const Box BOXES[] = {{{1.0, -14.0, 9.0}, {7.0, -6.0, 14.0}},
                     {{-15.0, 6.0, 15.0}, {-7.0, 13.0, 18.0}}};

double HitSphere(Vec d, const Sphere& s) {
    double b = Dot(d, s.c);
    double disc = b * b - (Dot(s.c, s.c) - s.r * s.r);
    if (disc < 0)
        return INFINITY;
    double t = b - std::sqrt(disc);
    return t > 0 ? t : INFINITY;
}

double HitBox(Vec d, const Box& b) {
    // The ray starts at the ranger, the origin.
    double lo = 0, hi = INFINITY;
    const double dir[3] = {d.x, d.y, d.z};
    const double bl[3] = {b.lo.x, b.lo.y, b.lo.z}, bh[3] = {b.hi.x, b.hi.y, b.hi.z};
    for (int i = 0; i < 3; i++) {
        if (dir[i] == 0) {
            if (bl[i] > 0 || bh[i] < 0)
                return INFINITY;
            continue;
        }
        double t1 = bl[i] / dir[i], t2 = bh[i] / dir[i];
        if (t1 > t2)
            std::swap(t1, t2);
        lo = std::fmax(lo, t1);
        hi = std::fmin(hi, t2);
    }
    return lo <= hi && lo > 0 ? lo : INFINITY;
}

} // namespace

double PanDegrees(uint8_t h) {
    return PanQuarterDegrees(h) / 4.0;
}
double TiltDegrees(uint8_t v) {
    return TiltQuarterDegrees(v) / 4.0;
}

double RangeCm(uint8_t h, uint8_t v) {
    return RangeCmAt(PanDegrees(h), TiltDegrees(v));
}

double RangeCmAt(double panDegrees, double tiltDegrees) {
    double pan = panDegrees * PI / 180.0, tilt = tiltDegrees * PI / 180.0;
    Vec d = {std::cos(tilt) * std::sin(pan), std::sin(tilt), std::cos(tilt) * std::cos(pan)};
    double t = WALL_Z / d.z;
    if (d.y < 0 && d.x * FLOOR_Y / d.y >= FLOOR_EDGE_X)
        t = std::fmin(t, FLOOR_Y / d.y);
    else if (d.y * t < FLOOR_Y)
        t = INFINITY; // down the stairwell, under the floor's level

    for (const Sphere& s : SPHERES)
        t = std::fmin(t, HitSphere(d, s));
    for (const Box& b : BOXES)
        t = std::fmin(t, HitBox(d, b));
    return t;
}

bool Echoes(double cm) {
    return cm <= RANGER_MAX_CM;
}

std::string EncodeEcho(double cm) {
    if (!Echoes(cm))
        return std::to_string(ECHO_TIMEOUT_US);
    long us = std::lround(cm * 2.0 * ECHO_US_PER_CM);
    return std::to_string(us < static_cast<long>(ECHO_MIN_US) ? ECHO_MIN_US
                                                              : static_cast<unsigned long>(us));
}
