#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Bitmap.h"

namespace fotoshuttle {

// The distinct colours of a picture that has at most 256, in order of first appearance
// (top row first); the palette formats use it to store such pictures without loss.
class ExactPalette {
  public:
    static constexpr int kMaxColors = 256;

    ExactPalette();

    // Index of the colour (0xRRGGBB), adding it when new, or -1 when it would be the 257th.
    int IndexOf(std::uint32_t rgb);
    int Count() const { return m_count; }
    std::uint32_t Color(int index) const { return m_colors[index]; }

  private:
    static constexpr int kSlotBits = 10;
    static constexpr std::uint32_t kSlots = 1u << kSlotBits;
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;  // no 24-bit colour has this value
    std::uint32_t m_keys[kSlots];
    std::uint8_t m_indices[kSlots] = {};
    std::uint32_t m_colors[kMaxColors] = {};
    int m_count = 0;
};

// Writes each pixel's palette index (alpha ignored), top row first, row y starting at
// indices + y * rowStride. False as soon as the picture shows a 257th colour; a photograph
// gets there within its first rows.
bool IndexExactColors(const Bitmap& bitmap, std::uint8_t* indices, std::size_t rowStride,
                      ExactPalette& palette);

}  // namespace fotoshuttle
