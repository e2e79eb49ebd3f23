#include "dialog/Settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/ProcessState.h"
#include "tests/support/RecordingMessageBoxService.h"
#include "tests/support/TempFolder.h"

namespace fotoshuttle {
namespace {

using testing::WriteFile;

class SettingsTest : public ::testing::Test {
  protected:
    SettingsTest() {
        ::mkdir(m_in.c_str(), 0700);
        ::mkdir(m_out.c_str(), 0700);
        WriteFile(m_log, "");
    }

    void WriteIni(const std::string& duration, const std::string& delaytime) {
        WriteFile(m_ini, "[ProgramData]\nsrc_folder=" + m_in + "\ndst_folder=" + m_out +
                             "\nduration=" + duration + "\ndelaytime=" + delaytime + "\n");
    }

    testing::TempFolder m_folder;
    std::string m_in = m_folder / "in";
    std::string m_out = m_folder / "out";
    std::string m_log = m_folder / "Fotoshuttle_log.txt";
    std::string m_ini = m_folder / "Fotoshuttle.ini";
};

TEST_F(SettingsTest, DurationIsCheckedInDecimalAndKeptInHexadecimal) {
    struct Case {
        const char* text;
        int expected;
    } cases[] = {
        {"1000", 4096},
        {"3000", 12288},
        {"2000ms", 8192},
        {"999", 1000},
        {"0x2000", 1000},
        {"FFFF", 1000},
        {"-5000", 1000},
        {"x5", 1000},
        {"  1000  ", 4096},
        {"99999999999", 2147483647},  // saturates instead of wrapping to a negative wait
    };
    for (const Case& c : cases) {
        WriteIni(c.text, "2500");
        SettingsCheck check = LoadSettings(m_ini, m_log);
        ASSERT_FALSE(check.refusal) << c.text << ": " << *check.refusal;
        EXPECT_EQ(check.settings.duration, c.expected) << c.text;
    }
}

TEST_F(SettingsTest, DelayTimeIsDecimalWithAMinimum) {
    struct Case {
        const char* text;
        int expected;
    } cases[] = {{"2500", 2500}, {"", 1000},       {"abc", 1000},
                 {"999", 1000},  {"0x5000", 1000}, {"4000 ms", 4000}};
    for (const Case& c : cases) {
        WriteIni("1000", c.text);
        SettingsCheck check = LoadSettings(m_ini, m_log);
        ASSERT_FALSE(check.refusal) << c.text;
        EXPECT_EQ(check.settings.delayTime, c.expected) << c.text;
    }
    // A missing key reads like an empty one.
    WriteFile(m_ini,
              "[ProgramData]\nsrc_folder=" + m_in + "\ndst_folder=" + m_out + "\nduration=1000\n");
    EXPECT_EQ(LoadSettings(m_ini, m_log).settings.delayTime, 1000);
}

TEST_F(SettingsTest, OnlyTheFirstFailingCheckIsReported) {
    const std::string file = m_folder / "plain-file";
    WriteFile(file, "x");
    struct Case {
        std::string ini;
        std::string log;
        const char* expected;  // nullptr: accepted
    } cases[] = {
        // No file at all: every key is empty, so duration fails first.
        {"", m_log, kBadDurationMessage},
        {"[ProgramData]\nduration=   \n", "", kBadDurationMessage},
        {"[ProgramData]\nduration=1000\ndst_folder=" + m_out, m_log, kBadSrcFolderMessage},
        {"[ProgramData]\nduration=1000\nsrc_folder=" + m_folder / "gone", "", kBadSrcFolderMessage},
        {"[ProgramData]\nduration=1000\nsrc_folder=" + m_in, m_log, kBadDstFolderMessage},
        {"[ProgramData]\nduration=1000\nsrc_folder=" + m_in + "\ndst_folder=" + m_out,
         m_folder / "no-log.txt", kMissingLogMessage},
        // A file where a folder belongs passes here; watching it fails later.
        {"[ProgramData]\nduration=1000\nsrc_folder=" + file + "\ndst_folder=" + file, m_log,
         nullptr},
    };
    for (const Case& c : cases) {
        if (c.ini.empty()) {
            ::unlink(m_ini.c_str());
        } else {
            WriteFile(m_ini, c.ini);
        }
        SettingsCheck check = LoadSettings(m_ini, c.log);
        if (c.expected == nullptr) {
            EXPECT_FALSE(check.refusal) << c.ini;
        } else {
            ASSERT_TRUE(check.refusal) << c.ini;
            EXPECT_EQ(*check.refusal, c.expected) << c.ini;
        }
    }
}

TEST_F(SettingsTest, FolderTextsAreKeptAsWrittenAndStored) {
    WriteFile(m_ini, "[ProgramData]\nsrc_folder=" + m_in + "/\ndst_folder=" + m_out +
                         "//\nduration=3000\ndelaytime=2500\n");
    SettingsCheck check = LoadSettings(m_ini, m_log);
    ASSERT_FALSE(check.refusal);
    StoreSettings(check.settings);
    EXPECT_EQ(g_strSrcFolder, m_in + "/");
    EXPECT_EQ(g_strDstFolder, m_out + "//");
    EXPECT_EQ(g_nDuration, 12288);
    EXPECT_EQ(g_nDelayTime, 2500);
}

TEST(LoadSettingsOrEndProcess, RefusalEndsTheProcessWithStatusZeroAfterTheBox) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    testing::TempFolder folder;
    EXPECT_EXIT(
        {
            testing::RecordingMessageBoxService boxes;
            boxes.SetEchoToStderr(true);
            LoadSettingsOrEndProcess(folder / "Fotoshuttle.ini");
        },
        ::testing::ExitedWithCode(0),
        "\\[box\\] durationの設定が正しくありません。起動できません。");
}

}  // namespace
}  // namespace fotoshuttle
