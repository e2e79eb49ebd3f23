#pragma once

#include "imaging/Bitmap.h"

namespace fotoshuttle {

// Bilinear scaling in 8-bit fixed point, anchored at the bottom-left pixel:
//   xStep = W * 256 / newWidth and yStep = H * 256 / newHeight, truncated;
//   output (i, j) reads source (i * xStep >> 8, j * yStep >> 8) and the next column and row
//   (clamped to the last), weighted by the low 8 bits; every shift truncates.
// Alpha is interpolated for a 32-bit source and 255 otherwise. The result is 32-bit. Null for
// a null or unusable source, a size below 1 or beyond the pixel limit, or no memory.
BitmapHandle ResampleBilinear(const Bitmap* source, int newWidth, int newHeight);

}  // namespace fotoshuttle
