#pragma once

#include <memory>
#include <string>

class QLocalServer;

namespace fotoshuttle {

// Folder for this logon's single-instance markers: $XDG_RUNTIME_DIR, or a private folder
// under /tmp made for the user.
std::string RuntimeFolder();

// A lock named after the executable (flock on a file in the runtime folder). The kernel lets
// go of it when the process dies, so a stale file never blocks a start.
class InstanceLock {
  public:
    // Takes the lock if it is free; held reports whether this process now owns it.
    explicit InstanceLock(const std::string& name);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    bool held() const { return m_fd >= 0; }

  private:
    int m_fd = -1;
};

// A local socket named after a window title: the stand-in for a hidden window other processes
// can find by that title.
class InstanceMarker {
  public:
    explicit InstanceMarker(const std::string& title);
    ~InstanceMarker();
    InstanceMarker(const InstanceMarker&) = delete;
    InstanceMarker& operator=(const InstanceMarker&) = delete;

    // Starts answering under the title; false if a live process already answers under it.
    bool Publish();

    // Whether some process answers under the title right now.
    static bool Exists(const std::string& title);

  private:
    std::string m_title;
    std::unique_ptr<QLocalServer> m_server;
};

}  // namespace fotoshuttle
