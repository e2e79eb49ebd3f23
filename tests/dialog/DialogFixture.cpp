#include "tests/dialog/DialogFixture.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "watch/FolderWatcher.h"

namespace fotoshuttle::testing {

void DialogFixture::SetUp() {
    ::mkdir(m_in.c_str(), 0700);
    ::mkdir(m_out.c_str(), 0700);
    if (!Exists(GetLogFilePath())) {
        WriteFile(GetLogFilePath(), "");
        m_createdLog = true;
    }
    WriteFile(m_folder / "Fotoshuttle.ini", "[ProgramData]\nsrc_folder=" + m_in + "\ndst_folder=" +
                                                m_out + "\nduration=1000\ndelaytime=1000\n");
    g_bStopWatch.store(0);
    m_dialog = new CMenuDlg(m_folder / "Fotoshuttle.ini");
    g_pMenuDlg = m_dialog;
    ASSERT_TRUE(m_dialog->Create());
}

void DialogFixture::TearDown() {
    if (g_pMenuDlg != nullptr) {
        g_pMenuDlg->OnStop();
        // Every watcher a test started, replaced ones too, sees the stop and says goodbye from
        // its own thread; the folders and the box recorder must outlive all of them.
        QTRY_VERIFY_WITH_TIMEOUT(LiveWatcherCount() == 0, 5000);
        g_pMenuDlg->ReleaseWhenIdle({});
    }
    if (m_createdLog) {
        ::unlink(GetLogFilePath().c_str());
    }
}

void DialogFixture::StopWatching() {
    Control<QPushButton>("IDC_STOP")->click();
}

void DialogFixture::StopWatchingAndWaitForTheWatcher() {
    StopWatching();
    // The watcher says goodbye, then takes its stop file away.
    QTRY_VERIFY_WITH_TIMEOUT(!Exists(m_in + "/FORSTOP"), 5000);
}

std::vector<std::string> DialogFixture::DialogTexts() const {
    std::vector<std::string> texts;
    for (const auto& shown : m_boxes.shown()) {
        if (shown.thread == m_guiThread) {
            texts.push_back(shown.text);
        }
    }
    return texts;
}

std::vector<std::string> DialogFixture::ListTexts(const char* listName) const {
    std::vector<std::string> texts;
    auto* list = Control<QListWidget>(listName);
    for (int i = 0; i < list->count(); ++i) {
        texts.push_back(list->item(i)->text().toStdString());
    }
    return texts;
}

}  // namespace fotoshuttle::testing
