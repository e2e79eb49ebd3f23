#pragma once

#include <cstdint>

namespace fotoshuttle {

// The opaque colour put behind pixels that are not fully opaque, as 0xAARRGGBB (alpha is
// ignored: the background always counts as opaque).
struct BackgroundColor {
    std::uint8_t red = 0xF0;
    std::uint8_t green = 0xF0;
    std::uint8_t blue = 0xF0;

    static constexpr BackgroundColor FromArgb(std::uint32_t argb) {
        return BackgroundColor{static_cast<std::uint8_t>(argb >> 16),
                               static_cast<std::uint8_t>(argb >> 8),
                               static_cast<std::uint8_t>(argb)};
    }
    constexpr std::uint32_t ToArgb() const {
        return 0xFF000000u | (std::uint32_t{red} << 16) | (std::uint32_t{green} << 8) | blue;
    }
};

// Straight (not premultiplied) colour c with coverage a over background b, rounded.
inline std::uint8_t ComposeStraight(unsigned c, unsigned a, unsigned b) {
    return static_cast<std::uint8_t>((c * a + b * (255 - a) + 127) / 255);
}

// Premultiplied colour c with coverage a over background b, rounded and clamped (damaged
// files may carry colour above their alpha).
inline std::uint8_t ComposePremultiplied(unsigned c, unsigned a, unsigned b) {
    unsigned value = c + (b * (255 - a) + 127) / 255;
    return static_cast<std::uint8_t>(value > 255 ? 255 : value);
}

// Writes one opaque blue, green, red, alpha pixel from straight red, green, blue, alpha.
inline void StoreRgbaOver(std::uint8_t* bgra, unsigned r, unsigned g, unsigned b, unsigned a,
                          const BackgroundColor& background) {
    if (a == 255) {
        bgra[0] = static_cast<std::uint8_t>(b);
        bgra[1] = static_cast<std::uint8_t>(g);
        bgra[2] = static_cast<std::uint8_t>(r);
    } else {
        bgra[0] = ComposeStraight(b, a, background.blue);
        bgra[1] = ComposeStraight(g, a, background.green);
        bgra[2] = ComposeStraight(r, a, background.red);
    }
    bgra[3] = 255;
}

}  // namespace fotoshuttle
