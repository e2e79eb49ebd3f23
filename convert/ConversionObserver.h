#pragma once

#include <string>
#include <vector>

#include "convert/ManualChoices.h"

namespace fotoshuttle {

// What a conversion asks of the dialog. Every call comes on the thread running the conversion.
class ConversionObserver {
  public:
    virtual ~ConversionObserver() = default;

    // Start, stop, the choices, the size boxes and both lists off; IDC_CONVERT_NOW stays on
    // for a manual conversion.
    virtual void EnterBusy(bool keepConvertNowEnabled) = 0;
    // A fresh listing of the input folder (IDC_SRC_LIST) or the output folder (IDC_DST_LIST),
    // in the order the conversion works through it.
    virtual void ShowSourceListing(const std::vector<std::string>& entries) = 0;
    virtual void ShowOutputListing(const std::vector<std::string>& entries) = 0;
    // Idle or Watching by g_bStopWatch, then IDC_CONVERT_NOW and both lists on.
    virtual void RestoreControlState() = 0;
    // Manual conversion only, once it found something to convert: the current state of the
    // choice controls (StoreManualChoices reads and stores them).
    virtual ChoiceControls ReadChoiceControls() = 0;
};

}  // namespace fotoshuttle
