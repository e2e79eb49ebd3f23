#pragma once

#include <memory>
#include <string>

#include "platform/ChangeNotification.h"
#include "watch/FolderChangeReceiver.h"

namespace fotoshuttle {

// Where a watcher is in its life.
enum class WatcherState {
    FindingReceiver,
    Arming,
    Announcing,  // "フォルダ監視開始" is open
    Waiting,
    Dispatching,  // a change notice is with the receiver
    Ending,       // "フォルダ監視終了" is open
    Ended,
};

struct WatcherProgress;
struct WatcherJob;

// A look at one watcher from outside. It does not own the thread: nobody joins a watcher.
class WatcherHandle {
  public:
    WatcherHandle() = default;
    explicit WatcherHandle(std::shared_ptr<const WatcherProgress> progress);

    // False when no watcher thread could be started.
    bool IsValid() const { return m_progress != nullptr; }
    WatcherState State() const;
    // How often its wait has returned (a change or the time-out).
    int Wakeups() const;

  private:
    std::shared_ptr<const WatcherProgress> m_progress;
};

// Starts a new watcher thread on folder and returns at once; the thread is detached, so the
// process may end while it runs. The watcher waits at most timeoutMs at a time before it looks
// at the stop request again, and hands each change in the folder to receiver.
//
// Clears g_bStopWatch. The new watcher replaces any earlier one: an earlier watcher that has
// not seen its stop request yet, or is held in one of its boxes, hands nothing to any receiver
// any more and ends at its next look. Call on the receiver's thread, as Start and Stop do.
//
// Shows "スレッド開始できません。" and returns an invalid handle when the receiver is gone or
// no thread can be started.
WatcherHandle WatchFolder(const std::string& folder, int timeoutMs,
                          const FolderChangeReceiver& receiver,
                          ChangeDetection detection = ChangeDetection::Automatic);

// Watching as the program starts it: g_strSrcFolder with the time-out g_nDuration.
WatcherHandle StartWatching(const FolderChangeReceiver& receiver);

// The watcher thread's entry. Returns 0.
int WatcherThreadProc(std::shared_ptr<WatcherJob> job);

// Watcher threads that have not returned yet, the replaced ones still ending included.
int LiveWatcherCount();

}  // namespace fotoshuttle
