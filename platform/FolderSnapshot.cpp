#include "platform/FolderSnapshot.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

namespace fotoshuttle {

std::optional<FolderSnapshot> FolderSnapshot::Take(const std::string& folder) {
    DIR* directory = ::opendir(folder.c_str());
    if (directory == nullptr) {
        return std::nullopt;
    }
    FolderSnapshot snapshot;
    const int folderFd = ::dirfd(directory);
    while (const dirent* entry = ::readdir(directory)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        Stamp stamp;
        struct stat info {};
        if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
            // A subfolder counts only by its name: its own time changes with its content,
            // and subfolders are not watched.
            stamp.isFolder = S_ISDIR(info.st_mode);
            if (!stamp.isFolder) {
                stamp.size = static_cast<long long>(info.st_size);
                stamp.modified = info.st_mtim;
            }
        }
        snapshot.m_entries.emplace(entry->d_name, stamp);
    }
    ::closedir(directory);
    return snapshot;
}

bool FolderSnapshot::SameStamp(const Stamp& a, const Stamp& b) {
    return a.isFolder == b.isFolder && a.size == b.size && a.modified.tv_sec == b.modified.tv_sec &&
           a.modified.tv_nsec == b.modified.tv_nsec;
}

bool FolderSnapshot::HasNewOrChangedEntries(const FolderSnapshot& earlier) const {
    for (const auto& [name, stamp] : m_entries) {
        auto before = earlier.m_entries.find(name);
        if (before == earlier.m_entries.end() || !SameStamp(before->second, stamp)) {
            return true;
        }
    }
    return false;
}

}  // namespace fotoshuttle
