#include "imaging/FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/FileDescriptor.h"

namespace fotoshuttle {

LoadStatus ReadFileBytes(const std::string& path, FileBytes& out) {
    out = FileBytes{};
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0) {
        return LoadStatus::FileUnreadable;
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return LoadStatus::FileUnreadable;
    }
    const auto declared = static_cast<std::uint64_t>(info.st_size);
    if (declared > kMaxPictureFileBytes) {
        return LoadStatus::TooLarge;
    }
    // One byte more than fstat reports, so a file that grows meanwhile is noticed.
    std::size_t capacity = static_cast<std::size_t>(declared) + 1;
    std::unique_ptr<std::uint8_t[]> data(new (std::nothrow) std::uint8_t[capacity]);
    if (!data) {
        return LoadStatus::OutOfMemory;
    }
    std::size_t size = 0;
    for (;;) {
        if (size == capacity) {
            // The file grew while we read it: take what is there now, up to the limit.
            if (capacity > kMaxPictureFileBytes) {
                return LoadStatus::TooLarge;
            }
            std::size_t grown = capacity * 2;
            std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[grown]);
            if (!bigger) {
                return LoadStatus::OutOfMemory;
            }
            std::memcpy(bigger.get(), data.get(), size);
            data = std::move(bigger);
            capacity = grown;
        }
        ssize_t got = ::read(file.get(), data.get() + size, capacity - size);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return LoadStatus::FileUnreadable;
        }
        if (got == 0) {
            break;
        }
        size += static_cast<std::size_t>(got);
    }
    out.data = std::move(data);
    out.size = size;
    return LoadStatus::Ok;
}

}  // namespace fotoshuttle
