#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Bitmap.h"
#include "imaging/LoadStatus.h"
#include "imaging/OutputFile.h"
#include "imaging/PixelComposition.h"

namespace fotoshuttle {

bool LooksLikeBmp(const std::uint8_t* data, std::size_t size);
// 24-bit uncompressed rows are copied directly; every other kind is decoded by Qt's BMP
// handler. The header is checked here for size and length first.
LoadResult DecodeBmp(const std::uint8_t* data, std::size_t size, const BackgroundColor& background);
// 24-bit, bottom-up, uncompressed: the bitmap's own row order, written without a copy.
bool EncodeBmp(const Bitmap& bitmap, OutputFile& out);

}  // namespace fotoshuttle
