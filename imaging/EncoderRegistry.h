#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "imaging/Bitmap.h"
#include "imaging/OutputFile.h"

namespace fotoshuttle {

// The 16-byte identifier by which an encoder is chosen.
struct EncoderId {
    std::array<std::uint8_t, 16> bytes{};
    friend bool operator==(const EncoderId&, const EncoderId&) = default;
};

using EncodeFunction = bool (*)(const Bitmap& bitmap, OutputFile& out);

struct EncoderEntry {
    EncoderId id;
    std::string_view mimeType;
    EncodeFunction encode;
};

// Every encoder, in a fixed order: BMP, JPEG, GIF, TIFF, PNG. There is none for EMF.
std::span<const EncoderEntry> ImageEncoders();

// The encoder with this identifier, or null.
const EncoderEntry* FindEncoderById(const EncoderId& id);

}  // namespace fotoshuttle
