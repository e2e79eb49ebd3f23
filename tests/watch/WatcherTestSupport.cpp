#include "tests/watch/WatcherTestSupport.h"

#include <stdio.h>

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/TempFolder.h"

namespace fotoshuttle::testing {

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

BoxGate::BoxGate(RecordingMessageBoxService& boxes) : m_boxes(boxes) {
    m_boxes.SetHook([this](const RecordingMessageBoxService::Shown& shown) { return Show(shown); });
}

BoxGate::~BoxGate() {
    ReleaseAll();
    m_boxes.SetHook(nullptr);
}

void BoxGate::Hold(const std::string& text, int count) {
    std::lock_guard lock(m_mutex);
    m_toHold[text] += count;
}

void BoxGate::Release(const std::string& text) {
    {
        std::lock_guard lock(m_mutex);
        ++m_releases[text];
    }
    m_released.notify_all();
}

void BoxGate::ReleaseAll() {
    {
        std::lock_guard lock(m_mutex);
        m_toHold.clear();
        for (const auto& [text, open] : m_open) {
            ++m_releases[text];
        }
    }
    m_released.notify_all();
}

int BoxGate::OpenCount(const std::string& text) const {
    std::lock_guard lock(m_mutex);
    auto found = m_open.find(text);
    return found == m_open.end() ? 0 : found->second;
}

BoxAnswer BoxGate::Show(const RecordingMessageBoxService::Shown& shown) {
    const BoxAnswer answer = shown.buttons == BoxButtons::Ok ? BoxAnswer::Ok : BoxAnswer::Yes;
    std::unique_lock lock(m_mutex);
    auto held = m_toHold.find(shown.text);
    if (held == m_toHold.end() || held->second == 0) {
        return answer;
    }
    --held->second;
    ++m_open[shown.text];
    const int releasesBefore = m_releases[shown.text];
    m_released.wait(lock, [&] { return m_releases[shown.text] != releasesBefore; });
    --m_open[shown.text];
    return answer;
}

bool CopyPictureInto(const std::string& folder, const std::string& name) {
    std::error_code error;
    return std::filesystem::copy_file(FOTOSHUTTLE_CORPUS_DIR "/jpeg-libjpeg-turbo/testimgint.jpg",
                                      folder + "/" + name, error);
}

bool MovePictureInto(const std::string& folder, const std::string& name) {
    TempFolder beside;
    return CopyPictureInto(beside.path(), name) &&
           std::rename((beside / name).c_str(), (folder + "/" + name).c_str()) == 0;
}

}  // namespace fotoshuttle::testing
