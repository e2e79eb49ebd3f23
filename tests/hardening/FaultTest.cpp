// Faults from outside while a batch runs: folders that vanish or turn read-only, sources that
// go or change under the batch, and an error log that is gone or held by another program.
// Each time the batch ends, says what went wrong the usual way, leaves no partial output and
// keeps every source whose picture is not in the output folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "convert/ErrorLog.h"
#include "tests/convert/BatchConversionFixture.h"
#include "tests/support/RecordingMessageBoxService.h"

namespace fotoshuttle::testing {
namespace {

using Names = std::vector<std::string>;

// The real operations, with something done to the folders just before the second picture is
// saved: the first is then complete and the second already read, whether the batch reads it
// ahead or not.
class OperationsWithAnIntruder : public CPictureOperations {
  public:
    explicit OperationsWithAnIntruder(std::function<void()> intrude)
        : m_intrude(std::move(intrude)) {}
    int SaveAsTiff(const std::string& path, const Bitmap* bitmap) override {
        if (++m_saves == 2) {
            m_intrude();
        }
        return CPictureOperations::SaveAsTiff(path, bitmap);
    }

  private:
    std::function<void()> m_intrude;
    int m_saves = 0;
};

class Faults : public BatchConversionFixture {
  protected:
    void WriteSources() {
        for (const char* name : {"a.jpg", "b.png", "c.gif"}) {
            WritePicture(In(name), 120, 90);
        }
    }
    void ExpectFirstConvertedOthersLoggedAndKept(const BatchSummary& summary) {
        EXPECT_EQ(summary.converted, 1);
        EXPECT_EQ(Log(), NotConvertedLine("b.tif") + NotConvertedLine("c.tif"));
        EXPECT_EQ(AllNames(m_in), (Names{"b.png", "c.gif"}));
    }
};

TEST_F(Faults, OutputFolderRemovedDuringTheBatch) {
    WriteSources();
    OperationsWithAnIntruder operations([this] { std::filesystem::remove_all(m_out); });

    BatchSummary summary = RunBatch(Options(".tif"), operations);

    ExpectFirstConvertedOthersLoggedAndKept(summary);
    EXPECT_FALSE(Exists(m_out)) << "the batch never makes an output folder of its own";
}

TEST_F(Faults, OutputFolderTurnedReadOnlyDuringTheBatch) {
    WriteSources();
    OperationsWithAnIntruder operations([this] { ::chmod(m_out.c_str(), 0555); });

    BatchSummary summary = RunBatch(Options(".tif"), operations);

    ::chmod(m_out.c_str(), 0755);
    if (summary.converted == 3) {
        GTEST_SKIP() << "permission bits are not enforced for this user";
    }
    ExpectFirstConvertedOthersLoggedAndKept(summary);
    EXPECT_EQ(AllNames(m_out), (Names{"a.tif"})) << "no partial or temporary file stays";
}

TEST_F(Faults, SourceRemovedBetweenListingAndLoading) {
    WriteSources();
    m_observer.afterSourceListing = [this](std::size_t listing) {
        if (listing == 0) {
            ::unlink(In("b.png").c_str());
        }
    };

    BatchSummary summary = RunBatch(Options(".tif"));

    EXPECT_EQ(summary.converted, 2);
    EXPECT_EQ(Log(), NotConvertedLine("b.tif"));
    EXPECT_TRUE(AllNames(m_in).empty());
    EXPECT_EQ(AllNames(m_out), (Names{"a.tif", "c.tif"}));
}

TEST_F(Faults, InputFolderRemovedDuringTheBatch) {
    WriteSources();
    OperationsWithAnIntruder operations([this] { std::filesystem::remove_all(m_in); });

    BatchSummary summary = RunBatch(Options(".tif"), operations);

    EXPECT_EQ(summary.converted, 1);
    EXPECT_LE(summary.passes, 2) << "a folder that is gone ends the batch";
    // What vanished with the folder may or may not be logged; nothing else is.
    const std::string log = Log();
    EXPECT_TRUE(log == "" || log == NotConvertedLine("c.tif") ||
                log == NotConvertedLine("b.tif") + NotConvertedLine("c.tif"))
        << log;
    EXPECT_EQ(AllNames(m_out), (Names{"a.tif"}));
    EXPECT_EQ(m_observer.calls.back(), "restore");
}

// A second program rewrites a picture again and again, in pieces, while the batch runs. The
// output, if any, is a whole picture, and the source goes only with its picture in place.
TEST_F(Faults, PictureRewrittenByAnotherProgramWhileTheBatchReadsIt) {
    WritePicture(In("a.jpg"), 120, 90);
    WritePicture(m_root / "whole.png", 640, 480);
    const std::string whole = ReadFile(m_root / "whole.png");
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        while (!stop) {
            const int fd = ::open(In("busy.png").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            for (std::size_t at = 0; fd >= 0 && at < whole.size() && !stop; at += 4096) {
                const std::size_t size = std::min<std::size_t>(4096, whole.size() - at);
                if (::write(fd, whole.data() + at, size) < 0) {
                    break;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
            if (fd >= 0) {
                ::close(fd);
            }
        }
    });
    m_onWait = [](std::chrono::milliseconds duration) {
        std::this_thread::sleep_for(std::min(duration, std::chrono::milliseconds(20)));
    };

    BatchSummary summary = RunBatch(Options(".bmp"));
    stop = true;
    writer.join();

    EXPECT_GE(summary.converted, 1);
    EXPECT_FALSE(Exists(In("a.jpg")));
    if (Exists(Out("busy.bmp"))) {
        EXPECT_EQ(PictureSize(Out("busy.bmp")), (std::pair{640, 480}));
    } else {
        EXPECT_TRUE(Exists(In("busy.png"))) << "a source without its picture must stay";
    }
    for (const std::string& name : AllNames(m_out)) {
        EXPECT_TRUE(name == "a.bmp" || name == "busy.bmp") << name;
    }
    // Once the writer is done, the next batch converts it.
    WriteFile(In("busy.png"), whole);
    RunBatch(Options(".bmp"));
    EXPECT_EQ(PictureSize(Out("busy.bmp")), (std::pair{640, 480}));
    EXPECT_FALSE(Exists(In("busy.png")));
}

TEST_F(Faults, LogFileDeletedBeforeTheBatch) {
    RecordingMessageBoxService boxes;
    WritePicture(In("good.jpg"), 64, 48);
    WriteFile(In("bad.jpg"), "not a picture");
    ::unlink(m_log.c_str());

    BatchSummary summary = RunBatch(Options(".png"));

    EXPECT_EQ(summary.converted, 1);
    EXPECT_EQ(boxes.texts(), (Names{std::string(kLogUnavailableMessage)}));
    EXPECT_FALSE(Exists(m_log)) << "the log is never created by the program";
    EXPECT_EQ(AllNames(m_in), (Names{"bad.jpg"}));
    EXPECT_EQ(AllNames(m_out), (Names{"good.png"}));
}

// Another process holds the log open without sharing for holdMs, then lets it go.
pid_t HoldLogInAnotherProcess(const std::string& log, int holdMs) {
    int ready[2];
    if (::pipe(ready) != 0) {
        return -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(log.c_str(), O_RDWR);
        ::flock(fd, LOCK_EX);
        const char byte = 1;
        (void)!::write(ready[1], &byte, 1);
        ::usleep(static_cast<useconds_t>(holdMs) * 1000);
        ::_exit(0);
    }
    char byte = 0;
    (void)!::read(ready[0], &byte, 1);
    ::close(ready[0]);
    ::close(ready[1]);
    return child;
}

TEST_F(Faults, LogHeldByAnotherProcessCostsTheEntryAndABox) {
    RecordingMessageBoxService boxes;
    WriteFile(In("bad.jpg"), "not a picture");
    const pid_t holder = HoldLogInAnotherProcess(m_log, 6000);
    ASSERT_GT(holder, 0);

    RunBatch(Options(".png"));

    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(boxes.texts(), (Names{std::string(kLogUnavailableMessage)}));
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(AllNames(m_in), (Names{"bad.jpg"}));
}

TEST_F(Faults, LogReleasedWithinTheRetryGetsItsEntry) {
    RecordingMessageBoxService boxes;
    WriteFile(In("bad.jpg"), "not a picture");
    const pid_t holder = HoldLogInAnotherProcess(m_log, 500);
    ASSERT_GT(holder, 0);

    RunBatch(Options(".png"));

    ::waitpid(holder, nullptr, 0);
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_EQ(Log(), NotConvertedLine("bad.png"));
}

}  // namespace
}  // namespace fotoshuttle::testing
