#include "imaging/RowConversion.h"

#include <cstring>

namespace fotoshuttle {

namespace {

inline void StraightPixel(const std::uint8_t* rgba, std::uint8_t* out,
                          const BackgroundColor& background) {
    StoreRgbaOver(out, rgba[0], rgba[1], rgba[2], rgba[3], background);
}

inline void PremultipliedPixel(std::uint8_t* p, const BackgroundColor& background) {
    const unsigned r = p[0], g = p[1], b = p[2], a = p[3];
    if (a == 255) {
        p[0] = static_cast<std::uint8_t>(b);
        p[2] = static_cast<std::uint8_t>(r);
    } else {
        p[0] = ComposePremultiplied(b, a, background.blue);
        p[1] = ComposePremultiplied(g, a, background.green);
        p[2] = ComposePremultiplied(r, a, background.red);
        p[3] = 255;
    }
}

}  // namespace

void FinishDecodedPixels(Bitmap& bitmap, DecodedLayout layout, const BackgroundColor& background) {
    const int width = bitmap.width;
    const int height = bitmap.height;
    if (layout == DecodedLayout::BottomUpRgbaPremultiplied) {
        std::uint8_t* p = bitmap.pixels.get();
        const std::size_t count =
            static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        for (std::size_t i = 0; i < count; ++i, p += 4) {
            PremultipliedPixel(p, background);
        }
        return;
    }
    // Top-down to bottom-up: swap rows pairwise, converting both pixels of each pair.
    for (int top = 0, bottom = height - 1; top <= bottom; ++top, --bottom) {
        std::uint8_t* a = bitmap.MemoryRow(top);
        std::uint8_t* b = bitmap.MemoryRow(bottom);
        if (a == b) {
            for (int x = 0; x < width; ++x) {
                std::uint8_t pixel[4];
                std::memcpy(pixel, a + x * 4, 4);
                StraightPixel(pixel, a + x * 4, background);
            }
            continue;
        }
        for (int x = 0; x < width; ++x) {
            std::uint8_t pa[4], pb[4];
            std::memcpy(pa, a + x * 4, 4);
            std::memcpy(pb, b + x * 4, 4);
            StraightPixel(pb, a + x * 4, background);
            StraightPixel(pa, b + x * 4, background);
        }
    }
}

void BgraRowToRgb(const std::uint8_t* bgra, std::uint8_t* rgb, int width) {
    for (int x = 0; x < width; ++x, bgra += 4, rgb += 3) {
        rgb[0] = bgra[2];
        rgb[1] = bgra[1];
        rgb[2] = bgra[0];
    }
}

}  // namespace fotoshuttle
