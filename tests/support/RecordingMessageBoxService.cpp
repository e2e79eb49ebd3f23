#include "tests/support/RecordingMessageBoxService.h"

#include <chrono>
#include <cstdio>

namespace fotoshuttle::testing {

RecordingMessageBoxService::RecordingMessageBoxService() : m_previous(CurrentMessageBoxService()) {
    SetMessageBoxService(this);
}

RecordingMessageBoxService::~RecordingMessageBoxService() {
    SetMessageBoxService(m_previous);
    // A box raised by a watcher thread may still be recording: let it finish first.
    std::lock_guard lock(m_mutex);
}

BoxAnswer RecordingMessageBoxService::Show(const std::string& text, BoxButtons buttons) {
    Shown shown{text, buttons, std::this_thread::get_id()};
    Hook hook;
    BoxAnswer answer;
    {
        std::lock_guard lock(m_mutex);
        m_shown.push_back(shown);
        hook = m_hook;
        answer = buttons == BoxButtons::Ok ? BoxAnswer::Ok : m_yesNoAnswer;
        if (m_echo) {
            std::fprintf(stderr, "[box] %s\n", text.c_str());
            std::fflush(stderr);
        }
        // Under the lock, so the service is never destroyed while the notice is under way.
        m_changed.notify_all();
    }
    return hook ? hook(shown) : answer;
}

void RecordingMessageBoxService::SetYesNoAnswer(BoxAnswer answer) {
    std::lock_guard lock(m_mutex);
    m_yesNoAnswer = answer;
}

void RecordingMessageBoxService::SetHook(Hook hook) {
    std::lock_guard lock(m_mutex);
    m_hook = std::move(hook);
}

void RecordingMessageBoxService::SetEchoToStderr(bool echo) {
    std::lock_guard lock(m_mutex);
    m_echo = echo;
}

std::vector<RecordingMessageBoxService::Shown> RecordingMessageBoxService::shown() const {
    std::lock_guard lock(m_mutex);
    return m_shown;
}

std::vector<std::string> RecordingMessageBoxService::texts() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> result;
    for (const Shown& s : m_shown) {
        result.push_back(s.text);
    }
    return result;
}

bool RecordingMessageBoxService::WaitForCount(std::size_t count, int timeoutMs) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_shown.size() >= count; });
}

}  // namespace fotoshuttle::testing
