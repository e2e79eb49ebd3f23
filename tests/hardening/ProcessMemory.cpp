#include "tests/hardening/ProcessMemory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace fotoshuttle::testing {
namespace {

std::uint64_t StatusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::strtoull(line.c_str() + field.size() + 1, nullptr, 10);
        }
    }
    return 0;
}

}  // namespace

bool ResetPeakResidentBytes() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

std::uint64_t PeakResidentBytes() {
    return StatusKilobytes("VmHWM") * 1024;
}

std::uint64_t ResidentBytes() {
    return StatusKilobytes("VmRSS") * 1024;
}

int OpenFileCount() {
    int count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ++count;
    }
    return count;
}

bool UnderSanitizer() {
    return std::getenv("FOTOSHUTTLE_UNDER_SANITIZER") != nullptr;
}

}  // namespace fotoshuttle::testing
