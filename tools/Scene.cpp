#include "Scene.h"

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
    double lo = 0, hi = INFINITY;
    const double o[3] = {0, 0, 0}, dir[3] = {d.x, d.y, d.z};
    const double bl[3] = {b.lo.x, b.lo.y, b.lo.z}, bh[3] = {b.hi.x, b.hi.y, b.hi.z};
    for (int i = 0; i < 3; i++) {
        if (dir[i] == 0) {
            if (o[i] < bl[i] || o[i] > bh[i])
                return INFINITY;
            continue;
        }
        double t1 = (bl[i] - o[i]) / dir[i], t2 = (bh[i] - o[i]) / dir[i];
        if (t1 > t2)
            std::swap(t1, t2);
        lo = std::fmax(lo, t1);
        hi = std::fmin(hi, t2);
    }
    return lo <= hi && lo > 0 ? lo : INFINITY;
}

} // namespace

double PanDegrees(uint8_t h) {
    return (h - 80.5) / 2.0;
}
double TiltDegrees(uint8_t v) {
    return (70.0 - v) / 2.0;
}

double RangeCm(uint8_t h, uint8_t v) {
    return RangeCmAt(PanDegrees(h), TiltDegrees(v));
}

double RangeCmAt(double panDegrees, double tiltDegrees) {
    double pan = panDegrees * PI / 180.0, tilt = tiltDegrees * PI / 180.0;
    Vec d = {std::cos(tilt) * std::sin(pan), std::sin(tilt), std::cos(tilt) * std::cos(pan)};
    double t = WALL_Z / d.z;
    if (d.y < 0)
        t = std::fmin(t, FLOOR_Y / d.y);
    for (const Sphere& s : SPHERES)
        t = std::fmin(t, HitSphere(d, s));
    for (const Box& b : BOXES)
        t = std::fmin(t, HitBox(d, b));
    return t;
}

std::string EncodeEcho(double cm) {
    long us = std::lround(cm * 2.0 * 29.1);
    return std::to_string(us < 0 ? 0 : us);
}
