// Fuzz target for the INI reader: arbitrary file text, looked up for the program's own keys
// and for a key and section taken from the input, and the numbers read as the settings do.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/IniProfile.h"
#include "platform/NumberReading.h"

namespace {

void Check(const std::string& value) {
    if (value.size() > fotoshuttle::kProfileValueLimit) {
        std::abort();
    }
    (void)fotoshuttle::DecimalReading(value);
    (void)fotoshuttle::HexadecimalReading(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const char* key : {"srcfolder", "dstfolder", "duration", "delaytime"}) {
        Check(fotoshuttle::ProfileLookup(text, "ProgramData", key));
    }
    // Section and key from the input's first line, split at its first '='.
    const std::string_view firstLine = text.substr(0, text.find('\n'));
    const std::size_t equals = firstLine.find('=');
    if (equals != std::string_view::npos) {
        Check(fotoshuttle::ProfileLookup(text, firstLine.substr(0, equals),
                                         firstLine.substr(equals + 1)));
    }
    return 0;
}
