#include "dialog/MenuDlg.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <filesystem>

#include "convert/BatchConversion.h"
#include "convert/FolderListing.h"
#include "convert/ManualChoices.h"
#include "dialog/AboutDlg.h"
#include "dialog/AppIcon.h"
#include "dialog/DialogUnits.h"
#include "dialog/Settings.h"
#include "platform/MessageBoxService.h"
#include "platform/ProcessState.h"
#include "res/ResourceIds.h"
#include "ui_MenuDialog.h"
#include "watch/FolderWatcher.h"
#include "watch/StopFile.h"

namespace fotoshuttle {

CMenuDlg* g_pMenuDlg = nullptr;

namespace {

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool OpenWithDesktop(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

// Copies source over target through a hidden name, so the input folder never holds half a copy.
bool CopyReplacing(const std::string& source, const std::string& folder, const std::string& name) {
    std::string temporary =
        folder + "/.fotoshuttle-drop-" + std::to_string(::getpid()) + "-" + name;
    std::error_code error;
    std::filesystem::copy_file(source, temporary, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (!error) {
        std::filesystem::rename(temporary, folder + "/" + name, error);
    }
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

}  // namespace

// Marks a handler as running, so the dialog is never released beneath it.
class CMenuDlg::HandlerScope {
  public:
    explicit HandlerScope(CMenuDlg& dialog) : m_dialog(dialog) { ++m_dialog.m_handlerDepth; }
    ~HandlerScope() {
        if (--m_dialog.m_handlerDepth == 0 && m_dialog.m_releasePending) {
            CMenuDlg* dialog = &m_dialog;
            QTimer::singleShot(0, qApp, [dialog] { dialog->ReleaseWhenIdle({}); });
        }
    }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

  private:
    CMenuDlg& m_dialog;
};

CMenuDlg::CMenuDlg(std::string profilePath)
    : m_profilePath(std::move(profilePath)), m_ui(std::make_unique<Ui::IDD_MENU_DIALOG>()) {}

CMenuDlg::~CMenuDlg() {
    if (g_pMenuDlg == this) {
        g_pMenuDlg = nullptr;
    }
}

bool CMenuDlg::Create() {
    return OnInitDialog();
}

bool CMenuDlg::OnInitDialog() {
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMinimizeButtonHint, false);
    ScaleFromDialogUnits(this);
    m_btnStart = m_ui->IDC_START;
    m_btnStop = m_ui->IDC_STOP;
    m_btnClose = m_ui->IDCANCEL;
    m_lstSrc = m_ui->IDC_SRC_LIST;
    m_lstDst = m_ui->IDC_DST_LIST;
    m_btnConvertNow = m_ui->IDC_CONVERT_NOW;
    m_editSizeUpper = m_ui->IDC_SIZE_UPPER;
    m_editSizeLower = m_ui->IDC_SIZE_LOWER;

    connect(m_btnStart, &QPushButton::clicked, this, &CMenuDlg::OnStart);
    connect(m_btnStop, &QPushButton::clicked, this, &CMenuDlg::OnStop);
    connect(m_btnClose, &QPushButton::clicked, this, &CMenuDlg::reject);
    connect(m_btnConvertNow, &QPushButton::clicked, this, &CMenuDlg::OnConvertNow);
    connect(m_lstDst, &QListWidget::itemDoubleClicked, this, &CMenuDlg::OnOutputDoubleClicked);
    m_lstSrc->viewport()->installEventFilter(this);
    m_lstDst->viewport()->installEventFilter(this);
    m_lstSrc->setDragDropMode(QAbstractItemView::NoDragDrop);
    m_lstSrc->viewport()->setAcceptDrops(true);
    m_lstDst->setAcceptDrops(false);
    m_lstDst->viewport()->setAcceptDrops(false);

    m_hIcon = ApplicationIcon();
    setWindowIcon(m_hIcon);
    SetBackgroundColor(palette().color(QPalette::Button).rgb());
    m_receiver = FolderChangeReceiver(this, [this] { OnFolderChanged(); });

    LoadSettingsOrEndProcess(m_profilePath);

    hide();
    RefreshFolderList(m_lstSrc, g_strSrcFolder);
    RefreshFolderList(m_lstDst, g_strDstFolder);
    m_btnStart->setEnabled(false);
    m_btnStop->setEnabled(true);
    m_ui->IDC_FMT_JPEG->setChecked(true);
    m_ui->IDC_NO_RESIZE->setChecked(true);
    m_ui->IDC_DELETE_SRC->setChecked(true);
    m_ui->IDC_NO_INHERIT->setChecked(true);
    g_strFormat = ".jpg";
    g_strResize = "nochange";
    g_strAfter = "del";
    g_strTimestamp = "noheritage";
    SetChoicesEnabled(false);
    m_state = ControlState::Watching;
    StartWatcher();
    return true;
}

void CMenuDlg::StartWatcher() {
    StartWatching(m_receiver);
}

void CMenuDlg::SetChoicesEnabled(bool enabled) {
    for (QAbstractButton* button : m_ui->formatGroup->buttons() + m_ui->resizeGroup->buttons() +
                                       m_ui->afterGroup->buttons() +
                                       m_ui->timestampGroup->buttons()) {
        button->setEnabled(enabled);
    }
    m_editSizeUpper->setEnabled(enabled);
    m_editSizeLower->setEnabled(enabled);
}

void CMenuDlg::EnterWatching() {
    m_btnStart->setEnabled(false);
    m_btnStop->setEnabled(true);
    SetChoicesEnabled(false);
    m_state = ControlState::Watching;
}

void CMenuDlg::EnterIdle() {
    m_btnStart->setEnabled(true);
    m_btnStop->setEnabled(false);
    SetChoicesEnabled(true);
    m_state = ControlState::Idle;
}

void CMenuDlg::EnterBusy(bool keepConvertNowEnabled) {
    m_btnStart->setEnabled(false);
    m_btnStop->setEnabled(false);
    m_btnConvertNow->setEnabled(keepConvertNowEnabled);
    SetChoicesEnabled(false);
    m_lstSrc->setEnabled(false);
    m_lstDst->setEnabled(false);
    m_state = ControlState::Busy;
}

void CMenuDlg::RestoreControlState() {
    if (g_bStopWatch.load() == 1) {
        EnterIdle();
    } else {
        EnterWatching();
    }
    m_btnConvertNow->setEnabled(true);
    m_lstSrc->setEnabled(true);
    m_lstDst->setEnabled(true);
}

void CMenuDlg::RefreshFolderList(QListWidget* list, const std::string& folder) {
    std::vector<std::string> entries = ListFolder(folder);
    list == m_lstSrc ? ShowSourceListing(entries) : ShowOutputListing(entries);
}

void CMenuDlg::OnStart() {
    HandlerScope scope(*this);
    g_bStopWatch.store(0);
    ManualChoiceOutcome outcome = StoreManualChoices(ReadChoiceControls());
    if (!outcome.options) {
        ShowMessageBox(outcome.message);
        return;
    }
    EnterWatching();
    RefreshFolderList(m_lstSrc, g_strSrcFolder);
    RefreshFolderList(m_lstDst, g_strDstFolder);
    StartWatcher();
}

ChoiceControls CMenuDlg::ReadChoiceControls() {
    ChoiceControls controls;
    QPushButton* const formatButtons[] = {m_ui->IDC_FMT_BMP,  m_ui->IDC_FMT_PNG,
                                          m_ui->IDC_FMT_GIF,  m_ui->IDC_FMT_TIFF,
                                          m_ui->IDC_FMT_JPEG, m_ui->IDC_FMT_EMF};
    for (std::size_t i = 0; i < controls.formatSelected.size(); ++i) {
        controls.formatSelected[i] = formatButtons[i]->isChecked();
    }
    controls.noResizeSelected = m_ui->IDC_NO_RESIZE->isChecked();
    controls.resizeSelected = m_ui->IDC_RESIZE->isChecked();
    controls.sizeUpperText = m_editSizeUpper->text().toStdString();
    controls.sizeLowerText = m_editSizeLower->text().toStdString();
    controls.deleteSelected = m_ui->IDC_DELETE_SRC->isChecked();
    controls.keepSelected = m_ui->IDC_KEEP_SRC->isChecked();
    controls.noInheritSelected = m_ui->IDC_NO_INHERIT->isChecked();
    controls.inheritSelected = m_ui->IDC_INHERIT->isChecked();
    return controls;
}

void CMenuDlg::ShowSourceListing(const std::vector<std::string>& entries) {
    m_lstSrc->clear();
    for (const std::string& entry : entries) {
        m_lstSrc->addItem(QString::fromStdString(entry));
    }
}

void CMenuDlg::ShowOutputListing(const std::vector<std::string>& entries) {
    m_lstDst->clear();
    for (const std::string& entry : entries) {
        m_lstDst->addItem(QString::fromStdString(entry));
    }
}

void CMenuDlg::OnStop() {
    HandlerScope scope(*this);
    RequestStop(kStopFailedMessage);
    RefreshFolderList(m_lstDst, g_strDstFolder);
    EnterIdle();
}

void CMenuDlg::reject() {
    // Close and the caption's close box only hide the dialog; everything else goes on.
    hide();
}

void CMenuDlg::OnAbout() {
    HandlerScope scope(*this);
    CAboutDlg about(this);
    about.exec();
}

void CMenuDlg::contextMenuEvent(QContextMenuEvent* event) {
    // Linux windows have no system menu of the application's own; the About item lives here.
    const char* aboutText = LoadStringResource(IDS_ABOUTBOX);
    if (aboutText[0] == '\0') {
        return;
    }
    QMenu menu(this);
    QAction* about = menu.addAction(QString::fromUtf8(aboutText));
    about->setObjectName("IDM_ABOUTBOX");
    if (menu.exec(event->globalPos()) == about) {
        OnAbout();
    }
}

void CMenuDlg::OpenFolder(const std::string& folder) {
    if (!IsFolder(folder) || !OpenWithDesktop(folder + "/")) {
        ShowMessageBox(folder + kCannotOpenSuffix);
    }
}

void CMenuDlg::OnOutputDoubleClicked() {
    HandlerScope scope(*this);
    QListWidgetItem* selected = m_lstDst->currentItem();
    if (selected == nullptr || !selected->isSelected()) {
        return;
    }
    std::string path = g_strDstFolder + "/" + selected->text().toStdString();
    if (!IsRegularFile(path) || !OpenWithDesktop(path)) {
        ShowMessageBox(kNoFileMessage);
    }
}

void CMenuDlg::CopyDroppedFiles(const QList<QUrl>& urls) {
    HandlerScope scope(*this);
    EnterBusy(false);
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) {
            continue;
        }
        std::string path = url.toLocalFile().toStdString();
        // Folders and unreadable items are skipped; the rest are still copied.
        if (!IsRegularFile(path) || ::access(path.c_str(), R_OK) != 0) {
            continue;
        }
        CopyReplacing(path, g_strSrcFolder, path.substr(path.find_last_of('/') + 1));
    }
    RefreshFolderList(m_lstSrc, g_strSrcFolder);
    RestoreControlState();
}

bool CMenuDlg::eventFilter(QObject* watched, QEvent* event) {
    const bool onSource = watched == m_lstSrc->viewport();
    const bool onOutput = watched == m_lstDst->viewport();
    if (!onSource && !onOutput) {
        return QDialog::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
                HandlerScope scope(*this);
                OpenFolder(onSource ? g_strSrcFolder : g_strDstFolder);
            }
            return false;
        case QEvent::DragEnter:
        case QEvent::DragMove:
            if (onSource && static_cast<QDropEvent*>(event)->mimeData()->hasUrls()) {
                static_cast<QDropEvent*>(event)->acceptProposedAction();
                return true;
            }
            event->ignore();
            return true;
        case QEvent::Drop:
            if (onSource) {
                auto* drop = static_cast<QDropEvent*>(event);
                drop->acceptProposedAction();
                CopyDroppedFiles(drop->mimeData()->urls());
                return true;
            }
            event->ignore();
            return true;
        default:
            return false;
    }
}

