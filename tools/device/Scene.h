// The simulated scanner's world, shared by the simulated scanner and the board
// emulator's ranger: a few objects in front of a wall, over a floor that ends
// on the left at a stairwell where nothing echoes; ray-cast from the sensor at
// the origin in the direction a command pair points it.
#pragma once

#include <cstdint>
#include <string>

// Pan and tilt, in degrees, for a command's bytes, as the scanner's firmware
// maps them (firmware/scanner/config.h).
double PanDegrees(uint8_t h);
double TiltDegrees(uint8_t v);

// Distance in centimetres from the sensor to the first surface along the ray
// that points `pan` degrees right and `tilt` degrees up; infinite where the ray
// meets nothing.
double RangeCmAt(double pan, double tilt);
// The same for the ray a command pair points the sensor along.
double RangeCm(uint8_t h, uint8_t v);

// True when a surface `cm` away echoes within the ranger's reach.
bool Echoes(double cm);

// The reply for a range, as the scanner's firmware gives it: the round-trip
// echo time in microseconds (centimetres x 2 x ECHO_US_PER_CM, rounded) as ASCII digits;
// the ranger's minimum for anything nearer, its time-out where nothing echoes.
std::string EncodeEcho(double cm);
