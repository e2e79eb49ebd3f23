#include "imaging/EncoderRegistry.h"

#include "imaging/codecs/BmpCodec.h"
#include "imaging/codecs/GifCodec.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/codecs/PngCodec.h"
#include "imaging/codecs/TiffCodec.h"

namespace fotoshuttle {

namespace {

// Fixed random identifiers; only their equality matters.
constexpr EncoderId MakeId(std::uint8_t format) {
    return EncoderId{{0x6b, 0x1f, 0x3c, 0x90, 0x58, 0x2e, 0x4d, 0xa1, 0x93, 0x07, 0xc4, 0x5e, 0x21,
                      0xb8, 0x76, format}};
}

constexpr EncoderEntry kEncoders[] = {
    {MakeId(0x01), "image/bmp", EncodeBmp}, {MakeId(0x02), "image/jpeg", EncodeJpeg},
    {MakeId(0x03), "image/gif", EncodeGif}, {MakeId(0x04), "image/tiff", EncodeTiff},
    {MakeId(0x05), "image/png", EncodePng},
};

}  // namespace

std::span<const EncoderEntry> ImageEncoders() {
    return kEncoders;
}

const EncoderEntry* FindEncoderById(const EncoderId& id) {
    for (const EncoderEntry& entry : kEncoders) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace fotoshuttle
