#pragma once

#include <string>
#include <vector>

#include "convert/ConversionObserver.h"

namespace fotoshuttle {

// A dialog that shows nothing: the benchmarks run batches without one.
class SilentObserver : public ConversionObserver {
  public:
    void EnterBusy(bool) override {}
    void ShowSourceListing(const std::vector<std::string>&) override {}
    void ShowOutputListing(const std::vector<std::string>&) override {}
    void RestoreControlState() override {}
    ChoiceControls ReadChoiceControls() override { return {}; }
};

}  // namespace fotoshuttle
