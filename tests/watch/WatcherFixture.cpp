#include "tests/watch/WatcherFixture.h"

#include <algorithm>

#include "platform/ProcessState.h"
#include "watch/StopFile.h"

namespace fotoshuttle::testing {

void WatcherFixture::SetUp() {
    g_strSrcFolder = folder.path();
    g_bStopWatch.store(1);
}

void WatcherFixture::TearDown() {
    gate.ReleaseAll();
    g_bStopWatch.store(1);
    CreateStopFile(StopFilePath(folder.path()));
    EXPECT_TRUE(PumpUntil([] { return LiveWatcherCount() == 0; }, 30000))
        << "a watcher did not end";
}

WatcherHandle WatcherFixture::Start(int timeoutMs, ChangeDetection detection) {
    return WatchFolder(folder.path(), timeoutMs, receiver, detection);
}

void WatcherFixture::AwaitState(const WatcherHandle& watcher, WatcherState state) {
    ASSERT_TRUE(PumpUntil(
        [&] { return watcher.State() == state || watcher.State() == WatcherState::Ended; }));
    ASSERT_EQ(watcher.State(), state);
}

void WatcherFixture::AwaitWakeups(const WatcherHandle& watcher, int more) {
    const int target = watcher.Wakeups() + more;
    ASSERT_TRUE(PumpUntil([&] { return watcher.Wakeups() >= target; }));
}

bool WatcherFixture::AwaitEnd(const WatcherHandle& watcher) {
    return PumpUntil([&] { return watcher.State() == WatcherState::Ended; });
}

int WatcherFixture::Count(const std::string& text) const {
    const std::vector<std::string> texts = boxes.texts();
    return static_cast<int>(std::count(texts.begin(), texts.end(), text));
}

}  // namespace fotoshuttle::testing
