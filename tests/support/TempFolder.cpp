#include "tests/support/TempFolder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fotoshuttle::testing {

TempFolder::TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "fotoshuttle-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) {
        m_path = pattern;
    }
}

TempFolder::~TempFolder() {
    if (m_path.empty()) {
        return;
    }
    std::error_code error;
    // Give back write permission a test may have taken away, so everything can go.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory(error)) {
            ::chmod(it->path().c_str(), 0700);
        }
    }
    ::chmod(m_path.c_str(), 0700);
    std::filesystem::remove_all(m_path, error);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace fotoshuttle::testing
