// The program started as a real process: single instance, settings refusals, where it looks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QThread>

#include "dialog/Settings.h"
#include "tests/app/ProgramUnderTest.h"

namespace fotoshuttle {
namespace {

using testing::ProgramUnderTest;
using testing::WriteFile;

constexpr int kStartTimeoutMs = 10000;

void Stop(QProcess& process) {
    process.kill();
    process.waitForFinished(5000);
}

TEST(StartUp, SecondStartEndsSilentlyWhileTheFirstRuns) {
    ProgramUnderTest program;
    std::string exe = program.Install();
    program.WriteValidIni(program.work());
    auto first = program.Start(exe, program.work());
    ASSERT_TRUE(program.WaitForMarker(kStartTimeoutMs));

    auto second = program.Start(exe, program.work());
    ASSERT_TRUE(second->waitForFinished(kStartTimeoutMs));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_FALSE(second->readAllStandardError().contains("fotoshuttle:"));

    EXPECT_EQ(first->state(), QProcess::Running);
    Stop(*first);
}

// A start that gets past the single-instance test reads its settings, and with no INI file
// in its working folder it says so: the duration message proves it was not held back.
TEST(StartUp, OnlyALiveInstanceOfTheSameNameHoldsAStartBack) {
    ProgramUnderTest program;
    std::string exe = program.Install();
    std::string copy = program.Install("fotoshuttle-copy");

    // Leftovers of a process that died: the lock file and its socket file.
    WriteFile(program.runtime() + "/fotoshuttle.lock", "");
    WriteFile(program.runtime() + "/FOTOSHUTTLE_HIDE_DIALOG", "");
    auto afterCrash = program.Start(exe, program.work());
    EXPECT_TRUE(ProgramUnderTest::WaitForOutput(*afterCrash, kBadDurationMessage, kStartTimeoutMs));
    Stop(*afterCrash);

    // The lock is held, but its holder never showed a hidden window.
    int holder = ::open((program.runtime() + "/fotoshuttle.lock").c_str(), O_RDWR);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    auto lockedOnly = program.Start(exe, program.work());
    EXPECT_TRUE(ProgramUnderTest::WaitForOutput(*lockedOnly, kBadDurationMessage, kStartTimeoutMs));
    Stop(*lockedOnly);
    ::close(holder);

    // A copy under another file name runs beside a live instance.
    std::string configured = program.work() + "/configured";
    ::mkdir(configured.c_str(), 0700);
    program.WriteValidIni(configured);
    auto first = program.Start(exe, configured);
    ASSERT_TRUE(program.WaitForMarker(kStartTimeoutMs));
    auto other = program.Start(copy, program.work());
    EXPECT_TRUE(ProgramUnderTest::WaitForOutput(*other, kBadDurationMessage, kStartTimeoutMs));
    EXPECT_EQ(first->state(), QProcess::Running);
    Stop(*other);
    Stop(*first);
}

// Each refusal shows its own text, as the only message, and the program ends with status 0
// once the user closes the box.
TEST(StartUp, RefusalShowsItsTextAndEndsWithStatusZeroWhenClosed) {
    testing::VirtualDisplay display;
    if (!display.running()) {
        GTEST_SKIP() << "no Xvfb and xdotool to close a box with";
    }
    enum class Setup { NoIni, NoInput, NoOutput, NoLog, IniBesideProgramOnly, LogInWorkFolder };
    struct Case {
        Setup setup;
        const char* expected;
    } cases[] = {
        {Setup::NoIni, kBadDurationMessage},
        {Setup::NoInput, kBadSrcFolderMessage},
        {Setup::NoOutput, kBadDstFolderMessage},
        {Setup::NoLog, kMissingLogMessage},
        // The INI is looked for in the working folder, not beside the program.
        {Setup::IniBesideProgramOnly, kBadDurationMessage},
        // The log is looked for beside the program, not in the working folder.
        {Setup::LogInWorkFolder, kMissingLogMessage},
    };
    for (const Case& c : cases) {
        ProgramUnderTest program;
        std::string exe = program.Install();
        switch (c.setup) {
            case Setup::NoIni:
                break;
            case Setup::NoInput:
                program.WriteValidIni(program.work());
                ::rmdir(program.in().c_str());
                break;
            case Setup::NoOutput:
                program.WriteValidIni(program.work());
                ::rmdir(program.out().c_str());
                break;
            case Setup::NoLog:
                program.WriteValidIni(program.work());
                ::unlink(program.log().c_str());
                break;
            case Setup::IniBesideProgramOnly:
                program.WriteValidIni(program.bin());
                break;
            case Setup::LogInWorkFolder:
                program.WriteValidIni(program.work());
                ::unlink(program.log().c_str());
                WriteFile(program.work() + "/Fotoshuttle_log.txt", "");
                break;
        }
        auto process = program.Start(exe, program.work(), display.display());
        ASSERT_TRUE(ProgramUnderTest::WaitForOutput(*process, c.expected, kStartTimeoutMs))
            << c.expected;
        ASSERT_TRUE(display.PressReturnIn("fotoshuttle", kStartTimeoutMs)) << c.expected;
        ASSERT_TRUE(process->waitForFinished(kStartTimeoutMs)) << c.expected;
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit) << c.expected;
        EXPECT_EQ(process->exitCode(), 0) << c.expected;
        // Nothing else was said: the remaining output holds no further message.
        EXPECT_FALSE(process->readAllStandardError().contains("fotoshuttle:")) << c.expected;
    }
}

}  // namespace
}  // namespace fotoshuttle
