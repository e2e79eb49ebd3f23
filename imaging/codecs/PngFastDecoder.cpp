#include "imaging/codecs/PngFastDecoder.h"

#include <libdeflate.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/RowConversion.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace fotoshuttle {

namespace {

constexpr std::size_t kSignatureBytes = 8;

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* decompressor) const {
        libdeflate_free_decompressor(decompressor);
    }
};

std::uint32_t ReadBigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

bool ChunkChecksumHolds(const std::uint8_t* chunk, std::uint32_t length) {
    return libdeflate_crc32(0, chunk + 4, length + 4) == ReadBigEndian32(chunk + 8 + length);
}

#if defined(__x86_64__) || defined(_M_X64)
inline __m128i Load4(const std::uint8_t* p) {
    std::int32_t value;
    std::memcpy(&value, p, 4);
    return _mm_cvtsi32_si128(value);
}

inline __m128i Absolute(__m128i x) {
    return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x));
}

// One pixel at a time, its channels side by side in 16-bit lanes. Each store writes four
// bytes; with three channels the fourth is overwritten by the next pixel (the row has a
// spare byte at its end).
void UnfilterPaethSse2(const std::uint8_t* raw, const std::uint8_t* above, std::uint8_t* out,
                       std::size_t rowBytes, int channels) {
    const __m128i zero = _mm_setzero_si128();
    __m128i a = zero;
    __m128i c = zero;
    for (std::size_t i = 0; i < rowBytes; i += static_cast<std::size_t>(channels)) {
        const __m128i b = _mm_unpacklo_epi8(Load4(above + i), zero);
        const __m128i x = _mm_unpacklo_epi8(Load4(raw + i), zero);
        __m128i pa = _mm_sub_epi16(b, c);
        __m128i pb = _mm_sub_epi16(a, c);
        __m128i pc = Absolute(_mm_add_epi16(pa, pb));
        pa = Absolute(pa);
        pb = Absolute(pb);
        const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
        const __m128i useA = _mm_cmpeq_epi16(smallest, pa);
        const __m128i useB = _mm_andnot_si128(useA, _mm_cmpeq_epi16(smallest, pb));
        const __m128i useC = _mm_andnot_si128(_mm_or_si128(useA, useB), _mm_set1_epi16(-1));
        const __m128i predictor = _mm_or_si128(
            _mm_or_si128(_mm_and_si128(useA, a), _mm_and_si128(useB, b)), _mm_and_si128(useC, c));
        const __m128i value = _mm_and_si128(_mm_add_epi16(x, predictor), _mm_set1_epi16(0xFF));
        const std::int32_t packed = _mm_cvtsi128_si32(_mm_packus_epi16(value, zero));
        std::memcpy(out + i, &packed, 4);
        a = value;
        c = b;
    }
}
#endif

// Undoes one row's filter into out (rowBytes + 1 bytes of room); above is the previous
// output row, all zeros for the first.
bool UnfilterRow(std::uint8_t filter, const std::uint8_t* raw, const std::uint8_t* above,
                 std::uint8_t* out, std::size_t rowBytes, int channels) {
    const auto bpp = static_cast<std::size_t>(channels);
    switch (filter) {
        case 0:
            std::memcpy(out, raw, rowBytes);
            return true;
        case 1:
            std::memcpy(out, raw, bpp);
            for (std::size_t i = bpp; i < rowBytes; ++i) {
                out[i] = static_cast<std::uint8_t>(raw[i] + out[i - bpp]);
            }
            return true;
        case 2:
            for (std::size_t i = 0; i < rowBytes; ++i) {
                out[i] = static_cast<std::uint8_t>(raw[i] + above[i]);
            }
            return true;
        case 3:
            for (std::size_t i = 0; i < bpp; ++i) {
                out[i] = static_cast<std::uint8_t>(raw[i] + (above[i] >> 1));
            }
            for (std::size_t i = bpp; i < rowBytes; ++i) {
                out[i] = static_cast<std::uint8_t>(raw[i] + ((out[i - bpp] + above[i]) >> 1));
            }
            return true;
        case 4:
#if defined(__x86_64__) || defined(_M_X64)
            UnfilterPaethSse2(raw, above, out, rowBytes, channels);
#else
            for (std::size_t i = 0; i < rowBytes; ++i) {
                auto Paeth = [](int a, int b, int c) {
                    const int pa = b > c ? b - c : c - b;
                    const int pb = a > c ? a - c : c - a;
                    const int pc = (a + b - 2 * c) < 0 ? -(a + b - 2 * c) : a + b - 2 * c;
                    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                };
                const int a = i >= bpp ? out[i - bpp] : 0;
                const int c = i >= bpp ? above[i - bpp] : 0;
                out[i] = static_cast<std::uint8_t>(raw[i] + Paeth(a, above[i], c));
            }
#endif
            return true;
        default:
            return false;
    }
}

}  // namespace

