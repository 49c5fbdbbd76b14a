#include "admanager/settings/ui/SettingsDlg.h"

#include "admanager/settings/Association.h"
#include "common/Cp932.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/Prompter.h"
#include "common/ui/TextLimit.h"
#include "ui_SettingsDlg.h"

#include <QLineEdit>
#include <utility>

CSettingsDlg::CSettingsDlg(AppSettings& settings, std::string moduleDir, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::SettingsDlg>()), m_settings(settings),
      m_moduleDir(std::move(moduleDir)) {
    m_ui->setupUi(this);
    m_ui->useLastFileCheckBox->setChecked(m_settings.useLastFile != 0);
    m_ui->checkVersionCheckBox->setChecked(m_settings.checkVersion != 0);
    m_ui->registMessageCheckBox->setChecked(m_settings.registMessage != 0);

    for (const char* text : SuggestedLabelTexts())
        m_ui->labelTextComboBox->addItem(QString::fromUtf8(text));
    m_ui->labelTextComboBox->setAccessibleName(u"ラベルの文字"_qs);
    m_ui->labelTextComboBox->lineEdit()->setAccessibleName(u"ラベルの文字"_qs);
    m_ui->labelPositionComboBox->setAccessibleName(u"ラベルの位置"_qs);
    LimitEditBytes(m_ui->labelTextComboBox->lineEdit(), AppSettings::kLabelTextBytes);
    m_ui->adLabelCheckBox->setChecked(m_settings.adLabel != 0);
    m_ui->labelTextComboBox->setCurrentText(Cp932Qt::ToQt(m_settings.adLabelText));
    m_ui->labelPositionComboBox->setCurrentIndex(m_settings.adLabelPosition == 1 ? 1 : 0);
    m_ui->sponsoredRelCheckBox->setChecked(m_settings.sponsoredRel != 0);
    m_ui->lazyImagesCheckBox->setChecked(m_settings.lazyImages != 0);
    auto follow = [this] {
        const bool on = m_ui->adLabelCheckBox->isChecked();
        m_ui->labelTextComboBox->setEnabled(on);
        m_ui->labelPositionComboBox->setEnabled(on);
    };
    connect(m_ui->adLabelCheckBox, &QCheckBox::toggled, this, follow);
    follow();
    connect(m_ui->associatePushButton, &QPushButton::clicked, this, &CSettingsDlg::OnAssociate);
    connect(m_ui->unassociatePushButton, &QPushButton::clicked, this, &CSettingsDlg::OnUnassociate);
}

CSettingsDlg::~CSettingsDlg() = default;

void CSettingsDlg::accept() {
    m_settings.useLastFile = m_ui->useLastFileCheckBox->isChecked() ? 1 : 0;
    m_settings.checkVersion = m_ui->checkVersionCheckBox->isChecked() ? 1 : 0;
    m_settings.registMessage = m_ui->registMessageCheckBox->isChecked() ? 1 : 0;
    m_settings.adLabel = m_ui->adLabelCheckBox->isChecked() ? 1 : 0;
    // A label needs a word: an emptied box goes back to the default.
    std::string text = Cp932Qt::FromQt(m_ui->labelTextComboBox->currentText().trimmed());
    Cp932::CutTo(text, AppSettings::kLabelTextBytes);
    m_settings.adLabelText = text.empty() ? AppSettings::DefaultLabelText() : text;
    m_settings.adLabelPosition = m_ui->labelPositionComboBox->currentIndex() == 1 ? 1 : 0;
    m_settings.sponsoredRel = m_ui->sponsoredRelCheckBox->isChecked() ? 1 : 0;
    m_settings.lazyImages = m_ui->lazyImagesCheckBox->isChecked() ? 1 : 0;
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
