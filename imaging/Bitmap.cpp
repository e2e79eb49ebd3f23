#include "imaging/Bitmap.h"

#include <sys/mman.h>

#include <cstdint>

#include <new>

namespace fotoshuttle {

bool IsAcceptablePictureSize(std::uint64_t width, std::uint64_t height) {
    if (width == 0 || height == 0 || width > kMaxPicturePixels || height > kMaxPicturePixels) {
        return false;
    }
    return width * height <= kMaxPicturePixels;
}

namespace {

// A photograph's pixels fill tens of megabytes that are written once, front to back; in
// 2 MiB pages that costs a few hundred page faults instead of tens of thousands. Only a hint:
// where the kernel declines, nothing changes.
void AskForHugePages(std::uint8_t* memory, std::size_t size) {
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    if (size < 2 * kHugePage) {
        return;
    }
    const auto begin = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (begin + size) & ~(kHugePage - 1);
    if (last > first) {
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

}  // namespace

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
    AskForHugePages(bitmap->pixels.get(), bitmap->PixelBytes());
    return bitmap;
}

bool IsUsableBitmap(const Bitmap* bitmap) {
    return bitmap != nullptr && bitmap->width > 0 && bitmap->height > 0 &&
           bitmap->pixels != nullptr &&
           IsAcceptablePictureSize(static_cast<std::uint64_t>(bitmap->width),
                                   static_cast<std::uint64_t>(bitmap->height));
}

}  // namespace fotoshuttle
