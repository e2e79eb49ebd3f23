#include "convert/ErrorLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/ExclusiveFile.h"
#include "platform/MessageBoxService.h"
#include "platform/ProcessInfo.h"

namespace fotoshuttle {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void SleepFor(std::chrono::milliseconds delay) {
    std::this_thread::sleep_for(delay);
}

}  // namespace

std::string GetLogFilePath() {
    return ExecutableFolder() + "/" + std::string(kLogFileName);
}

bool AppendLog(const std::string& logPath, std::string_view entry) {
    return AppendLog(logPath, entry, SleepFor);
}

bool AppendLog(const std::string& logPath, std::string_view entry, const RetryWait& wait) {
    int fd = OpenExistingExclusively(logPath, O_WRONLY);
    if (fd < 0) {
        wait(kLogRetryDelay);
        fd = OpenExistingExclusively(logPath, O_WRONLY);
    }
    if (fd < 0) {
        ShowMessageBox(std::string(kLogUnavailableMessage));
        return false;
    }
    off_t earlierEnd = ::lseek(fd, 0, SEEK_END);
    bool appended = earlierEnd >= 0 && WriteAll(fd, entry);
    // A full disk may have let part of the entry through; keep the log a list of whole entries.
    if (!appended && earlierEnd >= 0 && ::ftruncate(fd, earlierEnd) != 0) {
        // Nothing more can be done for this entry; the caller carries on.
    }
    if (::close(fd) != 0) {
        appended = false;
    }
    return appended;
}

}  // namespace fotoshuttle
