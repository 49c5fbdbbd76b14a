#include "admanager/settings/ui/SettingsDlg.h"

#include "admanager/settings/Association.h"
#include "common/ui/Prompter.h"
#include "ui_SettingsDlg.h"

#include <utility>

CSettingsDlg::CSettingsDlg(AppSettings& settings, std::string moduleDir, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::SettingsDlg>()), m_settings(settings),
      m_moduleDir(std::move(moduleDir)) {
    m_ui->setupUi(this);
    m_ui->useLastFileCheckBox->setChecked(m_settings.useLastFile != 0);
    m_ui->checkVersionCheckBox->setChecked(m_settings.checkVersion != 0);
    m_ui->registMessageCheckBox->setChecked(m_settings.registMessage != 0);
    connect(m_ui->associatePushButton, &QPushButton::clicked, this, &CSettingsDlg::OnAssociate);
    connect(m_ui->unassociatePushButton, &QPushButton::clicked, this, &CSettingsDlg::OnUnassociate);
}

CSettingsDlg::~CSettingsDlg() = default;

void CSettingsDlg::accept() {
    m_settings.useLastFile = m_ui->useLastFileCheckBox->isChecked() ? 1 : 0;
    m_settings.checkVersion = m_ui->checkVersionCheckBox->isChecked() ? 1 : 0;
    m_settings.registMessage = m_ui->registMessageCheckBox->isChecked() ? 1 : 0;
    QDialog::accept();
}

void CSettingsDlg::OnAssociate() {
    if (Association::Associate(m_moduleDir))
        Prompter::Current().Message(this, u"関連付けをしました。"_qs, Prompter::Icon::Exclamation);
    else
        Prompter::Current().Message(this, u"関連付けに失敗しました。"_qs, Prompter::Icon::Information);
}

void CSettingsDlg::OnUnassociate() {
    if (Association::Unassociate())
        Prompter::Current().Message(this, u"関連付けの解除をしました。"_qs, Prompter::Icon::Exclamation);
    else
        Prompter::Current().Message(this, u"関連付けの解除に失敗しました。"_qs, Prompter::Icon::Information);
}
