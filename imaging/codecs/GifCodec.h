#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Bitmap.h"
#include "imaging/LoadStatus.h"
#include "imaging/OutputFile.h"
#include "imaging/PixelComposition.h"

namespace fotoshuttle {

bool LooksLikeGif(const std::uint8_t* data, std::size_t size);
// The first frame on the logical screen; what it leaves uncovered or transparent shows the
// background.
LoadResult DecodeGif(const std::uint8_t* data, std::size_t size, const BackgroundColor& background);
// One 8-bit frame: the picture's own colours when it has at most 256, else a libimagequant
// palette with our error diffusion (imaging/codecs/PaletteRemap.h). Pictures wider
// or taller than 65535 pixels cannot be stored in a GIF and fail.
bool EncodeGif(const Bitmap& bitmap, OutputFile& out);

}  // namespace fotoshuttle
