#include "platform/IniProfile.h"

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

namespace fotoshuttle {
namespace {

TEST(ProfileLookup, FollowsTheProfileRules) {
    const std::string ini =
        "\xEF\xBB\xBF; settings\r\n"
        "[Other]\r\n"
        "src_folder=/wrong\r\n"
        "[ programdata ]\r\n"
        "  SRC_Folder =   /scan/in  \r\n"
        "dst_folder=\"/scan/out dir\"\r\n"
        ";duration=1\r\n"
        "duration=1000\r\n"
        "duration=2000\r\n"
        "novalue\r\n"
        "empty=\r\n"
        "[ProgramData]\r\n"
        "delaytime=3000\r\n";
    struct Case {
        const char* key;
        const char* expected;
    } cases[] = {
        {"src_folder", "/scan/in"},  // key and section without regard to case, trimmed
        {"dst_folder", "/scan/out dir"},
        {"duration", "1000"},  // comment skipped, first key wins
        {"empty", ""},
        {"novalue", ""},
        {"delaytime", ""},  // only the first matching section counts
        {"missing", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProfileLookup(ini, "ProgramData", c.key), c.expected) << c.key;
    }
    EXPECT_EQ(ProfileLookup(ini, "Missing", "src_folder"), "");
    EXPECT_EQ(ProfileLookup("src_folder=/x\n", "ProgramData", "src_folder"), "");
}

TEST(ProfileLookup, SeesAtMost4095BytesAndNeverHalfACharacter) {
    std::string longValue(5000, 'a');
    EXPECT_EQ(ProfileLookup("[s]\nk=" + longValue + "\n", "s", "k"), std::string(4095, 'a'));

    // "あ" is three bytes; 4094 + 3 would straddle the limit, so the character goes whole.
    std::string straddling = std::string(4094, 'b') + "あ";
    EXPECT_EQ(ProfileLookup("[s]\nk=" + straddling, "s", "k"), std::string(4094, 'b'));
}

TEST(ReadProfileString, MissingOrUnreadableFileReadsEmpty) {
    testing::TempFolder folder;
    EXPECT_EQ(ReadProfileString(folder / "none.ini", "ProgramData", "duration"), "");
    EXPECT_EQ(ReadProfileString(folder.path(), "ProgramData", "duration"), "");
    EXPECT_EQ(ReadProfileString("", "ProgramData", "duration"), "");

    testing::WriteFile(folder / "Fotoshuttle.ini", "[ProgramData]\nduration = 3000\n");
    EXPECT_EQ(ReadProfileString(folder / "Fotoshuttle.ini", "programdata", "DURATION"), "3000");
}

}  // namespace
}  // namespace fotoshuttle
