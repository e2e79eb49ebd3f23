#include "dialog/AboutDlg.h"

#include "dialog/AppIcon.h"
#include "dialog/DialogUnits.h"
#include "ui_AboutBox.h"

namespace fotoshuttle {

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::IDD_ABOUTBOX>()) {
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ScaleFromDialogUnits(this);
    const int side = m_ui->IDR_MAINFRAME->height();
    m_ui->IDR_MAINFRAME->setPixmap(ApplicationIcon().pixmap(side, side));
    setWindowIcon(ApplicationIcon());
}

CAboutDlg::~CAboutDlg() = default;

}  // namespace fotoshuttle
