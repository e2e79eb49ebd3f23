// The tray window in-process on the offscreen platform: its menu, its handlers and the exit.
#include "app/MainWnd.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QUrl>

#include "convert/ErrorLog.h"
#include "dialog/MenuDlg.h"
#include "tests/dialog/DialogFixture.h"

namespace fotoshuttle {
namespace {

using testing::WriteFile;

// Counts how often a file in a folder was opened for writing and closed, by inotify.
class WriteCounter {
  public:
    WriteCounter(const std::string& folder, std::string name)
        : m_fd(::inotify_init1(IN_NONBLOCK)), m_name(std::move(name)) {
        // Opens are watched too: inotify merges two identical events in a row into one.
        ::inotify_add_watch(m_fd, folder.c_str(), IN_OPEN | IN_CLOSE_WRITE);
    }
    ~WriteCounter() { ::close(m_fd); }
    int Count() {
        alignas(inotify_event) char buffer[4096];
        ssize_t got;
        while ((got = ::read(m_fd, buffer, sizeof(buffer))) > 0) {
            for (char* p = buffer; p < buffer + got;) {
                auto* event = reinterpret_cast<inotify_event*>(p);
                if ((event->mask & IN_CLOSE_WRITE) && event->len > 0 && m_name == event->name) {
                    ++m_count;
                }
                p += sizeof(inotify_event) + event->len;
            }
        }
        return m_count;
    }

  private:
    int m_fd;
    std::string m_name;
    int m_count = 0;
};

// Records what the desktop was asked to open instead of starting programs.
class UrlRecorder : public QObject {
    Q_OBJECT
  public:
    UrlRecorder() { QDesktopServices::setUrlHandler("file", this, "Open"); }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler("file"); }
    Q_INVOKABLE void Open(const QUrl& url) { opened.push_back(url.toLocalFile().toStdString()); }
    std::vector<std::string> opened;
};

class TrayWindowTest : public testing::DialogFixture {
  protected:
    QPushButton* Button(const char* name) const { return Control<QPushButton>(name); }

    void SetUp() override {
        DialogFixture::SetUp();
        m_tray = new CMainWnd();
        ASSERT_TRUE(m_tray->CreateTrayWindow());
    }
    void TearDown() override {
        delete m_tray;
        DialogFixture::TearDown();
    }

    QAction* Item(const char* name) const { return m_tray->trayMenu()->findChild<QAction*>(name); }

    CMainWnd* m_tray = nullptr;
};

TEST_F(TrayWindowTest, MenuHasItsThreeItemsInOrderAndOpensTheDialogAndTheLog) {
    EXPECT_EQ(m_tray->windowTitle(), "FOTOSHUTTLE_HIDE_DIALOG");
    EXPECT_FALSE(m_tray->isVisible());
    EXPECT_EQ(m_tray->trayIcon()->toolTip(), "Fotoshuttle");
    EXPECT_FALSE(m_tray->trayIcon()->icon().isNull());
    QList<QAction*> actions = m_tray->trayMenu()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), "ダイアログを開く");
    EXPECT_EQ(actions[1]->text(), "エラーログ表示");
    EXPECT_EQ(actions[2]->text(), "終了");
    for (QAction* action : actions) {
        EXPECT_FALSE(action->isSeparator());
        EXPECT_FALSE(action->isCheckable());
    }

    Item("ID_OPEN_DIALOG")->trigger();
    EXPECT_TRUE(m_dialog->isVisible());

    UrlRecorder urls;
    Item("ID_SHOW_LOG")->trigger();
    EXPECT_EQ(urls.opened, std::vector<std::string>{GetLogFilePath()});
}

TEST_F(TrayWindowTest, NoToTheExitQuestionChangesNothing) {
    m_boxes.SetYesNoAnswer(BoxAnswer::No);
    Item("ID_EXIT")->trigger();
    EXPECT_EQ(m_boxes.texts().back(), "終了します。よいですか？");
    EXPECT_EQ(m_boxes.shown().back().buttons, BoxButtons::YesNo);
    EXPECT_EQ(g_pMenuDlg, m_dialog);
    EXPECT_EQ(g_bStopWatch.load(), 0);
    EXPECT_EQ(m_dialog->controlState(), CMenuDlg::ControlState::Watching);
    EXPECT_FALSE(testing::Exists(m_in + "/FORSTOP"));
}

TEST_F(TrayWindowTest, YesStopsWritesTheStopFileTwiceRemovesItAndReleasesTheDialog) {
    StopWatchingAndWaitForTheWatcher();
    WriteCounter writes(m_in, "FORSTOP");
    m_boxes.SetYesNoAnswer(BoxAnswer::Yes);
    Item("ID_EXIT")->trigger();
    EXPECT_EQ(writes.Count(), 2);
    EXPECT_FALSE(testing::Exists(m_in + "/FORSTOP"));
    EXPECT_EQ(g_bStopWatch.load(), 1);
    EXPECT_EQ(g_pMenuDlg, nullptr);
    EXPECT_FALSE(m_tray->trayIcon()->isVisible());
}

TEST_F(TrayWindowTest, ExitEndsEvenWhenNoStopFileCanBeMade) {
    ASSERT_EQ(::chmod(m_in.c_str(), 0500), 0);
    m_boxes.SetYesNoAnswer(BoxAnswer::Yes);
    Item("ID_EXIT")->trigger();
    std::vector<std::string> texts = DialogTexts();
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[texts.size() - 2], "終了用ファイルが作成できません。強制終了してください。");
    EXPECT_EQ(texts[texts.size() - 1], "終了用ファイルが作成できません。強制終了してください。");
    EXPECT_EQ(g_pMenuDlg, nullptr);
    ::chmod(m_in.c_str(), 0700);
}

TEST_F(TrayWindowTest, ExitDuringAManualConversionBoxWaitsForThatHandler) {
    StopWatchingAndWaitForTheWatcher();
    WriteFile(m_in + "/broken.jpg", "not a picture");
    bool exitAsked = false;
    bool releasedInsideHandler = true;
    m_boxes.SetHook([&](const testing::RecordingMessageBoxService::Shown& shown) {
        if (shown.buttons == BoxButtons::YesNo) {
            return BoxAnswer::Yes;
        }
        if (!exitAsked && shown.text.find("は変換できませんでした。") != std::string::npos) {
            exitAsked = true;
            m_tray->OnExit();
            releasedInsideHandler = g_pMenuDlg == nullptr;
            // A second exit meanwhile is refused without a question.
            std::size_t before = m_boxes.shown().size();
            m_tray->OnExit();
            EXPECT_EQ(m_boxes.shown().size(), before);
        }
        return BoxAnswer::Ok;
    });
    Button("IDC_CONVERT_NOW")->click();
    EXPECT_TRUE(exitAsked);
    EXPECT_FALSE(releasedInsideHandler);
    QTRY_COMPARE(g_pMenuDlg, nullptr);
    m_boxes.SetHook({});
    EXPECT_FALSE(m_tray->trayIcon()->isVisible());
}

}  // namespace
}  // namespace fotoshuttle

#include "TrayWindowTest.moc"
