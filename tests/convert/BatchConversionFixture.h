#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "convert/BatchConversion.h"
#include "tests/convert/ConversionTestSupport.h"
#include "tests/support/TempFolder.h"

namespace fotoshuttle::testing {

// An input folder, an output folder and an empty log in a fresh temporary folder, the real
// picture operations, and a recorder of everything the conversion tells the dialog.
class BatchConversionFixture : public ::testing::Test {
  public:
    BatchConversionFixture();

    BatchSettings Settings(const ConversionOptions& options);
    BatchSummary RunBatch(const ConversionOptions& options);
    BatchSummary RunBatch(const ConversionOptions& options, CPictureOperations& operations);
    std::string Log() const { return ReadFile(m_log); }
    std::string In(const std::string& name) const { return m_in + "/" + name; }
    std::string Out(const std::string& name) const { return m_out + "/" + name; }
    std::string NotConvertedLine(const std::string& outputName) const;
    std::string TimestampLine(const std::string& entry) const;

    TempFolder m_root;
    std::string m_in;
    std::string m_out;
    std::string m_log;
    RecordingObserver m_observer;
    CPictureOperations m_operations;
    std::vector<std::chrono::milliseconds> m_waits;
    std::function<void(std::chrono::milliseconds)> m_onWait;
};

ConversionOptions Options(const char* format, const char* after = "del",
                          const char* timestamp = "noheritage");

}  // namespace fotoshuttle::testing
