#include "watch/FolderWatcher.h"

#include <atomic>
#include <cstdint>
#include <system_error>
#include <thread>

#include "platform/MessageBoxService.h"
#include "platform/ProcessState.h"
#include "watch/StopFile.h"

namespace fotoshuttle {

struct WatcherProgress {
    std::atomic<WatcherState> state{WatcherState::FindingReceiver};
    std::atomic<int> wakeups{0};
};

// Everything a watcher uses, its own copy: it reads no shared value but g_bStopWatch and the
// generation below, both plain atomics that outlive every thread.
struct WatcherJob {
    std::string folder;
    std::string stopFilePath;
    int timeoutMs = 0;
    FolderChangeReceiver receiver;
    ChangeDetection detection = ChangeDetection::Automatic;
    std::uint64_t generation = 0;
    std::shared_ptr<WatcherProgress> progress;
};

namespace {

constexpr const char* kCannotStartThread = "スレッド開始できません。";
constexpr const char* kCannotArm = "監視状態指定失敗";
constexpr const char* kWatchingStarted = "フォルダ監視開始";
constexpr const char* kCannotRearm = "再監視失敗";
constexpr const char* kWatchingEnded = "フォルダ監視終了";

// The generation of the newest watcher. Written only by WatchFolder on the receiver's thread;
// a watcher whose generation is older has been replaced and must end.
std::atomic<std::uint64_t> g_currentGeneration{0};
std::atomic<int> g_liveWatchers{0};

bool IsCurrent(std::uint64_t generation) {
    return g_currentGeneration.load() <= generation;
}

bool StopSeen(const WatcherJob& job) {
    return g_bStopWatch.load() != 0 || !IsCurrent(job.generation) || !job.receiver.IsAlive();
}

enum class LoopEnd { Stop, RearmFailed };

LoopEnd WaitAndDispatch(const WatcherJob& job, ChangeNotification& notification) {
    for (;;) {
        job.progress->state.store(WatcherState::Waiting);
        const WaitResult result = notification.Wait(job.timeoutMs);
        job.progress->wakeups.fetch_add(1);
        if (result == WaitResult::Changed) {
            if (StopSeen(job)) {
                return LoopEnd::Stop;
            }
            job.progress->state.store(WatcherState::Dispatching);
            // Checked once more on the receiver's thread, where Stop and Start run: a notice
            // that meets a stop request or a newer watcher there is dropped.
            const std::uint64_t generation = job.generation;
            job.receiver.CallAndWait(
                [generation] { return g_bStopWatch.load() == 0 && IsCurrent(generation); });
        }
        if (StopSeen(job)) {
            return LoopEnd::Stop;
        }
        if (!notification.Rearm()) {
            return LoopEnd::RearmFailed;
        }
        if (StopSeen(job)) {
            return LoopEnd::Stop;
        }
    }
}

void RunWatcher(const WatcherJob& job) {
    WatcherProgress& progress = *job.progress;
    if (!job.receiver.IsAlive()) {
        ShowMessageBox(kCannotStartThread);
        return;
    }
    progress.state.store(WatcherState::Arming);
    std::unique_ptr<ChangeNotification> notification =
        ChangeNotification::Arm(job.folder, job.detection);
    if (!notification) {
        ShowMessageBox(kCannotArm);
        return;
    }
    if (!StopSeen(job)) {
        progress.state.store(WatcherState::Announcing);
        ShowMessageBox(kWatchingStarted);
        if (!StopSeen(job) && WaitAndDispatch(job, *notification) == LoopEnd::RearmFailed) {
            ShowMessageBox(kCannotRearm);
            return;
        }
    }
    notification.reset();
    if (!job.receiver.IsAlive()) {
        return;  // the dialog is gone, so the process is ending: nobody to tell
    }
    progress.state.store(WatcherState::Ending);
    ShowMessageBox(kWatchingEnded);
    RemoveStopFile(job.stopFilePath);
}

}  // namespace

WatcherHandle::WatcherHandle(std::shared_ptr<const WatcherProgress> progress)
    : m_progress(std::move(progress)) {}

WatcherState WatcherHandle::State() const {
    return m_progress ? m_progress->state.load() : WatcherState::Ended;
}

int WatcherHandle::Wakeups() const {
    return m_progress ? m_progress->wakeups.load() : 0;
}

int WatcherThreadProc(std::shared_ptr<WatcherJob> job) {
    RunWatcher(*job);
    job->progress->state.store(WatcherState::Ended);
    // Last: once the count drops, this thread touches nothing that others own.
    g_liveWatchers.fetch_sub(1);
    return 0;
}

WatcherHandle WatchFolder(const std::string& folder, int timeoutMs,
                          const FolderChangeReceiver& receiver, ChangeDetection detection) {
    if (!receiver.IsAlive()) {
        ShowMessageBox(kCannotStartThread);
        return {};
    }
    auto job = std::make_shared<WatcherJob>();
    job->folder = folder;
    job->stopFilePath = StopFilePath(folder);
    job->timeoutMs = timeoutMs;
    job->receiver = receiver;
    job->detection = detection;
    job->generation = g_currentGeneration.load() + 1;
    job->progress = std::make_shared<WatcherProgress>();
    WatcherHandle handle(job->progress);

    // The earlier watcher is replaced before the flag is cleared, so there is no moment in
    // which it could take the cleared flag for its own. The flag is cleared here rather than
    // by the new thread: a stop requested right after this call must not be undone by a
    // thread that starts late.
    g_currentGeneration.store(job->generation);
    const int stopBefore = g_bStopWatch.exchange(0);
    g_liveWatchers.fetch_add(1);
    try {
        std::thread(WatcherThreadProc, job).detach();
    } catch (const std::system_error&) {
        g_liveWatchers.fetch_sub(1);
        g_bStopWatch.store(stopBefore);
        ShowMessageBox(kCannotStartThread);
        return {};
    }
    return handle;
}

WatcherHandle StartWatching(const FolderChangeReceiver& receiver) {
    return WatchFolder(g_strSrcFolder, g_nDuration, receiver);
}

int LiveWatcherCount() {
    return g_liveWatchers.load();
}

}  // namespace fotoshuttle
