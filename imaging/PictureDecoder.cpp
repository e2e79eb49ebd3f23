#include "imaging/PictureDecoder.h"

#include <fcntl.h>
#include <unistd.h>

#include <string_view>

#include "imaging/FileBytes.h"
#include "imaging/codecs/BmpCodec.h"
#include "imaging/codecs/GifCodec.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/codecs/PngCodec.h"
#include "imaging/codecs/TiffCodec.h"
#include "platform/FileDescriptor.h"

namespace fotoshuttle {

namespace {

// True when the data is shorter than some format's signature and matches its beginning: the
// start of a picture whose remaining bytes have not been written yet.
bool IsStartOfSignature(const std::uint8_t* data, std::size_t size) {
    static constexpr std::string_view kSignatures[] = {std::string_view("\xFF\xD8\xFF", 3),
                                                       std::string_view("\x89PNG\r\n\x1A\n", 8),
                                                       "GIF87a",
                                                       "GIF89a",
                                                       std::string_view("II*\0", 4),
                                                       std::string_view("MM\0*", 4),
                                                       std::string_view("II+\0", 4),
                                                       std::string_view("MM\0+", 4),
                                                       "BM"};
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (std::string_view signature : kSignatures) {
        if (size < signature.size() && signature.substr(0, size) == bytes) {
            return true;
        }
    }
    return false;
}

}  // namespace

LoadResult DecodePictureData(const std::uint8_t* data, std::size_t size,
                             const BackgroundColor& background) {
    // An empty file is how every picture starts while it is being copied in.
    if (data == nullptr || size == 0 || IsStartOfSignature(data, size)) {
        return LoadFailure(LoadStatus::Truncated);
    }
    if (LooksLikeJpeg(data, size)) {
        return DecodeJpeg(data, size);
    }
    if (LooksLikePng(data, size)) {
        return DecodePng(data, size, background);
    }
    if (LooksLikeGif(data, size)) {
        return DecodeGif(data, size, background);
    }
    if (LooksLikeTiff(data, size)) {
        return DecodeTiff(data, size, background);
    }
    if (LooksLikeBmp(data, size)) {
        return DecodeBmp(data, size, background);
    }
    return LoadFailure(LoadStatus::NotAPicture);
}

LoadResult DecodePictureFile(const std::string& path, const BackgroundColor& background) {
    FileBytes file;
    const LoadStatus read = ReadFileBytes(path, file);
    if (read != LoadStatus::Ok) {
        return LoadFailure(read);
    }
    return DecodePictureData(file.data.get(), file.size, background);
}

bool FileStartsLikeJpeg(const std::string& path) {
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    std::uint8_t start[3] = {};
    const ssize_t got = file.get() < 0 ? -1 : ::read(file.get(), start, sizeof start);
    return got == static_cast<ssize_t>(sizeof start) && LooksLikeJpeg(start, sizeof start);
}

}  // namespace fotoshuttle