void CMenuDlg::OnFolderChanged() {
    HandlerScope scope(*this);
    if (m_releasePending) {
        return;
    }
    if (m_converting) {
        // A manual conversion is waiting in one of its boxes; its batch comes right after it.
        m_changePending = true;
        return;
    }
    RunConversion(false);
}

void CMenuDlg::OnConvertNow() {
    HandlerScope scope(*this);
    if (m_converting) {
        return;
    }
    RunConversion(true);
}

void CMenuDlg::RunConversion(bool manual) {
    m_converting = true;
    BatchConverter converter(*this, *this, CurrentBatchSettings(BackgroundColorArgb()));
    manual ? converter.RunManual() : converter.RunBatch();
    m_converting = false;
    if (m_changePending) {
        m_changePending = false;
        QTimer::singleShot(0, this, [this] {
            if (g_bStopWatch.load() == 0) {
                OnFolderChanged();
            }
        });
    }
}

void CMenuDlg::ReleaseWhenIdle(std::function<void()> then) {
    if (then) {
        m_afterRelease = std::move(then);
    }
    if (m_handlerDepth > 0) {
        m_releasePending = true;
        return;
    }
    std::function<void()> afterRelease = std::move(m_afterRelease);
    if (g_pMenuDlg == this) {
        g_pMenuDlg = nullptr;
    }
    delete this;
    if (afterRelease) {
        afterRelease();
    }
}

}  // namespace fotoshuttle
