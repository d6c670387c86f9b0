#pragma once
// The turning matrix of the spinning kinds: θ in degrees, turned about the
// translation (x, y) and scaled by (kx, ky). The radians, sine and cosine
// are single precision and every term is truncated towards zero, so the
// terms are those of a float computation, not of a rounded one.
#include <cstdint>

class CSwfMatrix;

// A new matrix with scale and rotate set; a growing θ turns clockwise on
// screen (y points down).
CSwfMatrix* RotationMatrix(double theta, double kx, double ky, int32_t x, int32_t y);
