#pragma once

#include <optional>
#include <string_view>

namespace fotoshuttle {

// Leading blanks, an optional sign, then decimal digits up to the first other character;
// 0 without digits. Values beyond the int range saturate.
int DecimalReading(std::string_view text);

enum class HexScan { Converted, NoNumber, NothingToScan };

struct HexReading {
    HexScan scan = HexScan::NothingToScan;
    int value = 0;  // meaningful only when scan == Converted
};

// Leading blanks, an optional sign, an optional 0x/0X, then hexadecimal digits. A text of only
// blanks reports NothingToScan; a text that starts with no hexadecimal number reports NoNumber.
// Values beyond the int range saturate.
HexReading HexadecimalReading(std::string_view text);

}  // namespace fotoshuttle
