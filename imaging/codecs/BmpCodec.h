#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Bitmap.h"
#include "imaging/LoadStatus.h"
#include "imaging/OutputFile.h"
#include "imaging/PixelComposition.h"

namespace fotoshuttle {

bool LooksLikeBmp(const std::uint8_t* data, std::size_t size);
// Decoded by Qt's BMP handler after the header has been checked here for size and length.
LoadResult DecodeBmp(const std::uint8_t* data, std::size_t size, const BackgroundColor& background);
// 24-bit, bottom-up, uncompressed: the bitmap's own row order, written without a copy.
bool EncodeBmp(const Bitmap& bitmap, OutputFile& out);

}  // namespace fotoshuttle
