#include "dialog/Settings.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "convert/ErrorLog.h"
#include "platform/IniProfile.h"
#include "platform/MessageBoxService.h"
#include "platform/NumberReading.h"
#include "platform/ProcessState.h"

namespace fotoshuttle {
namespace {

bool NamesExistingEntry(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

}  // namespace

SettingsCheck LoadSettings(const std::string& iniPath, const std::string& logPath) {
    SettingsCheck check;
    Settings& settings = check.settings;
    settings.srcFolder = ReadProfileString(iniPath, kSettingsSection, "src_folder");
    settings.dstFolder = ReadProfileString(iniPath, kSettingsSection, "dst_folder");
    std::string durationText = ReadProfileString(iniPath, kSettingsSection, "duration");
    int durationDecimal = DecimalReading(durationText);
    settings.delayTime = DecimalReading(ReadProfileString(iniPath, kSettingsSection, "delaytime"));

    // The minimum is judged on the decimal reading while the hexadecimal one is kept.
    HexReading durationHex = HexadecimalReading(durationText);
    if (durationHex.scan == HexScan::NothingToScan) {
        check.refusal = kBadDurationMessage;
        return check;
    }
    if (durationHex.scan == HexScan::Converted) {
        settings.duration = durationHex.value;
    }
    if (!NamesExistingEntry(settings.srcFolder)) {
        check.refusal = kBadSrcFolderMessage;
        return check;
    }
    if (!NamesExistingEntry(settings.dstFolder)) {
        check.refusal = kBadDstFolderMessage;
        return check;
    }
    if (!NamesExistingEntry(logPath)) {
        check.refusal = kMissingLogMessage;
        return check;
    }
    if (durationDecimal < kMinimumMilliseconds) {
        settings.duration = kMinimumMilliseconds;
    }
    if (settings.delayTime < kMinimumMilliseconds) {
        settings.delayTime = kMinimumMilliseconds;
    }
    return check;
}

void StoreSettings(const Settings& settings) {
    g_strSrcFolder = settings.srcFolder;
    g_strDstFolder = settings.dstFolder;
    g_nDuration = settings.duration;
    g_nDelayTime = settings.delayTime;
}

void LoadSettingsOrEndProcess(const std::string& iniPath) {
    SettingsCheck check = LoadSettings(iniPath, GetLogFilePath());
    if (check.refusal) {
        ShowMessageBox(*check.refusal);
        std::fflush(nullptr);
        std::_Exit(0);
    }
    StoreSettings(check.settings);
}

}  // namespace fotoshuttle
