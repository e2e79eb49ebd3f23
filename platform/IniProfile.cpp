#include "platform/IniProfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace fotoshuttle {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Cuts to the limit without splitting a UTF-8 sequence.
std::string Limited(std::string_view value) {
    if (value.size() <= kProfileValueLimit) {
        return std::string(value);
    }
    std::size_t end = kProfileValueLimit;
    while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(value.substr(0, end));
}

}  // namespace

std::string ProfileLookup(std::string_view iniText, std::string_view section,
                          std::string_view key) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (iniText.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        iniText.remove_prefix(kByteOrderMark.size());
    }
    enum class Place { BeforeSection, InSection, AfterSection } place = Place::BeforeSection;
    while (!iniText.empty()) {
        std::size_t lineEnd = iniText.find('\n');
        std::string_view line = Trim(iniText.substr(0, lineEnd));
        iniText.remove_prefix(lineEnd == std::string_view::npos ? iniText.size() : lineEnd + 1);

        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            std::size_t close = line.find(']');
            std::string_view name = Trim(line.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            if (place == Place::InSection) {
                place = Place::AfterSection;
            } else if (place == Place::BeforeSection && EqualsIgnoringCase(name, section)) {
                place = Place::InSection;
            }
            continue;
        }
        if (place != Place::InSection) {
            continue;
        }
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        if (EqualsIgnoringCase(Trim(line.substr(0, equals)), key)) {
            return Limited(Unquote(Trim(line.substr(equals + 1))));
        }
    }
    return {};
}

std::string ReadProfileString(const std::string& iniPath, std::string_view section,
                              std::string_view key) {
    if (iniPath.empty()) {
        return {};
    }
    int fd = ::open(iniPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            // A read error (a folder, say) leaves what was read so far, usually nothing.
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return ProfileLookup(text, section, key);
}

}  // namespace fotoshuttle
