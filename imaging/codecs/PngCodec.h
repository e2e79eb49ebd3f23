#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Bitmap.h"
#include "imaging/LoadStatus.h"
#include "imaging/OutputFile.h"
#include "imaging/PixelComposition.h"

namespace fotoshuttle {

bool LooksLikePng(const std::uint8_t* data, std::size_t size);
LoadResult DecodePng(const std::uint8_t* data, std::size_t size, const BackgroundColor& background);
// 8-bit palette when the picture has at most 256 colours, else 8-bit RGB with the Up filter;
// one zlib stream from libdeflate (imaging/codecs/PngEncoder.cpp).
bool EncodePng(const Bitmap& bitmap, OutputFile& out);

}  // namespace fotoshuttle
