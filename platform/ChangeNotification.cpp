#include "platform/ChangeNotification.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "platform/NetworkFileSystem.h"

namespace fotoshuttle {
namespace {

constexpr std::uint32_t kWatchMask =
    IN_CREATE | IN_MODIFY | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR | IN_DELETE_SELF;
constexpr std::size_t kRememberedRenames = 256;
// One file operation is a burst of events (a copy: the name appears, then the content grows).
// Reading on until the folder has been quiet this long makes a burst wake once, not twice.
constexpr int kBurstQuietMs = 20;
constexpr int kBurstLimitMs = 250;

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
}

}  // namespace

std::unique_ptr<ChangeNotification> ChangeNotification::Arm(const std::string& folder,
                                                            ChangeDetection detection) {
    int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    if (::inotify_add_watch(fd, folder.c_str(), kWatchMask) < 0) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<ChangeNotification> notification(new ChangeNotification(fd, folder));
    if (detection == ChangeDetection::FolderSnapshot || IsOnNetworkFileSystem(folder)) {
        notification->m_compareSnapshots = true;
        notification->RenewSnapshot();
    }
    return notification;
}

ChangeNotification::ChangeNotification(int inotifyFd, std::string folder)
    : m_fd(inotifyFd), m_folder(std::move(folder)) {}

ChangeNotification::~ChangeNotification() {
    ::close(m_fd);
}

WaitResult ChangeNotification::Wait(int timeoutMs) {
    const bool bounded = timeoutMs >= 0;
    const auto deadline =
        bounded ? Clock::now() + std::chrono::milliseconds(timeoutMs) : Clock::time_point::max();
    for (;;) {
        if (m_watchGone || m_broken) {
            return WaitResult::Failed;
        }
        pollfd entry{m_fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, bounded ? RemainingMs(deadline) : -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_broken = true;
            return WaitResult::Failed;
        }
        if (ready > 0) {
            if ((entry.revents & (POLLERR | POLLNVAL)) != 0) {
                m_broken = true;
                return WaitResult::Failed;
            }
            if (ConsumeEvents()) {
                ConsumeBurst();
                RenewSnapshot();
                return WaitResult::Changed;
            }
            if (m_watchGone || m_broken) {
                return WaitResult::Failed;
            }
            if (!bounded || RemainingMs(deadline) > 0) {
                continue;  // only events that are no change: wait out the rest of the time
            }
        }
        return SnapshotShowsChange() ? WaitResult::Changed : WaitResult::TimedOut;
    }
}

bool ChangeNotification::Rearm() {
    return !m_watchGone && !m_broken;
}

bool ChangeNotification::ConsumeEvents() {
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    bool changed = false;
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN) {
                m_broken = true;
            }
            return changed;
        }
        if (length == 0) {
            return changed;
        }
        for (ssize_t offset = 0; offset < length;) {
            inotify_event event;
            std::memcpy(&event, buffer + offset, sizeof event);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
            if ((event.mask & IN_Q_OVERFLOW) != 0) {
                changed = true;  // events were lost; one of them may have been a change
            }
            if ((event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_UNMOUNT)) != 0) {
                m_watchGone = true;
            }
            if ((event.mask & (IN_CREATE | IN_MODIFY)) != 0) {
                changed = true;
            }
            if ((event.mask & IN_MOVED_FROM) != 0) {
                m_movedFromCookies.push_back(event.cookie);
                if (m_movedFromCookies.size() > kRememberedRenames) {
                    m_movedFromCookies.pop_front();
                }
            }
            if ((event.mask & IN_MOVED_TO) != 0 && !IsRenameWithinFolder(event.cookie)) {
                changed = true;
            }
        }
    }
}

void ChangeNotification::ConsumeBurst() {
    const auto limit = Clock::now() + std::chrono::milliseconds(kBurstLimitMs);
    while (!m_broken && Clock::now() < limit) {
        pollfd entry{m_fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, std::min(kBurstQuietMs, RemainingMs(limit)));
        if (ready == 0) {
            return;
        }
        if (ready > 0) {
            ConsumeEvents();
        } else if (errno != EINTR) {
            return;
        }
    }
}

bool ChangeNotification::IsRenameWithinFolder(std::uint32_t cookie) {
    // The kernel queues a rename's "moved from" before its "moved to".
    auto found = std::find(m_movedFromCookies.begin(), m_movedFromCookies.end(), cookie);
    if (found == m_movedFromCookies.end()) {
        return false;
    }
    m_movedFromCookies.erase(found);
    return true;
}

bool ChangeNotification::SnapshotShowsChange() {
    if (!m_compareSnapshots) {
        return false;
    }
    std::optional<FolderSnapshot> now = FolderSnapshot::Take(m_folder);
    if (!now) {
        return false;  // unreadable for the moment (a share that went away); keep the old view
    }
    const bool changed = m_snapshot && now->HasNewOrChangedEntries(*m_snapshot);
    m_snapshot = std::move(now);
    return changed;
}

void ChangeNotification::RenewSnapshot() {
    if (!m_compareSnapshots) {
        return;
    }
    if (std::optional<FolderSnapshot> now = FolderSnapshot::Take(m_folder)) {
        m_snapshot = std::move(now);
    }
}

}  // namespace fotoshuttle
