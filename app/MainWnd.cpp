#include "app/MainWnd.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include "convert/ErrorLog.h"
#include "dialog/AppIcon.h"
#include "dialog/MenuDlg.h"
#include "platform/MessageBoxService.h"
#include "platform/ProcessState.h"
#include "platform/SingleInstance.h"
#include "res/ResourceIds.h"
#include "watch/StopFile.h"

namespace fotoshuttle {
namespace {

QAction* AddMenuItem(QMenu& menu, const char* objectName, const char* text) {
    QAction* action = menu.addAction(QString::fromUtf8(text));
    action->setObjectName(QString::fromUtf8(objectName));
    return action;
}

}  // namespace

CMainWnd::CMainWnd() = default;
CMainWnd::~CMainWnd() = default;

bool CMainWnd::CreateTrayWindow() {
    setWindowTitle(QString::fromUtf8(LoadStringResource(IDS_HIDDEN_TITLE)));
    setAttribute(Qt::WA_DontShowOnScreen);
    m_marker = std::make_unique<InstanceMarker>(LoadStringResource(IDS_HIDDEN_TITLE));
    m_marker->Publish();

    m_trayMenu = std::make_unique<QMenu>();
    m_trayMenu->setObjectName("IDR_TRAY_MENU");
    connect(AddMenuItem(*m_trayMenu, "ID_OPEN_DIALOG", "ダイアログを開く"), &QAction::triggered,
            this, &CMainWnd::OnOpenDialog);
    connect(AddMenuItem(*m_trayMenu, "ID_SHOW_LOG", "エラーログ表示"), &QAction::triggered, this,
            &CMainWnd::OnShowLog);
    connect(AddMenuItem(*m_trayMenu, "ID_EXIT", "終了"), &QAction::triggered, this,
            &CMainWnd::OnExit);

    // The menu is the icon's context menu, so it opens on the right button only; clicks and
    // double clicks with the left button are not connected to anything.
    m_trayIcon = std::make_unique<QSystemTrayIcon>(ApplicationIcon());
    m_trayIcon->setToolTip(QString::fromUtf8(kTrayToolTip));
    m_trayIcon->setContextMenu(m_trayMenu.get());

    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    m_retryTimer->setInterval(kTrayRetryIntervalMs);
    connect(m_retryTimer, &QTimer::timeout, this, &CMainWnd::AddTrayIcon);
    AddTrayIcon();
    return true;
}

void CMainWnd::AddTrayIcon() {
    if (m_trayIcon->icon().isNull()) {
        // Nothing to register: a broken build, not a missing tray host.
        ShowMessageBox(kTrayRegistrationFailedMessage);
        close();
        return;
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        m_retryTimer->start();
        return;
    }
    // Once shown, Qt docks the icon again by itself whenever the tray host restarts.
    m_trayIcon->show();
}

void CMainWnd::OnOpenDialog() {
    const QString title = QString::fromUtf8(LoadStringResource(IDS_APP_TITLE));
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget != this && widget->windowTitle() == title) {
            widget->showNormal();
            widget->raise();
            widget->activateWindow();
            return;
        }
    }
}

void CMainWnd::OnShowLog() {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(GetLogFilePath())))) {
        ShowMessageBox(kShowLogFailedMessage);
    }
}

void CMainWnd::OnExit() {
    if (m_exiting) {
        return;
    }
    m_exiting = true;
    if (ShowMessageBox(kExitQuestion, BoxButtons::YesNo) != BoxAnswer::Yes) {
        m_exiting = false;
        return;
    }
    RequestStop(kExitStopFileMessage);
    RemoveStopFile(StopFilePath(g_strSrcFolder));
    // The dialog goes now, or as soon as the handler it is running returns; then the window
    // closes and the event loop ends.
    if (g_pMenuDlg != nullptr) {
        g_pMenuDlg->ReleaseWhenIdle([this] { close(); });
    } else {
        close();
    }
}

void CMainWnd::closeEvent(QCloseEvent* event) {
    if (m_trayIcon) {
        m_trayIcon->hide();
    }
    event->accept();
    QCoreApplication::quit();
}

}  // namespace fotoshuttle
