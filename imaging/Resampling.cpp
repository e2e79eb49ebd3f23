#include "imaging/Resampling.h"

#include <cstdint>
#include <cstring>

namespace fotoshuttle {

namespace {

// The four bytes of a pixel spread over the 16-bit lanes of a 64-bit word (blue, red,
// green, alpha from the lowest lane), so one multiplication weighs all four channels: a
// lane's weighted sum is at most 255 * 256 and never carries into the next.
constexpr std::uint64_t kLaneMask = 0x00FF00FF00FF00FFull;

inline std::uint64_t Spread(const std::uint8_t* pixel) {
    std::uint32_t value;
    std::memcpy(&value, pixel, 4);
    const std::uint64_t wide = value;
    return (wide | (wide << 24)) & kLaneMask;
}

inline std::uint32_t Gather(std::uint64_t lanes) {
    return static_cast<std::uint32_t>((lanes & 0x00FF00FFull) | ((lanes >> 24) & 0xFF00FF00ull));
}

// (a * (256 - w) + b * w) >> 8 in every lane.
inline std::uint64_t Mix(std::uint64_t a, std::uint64_t b, std::uint32_t w) {
    return ((a * (256 - w) + b * w) >> 8) & kLaneMask;
}

}  // namespace

BitmapHandle ResampleBilinear(const Bitmap* source, int newWidth, int newHeight) {
    if (!IsUsableBitmap(source) || newWidth < 1 || newHeight < 1) {
        return nullptr;
    }
    BitmapHandle result = CreateBitmap(newWidth, newHeight, 32);
    if (!result) {
        return nullptr;
    }
    const int width = source->width;
    const int height = source->height;
    // 64-bit positions give the same values as 32-bit ones wherever those do not overflow
    // (sources up to 2^24 pixels wide), and stay right beyond.
    const std::uint64_t xStep = static_cast<std::uint64_t>(width) * 256 / newWidth;
    const std::uint64_t yStep = static_cast<std::uint64_t>(height) * 256 / newHeight;
    const std::uint32_t opaque = source->bitsPerPixel == 32 ? 0u : 0xFF000000u;
    const std::size_t lastColumn = static_cast<std::size_t>(width) - 1;

    std::uint64_t fy = 0;
    for (int j = 0; j < newHeight; ++j, fy += yStep) {
        const auto y0 = static_cast<int>(fy >> 8);
        const int y1 = y0 + 1 < height ? y0 + 1 : height - 1;
        const auto wy = static_cast<std::uint32_t>(fy & 255);
        const std::uint8_t* row0 = source->MemoryRow(y0);
        const std::uint8_t* row1 = source->MemoryRow(y1);
        std::uint8_t* out = result->MemoryRow(j);
        std::uint64_t fx = 0;
        for (int i = 0; i < newWidth; ++i, fx += xStep, out += 4) {
            const std::size_t x0 = static_cast<std::size_t>(fx >> 8);
            const std::size_t x1 = x0 < lastColumn ? x0 + 1 : lastColumn;
            const auto wx = static_cast<std::uint32_t>(fx & 255);
            const std::uint64_t r0 = Mix(Spread(row0 + x0 * 4), Spread(row0 + x1 * 4), wx);
            const std::uint64_t r1 = Mix(Spread(row1 + x0 * 4), Spread(row1 + x1 * 4), wx);
            const std::uint32_t value = Gather(Mix(r0, r1, wy)) | opaque;
            std::memcpy(out, &value, 4);
        }
    }
    return result;
}

}  // namespace fotoshuttle
