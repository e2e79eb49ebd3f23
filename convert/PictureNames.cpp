#include "convert/PictureNames.h"

#include <array>

namespace fotoshuttle {
namespace {

constexpr std::array<std::string_view, 14> kPictureExtensions = {
    ".BMP",  ".bmp", ".GIF", ".gif", ".JPG", ".jpg",  ".JPEG",
    ".jpeg", ".PNG", ".png", ".TIF", ".tif", ".TIFF", ".tiff"};

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string result;
    result.reserve(text.size());
    std::size_t start = 0;
    while (true) {
        const std::size_t found = text.find(from, start);
        if (found == std::string_view::npos) {
            result.append(text.substr(start));
            return result;
        }
        result.append(text.substr(start, found - start));
        result.append(to);
        start = found + from.size();
    }
}

}  // namespace

bool IsEligibleEntry(std::string_view entry) {
    for (std::string_view extension : kPictureExtensions) {
        if (entry.find(extension) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

std::string OutputEntryName(std::string_view entry, std::string_view format) {
    const std::size_t lastDot = entry.rfind('.');
    std::string name(entry.substr(0, lastDot == std::string_view::npos ? entry.size() : lastDot));
    name.append(format);
    return name;
}

std::string ParkedEntryName(std::string_view entry) {
    return ReplaceAll(entry, ".", kParkingMarker);
}

std::string UnparkedEntryName(std::string_view entry) {
    return ReplaceAll(entry, kParkingMarker, ".");
}

bool IsParkedEntry(std::string_view entry) {
    return entry.find(kParkingMarker) != std::string_view::npos;
}

bool IsCompanionEntry(std::string_view entry) {
    return entry.find(kCompanionExtension) != std::string_view::npos;
}

}  // namespace fotoshuttle
