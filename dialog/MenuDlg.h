#pragma once

#include <QDialog>
#include <QIcon>
#include <functional>
#include <memory>
#include <string>

#include "convert/ConversionObserver.h"
#include "imaging/PictureOperations.h"
#include "watch/FolderChangeReceiver.h"

class QListWidget;
class QLineEdit;
class QPushButton;

namespace Ui {
class IDD_MENU_DIALOG;
}

namespace fotoshuttle {

inline constexpr const char* kStopFailedMessage = "終了できません。アプリを終了してください。";
inline constexpr const char* kCannotOpenSuffix = "を開けません。";
inline constexpr const char* kNoFileMessage = "ファイルがありません。";

// The control dialog: conversion choices, the buttons that start and stop watching and convert
// on demand, and the lists of both folders. It is also the receiver of the watcher's change
// notices, and its picture operations are the ones every conversion uses.
class CMenuDlg : public QDialog, public CPictureOperations, private ConversionObserver {
    Q_OBJECT

  public:
    enum class ControlState { Watching, Idle, Busy };

    explicit CMenuDlg(std::string profilePath);
    ~CMenuDlg() override;

    // Builds the window from its template and initialises it (settings, lists, defaults, the
    // watcher). The process ends inside when a setting is refused.
    bool Create();

    void OnStart();
    void OnStop();
    void OnConvertNow();
    void OnAbout();
    // The folder changed: the watcher waits in this call until it returns.
    void OnFolderChanged();

    void EnterBusy(bool keepConvertNowEnabled) override;
    void RestoreControlState() override;
    void RefreshFolderList(QListWidget* list, const std::string& folder);

    // Releases the dialog at once, or when the handler it is running returns; then runs then.
    void ReleaseWhenIdle(std::function<void()> then);

    ControlState controlState() const { return m_state; }

  protected:
    bool OnInitDialog();
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    class HandlerScope;

    void EnterWatching();
    void EnterIdle();
    void SetChoicesEnabled(bool enabled);
    void OpenFolder(const std::string& folder);
    void OnOutputDoubleClicked();
    void CopyDroppedFiles(const QList<QUrl>& urls);
    void StartWatcher();
    void RunConversion(bool manual);

    // What a conversion asks of the dialog besides the control states.
    void ShowSourceListing(const std::vector<std::string>& entries) override;
    void ShowOutputListing(const std::vector<std::string>& entries) override;
    ChoiceControls ReadChoiceControls() override;

    std::string m_profilePath;
    std::unique_ptr<Ui::IDD_MENU_DIALOG> m_ui;
    QIcon m_hIcon;
    QPushButton* m_btnStart = nullptr;
    QPushButton* m_btnStop = nullptr;
    QPushButton* m_btnClose = nullptr;
    QListWidget* m_lstSrc = nullptr;
    QListWidget* m_lstDst = nullptr;
    QPushButton* m_btnConvertNow = nullptr;
    QLineEdit* m_editSizeUpper = nullptr;
    QLineEdit* m_editSizeLower = nullptr;

    FolderChangeReceiver m_receiver;
    ControlState m_state = ControlState::Idle;
    bool m_converting = false;
    bool m_changePending = false;
    int m_handlerDepth = 0;
    std::function<void()> m_afterRelease;
    bool m_releasePending = false;
};

// The one control dialog, or null before start-up made it and after the exit released it.
extern CMenuDlg* g_pMenuDlg;

}  // namespace fotoshuttle
