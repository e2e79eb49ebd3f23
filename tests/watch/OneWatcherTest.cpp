#include <sys/stat.h>

#include <vector>

#include "platform/ProcessState.h"
#include "tests/watch/WatcherFixture.h"
#include "watch/StopFile.h"

namespace fotoshuttle::testing {
namespace {

// Pictures arrive by rename here, one change each, so every count of calls is exact.
//
// Start never waits for the previous watcher, yet the previous one must not go on beside the
// new one, whatever it was doing when Start came.

TEST_F(WatcherFixture, RestartWhileTheOldWatcherHoldsItsFirstBox) {
    gate.Hold(kWatchingStarted);
    WatcherHandle old = Start(60000);
    ASSERT_TRUE(PumpUntil([&] { return gate.OpenCount(kWatchingStarted) == 1; }));
    RequestStop(kStopMessage);
    WatcherHandle current = Start(60000);  // returns while the old watcher is still held
    AwaitState(current, WatcherState::Waiting);
    EXPECT_EQ(old.State(), WatcherState::Announcing);

    gate.Release(kWatchingStarted);
    ASSERT_TRUE(AwaitEnd(old));
    ASSERT_TRUE(MovePictureInto(folder.path(), "a.jpg"));
    ASSERT_TRUE(PumpUntil([&] { return calls.load() == 1 && current.Wakeups() >= 1; }));
    AwaitState(current, WatcherState::Waiting);
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(LiveWatcherCount(), 1);
}

TEST_F(WatcherFixture, RestartBeforeTheOldWatcherSawItsStop) {
    // No stop file can be made, so the old watcher only learns of the stop at its time-out,
    // which the restart comes well before.
    ASSERT_EQ(::chmod(folder.path().c_str(), 0500), 0);
    WatcherHandle old = Start(60000);
    AwaitState(old, WatcherState::Waiting);
    RequestStop(kStopMessage);
    WatcherHandle current = Start(60000);
    AwaitState(current, WatcherState::Waiting);
    EXPECT_EQ(g_bStopWatch.load(), 0);
    EXPECT_EQ(old.State(), WatcherState::Waiting);

    // One change wakes both; only the current watcher hands it over.
    ASSERT_EQ(::chmod(folder.path().c_str(), 0700), 0);
    ASSERT_TRUE(MovePictureInto(folder.path(), "a.jpg"));
    ASSERT_TRUE(AwaitEnd(old));
    ASSERT_TRUE(PumpUntil([&] { return calls.load() >= 1; }));
    AwaitState(current, WatcherState::Waiting);
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(LiveWatcherCount(), 1);
}

TEST_F(WatcherFixture, QuickStopStartStopStartLeavesOneWatcher) {
    std::vector<WatcherHandle> watchers;
    for (int round = 0; round < 5; ++round) {
        RequestStop(kStopMessage);
        watchers.push_back(Start(60000));
        RequestStop(kStopMessage);
        watchers.push_back(Start(60000));
    }
    WatcherHandle current = watchers.back();
    ASSERT_TRUE(PumpUntil([] { return LiveWatcherCount() == 1; }));
    AwaitState(current, WatcherState::Waiting);

    ASSERT_TRUE(MovePictureInto(folder.path(), "a.jpg"));
    ASSERT_TRUE(PumpUntil([&] { return calls.load() >= 1; }));
    AwaitState(current, WatcherState::Waiting);
    EXPECT_EQ(calls.load(), 1);
    for (std::size_t i = 0; i + 1 < watchers.size(); ++i) {
        EXPECT_EQ(watchers[i].State(), WatcherState::Ended) << "watcher " << i;
    }
}

// The flag is cleared by Start itself, not by the new thread, which may run late: a stop that
// follows at once must hold.
TEST_F(WatcherFixture, StopRightAfterStartIsNeverLost) {
    std::vector<WatcherHandle> watchers;
    for (int round = 0; round < 20; ++round) {
        watchers.push_back(Start(60000));
        RequestStop(kStopMessage);
    }
    ASSERT_TRUE(PumpUntil([] { return LiveWatcherCount() == 0; }));
    EXPECT_EQ(g_bStopWatch.load(), 1);
    EXPECT_EQ(calls.load(), 0);
}

}  // namespace
}  // namespace fotoshuttle::testing
