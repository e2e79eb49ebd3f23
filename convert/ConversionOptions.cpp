#include "convert/ConversionOptions.h"

#include "platform/ProcessState.h"

namespace fotoshuttle {

ConversionOptions CurrentConversionOptions() {
    return ConversionOptions{g_strFormat,    g_strResize, g_strAfter,
                             g_strTimestamp, g_nWidth,    g_nHeight};
}

void StoreConversionOptions(const ConversionOptions& options) {
    g_strFormat = options.format;
    g_strResize = options.resize;
    g_strAfter = options.after;
    g_strTimestamp = options.timestamp;
    g_nWidth = options.width;
    g_nHeight = options.height;
}

}  // namespace fotoshuttle