BitmapHandle DecodePlainPng(const std::uint8_t* data, std::size_t size,
                            const BackgroundColor& background) {
    if (size < kSignatureBytes + 25) {
        return nullptr;
    }
    const std::uint8_t* ihdr = data + kSignatureBytes;
    if (ReadBigEndian32(ihdr) != 13 || std::memcmp(ihdr + 4, "IHDR", 4) != 0 ||
        !ChunkChecksumHolds(ihdr, 13)) {
        return nullptr;
    }
    const std::uint32_t width = ReadBigEndian32(ihdr + 8);
    const std::uint32_t height = ReadBigEndian32(ihdr + 12);
    const std::uint8_t depth = ihdr[16], colorType = ihdr[17];
    if (depth != 8 || (colorType != 2 && colorType != 6) || ihdr[18] != 0 || ihdr[19] != 0 ||
        ihdr[20] != 0 || !IsAcceptablePictureSize(width, height)) {
        return nullptr;
    }
    const int channels = colorType == 6 ? 4 : 3;

    // The IDAT chunks, which must follow one another, joined into one zlib stream.
    std::vector<std::pair<const std::uint8_t*, std::uint32_t>> pieces;
    std::size_t compressedBytes = 0;
    bool idatEnded = false, reachedEnd = false;
    std::size_t position = kSignatureBytes + 25;
    while (!reachedEnd && size - position >= 12) {
        const std::uint8_t* chunk = data + position;
        const std::uint32_t length = ReadBigEndian32(chunk);
        if (length > size - position - 12) {
            return nullptr;
        }
        const bool isIdat = std::memcmp(chunk + 4, "IDAT", 4) == 0;
        if (isIdat) {
            if (idatEnded || !ChunkChecksumHolds(chunk, length)) {
                return nullptr;
            }
            pieces.emplace_back(chunk + 8, length);
            compressedBytes += length;
        } else {
            idatEnded = !pieces.empty();
            const bool critical = (chunk[4] & 0x20) == 0;
            reachedEnd = std::memcmp(chunk + 4, "IEND", 4) == 0;
            if (std::memcmp(chunk + 4, "tRNS", 4) == 0 ||
                (critical && !reachedEnd && std::memcmp(chunk + 4, "PLTE", 4) != 0) ||
                (critical && !ChunkChecksumHolds(chunk, length))) {
                return nullptr;
            }
        }
        position += 12 + static_cast<std::size_t>(length);
    }
    if (!reachedEnd || pieces.empty()) {
        return nullptr;
    }
    const std::uint8_t* compressed = pieces.front().first;
    std::unique_ptr<std::uint8_t[]> joined;
    if (pieces.size() > 1) {
        joined.reset(new (std::nothrow) std::uint8_t[compressedBytes]);
        if (!joined) {
            return nullptr;
        }
        std::size_t offset = 0;
        for (const auto& [start, length] : pieces) {
            std::memcpy(joined.get() + offset, start, length);
            offset += length;
        }
        compressed = joined.get();
    }

    const std::size_t rowBytes = static_cast<std::size_t>(width) * channels;
    const std::size_t filteredBytes = (rowBytes + 1) * height;
    // Four spare bytes: the Paeth step reads a whole word at the last pixel.
    std::unique_ptr<std::uint8_t[]> filtered(new (std::nothrow) std::uint8_t[filteredBytes + 4]);
    std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
        libdeflate_alloc_decompressor());
    BitmapHandle bitmap =
        CreateBitmap(static_cast<int>(width), static_cast<int>(height), 8 * channels);
    std::unique_ptr<std::uint8_t[]> rows(new (std::nothrow) std::uint8_t[2 * (rowBytes + 1)]);
    if (!filtered || !decompressor || !bitmap || !rows) {
        return nullptr;
    }
    // Exactly the expected number of bytes, and a valid Adler-32, or it is not ours to judge.
    if (libdeflate_zlib_decompress(decompressor.get(), compressed, compressedBytes, filtered.get(),
                                   filteredBytes, nullptr) != LIBDEFLATE_SUCCESS) {
        return nullptr;
    }
    joined.reset();
    std::uint8_t* above = rows.get();
    std::uint8_t* current = rows.get() + rowBytes + 1;
    std::memset(above, 0, rowBytes + 1);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* raw = filtered.get() + (rowBytes + 1) * y;
        if (!UnfilterRow(raw[0], raw + 1, above, current, rowBytes, channels)) {
            return nullptr;
        }
        std::uint8_t* out = bitmap->TopDownRow(static_cast<int>(y));
        if (channels == 3) {
            const std::uint8_t* in = current;
            for (std::uint32_t x = 0; x < width; ++x, in += 3, out += 4) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
                out[3] = 255;
            }
        } else {
            // Left as r g b a, top row first, for the shared composition below.
            std::memcpy(bitmap->MemoryRow(static_cast<int>(y)), current, rowBytes);
        }
        std::swap(above, current);
    }
    if (channels == 4) {
        FinishDecodedPixels(*bitmap, DecodedLayout::TopDownRgbaStraight, background);
    }
    return bitmap;
}

}  // namespace fotoshuttle
