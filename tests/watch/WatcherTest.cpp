#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "platform/ProcessState.h"
#include "tests/watch/WatcherFixture.h"
#include "watch/StopFile.h"

namespace fotoshuttle::testing {
namespace {

using Texts = std::vector<std::string>;

TEST_F(WatcherFixture, NoChangeWakesAtEachTimeOutAndHandsNothingOver) {
    WatcherHandle watcher = Start(20);
    ASSERT_TRUE(watcher.IsValid());
    AwaitState(watcher, WatcherState::Waiting);
    AwaitWakeups(watcher, 5);
    EXPECT_EQ(calls.load(), 0);
    EXPECT_EQ(boxes.texts(), Texts{kWatchingStarted});
    EXPECT_EQ(g_bStopWatch.load(), 0);
}

// Copies made while the watcher cannot look (its first box is open, or it waits for a call)
// are complete before it reads their events, so each must cause exactly one call.
TEST_F(WatcherFixture, EachCopiedFileMakesOneCall) {
    gate.Hold(kWatchingStarted);
    WatcherHandle watcher = Start(20);
    ASSERT_TRUE(PumpUntil([&] { return gate.OpenCount(kWatchingStarted) == 1; }));
    ASSERT_TRUE(CopyPictureInto(folder.path(), "first.jpg"));

    duringCall = [&](int call) {
        if (call == 1) {
            ASSERT_TRUE(CopyPictureInto(folder.path(), "during.jpg"));
        }
    };
    gate.Release(kWatchingStarted);
    ASSERT_TRUE(PumpUntil([&] { return calls.load() == 2; }));
    AwaitWakeups(watcher, 5);
    EXPECT_EQ(calls.load(), 2);
    EXPECT_EQ(watcher.State(), WatcherState::Waiting);
}

TEST_F(WatcherFixture, CopyWhileWaitingMakesOneCall) {
    WatcherHandle watcher = Start(20);
    AwaitState(watcher, WatcherState::Waiting);
    ASSERT_TRUE(CopyPictureInto(folder.path(), "a.jpg"));
    ASSERT_TRUE(PumpUntil([&] { return calls.load() >= 1; }));
    AwaitWakeups(watcher, 5);
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(watcher.State(), WatcherState::Waiting);
}

TEST_F(WatcherFixture, StopWhileTheFirstBoxIsOpenEndsWithoutACall) {
    gate.Hold(kWatchingStarted);
    WatcherHandle watcher = Start(60000);
    ASSERT_TRUE(PumpUntil([&] { return gate.OpenCount(kWatchingStarted) == 1; }));
    ASSERT_TRUE(CopyPictureInto(folder.path(), "a.jpg"));
    RequestStop(kStopMessage);
    gate.Release(kWatchingStarted);

    ASSERT_TRUE(AwaitEnd(watcher));
    EXPECT_EQ(calls.load(), 0);
    EXPECT_EQ(boxes.texts(), (Texts{kWatchingStarted, kWatchingEnded}));
    EXPECT_FALSE(Exists(folder / "FORSTOP"));
}

TEST_F(WatcherFixture, StopDuringACallLetsTheCallFinishThenEnds) {
    bool finishedAfterStop = false;
    duringCall = [&](int) {
        RequestStop(kStopMessage);
        // The watcher is still waiting for this call: it has not ended yet.
        EXPECT_EQ(Count(kWatchingEnded), 0);
        finishedAfterStop = true;
    };
    WatcherHandle watcher = Start(60000);
    AwaitState(watcher, WatcherState::Waiting);
    ASSERT_TRUE(CopyPictureInto(folder.path(), "a.jpg"));

    ASSERT_TRUE(AwaitEnd(watcher));
    EXPECT_TRUE(finishedAfterStop);
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(boxes.texts(), (Texts{kWatchingStarted, kWatchingEnded}));
}

TEST_F(WatcherFixture, ChangeSeenWithTheFlagSetNeverCalls) {
    WatcherHandle watcher = Start(60000);
    AwaitState(watcher, WatcherState::Waiting);
    g_bStopWatch.store(1);  // no stop file: the copy is what wakes the watcher
    ASSERT_TRUE(CopyPictureInto(folder.path(), "a.jpg"));

    ASSERT_TRUE(AwaitEnd(watcher));
    EXPECT_EQ(calls.load(), 0);
    EXPECT_EQ(boxes.texts(), (Texts{kWatchingStarted, kWatchingEnded}));
}

TEST_F(WatcherFixture, NoticeAlreadyHandedOverIsDroppedWhenStopComesFirst) {
    WatcherHandle watcher = Start(60000);
    AwaitState(watcher, WatcherState::Waiting);
    ASSERT_TRUE(CopyPictureInto(folder.path(), "a.jpg"));
    // Without turning the event loop the notice stays queued for this thread.
    for (int i = 0; i < 10000 && watcher.State() != WatcherState::Dispatching; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(watcher.State(), WatcherState::Dispatching);
    RequestStop(kStopMessage);

    ASSERT_TRUE(AwaitEnd(watcher));
    EXPECT_EQ(calls.load(), 0);
    EXPECT_EQ(boxes.texts(), (Texts{kWatchingStarted, kWatchingEnded}));
}

TEST_F(WatcherFixture, StopFileStaysWhileTheEndBoxIsOpen) {
    gate.Hold(kWatchingEnded);
    // A time-out far beyond the test: only the stop file can wake the watcher.
    WatcherHandle watcher = Start(600000);
    AwaitState(watcher, WatcherState::Waiting);
    RequestStop(kStopMessage);
    ASSERT_TRUE(PumpUntil([&] { return gate.OpenCount(kWatchingEnded) == 1; }));
    EXPECT_TRUE(Exists(folder / "FORSTOP"));

    gate.Release(kWatchingEnded);
    ASSERT_TRUE(AwaitEnd(watcher));
    EXPECT_FALSE(Exists(folder / "FORSTOP"));
    EXPECT_EQ(calls.load(), 0);
}

TEST_F(WatcherFixture, WriteProtectedFolderStillEndsWithinOneTimeOut) {
    ASSERT_EQ(::chmod(folder.path().c_str(), 0500), 0);
    WatcherHandle watcher = Start(200);
    AwaitState(watcher, WatcherState::Waiting);
    const int wakeupsAtStop = watcher.Wakeups();
    RequestStop(kStopMessage);
    EXPECT_EQ(Count(kStopMessage), 2);

    ASSERT_TRUE(AwaitEnd(watcher));
    EXPECT_LE(watcher.Wakeups(), wakeupsAtStop + 1);
    EXPECT_EQ(Count(kWatchingEnded), 1);
    EXPECT_EQ(calls.load(), 0);
}

TEST_F(WatcherFixture, FileGivenAsTheFolderFailsAtOnce) {
    WriteFile(folder / "plain.txt", "not a folder");
    WatcherHandle watcher = WatchFolder(folder / "plain.txt", 20, receiver);
    ASSERT_TRUE(AwaitEnd(watcher));
    EXPECT_EQ(boxes.texts(), Texts{"監視状態指定失敗"});
    EXPECT_EQ(watcher.Wakeups(), 0);
}

TEST_F(WatcherFixture, FolderRemovedWhileWatchedCannotBeWatchedAgain) {
    const std::string watched = folder / "in";
    ASSERT_EQ(::mkdir(watched.c_str(), 0700), 0);
    WatcherHandle watcher = WatchFolder(watched, 60000, receiver);
    AwaitState(watcher, WatcherState::Waiting);
    ASSERT_EQ(::rmdir(watched.c_str()), 0);

    ASSERT_TRUE(AwaitEnd(watcher));
    EXPECT_EQ(boxes.texts(), (Texts{kWatchingStarted, "再監視失敗"}));
    EXPECT_EQ(calls.load(), 0);
}

TEST_F(WatcherFixture, NoReceiverMeansNoWatcher) {
    FolderChangeReceiver gone;
    {
        QObject shortLived;
        gone = FolderChangeReceiver(&shortLived, [] {});
        EXPECT_TRUE(gone.IsAlive());
    }
    EXPECT_FALSE(gone.IsAlive());
    g_bStopWatch.store(1);
    WatcherHandle watcher = WatchFolder(folder.path(), 20, gone);
    EXPECT_FALSE(watcher.IsValid());
    EXPECT_EQ(boxes.texts(), Texts{"スレッド開始できません。"});
    EXPECT_EQ(g_bStopWatch.load(), 1);
    EXPECT_EQ(LiveWatcherCount(), 0);
}

TEST_F(WatcherFixture, StartWatchingUsesTheSettings) {
    g_nDuration = 20;
    WatcherHandle watcher = StartWatching(receiver);
    AwaitState(watcher, WatcherState::Waiting);
    ASSERT_TRUE(CopyPictureInto(folder.path(), "a.jpg"));
    ASSERT_TRUE(PumpUntil([&] { return calls.load() >= 1; }));
    AwaitWakeups(watcher, 3);  // wakes by itself: the short time-out was taken
}

// A share: changes made by other machines reach no inotify event, only the snapshot.
TEST_F(WatcherFixture, ForcedSnapshotFallbackHandsOverWhatInotifyMisses) {
    for (ChangeDetection detection :
         {ChangeDetection::Automatic, ChangeDetection::FolderSnapshot}) {
        SCOPED_TRACE(detection == ChangeDetection::Automatic ? "inotify" : "snapshot");
        WriteFile(folder / "remote.jpg", "picture");
        calls.store(0);
        WatcherHandle watcher = Start(20, detection);
        AwaitState(watcher, WatcherState::Waiting);
        const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (folder / "remote.jpg").c_str(), times, 0), 0);
        AwaitWakeups(watcher, 5);
        EXPECT_EQ(calls.load(), detection == ChangeDetection::Automatic ? 0 : 1);

        RequestStop(kStopMessage);
        ASSERT_TRUE(AwaitEnd(watcher));
        ASSERT_EQ(::unlink((folder / "remote.jpg").c_str()), 0);
    }
}

}  // namespace
}  // namespace fotoshuttle::testing
