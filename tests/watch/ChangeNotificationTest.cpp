#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "platform/ChangeNotification.h"
#include "platform/NetworkFileSystem.h"
#include "tests/support/TempFolder.h"
#include "tests/watch/WatcherTestSupport.h"

namespace fotoshuttle {
namespace {

using testing::Exists;
using testing::TempFolder;
using testing::WriteFile;

// Long enough that a wake-up which is due always arrives; the waits that are not due to wake
// take kQuietMs.
constexpr int kDueMs = 10000;
constexpr int kQuietMs = 150;

void SetModificationTime(const std::string& path, time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

struct FileOperation {
    const char* name;
    std::function<void(const TempFolder& watched, const TempFolder& elsewhere)> run;
    bool wakes;
};

void PrintTo(const FileOperation& operation, std::ostream* out) {
    *out << operation.name;
}

class ChangeNotificationOperations : public ::testing::TestWithParam<FileOperation> {};

TEST_P(ChangeNotificationOperations, WakesOnlyForNewOrWrittenContent) {
    TempFolder watched;
    TempFolder elsewhere;
    WriteFile(watched / "present.jpg", "picture");
    WriteFile(elsewhere / "outside.jpg", "picture");
    ASSERT_EQ(::mkdir((watched / "sub").c_str(), 0700), 0);

    auto notification = ChangeNotification::Arm(watched.path());
    ASSERT_NE(notification, nullptr);
    GetParam().run(watched, elsewhere);
    if (GetParam().wakes) {
        EXPECT_EQ(notification->Wait(kDueMs), WaitResult::Changed);
    } else {
        EXPECT_EQ(notification->Wait(kQuietMs), WaitResult::TimedOut);
    }
    EXPECT_TRUE(notification->Rearm());
}

INSTANTIATE_TEST_SUITE_P(
    Operations, ChangeNotificationOperations,
    ::testing::Values(
        FileOperation{
            "CopyIn",
            [](auto& w, auto&) { ASSERT_TRUE(testing::CopyPictureInto(w.path(), "c.jpg")); }, true},
        FileOperation{"CreateEmpty", [](auto& w, auto&) { WriteFile(w / "new", ""); }, true},
        FileOperation{"MakeSubfolder",
                      [](auto& w, auto&) { ASSERT_EQ(::mkdir((w / "new").c_str(), 0700), 0); },
                      true},
        FileOperation{
            "Truncate",
            [](auto& w, auto&) { ASSERT_EQ(::truncate((w / "present.jpg").c_str(), 0), 0); }, true},
        FileOperation{"RenameInFromElsewhere",
                      [](auto& w, auto& e) {
                          ASSERT_EQ(
                              std::rename((e / "outside.jpg").c_str(), (w / "in.jpg").c_str()), 0);
                      },
                      true},
        // What a batch does to the input folder itself must stay quiet.
        FileOperation{"RenameWithinFolder",
                      [](auto& w, auto&) {
                          ASSERT_EQ(std::rename((w / "present.jpg").c_str(),
                                                (w / "present$$$jpg").c_str()),
                                    0);
                      },
                      false},
        FileOperation{"Delete",
                      [](auto& w, auto&) { ASSERT_EQ(::unlink((w / "present.jpg").c_str()), 0); },
                      false},
        FileOperation{
            "RenameOut",
            [](auto& w, auto& e) {
                ASSERT_EQ(std::rename((w / "present.jpg").c_str(), (e / "gone.jpg").c_str()), 0);
            },
            false},
        FileOperation{
            "Chmod",
            [](auto& w, auto&) { ASSERT_EQ(::chmod((w / "present.jpg").c_str(), 0600), 0); },
            false},
        FileOperation{"TimeStamps",
                      [](auto& w, auto&) { SetModificationTime(w / "present.jpg", 1000000000); },
                      false},
        FileOperation{"OpenReadWriteAndClose",
                      [](auto& w, auto&) {
                          const int fd = ::open((w / "present.jpg").c_str(), O_RDWR);
                          ASSERT_GE(fd, 0);
                          ::close(fd);
                      },
                      false},
        FileOperation{"FileInSubfolder", [](auto& w, auto&) { WriteFile(w / "sub/deep.jpg", "x"); },
                      false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChangeNotification, ConsumesTheEventsOfAChangeAndKeepsLaterOnesQueued) {
    TempFolder watched;
    auto notification = ChangeNotification::Arm(watched.path());
    ASSERT_NE(notification, nullptr);

    ASSERT_TRUE(testing::CopyPictureInto(watched.path(), "a.jpg"));
    ASSERT_EQ(notification->Wait(kDueMs), WaitResult::Changed);
    // The copy's events were read with the wake-up: they do not wake a second time.
    ASSERT_TRUE(notification->Rearm());
    EXPECT_EQ(notification->Wait(kQuietMs), WaitResult::TimedOut);

    // A change made while the owner is busy wakes the next wait at once.
    ASSERT_TRUE(testing::CopyPictureInto(watched.path(), "b.jpg"));
    ASSERT_TRUE(notification->Rearm());
    EXPECT_EQ(notification->Wait(kDueMs), WaitResult::Changed);
}

TEST(ChangeNotification, RefusesWhatIsNoFolder) {
    TempFolder parent;
    WriteFile(parent / "file", "not a folder");
    EXPECT_EQ(ChangeNotification::Arm(parent / "file"), nullptr);
    EXPECT_EQ(ChangeNotification::Arm(parent / "missing"), nullptr);
    EXPECT_EQ(ChangeNotification::Arm(""), nullptr);
}

TEST(ChangeNotification, ReportsAFolderThatWentAway) {
    TempFolder parent;
    const std::string watched = parent / "in";
    ASSERT_EQ(::mkdir(watched.c_str(), 0700), 0);
    auto notification = ChangeNotification::Arm(watched);
    ASSERT_NE(notification, nullptr);

    ASSERT_EQ(::rmdir(watched.c_str()), 0);
    EXPECT_EQ(notification->Wait(kDueMs), WaitResult::Failed);
    EXPECT_FALSE(notification->Rearm());
}

TEST(ChangeNotification, LocalFolderIsNoShare) {
    TempFolder folder;
    auto notification = ChangeNotification::Arm(folder.path());
    ASSERT_NE(notification, nullptr);
    EXPECT_FALSE(IsOnNetworkFileSystem(folder.path()));
    EXPECT_FALSE(notification->UsesFolderSnapshot());
}

// The snapshot comparison is what notices changes made on another machine. A time-stamp change
// stands in for such a change here: inotify is told to ignore it, the snapshot is not.
TEST(ChangeNotification, SnapshotComparisonSeesWhatInotifyDoesNotReport) {
    TempFolder folder;
    WriteFile(folder / "remote.jpg", "picture");
    WriteFile(folder / "removed.jpg", "picture");
    auto notification = ChangeNotification::Arm(folder.path(), ChangeDetection::FolderSnapshot);
    ASSERT_NE(notification, nullptr);
    EXPECT_TRUE(notification->UsesFolderSnapshot());

    EXPECT_EQ(notification->Wait(20), WaitResult::TimedOut);
    SetModificationTime(folder / "remote.jpg", 1000000000);
    EXPECT_EQ(notification->Wait(20), WaitResult::Changed);
    // Compared with the newest snapshot only: the same state does not wake twice.
    EXPECT_EQ(notification->Wait(20), WaitResult::TimedOut);
    // A name that went away is no reason to convert.
    ASSERT_EQ(::unlink((folder / "removed.jpg").c_str()), 0);
    EXPECT_EQ(notification->Wait(20), WaitResult::TimedOut);
}

}  // namespace
}  // namespace fotoshuttle
