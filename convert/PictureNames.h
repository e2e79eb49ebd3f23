#pragma once

#include <string>
#include <string_view>

namespace fotoshuttle {

// The marker that replaces each "." of a kept source's name during a batch, so the parked
// name is no longer eligible.
inline constexpr std::string_view kParkingMarker = "$$$";
// Companion files deleted with their pictures when sources are deleted.
inline constexpr std::string_view kCompanionExtension = ".hdr";

// True when the entry text contains one of the fourteen picture extensions (".BMP", ".bmp",
// ".GIF", ".gif", ".JPG", ".jpg", ".JPEG", ".jpeg", ".PNG", ".png", ".TIF", ".tif", ".TIFF",
// ".tiff") anywhere, with exactly that case. UTF-8 never hides an ASCII byte inside a
// multi-byte character, so a plain byte search is exact.
bool IsEligibleEntry(std::string_view entry);

// The entry with the text from its last "." to the end replaced by format (".png" ...);
// without any ".", format is appended.
std::string OutputEntryName(std::string_view entry, std::string_view format);

// Every "." replaced by "$$$", and back.
std::string ParkedEntryName(std::string_view entry);
std::string UnparkedEntryName(std::string_view entry);

bool IsParkedEntry(std::string_view entry);
bool IsCompanionEntry(std::string_view entry);

}  // namespace fotoshuttle
