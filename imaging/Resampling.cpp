#include "imaging/Resampling.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "imaging/ResamplingKernels.h"

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

// The rule written out pixel by pixel; also the reference the vector kernels are held to.
BitmapHandle ResampleScalar(const Bitmap* source, int newWidth, int newHeight) {
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

using resampling::ColumnPlan;

using HorizontalMix = void (*)(const std::uint8_t*, const ColumnPlan&, std::uint16_t*);
using VerticalMix = void (*)(const std::uint16_t*, const std::uint16_t*, std::uint32_t,
                             std::uint32_t, int, std::uint8_t*);

// Keeps the horizontally mixed rows of the last two source rows read, so an enlargement
// mixes each source row once and a reduction mixes only the rows it samples.
BitmapHandle ResampleSeparable(const Bitmap* source, int newWidth, int newHeight,
                               HorizontalMix horizontal, VerticalMix vertical) {
    BitmapHandle result = CreateBitmap(newWidth, newHeight, 32);
    ColumnPlan plan;
    const std::size_t mixedValues = static_cast<std::size_t>(newWidth) * 4;
    std::unique_ptr<std::uint16_t[]> mixed(new (std::nothrow) std::uint16_t[mixedValues * 2]);
    if (!result || !mixed || !resampling::MakeColumnPlan(source->width, newWidth, plan)) {
        return nullptr;
    }
    const int height = source->height;
    const std::uint64_t yStep = static_cast<std::uint64_t>(height) * 256 / newHeight;
    const std::uint32_t opaque = source->bitsPerPixel == 32 ? 0u : 0xFF000000u;
    std::uint16_t* slot[2] = {mixed.get(), mixed.get() + mixedValues};
    int slotRow[2] = {-1, -1};
    auto mixedRow = [&](int row, int keep) -> const std::uint16_t* {
        for (int s = 0; s < 2; ++s) {
            if (slotRow[s] == row) {
                return slot[s];
            }
        }
        const int s = slotRow[0] == keep ? 1 : 0;
        horizontal(source->MemoryRow(row), plan, slot[s]);
        slotRow[s] = row;
        return slot[s];
    };
    // A reduction jumps over rows, which the processor's own prefetching does not follow
    // across page boundaries: the next output row's source rows are asked for ahead, when
    // the samples are close enough to read every cache line of them anyway.
    const std::size_t rowBytes = source->RowBytes();
    const bool denseSamples = source->width / newWidth < 16;
    auto prefetchRow = [&](int row) {
        if (!denseSamples || row == slotRow[0] || row == slotRow[1]) {
            return;
        }
        const std::uint8_t* first = source->MemoryRow(row);
        for (std::size_t offset = 0; offset < rowBytes; offset += 64) {
            __builtin_prefetch(first + offset);
        }
    };
    std::uint64_t fy = 0;
    for (int j = 0; j < newHeight; ++j, fy += yStep) {
        const auto y0 = static_cast<int>(fy >> 8);
        const auto wy = static_cast<std::uint32_t>(fy & 255);
        // With weight 0 the upper row adds nothing, so it is not read at all.
        const int y1 = wy == 0 ? y0 : y0 + 1 < height ? y0 + 1 : height - 1;
        if (j + 1 < newHeight) {
            const std::uint64_t next = fy + yStep;
            const auto nextRow = static_cast<int>(next >> 8);
            prefetchRow(nextRow);
            if ((next & 255) != 0 && nextRow + 1 < height) {
                prefetchRow(nextRow + 1);
            }
        }
        const std::uint16_t* h0 = mixedRow(y0, y1);
        const std::uint16_t* h1 = mixedRow(y1, y0);
        vertical(h0, h1, wy, opaque, newWidth, result->MemoryRow(j));
    }
    return result;
}

}  // namespace

