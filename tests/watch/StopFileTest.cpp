#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ChangeNotification.h"
#include "platform/ProcessState.h"
#include "tests/support/RecordingMessageBoxService.h"
#include "tests/support/TempFolder.h"
#include "watch/StopFile.h"

namespace fotoshuttle {
namespace {

using testing::Exists;
using testing::ReadFile;
using testing::RecordingMessageBoxService;
using testing::TempFolder;
using testing::WriteFile;

constexpr const char* kStopMessage = "終了できません。アプリを終了してください。";

class StopFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_strSrcFolder = folder.path();
        g_bStopWatch.store(0);
    }
    void TearDown() override { g_bStopWatch.store(1); }

    TempFolder folder;
    RecordingMessageBoxService boxes;
};

TEST_F(StopFileTest, RequestStopSetsTheFlagAndLeavesAnEmptyStopFile) {
    WriteFile(folder / "FORSTOP", "left over");
    RequestStop(kStopMessage);
    EXPECT_EQ(g_bStopWatch.load(), 1);
    EXPECT_TRUE(Exists(folder / "FORSTOP"));
    EXPECT_EQ(ReadFile(folder / "FORSTOP"), "");
    EXPECT_TRUE(boxes.texts().empty());
}

TEST_F(StopFileTest, CreatingAnExistingStopFileWakesAWatcherAgain) {
    ASSERT_TRUE(CreateStopFile(StopFilePath(folder.path())));
    auto notification = ChangeNotification::Arm(folder.path());
    ASSERT_NE(notification, nullptr);
    ASSERT_TRUE(CreateStopFile(StopFilePath(folder.path())));
    EXPECT_EQ(notification->Wait(10000), WaitResult::Changed);
}

TEST_F(StopFileTest, WriteProtectedFolderShowsTheMessageForEachAttempt) {
    ASSERT_EQ(::chmod(folder.path().c_str(), 0500), 0);
    RequestStop(kStopMessage);
    EXPECT_EQ(g_bStopWatch.load(), 1);
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{kStopMessage, kStopMessage}));
    EXPECT_FALSE(Exists(folder / "FORSTOP"));
}

// The input folder is a drop target for others: a link placed there under the stop file's name
// must not make Stop truncate the file it points at.
TEST_F(StopFileTest, DoesNotFollowALinkInPlaceOfTheStopFile) {
    TempFolder elsewhere;
    WriteFile(elsewhere / "precious.txt", "keep me");
    ASSERT_EQ(::symlink((elsewhere / "precious.txt").c_str(), (folder / "FORSTOP").c_str()), 0);

    RequestStop(kStopMessage);
    EXPECT_EQ(g_bStopWatch.load(), 1);
    EXPECT_EQ(ReadFile(elsewhere / "precious.txt"), "keep me");
    EXPECT_EQ(boxes.texts().size(), 2u);

    RemoveStopFile(StopFilePath(folder.path()));
    EXPECT_FALSE(Exists(folder / "FORSTOP"));
    EXPECT_EQ(ReadFile(elsewhere / "precious.txt"), "keep me");
}

}  // namespace
}  // namespace fotoshuttle
