#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Bitmap.h"
#include "imaging/LoadStatus.h"
#include "imaging/OutputFile.h"
#include "imaging/PixelComposition.h"

namespace fotoshuttle {

bool LooksLikeTiff(const std::uint8_t* data, std::size_t size);
// The first page: plain 8-bit RGB strips read directly, any other layout and compression
// libtiff knows through its RGBA reader.
LoadResult DecodeTiff(const std::uint8_t* data, std::size_t size,
                      const BackgroundColor& background);
// 8-bit RGB, LZW with the horizontal predictor (imaging/codecs/LzwEncoder.h), strips of
// about 128 KiB.
bool EncodeTiff(const Bitmap& bitmap, OutputFile& out);

}  // namespace fotoshuttle
