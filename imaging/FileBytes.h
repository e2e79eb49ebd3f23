#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "imaging/LoadStatus.h"

namespace fotoshuttle {

// A whole file read into memory. Decoders work on this copy rather than on a mapping, so a
// file truncated by someone else while it is being decoded cannot fault the process.
struct FileBytes {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
};

// Largest file the loader reads (4 GiB): far beyond any picture within the pixel limit.
inline constexpr std::uint64_t kMaxPictureFileBytes = std::uint64_t{4} << 30;

// Reads a regular file. Ok, FileUnreadable, TooLarge or OutOfMemory.
LoadStatus ReadFileBytes(const std::string& path, FileBytes& out);

}  // namespace fotoshuttle
