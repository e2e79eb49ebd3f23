// Built with AVX2 enabled; only called after the processor has been asked.
#include "imaging/ResamplingKernels.h"

#if defined(__x86_64__) || defined(_M_X64)

#include <immintrin.h>

namespace fotoshuttle::resampling {

namespace {

// (a << 8) + (b - a) * w equals a * (256 - w) + b * w, which fits 16 bits.
inline __m256i Mix(__m256i a, __m256i b, __m256i w) {
    return _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_slli_epi16(a, 8), _mm256_mullo_epi16(_mm256_sub_epi16(b, a), w)),
        8);
}

}  // namespace

void MixRowHorizontallyAvx2(const std::uint8_t* row, const ColumnPlan& plan, std::uint16_t* out) {
    const int width = plan.width;
    const __m256i zero = _mm256_setzero_si256();
    const auto* base = reinterpret_cast<const long long*>(row);
    int i = 0;
    for (; i + 4 <= width; i += 4) {
        // Four neighbour pairs, one per 64-bit lane; byte offsets, so scale 1.
        const __m128i offsets =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(plan.pairOffset.get() + i));
        const __m256i pairs = _mm256_i32gather_epi64(base, offsets, 1);
        // Per 128-bit lane: left, left, right, right; then widened to 16 bits.
        const __m256i sorted = _mm256_shuffle_epi32(pairs, _MM_SHUFFLE(3, 1, 2, 0));
        const __m256i weights =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(plan.weights.get() + 4 * i));
        _mm256_storeu_si256(
            reinterpret_cast<__m256i*>(out + 4 * i),
            Mix(_mm256_unpacklo_epi8(sorted, zero), _mm256_unpackhi_epi8(sorted, zero), weights));
    }
    MixRowHorizontallyScalar(row, plan, i, out);
}

void MixRowsVerticallyAvx2(const std::uint16_t* h0, const std::uint16_t* h1, std::uint32_t wy,
                           std::uint32_t opaque, int width, std::uint8_t* out) {
    const __m256i weight = _mm256_set1_epi16(static_cast<short>(wy));
    const __m256i alpha = _mm256_set1_epi32(static_cast<int>(opaque));
    int i = 0;
    for (; i + 8 <= width; i += 8) {
        const auto* a = reinterpret_cast<const __m256i*>(h0 + 4 * i);
        const auto* b = reinterpret_cast<const __m256i*>(h1 + 4 * i);
        const __m256i low = Mix(_mm256_loadu_si256(a), _mm256_loadu_si256(b), weight);
        const __m256i high = Mix(_mm256_loadu_si256(a + 1), _mm256_loadu_si256(b + 1), weight);
        // packus works within 128-bit lanes; the permutation puts the pixels back in order.
        const __m256i packed =
            _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), _MM_SHUFFLE(3, 1, 2, 0));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * i),
                            _mm256_or_si256(packed, alpha));
    }
    MixRowsVerticallyScalar(h0, h1, wy, opaque, i, width, out);
}

}  // namespace fotoshuttle::resampling

#endif
