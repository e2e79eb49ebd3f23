#include "watch/FolderChangeReceiver.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace fotoshuttle {
namespace detail {

struct ReceiverLink {
    QObject* context = nullptr;  // null once destroyed; guarded by the mailbox's mutex
    std::function<void()> onFolderChanged;
};

}  // namespace detail

namespace {

using detail::ReceiverLink;
using CallResult = FolderChangeReceiver::CallResult;

struct PendingCall {
    std::shared_ptr<ReceiverLink> link;
    std::function<bool()> stillWanted;
    bool finished = false;
    CallResult result = CallResult::ReceiverGone;
};

// Calls on their way to a receiver's thread. Every hand-over passes through this one mutex, so
// the calls carry no state through the event queue itself, and a receiver cannot be destroyed
// while a call is being posted to it.
struct Mailbox {
    std::mutex mutex;
    std::condition_variable finished;
    std::deque<std::shared_ptr<PendingCall>> pending;
};

// Never destroyed: a detached watcher may still wait here while the process ends.
Mailbox& TheMailbox() {
    static Mailbox* mailbox = new Mailbox;
    return *mailbox;
}

void Finish(const std::shared_ptr<PendingCall>& call, CallResult result) {
    Mailbox& mailbox = TheMailbox();
    {
        std::lock_guard lock(mailbox.mutex);
        call->finished = true;
        call->result = result;
    }
    mailbox.finished.notify_all();
}

// Runs on a receiver's thread, once for each call posted there.
void RunOnePendingCall() {
    Mailbox& mailbox = TheMailbox();
    std::shared_ptr<PendingCall> call;
    {
        std::lock_guard lock(mailbox.mutex);
        auto mine = std::find_if(mailbox.pending.begin(), mailbox.pending.end(), [](const auto& c) {
            return c->link->context != nullptr &&
                   c->link->context->thread() == QThread::currentThread();
        });
        if (mine == mailbox.pending.end()) {
            return;
        }
        call = *mine;
        mailbox.pending.erase(mine);
    }
    // Not under the mutex: the batch runs here, and it may destroy the receiver.
    const bool wanted = !call->stillWanted || call->stillWanted();
    if (wanted && call->link->onFolderChanged) {
        call->link->onFolderChanged();
    }
    Finish(call, wanted ? CallResult::Handled : CallResult::Declined);
}

void ReleaseCallsOf(const std::weak_ptr<ReceiverLink>& weakLink) {
    std::shared_ptr<ReceiverLink> link = weakLink.lock();
    if (!link) {
        return;
    }
    Mailbox& mailbox = TheMailbox();
    {
        std::lock_guard lock(mailbox.mutex);
        link->context = nullptr;
        for (auto it = mailbox.pending.begin(); it != mailbox.pending.end();) {
            if ((*it)->link == link) {
                (*it)->finished = true;
                (*it)->result = CallResult::ReceiverGone;
                it = mailbox.pending.erase(it);
            } else {
                ++it;
            }
        }
    }
    mailbox.finished.notify_all();
}

}  // namespace

FolderChangeReceiver::FolderChangeReceiver(QObject* context,
                                           std::function<void()> onFolderChanged) {
    if (context == nullptr) {
        return;
    }
    m_link = std::make_shared<ReceiverLink>();
    m_link->context = context;
    m_link->onFolderChanged = std::move(onFolderChanged);
    QObject::connect(
        context, &QObject::destroyed,
        [weakLink = std::weak_ptr<ReceiverLink>(m_link)] { ReleaseCallsOf(weakLink); });
}

bool FolderChangeReceiver::IsAlive() const {
    if (!m_link) {
        return false;
    }
    std::lock_guard lock(TheMailbox().mutex);
    return m_link->context != nullptr;
}

FolderChangeReceiver::CallResult FolderChangeReceiver::CallAndWait(
    std::function<bool()> stillWanted) const {
    if (!m_link) {
        return CallResult::ReceiverGone;
    }
    Mailbox& mailbox = TheMailbox();
    auto call = std::make_shared<PendingCall>();
    call->link = m_link;
    call->stillWanted = std::move(stillWanted);

    std::unique_lock lock(mailbox.mutex);
    if (m_link->context == nullptr) {
        return CallResult::ReceiverGone;
    }
    mailbox.pending.push_back(call);
    // The posted function holds nothing; it fetches its call from the mailbox.
    QMetaObject::invokeMethod(
        m_link->context, [] { RunOnePendingCall(); }, Qt::QueuedConnection);
    mailbox.finished.wait(lock, [&] { return call->finished; });
    return call->result;
}

}  // namespace fotoshuttle
