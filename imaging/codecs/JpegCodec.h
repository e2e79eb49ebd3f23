#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Bitmap.h"
#include "imaging/LoadStatus.h"
#include "imaging/OutputFile.h"
#include "imaging/PixelComposition.h"

namespace fotoshuttle {

bool LooksLikeJpeg(const std::uint8_t* data, std::size_t size);
LoadResult DecodeJpeg(const std::uint8_t* data, std::size_t size);
// Quality 75, 4:2:0 chroma subsampling, baseline.
bool EncodeJpeg(const Bitmap& bitmap, OutputFile& out);

}  // namespace fotoshuttle
