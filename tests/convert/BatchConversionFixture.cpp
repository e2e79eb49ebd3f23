#include "tests/convert/BatchConversionFixture.h"

#include <sys/stat.h>

namespace fotoshuttle::testing {

BatchConversionFixture::BatchConversionFixture()
    : m_in(m_root / "in"), m_out(m_root / "out"), m_log(m_root / "Fotoshuttle_log.txt") {
    ::mkdir(m_in.c_str(), 0755);
    ::mkdir(m_out.c_str(), 0755);
    WriteFile(m_log, "");
}

BatchSettings BatchConversionFixture::Settings(const ConversionOptions& options) {
    BatchSettings settings;
    settings.sourceFolder = m_in;
    settings.outputFolder = m_out;
    settings.options = options;
    settings.delay = std::chrono::milliseconds(1500);
    settings.logPath = m_log;
    settings.settleInterval = std::chrono::milliseconds(5);
    settings.wait = [this](std::chrono::milliseconds duration) {
        m_waits.push_back(duration);
        if (m_onWait) {
            m_onWait(duration);
        }
    };
    return settings;
}

BatchSummary BatchConversionFixture::RunBatch(const ConversionOptions& options) {
    return RunBatch(options, m_operations);
}

BatchSummary BatchConversionFixture::RunBatch(const ConversionOptions& options,
                                              CPictureOperations& operations) {
    BatchConverter converter(operations, m_observer, Settings(options));
    return converter.RunBatch();
}

std::string BatchConversionFixture::NotConvertedLine(const std::string& outputName) const {
    return Out(outputName) + "は変換できませんでした。\r\n";
}

std::string BatchConversionFixture::TimestampLine(const std::string& entry) const {
    return In(entry) + "はタイムスタンプが更新できませんでした。\r\n";
}

ConversionOptions Options(const char* format, const char* after, const char* timestamp) {
    ConversionOptions options;
    options.format = format;
    options.after = after;
    options.timestamp = timestamp;
    options.width = 15;
    options.height = 15;
    return options;
}

}  // namespace fotoshuttle::testing
