#include "convert/FolderListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

namespace fotoshuttle {
namespace {

char FoldAsciiCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool ListBoxOrder(const std::string& a, const std::string& b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto fa = static_cast<unsigned char>(FoldAsciiCase(a[i]));
        const auto fb = static_cast<unsigned char>(FoldAsciiCase(b[i]));
        if (fa != fb) {
            return fa < fb;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    return a < b;
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> entries;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return entries;
    }
    const int dirFd = ::dirfd(dir);
    while (const dirent* item = ::readdir(dir)) {
        const std::string name = item->d_name;
        if (name.empty() || name[0] == '.') {
            continue;
        }
        struct stat info {};
        if (::fstatat(dirFd, name.c_str(), &info, 0) != 0) {
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            entries.push_back("[" + name + "]");
        } else if (S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) != 0) {
            entries.push_back(name);
        }
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), ListBoxOrder);
    return entries;
}

}  // namespace fotoshuttle
