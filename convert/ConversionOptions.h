#pragma once

#include <string>

namespace fotoshuttle {

// The six conversion choices as one value. Texts are compared whole and case-sensitively:
// only "change" resizes, only "del" deletes sources, only "heritage" passes file times on.
struct ConversionOptions {
    std::string format =
        ".jpg";  // ".bmp" ".png" ".gif" ".tif" ".jpg"; anything else converts nothing
    std::string resize = "nochange";
    std::string after = "del";
    std::string timestamp = "noheritage";
    int width = 0;
    int height = 0;

    bool Resizes() const { return resize == "change"; }
    bool DeletesSources() const { return after == "del"; }
    bool PassesTimesOn() const { return timestamp == "heritage"; }
};

// The process-wide values (g_strFormat ... g_nHeight) as one value, and back.
ConversionOptions CurrentConversionOptions();
void StoreConversionOptions(const ConversionOptions& options);

}  // namespace fotoshuttle
