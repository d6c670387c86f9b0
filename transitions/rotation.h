#pragma once
// The turning matrix of the spinning kinds: θ in degrees, turned about the
// translation (x, y) and scaled by (kx, ky). The radians, sine and cosine
// are single precision and every term is truncated towards zero, so the
// terms are those of a float computation, not of a rounded one.
#include <cstdint>

class CSwfMatrix;

// A new matrix with scale and rotate set; a growing θ turns clockwise on
// screen (y points down). Terms are kept to what a matrix field holds: the
// scales given are those of placements, which are kept so already.
CSwfMatrix* RotationMatrix(double theta, double kx, double ky, int32_t x, int32_t y);

// The angle in degrees, within one turn either way, at which frame i of n
// stands of a turn through `turns` turns (negative: the other way). With
// aligned, the turn starts behind by its part beyond whole turns, so frame
// n stands upright. Whole turns are taken off exactly before anything is
// single precision, so any float turn count ends where it should; a count
// that is no number turns not at all.
double TurnAt(float turns, bool aligned, int64_t i, int64_t n);
