#include <gtest/gtest.h>
#include <stdlib.h>

#include <QObject>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/MessageBoxService.h"
#include "platform/ProcessState.h"
#include "tests/watch/WatcherFixture.h"
#include "watch/StopFile.h"

namespace fotoshuttle::testing {
namespace {

// Waits on the watcher without turning the event loop, so whatever it hands over stays queued.
bool AwaitStateUnserved(const WatcherHandle& watcher, WatcherState state) {
    for (int i = 0; i < 10000 && watcher.State() != state; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return watcher.State() == state;
}

TEST_F(WatcherFixture, DestroyedReceiverReleasesAWatcherWaitingForIt) {
    auto* dialog = new QObject;
    FolderChangeReceiver dialogReceiver(dialog, [&] { ++calls; });
    WatcherHandle watcher = WatchFolder(folder.path(), 60000, dialogReceiver);
    AwaitState(watcher, WatcherState::Waiting);
    ASSERT_TRUE(CopyPictureInto(folder.path(), "a.jpg"));
    ASSERT_TRUE(AwaitStateUnserved(watcher, WatcherState::Dispatching));

    delete dialog;
    EXPECT_FALSE(dialogReceiver.IsAlive());
    ASSERT_TRUE(AwaitEnd(watcher));
    EXPECT_EQ(calls.load(), 0);
    // The dialog is gone only when the program ends: the watcher leaves quietly.
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{kWatchingStarted});
}

// A box that never closes, to leave the watcher inside one when the process ends.
class EndlessBoxes : public MessageBoxService {
  public:
    BoxAnswer Show(const std::string&, BoxButtons) override {
        std::unique_lock lock(m_mutex);
        m_never.wait(lock, [] { return false; });
        return BoxAnswer::Ok;
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_never;
};

enum class Moment { Waiting, CallQueued, ReceiverJustDestroyed, BoxOpen };

// Runs in a child process: starts a watcher, brings it to the moment and ends the process with
// exit(), static destructors and all, without waiting for the watcher.
[[noreturn]] void EndTheProcessWhile(Moment moment) {
    static std::string* folder = nullptr;
    std::string pattern = (std::filesystem::temp_directory_path() / "fotoshuttle-end-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::_Exit(3);
    }
    folder = new std::string(pattern);
    std::atexit([] {
        std::error_code error;
        std::filesystem::remove_all(*folder, error);
    });
    if (moment == Moment::BoxOpen) {
        SetMessageBoxService(new EndlessBoxes);
    }
    auto* dialog = new QObject;
    FolderChangeReceiver receiver(dialog, [] {});
    WatcherHandle watcher = WatchFolder(*folder, 60000, receiver);
    const WatcherState expected =
        moment == Moment::BoxOpen ? WatcherState::Announcing : WatcherState::Waiting;
    if (!AwaitStateUnserved(watcher, expected)) {
        std::_Exit(4);
    }
    if (moment == Moment::CallQueued || moment == Moment::ReceiverJustDestroyed) {
        if (!CopyPictureInto(*folder, "a.jpg") ||
            !AwaitStateUnserved(watcher, WatcherState::Dispatching)) {
            std::_Exit(5);
        }
    }
    if (moment == Moment::ReceiverJustDestroyed) {
        delete dialog;
    }
    std::exit(0);
}

class ProcessEnd : public ::testing::TestWithParam<Moment> {};

TEST_P(ProcessEnd, EndsWithoutWaitingForTheWatcher) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(EndTheProcessWhile(GetParam()), ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Moments, ProcessEnd,
                         ::testing::Values(Moment::Waiting, Moment::CallQueued,
                                           Moment::ReceiverJustDestroyed, Moment::BoxOpen),
                         [](const auto& info) {
                             switch (info.param) {
                                 case Moment::Waiting:
                                     return "Waiting";
                                 case Moment::CallQueued:
                                     return "CallQueued";
                                 case Moment::ReceiverJustDestroyed:
                                     return "ReceiverJustDestroyed";
                                 case Moment::BoxOpen:
                                     return "BoxOpen";
                             }
                             return "Unknown";
                         });

}  // namespace
}  // namespace fotoshuttle::testing
