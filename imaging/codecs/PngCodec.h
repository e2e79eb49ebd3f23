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
// 8-bit RGB, zlib's default level, adaptive filters.
bool EncodePng(const Bitmap& bitmap, OutputFile& out);

}  // namespace fotoshuttle
