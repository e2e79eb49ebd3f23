#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace fotoshuttle {

// Largest picture the program accepts, in pixels: 2^28 (268,435,456, e.g. 16384 x 16384).
// Its 32-bit pixels take at most 1 GiB, and every byte offset fits a signed 32-bit integer.
// Decoders check a picture's declared size against it before they allocate anything large.
inline constexpr std::uint64_t kMaxPicturePixels = std::uint64_t{1} << 28;

// A picture in memory: 32-bit pixels whose bytes are blue, green, red, alpha, in rows of
// exactly width * 4 bytes that run bottom-up (the first row in memory is the picture's
// bottom row). bitsPerPixel is that of the source the picture came from; only 32 counts as
// carrying alpha when the picture is resampled.
struct Bitmap {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 32;
    std::unique_ptr<std::uint8_t[]> pixels;

    std::size_t RowBytes() const { return static_cast<std::size_t>(width) * 4; }
    std::size_t PixelBytes() const { return RowBytes() * static_cast<std::size_t>(height); }
    // Row in memory order: 0 is the bottom row.
    std::uint8_t* MemoryRow(int row) { return pixels.get() + RowBytes() * row; }
    const std::uint8_t* MemoryRow(int row) const { return pixels.get() + RowBytes() * row; }
    // Row counted from the top of the picture, as files usually store them.
    std::uint8_t* TopDownRow(int y) { return MemoryRow(height - 1 - y); }
    const std::uint8_t* TopDownRow(int y) const { return MemoryRow(height - 1 - y); }
};

// The picture handle: an empty pointer is the null handle, which every operation accepts.
using BitmapHandle = std::unique_ptr<Bitmap>;

// True when a width x height picture is within the pixel limit (both sides at least 1).
bool IsAcceptablePictureSize(std::uint64_t width, std::uint64_t height);

// A new picture with uninitialised pixels, or null when the size is outside 1..limit or
// the memory cannot be had.
BitmapHandle CreateBitmap(int width, int height, int bitsPerPixel);

// True when the handle holds a usable picture (sizes positive, pixels present).
bool IsUsableBitmap(const Bitmap* bitmap);

}  // namespace fotoshuttle
