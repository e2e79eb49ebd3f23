#include "imaging/Bitmap.h"

#include <cstdint>

#include <new>

namespace fotoshuttle {

bool IsAcceptablePictureSize(std::uint64_t width, std::uint64_t height) {
    if (width == 0 || height == 0 || width > kMaxPicturePixels || height > kMaxPicturePixels) {
        return false;
    }
    return width * height <= kMaxPicturePixels;
}

BitmapHandle CreateBitmap(int width, int height, int bitsPerPixel) {
    if (width < 1 || height < 1 ||
        !IsAcceptablePictureSize(static_cast<std::uint64_t>(width),
                                 static_cast<std::uint64_t>(height))) {
        return nullptr;
    }
    auto bitmap = std::unique_ptr<Bitmap>(new (std::nothrow) Bitmap);
    if (!bitmap) {
        return nullptr;
    }
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bitsPerPixel = bitsPerPixel;
    // Not value-initialised: every decoder and the resampler write every byte.
    bitmap->pixels.reset(new (std::nothrow) std::uint8_t[bitmap->PixelBytes()]);
    if (!bitmap->pixels) {
        return nullptr;
    }
    return bitmap;
}

bool IsUsableBitmap(const Bitmap* bitmap) {
    return bitmap != nullptr && bitmap->width > 0 && bitmap->height > 0 &&
           bitmap->pixels != nullptr &&
           IsAcceptablePictureSize(static_cast<std::uint64_t>(bitmap->width),
                                   static_cast<std::uint64_t>(bitmap->height));
}

}  // namespace fotoshuttle
