#pragma once

#include <QWidget>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace fotoshuttle {

class InstanceMarker;

inline constexpr const char* kTrayToolTip = "Fotoshuttle";
inline constexpr const char* kTrayRegistrationFailedMessage =
    "通知領域にアイコンを登録できませんでした。";
inline constexpr const char* kShowLogFailedMessage = "表示できません。";
inline constexpr const char* kExitQuestion = "終了します。よいですか？";
inline constexpr const char* kExitStopFileMessage =
    "終了用ファイルが作成できません。強制終了してください。";
inline constexpr int kTrayRetryIntervalMs = 1000;

// The hidden window behind the notification-area icon and its menu. It is never shown; its
// title is the marker by which a second start finds this instance. Closing it ends the program.
class CMainWnd : public QWidget {
    Q_OBJECT

  public:
    CMainWnd();
    ~CMainWnd() override;

    // Creates the hidden window and adds the icon; false if the window could not be made.
    bool CreateTrayWindow();
    // Shows the icon once a tray host is there, looking again each second until one is.
    void AddTrayIcon();

    void OnOpenDialog();
    void OnShowLog();
    void OnExit();

    QSystemTrayIcon* trayIcon() const { return m_trayIcon.get(); }
    QMenu* trayMenu() const { return m_trayMenu.get(); }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    std::unique_ptr<InstanceMarker> m_marker;
    std::unique_ptr<QMenu> m_trayMenu;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    QTimer* m_retryTimer = nullptr;
    bool m_exiting = false;
};

}  // namespace fotoshuttle
