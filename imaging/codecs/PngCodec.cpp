#include "imaging/codecs/PngCodec.h"

#include <spng.h>

#include <cstring>
#include <memory>
#include <new>

#include "imaging/RowConversion.h"
#include "imaging/codecs/PngFastDecoder.h"

namespace fotoshuttle {

namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// Ancillary chunks (text, ICC, EXIF) are not ours to keep; these bound what a file can make
// the decoder hold.
constexpr std::size_t kChunkSizeLimit = std::size_t{64} << 20;
constexpr std::size_t kChunkCacheLimit = std::size_t{128} << 20;

struct SpngContextDeleter {
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using SpngContext = std::unique_ptr<spng_ctx, SpngContextDeleter>;

LoadStatus StatusFromSpng(int error) {
    switch (error) {
        case SPNG_EOF:
        case SPNG_IO_EOF:
        case SPNG_EIDAT_TOO_SHORT:
            return LoadStatus::Truncated;
        case SPNG_EMEM:
            return LoadStatus::OutOfMemory;
        case SPNG_EUSER_WIDTH:
        case SPNG_EUSER_HEIGHT:
            return LoadStatus::TooLarge;
        default:
            return LoadStatus::Damaged;
    }
}

int SourceBitsPerPixel(const spng_ihdr& header) {
    int channels = 1;
    switch (header.color_type) {
        case SPNG_COLOR_TYPE_TRUECOLOR:
            channels = 3;
            break;
        case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA:
            channels = 2;
            break;
        case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA:
            channels = 4;
            break;
        default:
            break;
    }
    return channels * header.bit_depth;
}

std::uint32_t ReadBigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

// Steps over the chunks to IEND. libspng does not insist on reaching it, but a file that
// stops before IEND is still being written.
bool ReachesEndChunk(const std::uint8_t* data, std::size_t size) {
    std::size_t position = sizeof kPngSignature;
    while (size - position >= 12) {
        const std::uint64_t length = ReadBigEndian32(data + position);
        if (std::memcmp(data + position + 4, "IEND", 4) == 0) {
            return true;
        }
        if (length > size - position - 12) {
            return false;
        }
        position += 12 + static_cast<std::size_t>(length);
    }
    return false;
}

}  // namespace

bool LooksLikePng(const std::uint8_t* data, std::size_t size) {
    return size >= sizeof kPngSignature && std::memcmp(data, kPngSignature, 8) == 0;
}

LoadResult DecodePng(const std::uint8_t* data, std::size_t size,
                     const BackgroundColor& background) {
    if (!ReachesEndChunk(data, size)) {
        return LoadFailure(LoadStatus::Truncated);
    }
    if (BitmapHandle plain = DecodePlainPng(data, size, background)) {
        return LoadResult{std::move(plain), LoadStatus::Ok};
    }
    SpngContext context(spng_ctx_new(0));
    if (!context) {
        return LoadFailure(LoadStatus::OutOfMemory);
    }
    const auto sideLimit = static_cast<std::uint32_t>(kMaxPicturePixels);
    spng_set_image_limits(context.get(), sideLimit, sideLimit);
    spng_set_chunk_limits(context.get(), kChunkSizeLimit, kChunkCacheLimit);
    int error = spng_set_png_buffer(context.get(), data, size);
    if (error != 0) {
        return LoadFailure(StatusFromSpng(error));
    }
    spng_ihdr header{};
    error = spng_get_ihdr(context.get(), &header);
    if (error != 0) {
        return LoadFailure(StatusFromSpng(error));
    }
    if (!IsAcceptablePictureSize(header.width, header.height)) {
        return LoadFailure(LoadStatus::TooLarge);
    }
    BitmapHandle bitmap = CreateBitmap(static_cast<int>(header.width),
                                       static_cast<int>(header.height), SourceBitsPerPixel(header));
    if (!bitmap) {
        return LoadFailure(LoadStatus::OutOfMemory);
    }
    std::size_t needed = 0;
    error = spng_decoded_image_size(context.get(), SPNG_FMT_RGBA8, &needed);
    if (error != 0 || needed != bitmap->PixelBytes()) {
        return LoadFailure(error != 0 ? StatusFromSpng(error) : LoadStatus::Damaged);
    }
    // RGBA8 takes exactly the bitmap's four bytes per pixel, so libspng decodes in place.
    error = spng_decode_image(context.get(), bitmap->pixels.get(), needed, SPNG_FMT_RGBA8,
                              SPNG_DECODE_TRNS);
    if (error != 0) {
        return LoadFailure(StatusFromSpng(error));
    }
    // The chunks after the pixel data: IDAT's own checksum is only verified here.
    error = spng_decode_chunks(context.get());
    if (error != 0) {
        return LoadFailure(StatusFromSpng(error));
    }
    FinishDecodedPixels(*bitmap, DecodedLayout::TopDownRgbaStraight, background);
    return LoadResult{std::move(bitmap), LoadStatus::Ok};
}

}  // namespace fotoshuttle
