#include "watch/StopFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/MessageBoxService.h"
#include "platform/ProcessState.h"

namespace fotoshuttle {

std::string StopFilePath(const std::string& folder) {
    return folder + kStopFileName;
}

bool CreateStopFile(const std::string& path) {
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    const bool plainFile = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    // Truncating also when the file is already empty: it is that change which wakes the
    // watcher a second time.
    const bool truncated = plainFile && ::ftruncate(fd, 0) == 0;
    ::close(fd);
    return truncated;
}

void RemoveStopFile(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        ::unlink(path.c_str());
    }
}

void RequestStop(const std::string& message) {
    g_bStopWatch.store(1);
    const std::string path = StopFilePath(g_strSrcFolder);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!CreateStopFile(path)) {
            ShowMessageBox(message, BoxButtons::Ok);
        }
    }
}

}  // namespace fotoshuttle
