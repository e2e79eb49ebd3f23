#pragma once

#include <functional>
#include <memory>

class QObject;

namespace fotoshuttle {

namespace detail {
struct ReceiverLink;
}

// Where the watcher's change notices go: a function that runs on the thread of a QObject (the
// control dialog, on the user-interface thread). The watcher hands each notice over and waits
// until the function has returned there, so batches never overlap.
//
// The receiver lives as long as its QObject: once that is destroyed, no notice reaches the
// function any more and a watcher waiting for one is released, so a watcher never touches an
// object that is gone.
class FolderChangeReceiver {
  public:
    enum class CallResult {
        Handled,       // the function ran
        Declined,      // the last-moment check on the receiver's thread said no
        ReceiverGone,  // the QObject was destroyed before the function could run
    };

    FolderChangeReceiver() = default;
    // Call on the context's thread.
    FolderChangeReceiver(QObject* context, std::function<void()> onFolderChanged);

    // False for a default receiver and once the context was destroyed. Any thread.
    bool IsAlive() const;

    // From any thread but the receiver's own: runs onFolderChanged on the receiver's thread,
    // if stillWanted (run there, just before) agrees, and returns when that is done. The
    // receiver's thread must keep turning its event loop.
    CallResult CallAndWait(std::function<bool()> stillWanted) const;

  private:
    std::shared_ptr<detail::ReceiverLink> m_link;
};

}  // namespace fotoshuttle
