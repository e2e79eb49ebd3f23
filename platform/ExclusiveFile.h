#pragma once

#include <string>

namespace fotoshuttle {

// Opens an existing regular file (never creating or truncating it) with the given access mode
// (O_WRONLY, O_RDWR, ...) and locks it against every other user, as a file opened without
// sharing. Returns the descriptor, or -1 when the file is missing, not a regular file, or
// already open exclusively elsewhere.
int OpenExistingExclusively(const std::string& path, int accessMode);

}  // namespace fotoshuttle
