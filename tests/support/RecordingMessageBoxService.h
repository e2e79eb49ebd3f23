#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageBoxService.h"

namespace fotoshuttle::testing {

// Records every box and answers it at once, or through a hook that may block the caller
// (to hold a box "open" while a test looks at the program).
class RecordingMessageBoxService : public MessageBoxService {
  public:
    struct Shown {
        std::string text;
        BoxButtons buttons;
        std::thread::id thread;
    };
    using Hook = std::function<BoxAnswer(const Shown&)>;

    RecordingMessageBoxService();
    ~RecordingMessageBoxService() override;

    BoxAnswer Show(const std::string& text, BoxButtons buttons) override;

    // Answer for Yes/No boxes when no hook is set.
    void SetYesNoAnswer(BoxAnswer answer);
    void SetHook(Hook hook);
    // Also write each text to stderr (for death tests, whose output is all that survives).
    void SetEchoToStderr(bool echo);

    std::vector<Shown> shown() const;
    std::vector<std::string> texts() const;
    // Waits until at least count boxes were shown; false on time-out.
    bool WaitForCount(std::size_t count, int timeoutMs) const;

  private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Shown> m_shown;
    BoxAnswer m_yesNoAnswer = BoxAnswer::Yes;
    Hook m_hook;
    bool m_echo = false;
    MessageBoxService* m_previous;
};

}  // namespace fotoshuttle::testing
