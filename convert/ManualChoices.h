#pragma once

#include <array>
#include <optional>
#include <string>

#include "convert/ConversionOptions.h"

namespace fotoshuttle {

// The state of the dialog's choice controls at the moment of a manual conversion.
struct ChoiceControls {
    // IDC_FMT_BMP, IDC_FMT_PNG, IDC_FMT_GIF, IDC_FMT_TIFF, IDC_FMT_JPEG, IDC_FMT_EMF
    std::array<bool, 6> formatSelected{};
    bool noResizeSelected = false;   // IDC_NO_RESIZE
    bool resizeSelected = false;     // IDC_RESIZE
    std::string sizeUpperText;       // IDC_SIZE_UPPER, gives the width
    std::string sizeLowerText;       // IDC_SIZE_LOWER, gives the height
    bool deleteSelected = false;     // IDC_DELETE_SRC
    bool keepSelected = false;       // IDC_KEEP_SRC
    bool noInheritSelected = false;  // IDC_NO_INHERIT
    bool inheritSelected = false;    // IDC_INHERIT
};

struct ManualChoiceOutcome {
    std::optional<ConversionOptions> options;  // set when every check passed
    std::string message;                       // the box to show when one failed
};

// Reads the choices in the manual order (format, resize, sizes, after, time stamp) into the
// process-wide values, each stored before it is checked. The first failed check ends the
// reading with its message; what was stored so far stays stored. Sizes below 15 become 15.
ManualChoiceOutcome StoreManualChoices(const ChoiceControls& controls);

}  // namespace fotoshuttle
