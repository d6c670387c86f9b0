#pragma once
// Resampling and colour quantisation of packed pixel blocks (rows top-down,
// no padding, 3 bytes R, G, B or 4 bytes R, G, B, A per pixel).
#include <cstdint>

#include "platform/qd_types.h"

class CKeptBlock;

// Resamples with a separable triangle filter: a new[] block of the
// destination's width × height pixels, owned by the caller. Null when the
// sizes are equal, either is empty, the depth is not 24 or 32, or the block
// cannot be allocated.
uint8_t* ScaleImagePixels(const uint8_t* pixels, const Rect& source, const Rect& destination, int bitsPerPixel);
// The same into out (the destination's pixels at the same depth), the
// first pass in a block the caller keeps for the next picture; the bytes
// are those ScaleImagePixels gives. False where it gives null.
bool ScaleImagePixelsInto(const uint8_t* pixels, const Rect& source, const Rect& destination, int bitsPerPixel,
                          uint8_t* out, CKeptBlock* firstPass);
// Where the processor has AVX2 the passes use it (the bytes are the same);
// false keeps them to plain code, as on processors without it.
void AllowWideScaleSums(bool allow);

// Reduces the pixels to at most maxColors (1..256) colours with an octree.
// The palette (maxColors × 4 bytes: R, G, B, 0) and its entry count are
// returned through the out arguments; the result is a new[] block of
// width × height palette indices. Pixels are 3 bytes each, 4 when
// bitsPerPixel is 32 (alpha ignored). Null for an empty picture or a bad
// colour count.
uint8_t* QuantizeColors(const uint8_t* pixels, int width, int height, int bitsPerPixel, int maxColors,
                        uint8_t* palette, int* colorCount);

// The same with an alpha plane (null: opaque everywhere): at most maxColors
// (3..256) entries of R, G, B, A. Fully transparent pixels share one entry
// of alpha 0, fully opaque ones get entries of alpha 255 only, and pixels
// in between entries of their own, quantised with their alpha.
uint8_t* QuantizeColorsWithAlpha(const uint8_t* pixels, const uint8_t* alpha, int width, int height, int maxColors,
                                 uint8_t* palette, int* colorCount);
