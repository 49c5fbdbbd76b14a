#include "admanager/shell/AssociationPromptDlg.h"

#include "ui_AssociationPromptDlg.h"

#include <QStyle>

CAssociationPromptDlg::CAssociationPromptDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::AssociationPromptDlg>()) {
    m_ui->setupUi(this);
    m_ui->iconLabel->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
}

CAssociationPromptDlg::~CAssociationPromptDlg() = default;

bool CAssociationPromptDlg::ShowAgain() const { return !m_ui->dontShowCheckBox->isChecked(); }
