#include "convert/SourceFileOperations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/ExclusiveFile.h"
#include "platform/FileDescriptor.h"

namespace fotoshuttle {
void SetPlainAttributes(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return;
    }
    const mode_t wanted = info.st_mode | S_IRUSR | S_IWUSR;
    if (wanted != info.st_mode) {
        (void)::chmod(path.c_str(), wanted & 07777);
    }
}

bool RemoveFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0) {
        return true;
    }
    return errno == ENOENT;
}

bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the no-replace flag: a hard link fails on an existing name too.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    if (::unlink(from.c_str()) != 0) {
        (void)::unlink(to.c_str());
        return false;
    }
    return true;
}

bool PassFileTimesOn(const std::string& source, const std::string& output) {
    FileDescriptor sourceFd(OpenExistingExclusively(source, O_RDWR));
    if (sourceFd.get() < 0) {
        return false;
    }
    struct stat times {};
    if (::fstat(sourceFd.get(), &times) != 0) {
        return false;
    }
    FileDescriptor outputFd(OpenExistingExclusively(output, O_RDWR));
    if (outputFd.get() < 0) {
        return false;
    }
    const struct timespec newTimes[2] = {times.st_atim, times.st_mtim};
    return ::futimens(outputFd.get(), newTimes) == 0;
}

std::optional<FileSignature> ReadFileSignature(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileSignature{info.st_dev, info.st_ino, info.st_size,
                         static_cast<std::int64_t>(info.st_mtim.tv_sec), info.st_mtim.tv_nsec};
}

bool IsSameFolder(const std::string& a, const std::string& b) {
    struct stat infoA {};
    struct stat infoB {};
    if (::stat(a.c_str(), &infoA) != 0 || ::stat(b.c_str(), &infoB) != 0) {
        return false;
    }
    return infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino;
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace fotoshuttle
