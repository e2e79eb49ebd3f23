// Fuzz target for LoadPictureFile: the bytes become a real file (an in-memory one) that goes
// through the same open, read and decode as a picture in the input folder. Built once per
// format; each build puts its format's signature in front of inputs that lack it, so the
// fuzzer spends its time inside that one decoder.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "imaging/PictureOperations.h"

#ifndef FOTOSHUTTLE_FUZZ_SIGNATURE
#define FOTOSHUTTLE_FUZZ_SIGNATURE ""
#endif

namespace {

constexpr std::string_view kSignature{FOTOSHUTTLE_FUZZ_SIGNATURE,
                                      sizeof(FOTOSHUTTLE_FUZZ_SIGNATURE) - 1};

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

void CheckPicture(const fotoshuttle::Bitmap& picture) {
    // A decoded picture is always usable and opaque; touching every byte lets the
    // sanitizers see pixels that were never written.
    if (!fotoshuttle::IsUsableBitmap(&picture) || picture.bitsPerPixel <= 0) {
        std::abort();
    }
    unsigned sum = 0;
    for (int row = 0; row < picture.height; ++row) {
        const std::uint8_t* p = picture.MemoryRow(row);
        for (int x = 0; x < picture.width; ++x) {
            if (p[x * 4 + 3] != 255) {
                std::abort();
            }
            sum += p[x * 4] + p[x * 4 + 1] + p[x * 4 + 2];
        }
    }
    volatile unsigned sink = sum;
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fotoshuttle::CPictureOperations operations;
    const int fd = ::memfd_create("fuzz-picture", MFD_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    const bool hasSignature =
        size >= kSignature.size() && std::memcmp(data, kSignature.data(), kSignature.size()) == 0;
    bool written = true;
    if (!hasSignature) {
        written = WriteAll(fd, reinterpret_cast<const std::uint8_t*>(kSignature.data()),
                           kSignature.size());
    }
    written = written && WriteAll(fd, data, size);
    if (written) {
        const std::string path = "/proc/self/fd/" + std::to_string(fd);
        fotoshuttle::BitmapHandle picture = operations.LoadPictureFile(path);
        if (std::getenv("FOTOSHUTTLE_FUZZ_VERBOSE") != nullptr) {
            const fotoshuttle::LoadResult detailed = operations.LoadPictureFileDetailed(path);
            std::fprintf(stderr, "%s %dx%d\n", fotoshuttle::LoadStatusName(detailed.status),
                         picture ? picture->width : 0, picture ? picture->height : 0);
        }
        if (picture) {
            CheckPicture(*picture);
        }
    }
    ::close(fd);
    return 0;
}
