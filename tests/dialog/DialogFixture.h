#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "convert/ErrorLog.h"
#include "dialog/MenuDlg.h"
#include "platform/ProcessState.h"
#include "tests/support/RecordingMessageBoxService.h"
#include "tests/support/TempFolder.h"

namespace fotoshuttle::testing {

// A control dialog on real folders, initialised as start-up does it, with every box recorded.
// The error log must exist beside the test program for the settings to pass.
class DialogFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Stops watching and leaves the dialog Idle.
    void StopWatching();
    void StopWatchingAndWaitForTheWatcher();
    std::vector<std::string> ListTexts(const char* listName) const;
    // Boxes the dialog itself showed (the watcher's come from its own thread).
    std::vector<std::string> DialogTexts() const;
    template <typename T>
    T* Control(const char* name) const {
        return m_dialog->findChild<T*>(name);
    }

    TempFolder m_folder;
    std::string m_in = m_folder / "in";
    std::string m_out = m_folder / "out";
    RecordingMessageBoxService m_boxes;
    CMenuDlg* m_dialog = nullptr;
    bool m_createdLog = false;
    std::thread::id m_guiThread = std::this_thread::get_id();
};

}  // namespace fotoshuttle::testing
