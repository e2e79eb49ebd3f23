#include "imaging/codecs/ExactPalette.h"

#include <cstring>

namespace fotoshuttle {

ExactPalette::ExactPalette() {
    std::memset(m_keys, 0xFF, sizeof m_keys);
}

int ExactPalette::IndexOf(std::uint32_t rgb) {
    std::uint32_t slot = (rgb * 0x9E3779B1u) >> (32 - kSlotBits);
    while (true) {
        if (m_keys[slot] == kEmpty) {
            if (m_count == kMaxColors) {
                return -1;
            }
            m_keys[slot] = rgb;
            m_indices[slot] = static_cast<std::uint8_t>(m_count);
            m_colors[m_count] = rgb;
            return m_count++;
        }
        if (m_keys[slot] == rgb) {
            return m_indices[slot];
        }
        slot = (slot + 1) & (kSlots - 1);
    }
}

bool IndexExactColors(const Bitmap& bitmap, std::uint8_t* indices, std::size_t rowStride,
                      ExactPalette& palette) {
    std::uint32_t lastColor = 0xFFFFFFFFu;  // matches no 24-bit colour
    int lastIndex = 0;
    for (int y = 0; y < bitmap.height; ++y) {
        const std::uint8_t* in = bitmap.TopDownRow(y);
        std::uint8_t* row = indices + rowStride * static_cast<std::size_t>(y);
        for (int x = 0; x < bitmap.width; ++x, in += 4) {
            const std::uint32_t rgb =
                (std::uint32_t{in[2]} << 16) | (std::uint32_t{in[1]} << 8) | std::uint32_t{in[0]};
            if (rgb != lastColor) {
                lastIndex = palette.IndexOf(rgb);
                if (lastIndex < 0) {
                    return false;
                }
                lastColor = rgb;
            }
            row[x] = static_cast<std::uint8_t>(lastIndex);
        }
    }
    return true;
}

}  // namespace fotoshuttle
