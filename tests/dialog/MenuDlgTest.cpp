#include "dialog/MenuDlg.h"

#include <QButtonGroup>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "tests/dialog/DialogFixture.h"

namespace fotoshuttle {
namespace {

using testing::WriteFile;

class MenuDlgTest : public testing::DialogFixture {
  public:
    QPushButton* Button(const char* name) const { return Control<QPushButton>(name); }

    // Leaves a group with no button selected, which a user cannot do but the checks guard.
    void ClearGroup(std::initializer_list<const char*> names) {
        for (const char* name : names) {
            QPushButton* button = Button(name);
            QButtonGroup* group = button->group();
            group->setExclusive(false);
            button->setChecked(false);
            group->setExclusive(true);
        }
    }

    void SetSizes(const char* upper, const char* lower) {
        Control<QLineEdit>("IDC_SIZE_UPPER")->setText(QString::fromUtf8(upper));
        Control<QLineEdit>("IDC_SIZE_LOWER")->setText(QString::fromUtf8(lower));
    }

    // Names of the controls (of those the states switch) that are enabled now.
    std::vector<std::string> EnabledControls() const {
        static const char* const kSwitched[] = {
            "IDC_START",      "IDC_STOP",       "IDC_CONVERT_NOW", "IDC_FMT_BMP",
            "IDC_FMT_PNG",    "IDC_FMT_GIF",    "IDC_FMT_TIFF",    "IDC_FMT_JPEG",
            "IDC_FMT_EMF",    "IDC_NO_RESIZE",  "IDC_RESIZE",      "IDC_DELETE_SRC",
            "IDC_KEEP_SRC",   "IDC_NO_INHERIT", "IDC_INHERIT",     "IDC_SIZE_UPPER",
            "IDC_SIZE_LOWER", "IDC_SRC_LIST",   "IDC_DST_LIST",    "IDCANCEL"};
        std::vector<std::string> enabled;
        for (const char* name : kSwitched) {
            if (Control<QWidget>(name)->isEnabled()) {
                enabled.push_back(name);
            }
        }
        return enabled;
    }
};

TEST_F(MenuDlgTest, InitialisationLeavesItHiddenWatchingWithTheDefaults) {
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_dialog->windowTitle(), "Fotoshuttle");
    EXPECT_EQ(m_dialog->controlState(), CMenuDlg::ControlState::Watching);
    for (const char* name : {"IDC_FMT_JPEG", "IDC_NO_RESIZE", "IDC_DELETE_SRC", "IDC_NO_INHERIT"}) {
        EXPECT_TRUE(Button(name)->isChecked()) << name;
    }
    EXPECT_TRUE(Control<QLineEdit>("IDC_SIZE_UPPER")->text().isEmpty());
    EXPECT_TRUE(Control<QLineEdit>("IDC_SIZE_LOWER")->text().isEmpty());
    EXPECT_EQ(g_strFormat, ".jpg");
    EXPECT_EQ(g_strResize, "nochange");
    EXPECT_EQ(g_strAfter, "del");
    EXPECT_EQ(g_strTimestamp, "noheritage");
    EXPECT_EQ(g_nWidth, 0);
    EXPECT_EQ(g_nHeight, 0);
    EXPECT_FALSE(Button("IDOK")->isVisible());
    EXPECT_TRUE(Button("IDOK")->isDefault());
    EXPECT_TRUE(Button("IDC_FMT_EMF")->isHidden());
    // The watcher started and announced itself.
    ASSERT_TRUE(m_boxes.WaitForCount(1, 5000));
    EXPECT_EQ(m_boxes.texts().front(), "フォルダ監視開始");
}

TEST_F(MenuDlgTest, EachStateEnablesExactlyItsControls) {
    using Names = std::vector<std::string>;
    const Names choices = {"IDC_FMT_BMP",    "IDC_FMT_PNG",   "IDC_FMT_GIF",    "IDC_FMT_TIFF",
                           "IDC_FMT_JPEG",   "IDC_FMT_EMF",   "IDC_NO_RESIZE",  "IDC_RESIZE",
                           "IDC_DELETE_SRC", "IDC_KEEP_SRC",  "IDC_NO_INHERIT", "IDC_INHERIT",
                           "IDC_SIZE_UPPER", "IDC_SIZE_LOWER"};
    auto sorted = [](Names names) {
        std::sort(names.begin(), names.end());
        return names;
    };
    Names watching = {"IDC_STOP", "IDC_CONVERT_NOW", "IDC_SRC_LIST", "IDC_DST_LIST", "IDCANCEL"};
    Names idle = {"IDC_START", "IDC_CONVERT_NOW", "IDC_SRC_LIST", "IDC_DST_LIST", "IDCANCEL"};
    idle.insert(idle.end(), choices.begin(), choices.end());

    EXPECT_EQ(sorted(EnabledControls()), sorted(watching));
    m_dialog->EnterBusy(false);
    EXPECT_EQ(EnabledControls(), Names{"IDCANCEL"});
    m_dialog->EnterBusy(true);
    EXPECT_EQ(sorted(EnabledControls()), sorted({"IDC_CONVERT_NOW", "IDCANCEL"}));
    m_dialog->RestoreControlState();
    EXPECT_EQ(sorted(EnabledControls()), sorted(watching));

    StopWatching();
    EXPECT_EQ(m_dialog->controlState(), CMenuDlg::ControlState::Idle);
    EXPECT_EQ(sorted(EnabledControls()), sorted(idle));
    m_dialog->EnterBusy(false);
    m_dialog->RestoreControlState();
    EXPECT_EQ(sorted(EnabledControls()), sorted(idle));
    // Enabled or not, the EMF choice never shows.
    EXPECT_TRUE(Button("IDC_FMT_EMF")->isHidden());
}

TEST_F(MenuDlgTest, StartChecksInOrderAndKeepsWhatEarlierStepsSet) {
    StopWatching();
    struct Case {
        std::function<void(MenuDlgTest&)> arrange;
        const char* message;
        const char* format;
        const char* resize;
    } cases[] = {
        {[](MenuDlgTest& t) { t.ClearGroup({"IDC_FMT_JPEG"}); },
         "出力フォーマットを選択してください。", "noselection", "nochange"},
        {[](MenuDlgTest& t) {
             t.ClearGroup({"IDC_NO_RESIZE", "IDC_DELETE_SRC"});
         },
         "サイズ変更を選択してください。", ".jpg", "noselection"},
        {[](MenuDlgTest& t) {
             t.Button("IDC_RESIZE")->click();
             t.SetSizes("640", "");
         },
         "変更サイズを入力してください。", ".jpg", "change"},
        {[](MenuDlgTest& t) { t.ClearGroup({"IDC_DELETE_SRC"}); },
         "入力画像の処理後を選択してください。", ".jpg", "nochange"},
        {[](MenuDlgTest& t) { t.ClearGroup({"IDC_NO_INHERIT"}); },
         "タイムスタンプを選択してください。", ".jpg", "nochange"},
    };
    for (const Case& c : cases) {
        for (const char* name :
             {"IDC_FMT_JPEG", "IDC_NO_RESIZE", "IDC_DELETE_SRC", "IDC_NO_INHERIT"}) {
            Button(name)->click();
        }
        SetSizes("", "");
        c.arrange(*this);
        g_bStopWatch.store(1);
        std::size_t before = DialogTexts().size();
        Button("IDC_START")->click();
        std::vector<std::string> texts = DialogTexts();
        ASSERT_EQ(texts.size(), before + 1) << c.message;
        EXPECT_EQ(texts.back(), c.message);
        EXPECT_EQ(g_strFormat, c.format) << c.message;
        EXPECT_EQ(g_strResize, c.resize) << c.message;
        // Refused: controls unchanged, but the flag was cleared before the first check.
        EXPECT_EQ(m_dialog->controlState(), CMenuDlg::ControlState::Idle) << c.message;
        EXPECT_EQ(g_bStopWatch.load(), 0) << c.message;
    }
    // So the next restore shows Watching although no watcher runs; Stop brings back Idle.
    m_dialog->EnterBusy(false);
    m_dialog->RestoreControlState();
    EXPECT_EQ(m_dialog->controlState(), CMenuDlg::ControlState::Watching);
    StopWatching();
    EXPECT_EQ(m_dialog->controlState(), CMenuDlg::ControlState::Idle);
}

TEST_F(MenuDlgTest, SizeTextsBecomeWidthFromTheUpperBoxWithAMinimumOf15) {
    struct Case {
        bool resize;
        const char* upper;
        const char* lower;
        int width;
        int height;
    } cases[] = {
        {true, "10", "abc", 15, 15},     {true, "640px", "480", 640, 480},
        {true, " 400", "300", 400, 300}, {false, "", "", 15, 15},
        {false, "800", "", 800, 15},
    };
    for (const Case& c : cases) {
        StopWatching();
        Button(c.resize ? "IDC_RESIZE" : "IDC_NO_RESIZE")->click();
        SetSizes(c.upper, c.lower);
        std::size_t before = DialogTexts().size();
        Button("IDC_START")->click();
        ASSERT_EQ(m_dialog->controlState(), CMenuDlg::ControlState::Watching) << c.upper;
        EXPECT_EQ(DialogTexts().size(), before) << c.upper;
        EXPECT_EQ(g_nWidth, c.width) << c.upper;
        EXPECT_EQ(g_nHeight, c.height) << c.lower;
    }
}

TEST_F(MenuDlgTest, StopRefreshesOnlyTheOutputList) {
    WriteFile(m_in + "/new-input.jpg", "x");
    WriteFile(m_out + "/new-output.png", "x");
    StopWatching();
    EXPECT_TRUE(ListTexts("IDC_SRC_LIST").empty());
    EXPECT_EQ(ListTexts("IDC_DST_LIST"), std::vector<std::string>{"new-output.png"});
}

TEST_F(MenuDlgTest, DropCopiesIntoTheInputFolderAndTheOutputListRefusesIt) {
    testing::TempFolder elsewhere;
    WriteFile(elsewhere / "photo.jpg", "new bytes");
    WriteFile(elsewhere / "notes.txt", "text");
    ::mkdir((elsewhere / "a-folder").c_str(), 0700);
    WriteFile(m_in + "/photo.jpg", "old bytes");
    WriteFile(m_out + "/existing.png", "x");
    StopWatchingAndWaitForTheWatcher();
    WriteFile(m_out + "/arrived-later.png", "x");

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(elsewhere / "photo.jpg")),
                  QUrl::fromLocalFile(QString::fromStdString(elsewhere / "a-folder")),
                  QUrl::fromLocalFile(QString::fromStdString(elsewhere / "notes.txt"))});
    QWidget* source = Control<QListWidget>("IDC_SRC_LIST")->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(source, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(source, &drop);

    EXPECT_EQ(testing::ReadFile(m_in + "/photo.jpg"), "new bytes");
    EXPECT_EQ(testing::ReadFile(m_in + "/notes.txt"), "text");
    EXPECT_FALSE(testing::Exists(m_in + "/a-folder"));
    EXPECT_EQ(ListTexts("IDC_SRC_LIST"), (std::vector<std::string>{"notes.txt", "photo.jpg"}));
    // The output list was not refreshed by the drop.
    EXPECT_EQ(ListTexts("IDC_DST_LIST"), std::vector<std::string>{"existing.png"});
    EXPECT_EQ(m_dialog->controlState(), CMenuDlg::ControlState::Idle);

    QWidget* output = Control<QListWidget>("IDC_DST_LIST")->viewport();
    QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(output, &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_FALSE(output->acceptDrops());
}

TEST_F(MenuDlgTest, CloseOnlyHidesAndTheScreenshotShowsTheJapaneseTexts) {
    m_dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dialog));
    QDir().mkpath(FOTOSHUTTLE_BINARY_DIR "/screenshots");
    EXPECT_TRUE(m_dialog->grab().save(FOTOSHUTTLE_BINARY_DIR "/screenshots/dialog.png"));
    Button("IDCANCEL")->click();
    EXPECT_FALSE(m_dialog->isVisible());
    EXPECT_EQ(m_dialog->controlState(), CMenuDlg::ControlState::Watching);
    EXPECT_EQ(g_pMenuDlg, m_dialog);
}

}  // namespace
}  // namespace fotoshuttle
