#pragma once

#include <cstdint>

#include "imaging/Bitmap.h"

namespace fotoshuttle {

struct PaletteColor {
    std::uint8_t r, g, b;
};

// Maps every pixel to a palette index, top row first, with Floyd-Steinberg error diffusion
// in serpentine order. The nearest colour is looked up per 6-bit-per-channel cell, found
// once per cell, so a 12-megapixel photograph costs a few tens of milliseconds. indices
// holds width * height bytes. False when there is no memory or the palette is empty.
bool RemapWithDithering(const Bitmap& bitmap, const PaletteColor* palette, int count,
                        std::uint8_t* indices);

}  // namespace fotoshuttle
