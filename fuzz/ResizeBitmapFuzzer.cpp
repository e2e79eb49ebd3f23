// Fuzz target for ResizeBitmap: source and target sizes, bit depth and pixels from the input.
// The result must equal, byte for byte, the scaling rule computed the plain way, so the fast
// kernels are checked on every size the fuzzer finds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imaging/PictureOperations.h"

namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::uint32_t Next(std::uint32_t range) {
        std::uint32_t value = 0;
        for (int i = 0; i < 2 && size > 0; ++i, ++data, --size) {
            value = (value << 8) | *data;
        }
        return value % range;
    }
};

std::uint8_t Expected(const fotoshuttle::Bitmap& source, int newWidth, int newHeight, int i, int j,
                      int c) {
    const std::uint64_t W = static_cast<std::uint64_t>(source.width);
    const std::uint64_t H = static_cast<std::uint64_t>(source.height);
    const std::uint64_t xStep = (W * 256) / static_cast<std::uint64_t>(newWidth);
    const std::uint64_t yStep = (H * 256) / static_cast<std::uint64_t>(newHeight);
    const std::uint64_t fx = static_cast<std::uint64_t>(i) * xStep;
    const std::uint64_t fy = static_cast<std::uint64_t>(j) * yStep;
    const std::uint64_t x0 = fx >> 8, y0 = fy >> 8;
    const std::uint64_t x1 = std::min(x0 + 1, W - 1), y1 = std::min(y0 + 1, H - 1);
    const std::uint32_t wx = fx & 255, wy = fy & 255;
    auto at = [&](std::uint64_t x, std::uint64_t y) {
        return std::uint32_t{source.MemoryRow(static_cast<int>(y))[x * 4 + c]};
    };
    const std::uint32_t r0 = (at(x0, y0) * (256 - wx) + at(x1, y0) * wx) >> 8;
    const std::uint32_t r1 = (at(x0, y1) * (256 - wx) + at(x1, y1) * wx) >> 8;
    return static_cast<std::uint8_t>((r0 * (256 - wy) + r1 * wy) >> 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in{data, size};
    const int width = static_cast<int>(in.Next(300)) + 1;
    const int height = static_cast<int>(in.Next(300)) + 1;
    // Targets from 0 (refused) to twice the largest source; 1 in 64 four times wider or taller.
    int newWidth = static_cast<int>(in.Next(600));
    int newHeight = static_cast<int>(in.Next(600));
    const std::uint32_t shape = in.Next(64);
    if (shape == 0) {
        newWidth = newWidth * 4 + 1;
    } else if (shape == 1) {
        newHeight = newHeight * 4 + 1;
    }
    const int bits = in.Next(2) == 0 ? 32 : 24;

    fotoshuttle::BitmapHandle source = fotoshuttle::CreateBitmap(width, height, bits);
    if (!source) {
        return 0;
    }
    // Pixels: the rest of the input, repeated; a fixed pattern when there is none.
    const std::size_t bytes = source->PixelBytes();
    for (std::size_t k = 0; k < bytes; ++k) {
        source->pixels[k] = in.size > 0 ? in.data[k % in.size] : static_cast<std::uint8_t>(k * 37);
    }
    const std::unique_ptr<std::uint8_t[]> before(new std::uint8_t[bytes]);
    std::memcpy(before.get(), source->pixels.get(), bytes);

    static fotoshuttle::CPictureOperations operations;
    fotoshuttle::BitmapHandle result = operations.ResizeBitmap(source.get(), newWidth, newHeight);
    if (std::memcmp(before.get(), source->pixels.get(), bytes) != 0) {
        std::abort();  // the source is the caller's and must stay as it was
    }
    if (newWidth < 1 || newHeight < 1) {
        if (result) {
            std::abort();
        }
        return 0;
    }
    if (!result || result->width != newWidth || result->height != newHeight ||
        result->bitsPerPixel != 32) {
        std::abort();
    }
    for (int j = 0; j < newHeight; ++j) {
        const std::uint8_t* row = result->MemoryRow(j);
        for (int i = 0; i < newWidth; ++i) {
            for (int c = 0; c < 4; ++c) {
                const std::uint8_t expected =
                    (c == 3 && bits != 32) ? 255 : Expected(*source, newWidth, newHeight, i, j, c);
                if (row[i * 4 + c] != expected) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}
