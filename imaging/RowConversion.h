#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Bitmap.h"
#include "imaging/PixelComposition.h"

namespace fotoshuttle {

// The layout a decoder left in the bitmap's own memory before it is made ours.
enum class DecodedLayout {
    TopDownRgbaStraight,       // rows top first, bytes r g b a, alpha not premultiplied
    BottomUpRgbaPremultiplied  // rows bottom first, bytes r g b a, colour premultiplied
};

// Turns the bitmap's memory, filled by a decoder in the given layout, into opaque bottom-up
// blue, green, red, alpha pixels composed over the background. Works in place.
void FinishDecodedPixels(Bitmap& bitmap, DecodedLayout layout, const BackgroundColor& background);

// One bitmap row (blue, green, red, alpha) to packed red, green, blue.
void BgraRowToRgb(const std::uint8_t* bgra, std::uint8_t* rgb, int width);

}  // namespace fotoshuttle
