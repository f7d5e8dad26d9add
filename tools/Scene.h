// The simulated scanner's world: a few objects in front of a wall, ray-cast
// from the sensor at the origin in the direction a command pair points it.
#pragma once

#include <cstdint>
#include <string>

// Pan, in degrees, for horizontal command `h`: (h - 80.5) / 2, so commands
// 5..156 sweep -37.75..+37.75 degrees, left to right.
double PanDegrees(uint8_t h);
// Tilt, in degrees, for vertical command `v`: (70 - v) / 2, so 140 (layer 0)
// looks 35 degrees down and 0 (layer 140) 35 degrees up.
double TiltDegrees(uint8_t v);

// Distance in centimetres from the sensor to the first surface along the ray
// that points `pan` degrees right and `tilt` degrees up.
double RangeCmAt(double pan, double tilt);
// The same for the ray a command pair points the sensor along.
double RangeCm(uint8_t h, uint8_t v);

// The reply for a range: the round-trip echo time in microseconds
// (centimetres x 2 x 29.1, rounded), as ASCII digits.
std::string EncodeEcho(double cm);
