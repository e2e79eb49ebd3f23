#include "app/FotoshuttleApp.h"

#include <unistd.h>

#include <QApplication>
#include <cstdio>

#include "app/MainWnd.h"
#include "app/QtMessageBoxService.h"
#include "dialog/MenuDlg.h"
#include "dialog/Settings.h"
#include "platform/ProcessInfo.h"
#include "platform/SingleInstance.h"
#include "res/ResourceIds.h"

namespace fotoshuttle {

CFotoshuttleApp theApp;

CFotoshuttleApp::CFotoshuttleApp() = default;
CFotoshuttleApp::~CFotoshuttleApp() = default;

bool CFotoshuttleApp::InitInstance() {
    m_strExeName = ExecutableName();
    if (m_messageBoxes == nullptr) {
        m_messageBoxes = std::make_unique<QtMessageBoxService>();
        SetMessageBoxService(m_messageBoxes.get());
    }

    // One instance per logon and executable name. The lock alone is not enough: its holder
    // counts as running only once its hidden window can be found.
    m_instanceLock = std::make_unique<InstanceLock>(m_strExeName);
    if (!m_instanceLock->held() && InstanceMarker::Exists(LoadStringResource(IDS_HIDDEN_TITLE))) {
        return false;
    }

    // The settings come from the folder the program was started in, not from its own folder.
    std::string currentDirectory = CurrentDirectory();
    m_strProfilePath =
        currentDirectory.empty() ? std::string() : currentDirectory + "/" + kIniFileName;

    // The tray icon is up before the settings are read, so it is there when one is refused.
    m_pMainWnd = new CMainWnd();
    m_pMainWnd->CreateTrayWindow();

    g_pMenuDlg = new CMenuDlg(m_strProfilePath);
    g_pMenuDlg->Create();
    return true;
}

int CFotoshuttleApp::Run() {
    QApplication::setQuitOnLastWindowClosed(false);
    if (!InitInstance()) {
        return 0;
    }
    int status = QApplication::exec();
    // Watcher threads are never waited for; end without running their owners' destructors.
    std::fflush(nullptr);
    ::_exit(status);
}

}  // namespace fotoshuttle
