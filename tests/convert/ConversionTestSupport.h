#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "convert/ConversionObserver.h"
#include "imaging/PictureOperations.h"

namespace fotoshuttle::testing {

// The dialog's side of a conversion, written down: each call in order, and every listing shown.
class RecordingObserver : public ConversionObserver {
  public:
    void EnterBusy(bool keepConvertNowEnabled) override;
    void ShowSourceListing(const std::vector<std::string>& entries) override;
    void ShowOutputListing(const std::vector<std::string>& entries) override;
    void RestoreControlState() override;
    ChoiceControls ReadChoiceControls() override;

    // "busy", "busy+convert-now", "src", "dst", "restore", "choices"
    std::vector<std::string> calls;
    std::vector<std::vector<std::string>> sourceListings;
    std::vector<std::vector<std::string>> outputListings;
    ChoiceControls controls;
    // Runs after the source listing with this number (from 0) was recorded.
    std::function<void(std::size_t)> afterSourceListing;
};

// A real picture file of the given size, encoded by our own codecs by its extension
// (.bmp .png .gif .tif .jpg); the pixels are a gradient so every codec has work to do.
void WritePicture(const std::string& path, int width, int height);
// The size of the picture in a file, or {0, 0} when it does not load.
std::pair<int, int> PictureSize(const std::string& path);
// Every name in a folder, hidden ones included, sorted bytewise.
std::vector<std::string> AllNames(const std::string& folder);
// Sets both access and modification time of a file to the given seconds since the epoch.
void SetFileTimes(const std::string& path, long seconds);
long ModificationSeconds(const std::string& path);

}  // namespace fotoshuttle::testing
