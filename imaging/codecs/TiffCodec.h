#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Bitmap.h"
#include "imaging/LoadStatus.h"
#include "imaging/OutputFile.h"
#include "imaging/PixelComposition.h"

namespace fotoshuttle {

bool LooksLikeTiff(const std::uint8_t* data, std::size_t size);
// The first page, through libtiff's RGBA reader (any layout and compression it knows).
LoadResult DecodeTiff(const std::uint8_t* data, std::size_t size,
                      const BackgroundColor& background);
// 8-bit RGB, LZW, strips.
bool EncodeTiff(const Bitmap& bitmap, OutputFile& out);

}  // namespace fotoshuttle
