#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "tests/support/RecordingMessageBoxService.h"

namespace fotoshuttle::testing {

// Turns the Qt event loop of the calling thread (the receiver's) until done() holds; false on
// time-out. Every wait of these tests goes through here, so handed-over notices get served.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);

// Holds chosen boxes "open" (their Show does not return) until the test lets them close.
// Boxes it does not hold are answered at once.
class BoxGate {
  public:
    explicit BoxGate(RecordingMessageBoxService& boxes);
    ~BoxGate();

    // The next count boxes with this text stay open until Release.
    void Hold(const std::string& text, int count = 1);
    // Closes the held boxes with this text.
    void Release(const std::string& text);
    void ReleaseAll();
    // How many boxes with this text are being held open right now.
    int OpenCount(const std::string& text) const;

  private:
    BoxAnswer Show(const RecordingMessageBoxService::Shown& shown);

    RecordingMessageBoxService& m_boxes;
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    std::map<std::string, int> m_toHold;
    std::map<std::string, int> m_open;
    std::map<std::string, int> m_releases;  // per text: how often Release was called
};

// Copies a real picture into the folder under the given name. A copy is several changes in a
// row (the file appears, then grows); a watcher that looks in between sees two of them.
bool CopyPictureInto(const std::string& folder, const std::string& name);

// Delivers a complete picture in one change, as careful senders do: copied beside the folder,
// then renamed into it.
bool MovePictureInto(const std::string& folder, const std::string& name);

}  // namespace fotoshuttle::testing
