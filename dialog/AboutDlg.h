#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class IDD_ABOUTBOX;
}

namespace fotoshuttle {

// The About box: the application icon, the name and version, and OK.
class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

  private:
    std::unique_ptr<Ui::IDD_ABOUTBOX> m_ui;
};

}  // namespace fotoshuttle
