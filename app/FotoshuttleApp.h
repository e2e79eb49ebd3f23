#pragma once

#include <memory>
#include <string>

namespace fotoshuttle {

class CMainWnd;
class InstanceLock;
class QtMessageBoxService;

// The application object: start-up, the single-instance test and the event loop.
class CFotoshuttleApp {
  public:
    CFotoshuttleApp();
    ~CFotoshuttleApp();
    CFotoshuttleApp(const CFotoshuttleApp&) = delete;
    CFotoshuttleApp& operator=(const CFotoshuttleApp&) = delete;

    // Runs start-up; false means this process must end at once (another instance runs).
    bool InitInstance();

    // Start-up, then the event loop; returns the process's exit status. Needs a QApplication.
    int Run();

    const std::string& exeName() const { return m_strExeName; }
    const std::string& profilePath() const { return m_strProfilePath; }
    CMainWnd* mainWnd() const { return m_pMainWnd; }

  private:
    std::string m_strExeName;
    std::string m_strProfilePath;
    std::unique_ptr<QtMessageBoxService> m_messageBoxes;
    std::unique_ptr<InstanceLock> m_instanceLock;
    CMainWnd* m_pMainWnd = nullptr;  // never released: it outlives the event loop
};

extern CFotoshuttleApp theApp;

}  // namespace fotoshuttle
