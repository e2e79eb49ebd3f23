#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace fotoshuttle {

inline constexpr std::string_view kLogFileName = "Fotoshuttle_log.txt";
inline constexpr std::string_view kLogUnavailableMessage = "Cannot open error_log.txt";
inline constexpr std::chrono::milliseconds kLogRetryDelay{2000};

// Folder of the running executable + "/Fotoshuttle_log.txt"; independent of the current directory.
std::string GetLogFilePath();

using RetryWait = std::function<void(std::chrono::milliseconds)>;

// Appends the entry's bytes as they are (callers include the CR LF) to an existing log file,
// which it opens exclusively and never creates or truncates. A log that cannot be opened is
// tried once more after kLogRetryDelay, then reported in a box and false returned. A write that
// fails after opening also returns false, and the file is cut back to its earlier entries.
bool AppendLog(const std::string& logPath, std::string_view entry);
bool AppendLog(const std::string& logPath, std::string_view entry, const RetryWait& wait);

}  // namespace fotoshuttle
