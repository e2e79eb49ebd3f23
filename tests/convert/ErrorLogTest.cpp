#include "convert/ErrorLog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <unistd.h>

#include <vector>

#include "platform/ProcessInfo.h"
#include "tests/support/RecordingMessageBoxService.h"
#include "tests/support/TempFolder.h"

namespace fotoshuttle {
namespace {

using testing::ReadFile;
using testing::WriteFile;

class AppendLogTest : public ::testing::Test {
  protected:
    // Records the waits instead of sleeping; runs an optional action during the wait.
    RetryWait RecordingWait(std::function<void()> duringWait = {}) {
        return [this, duringWait](std::chrono::milliseconds delay) {
            m_waits.push_back(delay);
            if (duringWait) {
                duringWait();
            }
        };
    }

    testing::TempFolder m_folder;
    testing::RecordingMessageBoxService m_boxes;
    std::vector<std::chrono::milliseconds> m_waits;
    std::string m_log = m_folder / "Fotoshuttle_log.txt";
};

TEST_F(AppendLogTest, AppendsEveryByteAfterTheLastOne) {
    WriteFile(m_log, "");
    const std::string first = "/out/IMG_01.pngは変換できませんでした。\r\n";
    ASSERT_TRUE(AppendLog(m_log, first, RecordingWait()));
    EXPECT_EQ(ReadFile(m_log), first);

    // An earlier entry without a line end is kept as it is; nothing is added between.
    WriteFile(m_log, "old entry");
    ASSERT_TRUE(AppendLog(m_log, first, RecordingWait()));
    EXPECT_EQ(ReadFile(m_log), "old entry" + first);

    // Bytes are written as given, embedded NULs included.
    ASSERT_TRUE(AppendLog(m_log, std::string_view("a\0b", 3), RecordingWait()));
    EXPECT_EQ(ReadFile(m_log), "old entry" + first + std::string("a\0b", 3));
    EXPECT_TRUE(m_waits.empty());
    EXPECT_TRUE(m_boxes.texts().empty());
}

TEST_F(AppendLogTest, UnavailableLogIsTriedTwiceThenReported) {
    // Missing: never created.
    EXPECT_FALSE(AppendLog(m_log, "entry\r\n", RecordingWait()));
    EXPECT_FALSE(testing::Exists(m_log));

    // Held by another program (an exclusive lock on the file).
    WriteFile(m_log, "kept\r\n");
    int holder = ::open(m_log.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_FALSE(AppendLog(m_log, "entry\r\n", RecordingWait()));
    ::close(holder);
    EXPECT_EQ(ReadFile(m_log), "kept\r\n");

    ASSERT_EQ(m_waits.size(), 2u);
    EXPECT_EQ(m_waits[0], std::chrono::milliseconds(2000));
    EXPECT_EQ(m_waits[1], std::chrono::milliseconds(2000));
    EXPECT_EQ(m_boxes.texts(),
              (std::vector<std::string>{"Cannot open error_log.txt", "Cannot open error_log.txt"}));
}

TEST_F(AppendLogTest, LogReleasedDuringTheWaitTakesTheEntry) {
    WriteFile(m_log, "");
    int holder = ::open(m_log.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_TRUE(AppendLog(m_log, "entry\r\n", RecordingWait([&] { ::close(holder); })));
    EXPECT_EQ(ReadFile(m_log), "entry\r\n");
    EXPECT_EQ(m_waits.size(), 1u);
    EXPECT_TRUE(m_boxes.texts().empty());
}

TEST_F(AppendLogTest, FolderInsteadOfFileIsNotALog) {
    ASSERT_EQ(::mkdir(m_log.c_str(), 0700), 0);
    EXPECT_FALSE(AppendLog(m_log, "entry\r\n", RecordingWait()));
    EXPECT_EQ(m_boxes.texts().size(), 1u);
}

TEST_F(AppendLogTest, WriteOnAFullDiskFailsAndKeepsEarlierEntries) {
    std::string mountPoint = m_folder / "small";
    ASSERT_EQ(::mkdir(mountPoint.c_str(), 0700), 0);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    }
    std::string log = mountPoint + "/Fotoshuttle_log.txt";
    WriteFile(log, "earlier\r\n");
    // Nearly fill the disk so the entry fits only in part.
    WriteFile(mountPoint + "/filler", std::string(52 * 1024, 'x'));
    std::string entry(16 * 1024, 'e');
    EXPECT_FALSE(AppendLog(log, entry, RecordingWait()));
    EXPECT_EQ(ReadFile(log), "earlier\r\n");
    EXPECT_TRUE(m_boxes.texts().empty());
    ::umount(mountPoint.c_str());
}

TEST(GetLogFilePath, IsBesideTheExecutableWhateverTheCurrentDirectory) {
    std::string expected = ExecutableFolder() + "/Fotoshuttle_log.txt";
    EXPECT_EQ(GetLogFilePath(), expected);
    testing::TempFolder elsewhere;
    std::string before = CurrentDirectory();
    ASSERT_EQ(::chdir(elsewhere.path().c_str()), 0);
    EXPECT_EQ(GetLogFilePath(), expected);
    ASSERT_EQ(::chdir(before.c_str()), 0);
}

}  // namespace
}  // namespace fotoshuttle
