#include "platform/ProcessInfo.h"

#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace fotoshuttle {

std::string ExecutablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string ExecutableName() {
    std::string path = ExecutablePath();
    std::string name = path.substr(path.find_last_of('/') + 1);
    std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name;
}

std::string ExecutableFolder() {
    std::string path = ExecutablePath();
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return {};
    }
    return path.substr(0, slash);
}

std::string CurrentDirectory() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

bool MayRunOnMoreThanOneProcessor() {
    cpu_set_t processors;
    CPU_ZERO(&processors);
    return ::sched_getaffinity(0, sizeof processors, &processors) == 0 &&
           CPU_COUNT(&processors) > 1;
}

}  // namespace fotoshuttle
