#pragma once

#include <string>

namespace fotoshuttle {

// The empty file whose appearance in the input folder wakes the watcher for a stop request.
// The file only wakes; g_bStopWatch decides.
inline constexpr const char* kStopFileName = "/FORSTOP";

// folder + "/FORSTOP", by plain concatenation like every path of the program.
std::string StopFilePath(const std::string& folder);

// Creates the stop file, or truncates it to zero length when it is there already; either one
// wakes a watcher of the folder. False when it cannot be opened, and for anything in its
// place that is not a plain file (a link is not followed, so nothing elsewhere is truncated).
bool CreateStopFile(const std::string& path);

// Removes the stop file if it exists; a failure is of no consequence.
void RemoveStopFile(const std::string& path);

// Asks the running watcher to end: sets g_bStopWatch to 1, then creates the stop file in
// g_strSrcFolder twice, showing message after each attempt that fails. Returns at once; the
// caller never waits for the watcher.
void RequestStop(const std::string& message);

}  // namespace fotoshuttle