namespace resampling {

bool MakeColumnPlan(int sourceWidth, int newWidth, ColumnPlan& plan) {
    plan.width = newWidth;
    plan.pairOffset.reset(new (std::nothrow) std::uint32_t[static_cast<std::size_t>(newWidth)]);
    plan.weights.reset(new (std::nothrow) std::uint16_t[static_cast<std::size_t>(newWidth) * 4]);
    if (!plan.pairOffset || !plan.weights) {
        return false;
    }
    const std::uint64_t xStep = static_cast<std::uint64_t>(sourceWidth) * 256 / newWidth;
    const std::uint64_t lastColumn = static_cast<std::uint64_t>(sourceWidth) - 1;
    std::uint64_t fx = 0;
    for (int i = 0; i < newWidth; ++i, fx += xStep) {
        std::uint64_t x0 = fx >> 8;
        auto weight = static_cast<std::uint16_t>(fx & 255);
        if (x0 >= lastColumn) {
            x0 = lastColumn - 1;
            weight = 256;
        }
        plan.pairOffset[i] = static_cast<std::uint32_t>(x0 * 4);
        for (int c = 0; c < 4; ++c) {
            plan.weights[static_cast<std::size_t>(i) * 4 + c] = weight;
        }
    }
    return true;
}

void MixRowHorizontallyScalar(const std::uint8_t* row, const ColumnPlan& plan, int first,
                              std::uint16_t* out) {
    for (int i = first; i < plan.width; ++i) {
        const std::uint8_t* pair = row + plan.pairOffset[i];
        const std::uint32_t w = plan.weights[static_cast<std::size_t>(i) * 4];
        for (int c = 0; c < 4; ++c) {
            out[4 * i + c] =
                static_cast<std::uint16_t>((pair[c] * (256 - w) + pair[c + 4] * w) >> 8);
        }
    }
}

void MixRowsVerticallyScalar(const std::uint16_t* h0, const std::uint16_t* h1, std::uint32_t wy,
                             std::uint32_t opaque, int first, int width, std::uint8_t* out) {
    for (int i = first; i < width; ++i) {
        std::uint32_t value = 0;
        for (int c = 0; c < 4; ++c) {
            const std::uint32_t mixed = (h0[4 * i + c] * (256 - wy) + h1[4 * i + c] * wy) >> 8;
            value |= mixed << (8 * c);
        }
        value |= opaque;
        std::memcpy(out + 4 * i, &value, 4);
    }
}

}  // namespace resampling

bool IsKernelAvailable(ResampleKernel kernel) {
    switch (kernel) {
        case ResampleKernel::Scalar:
            return true;
#if defined(__x86_64__) || defined(_M_X64)
        case ResampleKernel::Sse2:
            return true;
        case ResampleKernel::Avx2:
            return __builtin_cpu_supports("avx2");
#endif
        default:
            return false;
    }
}

ResampleKernel FastestKernel() {
    static const ResampleKernel fastest =
        IsKernelAvailable(ResampleKernel::Avx2)   ? ResampleKernel::Avx2
        : IsKernelAvailable(ResampleKernel::Sse2) ? ResampleKernel::Sse2
                                                  : ResampleKernel::Scalar;
    return fastest;
}

BitmapHandle ResampleBilinearWith(ResampleKernel kernel, const Bitmap* source, int newWidth,
                                  int newHeight) {
    if (!IsUsableBitmap(source) || newWidth < 1 || newHeight < 1 ||
        !IsAcceptablePictureSize(static_cast<std::uint64_t>(newWidth),
                                 static_cast<std::uint64_t>(newHeight)) ||
        !IsKernelAvailable(kernel)) {
        return nullptr;
    }
    // A one-pixel-wide source has no neighbour pair to read.
    if (source->width < 2) {
        kernel = ResampleKernel::Scalar;
    }
    switch (kernel) {
#if defined(__x86_64__) || defined(_M_X64)
        case ResampleKernel::Avx2:
            return ResampleSeparable(source, newWidth, newHeight,
                                     resampling::MixRowHorizontallyAvx2,
                                     resampling::MixRowsVerticallyAvx2);
        case ResampleKernel::Sse2:
            return ResampleSeparable(source, newWidth, newHeight,
                                     resampling::MixRowHorizontallySse2,
                                     resampling::MixRowsVerticallySse2);
#endif
        default:
            return ResampleScalar(source, newWidth, newHeight);
    }
}

BitmapHandle ResampleBilinear(const Bitmap* source, int newWidth, int newHeight) {
    return ResampleBilinearWith(FastestKernel(), source, newWidth, newHeight);
}

}  // namespace fotoshuttle
