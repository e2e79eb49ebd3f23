#include "imaging/ResamplingKernels.h"

#if defined(__x86_64__) || defined(_M_X64)

#include <emmintrin.h>

#include <cstring>

namespace fotoshuttle::resampling {

namespace {

inline __m128i LoadPair(const std::uint8_t* row, std::uint32_t offset) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + offset));
}

// a * (256 - w) + b * w, rewritten as (a << 8) + (b - a) * w: the exact sum never exceeds
// 255 * 256, so 16-bit wrap-around gives it unchanged.
inline __m128i Mix(__m128i a, __m128i b, __m128i w) {
    return _mm_srli_epi16(
        _mm_add_epi16(_mm_slli_epi16(a, 8), _mm_mullo_epi16(_mm_sub_epi16(b, a), w)), 8);
}

}  // namespace

void MixRowHorizontallySse2(const std::uint8_t* row, const ColumnPlan& plan, std::uint16_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const int width = plan.width;
    int i = 0;
    for (; i + 4 <= width; i += 4) {
        const std::uint32_t* offsets = plan.pairOffset.get() + i;
        const __m128i q01 =
            _mm_unpacklo_epi64(LoadPair(row, offsets[0]), LoadPair(row, offsets[1]));
        const __m128i q23 =
            _mm_unpacklo_epi64(LoadPair(row, offsets[2]), LoadPair(row, offsets[3]));
        // Left neighbours are the even words, right neighbours the odd ones.
        const __m128i left = _mm_castps_si128(
            _mm_shuffle_ps(_mm_castsi128_ps(q01), _mm_castsi128_ps(q23), _MM_SHUFFLE(2, 0, 2, 0)));
        const __m128i right = _mm_castps_si128(
            _mm_shuffle_ps(_mm_castsi128_ps(q01), _mm_castsi128_ps(q23), _MM_SHUFFLE(3, 1, 3, 1)));
        const auto* weights = reinterpret_cast<const __m128i*>(plan.weights.get() + 4 * i);
        auto* target = reinterpret_cast<__m128i*>(out + 4 * i);
        _mm_storeu_si128(target, Mix(_mm_unpacklo_epi8(left, zero), _mm_unpacklo_epi8(right, zero),
                                     _mm_loadu_si128(weights)));
        _mm_storeu_si128(target + 1,
                         Mix(_mm_unpackhi_epi8(left, zero), _mm_unpackhi_epi8(right, zero),
                             _mm_loadu_si128(weights + 1)));
    }
    MixRowHorizontallyScalar(row, plan, i, out);
}

void MixRowsVerticallySse2(const std::uint16_t* h0, const std::uint16_t* h1, std::uint32_t wy,
                           std::uint32_t opaque, int width, std::uint8_t* out) {
    const __m128i weight = _mm_set1_epi16(static_cast<short>(wy));
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(opaque));
    int i = 0;
    for (; i + 4 <= width; i += 4) {
        const auto* a = reinterpret_cast<const __m128i*>(h0 + 4 * i);
        const auto* b = reinterpret_cast<const __m128i*>(h1 + 4 * i);
        const __m128i low = Mix(_mm_loadu_si128(a), _mm_loadu_si128(b), weight);
        const __m128i high = Mix(_mm_loadu_si128(a + 1), _mm_loadu_si128(b + 1), weight);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i),
                         _mm_or_si128(_mm_packus_epi16(low, high), alpha));
    }
    MixRowsVerticallyScalar(h0, h1, wy, opaque, i, width, out);
}

}  // namespace fotoshuttle::resampling

#endif
