#include "stylemaker/ui/CssOutputDialog.h"

#include "common/ui/AccessibleNames.h"
#include "common/ui/Prompter.h"
#include "common/ui/TextLimit.h"
#include "ui_CssOutputDialog.h"

namespace vessilo {

CCssOutputDialog::CCssOutputDialog(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::CssOutputDialog>()) {
    m_ui->setupUi(this);
    NameControlsAfterLabels(this);
    // What the style file keeps of the two.
    LimitEditBytes(m_ui->pathLineEdit, 259);
    LimitEditBytes(m_ui->tagClassLineEdit, 254);
    connect(m_ui->browsePushButton, &QPushButton::clicked, this, &CCssOutputDialog::OnBrowse);
}

CCssOutputDialog::~CCssOutputDialog() = default;

void CCssOutputDialog::SetPath(const QString& path) {
    m_ui->pathLineEdit->setText(path);
}
void CCssOutputDialog::SetTagClass(const QString& tagClass) {
    m_ui->tagClassLineEdit->setText(tagClass);
}
QString CCssOutputDialog::Path() const {
    return m_ui->pathLineEdit->text();
}
QString CCssOutputDialog::TagClass() const {
    return m_ui->tagClassLineEdit->text();
}

void CCssOutputDialog::OnBrowse() {
    QString path =
        Prompter::Current().SaveFileName(this, {u"css"_qs, u"*.css"_qs, u"ZovaAf用CSSファイル(*.css)"_qs, {}});
    if (!path.isEmpty())
        m_ui->pathLineEdit->setText(path);
}

void CCssOutputDialog::accept() {
    if (m_ui->tagClassLineEdit->text().isEmpty()) {
        Prompter::Current().Message(this, u"タグClass名を入力してください。"_qs, Prompter::Icon::Exclamation);
        m_ui->tagClassLineEdit->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace vessilo
