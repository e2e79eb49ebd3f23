#pragma once

#include <gtest/gtest.h>

#include <QObject>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/RecordingMessageBoxService.h"
#include "tests/support/TempFolder.h"
#include "tests/watch/WatcherTestSupport.h"
#include "watch/FolderWatcher.h"

namespace fotoshuttle::testing {

inline constexpr const char* kWatchingStarted = "フォルダ監視開始";
inline constexpr const char* kWatchingEnded = "フォルダ監視終了";
inline constexpr const char* kStopMessage = "終了できません。アプリを終了してください。";

// A real input folder, a receiver on the test's thread that counts the notices it gets, and
// boxes that are answered at once unless the test holds them open. Every watcher a test starts
// has ended before the next test begins.
class WatcherFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    WatcherHandle Start(int timeoutMs, ChangeDetection detection = ChangeDetection::Automatic);
    // Waits until the watcher is in the state (or has ended, which fails).
    void AwaitState(const WatcherHandle& watcher, WatcherState state);
    // Lets the watcher wait out a few more time-outs, serving anything it hands over.
    void AwaitWakeups(const WatcherHandle& watcher, int more);
    bool AwaitEnd(const WatcherHandle& watcher);
    int Count(const std::string& text) const;

    TempFolder folder;
    RecordingMessageBoxService boxes;
    BoxGate gate{boxes};
    QObject receiverObject;
    std::atomic<int> calls{0};
    // Runs inside each call, on the receiver's thread, with the number of the call.
    std::function<void(int)> duringCall;
    FolderChangeReceiver receiver{&receiverObject, [this] {
                                      const int call = ++calls;
                                      if (duringCall) {
                                          duringCall(call);
                                      }
                                  }};
};

}  // namespace fotoshuttle::testing
