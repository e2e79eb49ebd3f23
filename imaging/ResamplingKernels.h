#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/Bitmap.h"

namespace fotoshuttle {

// The bilinear rule is separable: each output row mixes two source rows that were first
// mixed horizontally, so a horizontally mixed row (16 bits per channel, values 0..255) can
// serve every output row that reads it. All kernels give the same bytes as the scalar one.
enum class ResampleKernel { Scalar, Sse2, Avx2 };

// True when this processor can run the kernel.
bool IsKernelAvailable(ResampleKernel kernel);

// The fastest kernel this processor can run.
ResampleKernel FastestKernel();

// ResampleBilinear with a chosen kernel (which must be available); same results and
// failures.
BitmapHandle ResampleBilinearWith(ResampleKernel kernel, const Bitmap* source, int newWidth,
                                  int newHeight);

namespace resampling {

// Per output column, computed once per call: the byte offset of the two neighbours read
// as one 8-byte pair, and the weight of the right one, repeated for the four channels.
// At the last column the pair starts one pixel earlier with weight 256, which gives the
// clamped neighbour's value exactly.
struct ColumnPlan {
    int width = 0;
    std::unique_ptr<std::uint32_t[]> pairOffset;
    std::unique_ptr<std::uint16_t[]> weights;  // 4 per column
};

// False when there is no memory. sourceWidth must be at least 2.
bool MakeColumnPlan(int sourceWidth, int newWidth, ColumnPlan& plan);

// out[4 * i + c] = (p0 * (256 - w) + p1 * w) >> 8 for columns first..plan.width-1.
void MixRowHorizontallyScalar(const std::uint8_t* row, const ColumnPlan& plan, int first,
                              std::uint16_t* out);
// out = (h0 * (256 - wy) + h1 * wy) >> 8 | opaque for pixels first..width-1.
void MixRowsVerticallyScalar(const std::uint16_t* h0, const std::uint16_t* h1, std::uint32_t wy,
                             std::uint32_t opaque, int first, int width, std::uint8_t* out);

void MixRowHorizontallySse2(const std::uint8_t* row, const ColumnPlan& plan, std::uint16_t* out);
void MixRowsVerticallySse2(const std::uint16_t* h0, const std::uint16_t* h1, std::uint32_t wy,
                           std::uint32_t opaque, int width, std::uint8_t* out);
void MixRowHorizontallyAvx2(const std::uint8_t* row, const ColumnPlan& plan, std::uint16_t* out);
void MixRowsVerticallyAvx2(const std::uint16_t* h0, const std::uint16_t* h1, std::uint32_t wy,
                           std::uint32_t opaque, int width, std::uint8_t* out);

}  // namespace resampling
}  // namespace fotoshuttle
