#pragma once

#include <string>
#include <string_view>

namespace fotoshuttle {

// Longest value a lookup returns, in bytes; longer values are cut at a character boundary.
inline constexpr std::size_t kProfileValueLimit = 4095;

// Looks a key up in INI text the way a Windows profile reader does: section and key names match
// without regard to ASCII case, blanks around names and values are dropped, one pair of matching
// quotes around a value is removed, lines starting with ';' are comments, a UTF-8 byte-order mark
// is ignored, and the first matching section and key win. Anything missing reads as "".
std::string ProfileLookup(std::string_view iniText, std::string_view section, std::string_view key);

// Reads the file at iniPath and looks the key up; a file that cannot be read reads as empty.
std::string ReadProfileString(const std::string& iniPath, std::string_view section,
                              std::string_view key);

}  // namespace fotoshuttle
