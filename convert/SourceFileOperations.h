#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace fotoshuttle {

// Owner read and write bits set, the other bits kept. Failures are not reported: the callers
// go on either way.
void SetPlainAttributes(const std::string& path);

// Removes a file (never a folder). False when it is still there afterwards.
bool RemoveFile(const std::string& path);

// Renames within a folder; fails (false) when the new name exists, so nothing is replaced.
bool MoveWithoutReplacing(const std::string& from, const std::string& to);

// Copies the source's access and modification times onto the output. Both are opened for
// reading and writing, existing only, and locked exclusively, so a file another program holds
// locked fails. A birth time cannot be set on Linux and is not attempted.
bool PassFileTimesOn(const std::string& source, const std::string& output);

// What tells one state of a file from the next while it is being written: identity, size and
// modification time.
struct FileSignature {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedSeconds = 0;
    long modifiedNanoseconds = 0;
    friend bool operator==(const FileSignature&, const FileSignature&) = default;
};

std::optional<FileSignature> ReadFileSignature(const std::string& path);

// True when both texts name the same existing folder (by device and inode, so "a" and "a/"
// or a link to it are the same).
bool IsSameFolder(const std::string& a, const std::string& b);

// True when anything (file, folder, link) exists under this path.
bool PathExists(const std::string& path);

}  // namespace fotoshuttle
