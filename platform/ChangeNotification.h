#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "platform/FolderSnapshot.h"

namespace fotoshuttle {

// How changes made by others reach the notification.
enum class ChangeDetection {
    // inotify; on a network share also a folder snapshot compared at each time-out.
    Automatic,
    // inotify and the snapshot comparison whatever the folder lies on.
    FolderSnapshot,
};

enum class WaitResult { Changed, TimedOut, Failed };

// Change notification on one folder, subfolders not included.
//
// Wakes on a file created in the folder (also a subfolder), on writes to a file and on its
// truncation, and on a file renamed into the folder from elsewhere. Does not wake on renames
// within the folder, removals, permission changes, time-stamp changes or reads: those are what
// a batch does to the folder itself, and waking on them would start the next batch without end.
//
// Events are queued by the kernel from the moment the notification is armed, so whatever
// happens while the owner is busy (showing a box, running a batch) wakes the next Wait at once.
class ChangeNotification {
  public:
    // nullptr when the folder cannot be watched (missing, not a folder, no permission, no
    // inotify instance left).
    static std::unique_ptr<ChangeNotification> Arm(
        const std::string& folder, ChangeDetection detection = ChangeDetection::Automatic);

    ~ChangeNotification();
    ChangeNotification(const ChangeNotification&) = delete;
    ChangeNotification& operator=(const ChangeNotification&) = delete;

    // Waits at most timeoutMs (a negative value waits as long as poll can) for a change. The
    // events of a change, and of the burst it belongs to, are consumed before it returns
    // Changed, so one file operation wakes once.
    // Failed when the folder itself went away (deleted, unmounted) or the descriptor broke.
    WaitResult Wait(int timeoutMs);

    // Makes the notification ready for the next Wait; false once the folder is no longer
    // watched, so the owner learns that waiting again is pointless.
    bool Rearm();

    bool UsesFolderSnapshot() const { return m_compareSnapshots; }

  private:
    ChangeNotification(int inotifyFd, std::string folder);

    // Reads every queued event; true if one of them is a change.
    bool ConsumeEvents();
    void ConsumeBurst();
    bool IsRenameWithinFolder(std::uint32_t cookie);
    bool SnapshotShowsChange();
    void RenewSnapshot();

    int m_fd;
    std::string m_folder;
    bool m_watchGone = false;
    bool m_broken = false;
    // Cookies of renames that left a name of this folder, to tell a rename within the folder
    // from one that brings a file in.
    std::deque<std::uint32_t> m_movedFromCookies;
    // Changes made by other machines on a share: compared at each time-out.
    bool m_compareSnapshots = false;
    std::optional<FolderSnapshot> m_snapshot;
};

}  // namespace fotoshuttle
