#pragma once

#include <optional>
#include <string>

namespace fotoshuttle {

inline constexpr const char* kIniFileName = "Fotoshuttle.ini";
inline constexpr const char* kSettingsSection = "ProgramData";

inline constexpr const char* kBadDurationMessage =
    "durationの設定が正しくありません。起動できません。";
inline constexpr const char* kBadSrcFolderMessage =
    "入力folderの設定が正しくありません。起動できません。";
inline constexpr const char* kBadDstFolderMessage =
    "出力folderの設定が正しくありません。起動できません。";
inline constexpr const char* kMissingLogMessage =
    "Fotoshuttle_log.txtがありません。起動できません。";

inline constexpr int kMinimumMilliseconds = 1000;

struct Settings {
    std::string srcFolder;
    std::string dstFolder;
    int duration = 0;   // ms: the hexadecimal reading of "duration", at least 1000
    int delayTime = 0;  // ms: the decimal reading of "delaytime", at least 1000
};

struct SettingsCheck {
    Settings settings;
    // The message of the first check that failed; the program must not start then.
    std::optional<std::string> refusal;
};

// Reads the four settings from the INI file and checks them in order: duration, input folder,
// output folder, then that the error log exists. Folder texts are kept exactly as written.
SettingsCheck LoadSettings(const std::string& iniPath, const std::string& logPath);

// Copies checked settings into the process-wide state.
void StoreSettings(const Settings& settings);

// Loads the settings from iniPath with the log beside the executable and stores them; on a
// refusal shows its message and, once the box is closed, ends the process with status 0.
void LoadSettingsOrEndProcess(const std::string& iniPath);

}  // namespace fotoshuttle
