#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/LoadStatus.h"
#include "imaging/PixelComposition.h"

namespace fotoshuttle {

// Decodes a picture by its content, whatever its name says: BMP, GIF, JPEG, PNG or TIFF.
// Pixels that are not fully opaque are composed over the background, so every pixel of the
// result has alpha 255.
LoadResult DecodePictureData(const std::uint8_t* data, std::size_t size,
                             const BackgroundColor& background);
LoadResult DecodePictureFile(const std::string& path, const BackgroundColor& background);

// True when the file's first bytes are those of a JPEG (reads only those).
bool FileStartsLikeJpeg(const std::string& path);

}  // namespace fotoshuttle
