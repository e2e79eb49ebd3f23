#include "imaging/codecs/JpegCodec.h"

#include <turbojpeg.h>

#include <cstring>
#include <string_view>

namespace fotoshuttle {

namespace {

constexpr int kJpegQuality = 75;

class TurboJpegHandle {
  public:
    explicit TurboJpegHandle(tjhandle handle) : m_handle(handle) {}
    ~TurboJpegHandle() {
        if (m_handle != nullptr) {
            tjDestroy(m_handle);
        }
    }
    TurboJpegHandle(const TurboJpegHandle&) = delete;
    TurboJpegHandle& operator=(const TurboJpegHandle&) = delete;
    tjhandle get() const { return m_handle; }

  private:
    tjhandle m_handle;
};

enum class StreamShape { Complete, Incomplete, Malformed };

std::uint16_t ReadBigEndian16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

// Walks the marker segments and entropy-coded data up to the end-of-image marker, to tell a
// file that stops early from one that is damaged (libjpeg reports only its first warning).
StreamShape ExamineStream(const std::uint8_t* data, std::size_t size) {
    std::size_t position = 2;
    while (position + 1 < size) {
        if (data[position] != 0xFF) {
            ++position;  // stray bytes between segments
            continue;
        }
        const std::uint8_t marker = data[position + 1];
        if (marker == 0xFF) {
            ++position;
            continue;
        }
        if (marker == 0xD9) {
            return StreamShape::Complete;
        }
        if (marker == 0x01 || marker == 0x00 || (marker >= 0xD0 && marker <= 0xD8)) {
            position += 2;
            continue;
        }
        if (position + 4 > size) {
            return StreamShape::Incomplete;
        }
        const std::size_t length = ReadBigEndian16(data + position + 2);
        if (length < 2) {
            return StreamShape::Malformed;
        }
        position += 2 + length;
        if (marker != 0xDA) {
            continue;
        }
        // Entropy-coded data: 0xFF is followed by 0x00 (a stuffed byte) or a restart marker
        // inside it; any other marker ends it.
        for (;;) {
            if (position >= size) {
                return StreamShape::Incomplete;
            }
            const void* found = std::memchr(data + position, 0xFF, size - position);
            if (found == nullptr) {
                return StreamShape::Incomplete;
            }
            position = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data);
            if (position + 1 >= size) {
                return StreamShape::Incomplete;
            }
            const std::uint8_t next = data[position + 1];
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                position += 2;
                continue;
            }
            if (next == 0xFF) {
                ++position;
                continue;
            }
            break;
        }
    }
    return StreamShape::Incomplete;
}

// Why TurboJPEG gave up or complained. It passes on nothing but the text of the first
// message, so the classification reads that, and the stream itself for truncation.
LoadStatus StatusAfterComplaint(tjhandle handle, const std::uint8_t* data, std::size_t size) {
    const std::string_view message = tjGetErrorStr2(handle);
    const bool warning = tjGetErrorCode(handle) == TJERR_WARNING;
    if (message.find("Premature end") != std::string_view::npos) {
        return LoadStatus::Truncated;
    }
    const StreamShape shape = ExamineStream(data, size);
    if (shape == StreamShape::Incomplete) {
        return LoadStatus::Truncated;
    }
    if (warning) {
        // Padding between segments: every pixel was still decoded from intact data.
        return message.find("extraneous bytes before marker") != std::string_view::npos &&
                       shape == StreamShape::Complete
                   ? LoadStatus::Ok
                   : LoadStatus::Damaged;
    }
    if (message.find("Unsupported") != std::string_view::npos ||
        message.find("not supported") != std::string_view::npos) {
        return LoadStatus::Unsupported;
    }
    return LoadStatus::Damaged;
}

// Adobe writes CMYK inverted (0 = full ink), which is how libjpeg hands it over.
void ConvertInvertedCmykToBgra(std::uint8_t* pixels, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* p = pixels + i * 4;
        const unsigned c = p[0], m = p[1], y = p[2], k = p[3];
        p[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
        p[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        p[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
        p[3] = 255;
    }
}

int SourceBitsPerPixel(int colorspace) {
    switch (colorspace) {
        case TJCS_GRAY:
            return 8;
        case TJCS_CMYK:
        case TJCS_YCCK:
            return 32;
        default:
            return 24;
    }
}

}  // namespace

bool LooksLikeJpeg(const std::uint8_t* data, std::size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

LoadResult DecodeJpeg(const std::uint8_t* data, std::size_t size) {
    TurboJpegHandle decoder(tjInitDecompress());
    if (decoder.get() == nullptr) {
        return LoadFailure(LoadStatus::OutOfMemory);
    }
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(decoder.get(), data, static_cast<unsigned long>(size), &width, &height,
                            &subsampling, &colorspace) != 0) {
        const LoadStatus status = StatusAfterComplaint(decoder.get(), data, size);
        if (status != LoadStatus::Ok) {
            return LoadFailure(status);
        }
    }
    if (width < 1 || height < 1) {
        // TurboJPEG can report a header it never reached as read.
        return LoadFailure(ExamineStream(data, size) == StreamShape::Incomplete
                               ? LoadStatus::Truncated
                               : LoadStatus::Damaged);
    }
    if (!IsAcceptablePictureSize(static_cast<std::uint64_t>(width),
                                 static_cast<std::uint64_t>(height))) {
        return LoadFailure(LoadStatus::TooLarge);
    }
    const bool cmyk = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
    BitmapHandle bitmap = CreateBitmap(width, height, SourceBitsPerPixel(colorspace));
    if (!bitmap) {
        return LoadFailure(LoadStatus::OutOfMemory);
    }
    // Straight into the bitmap, bottom row first; TJPF_BGRA fills the fourth byte with 255.
    const int flags = TJFLAG_BOTTOMUP | TJFLAG_LIMITSCANS;
    if (tjDecompress2(decoder.get(), data, static_cast<unsigned long>(size), bitmap->pixels.get(),
                      width, static_cast<int>(bitmap->RowBytes()), height,
                      cmyk ? TJPF_CMYK : TJPF_BGRA, flags) != 0) {
        const LoadStatus status = StatusAfterComplaint(decoder.get(), data, size);
        if (status != LoadStatus::Ok) {
            return LoadFailure(status);
        }
    }
    if (cmyk) {
        ConvertInvertedCmykToBgra(bitmap->pixels.get(), static_cast<std::size_t>(width) *
                                                            static_cast<std::size_t>(height));
    }
    return LoadResult{std::move(bitmap), LoadStatus::Ok};
}

bool EncodeJpeg(const Bitmap& bitmap, OutputFile& out) {
    TurboJpegHandle encoder(tjInitCompress());
    if (encoder.get() == nullptr) {
        return false;
    }
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    const int result = tjCompress2(encoder.get(), bitmap.pixels.get(), bitmap.width,
                                   static_cast<int>(bitmap.RowBytes()), bitmap.height, TJPF_BGRX,
                                   &jpeg, &jpegSize, TJSAMP_420, kJpegQuality, TJFLAG_BOTTOMUP);
    const bool ok = result == 0 && jpeg != nullptr && out.Write(jpeg, jpegSize);
    tjFree(jpeg);
    return ok;
}

}  // namespace fotoshuttle
