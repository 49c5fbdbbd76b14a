#include "admanager/settings/ui/FtpHostDlg.h"

#include "admanager/settings/ui/AccountTable.h"
#include "admanager/upload/UploadJob.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/Prompter.h"
#include "common/ui/TextLimit.h"
#include "ui_FtpHostDlg.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QValidator>
#include <utility>

namespace {

constexpr int kNameWidth = 150;
constexpr int kHostWidth = 300;

// Digits only, 1 to 65535; empty while typing (then the protocol's own port).
class PortValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        if (input.isEmpty())
            return Intermediate;
        if (input.size() > 5 || input.front() == u'0')
            return Invalid;
        for (QChar c : input)
            if (c < u'0' || c > u'9')
                return Invalid;
        return input.toInt() <= 65535 ? Acceptable : Invalid;
    }
};

} // namespace

CFtpHostDlg::CFtpHostDlg(FtpHostList& list, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::FtpHostDlg>()), m_list(list), m_work(list) {
    m_ui->setupUi(this);
    m_ui->hostTableWidget->setAccessibleName(u"FTPホスト一覧"_qs);
    m_ui->protocolComboBox->setAccessibleName(u"接続方式"_qs);
    m_ui->keyFilePushButton->setAccessibleName(u"秘密鍵ファイルを参照"_qs);
    m_ui->upPushButton->setAccessibleName(u"上へ"_qs);
    m_ui->downPushButton->setAccessibleName(u"下へ"_qs);
    AccountTable::SetUp(m_ui->hostTableWidget, kNameWidth, kHostWidth);

    const std::pair<QLineEdit*, FtpField> edits[] = {
        {m_ui->nameLineEdit, FtpField::Name},         {m_ui->hostLineEdit, FtpField::Host},
        {m_ui->portLineEdit, FtpField::Port},         {m_ui->userLineEdit, FtpField::User},
        {m_ui->passwordLineEdit, FtpField::Password}, {m_ui->directoryLineEdit, FtpField::Directory},
        {m_ui->keyFileLineEdit, FtpField::KeyFile},
    };
    for (const auto& [edit, field] : edits) {
        if (field == FtpField::Port) {
            edit->setMaxLength(5);
            edit->setValidator(new PortValidator(edit));
            edit->setToolTip(u"1～65535（空欄のときは接続方式の標準のポート）"_qs);
        } else
            LimitEditBytes(edit, FieldLimit(field));
        connect(edit, &QLineEdit::textChanged, this, [this, field = field](const QString& t) { OnEdited(field, t); });
    }
    connect(m_ui->protocolComboBox, &QComboBox::currentIndexChanged, this, &CFtpHostDlg::OnProtocol);
    connect(m_ui->passiveCheckBox, &QCheckBox::toggled, this, &CFtpHostDlg::OnPassive);
    connect(m_ui->keyFilePushButton, &QPushButton::clicked, this, &CFtpHostDlg::OnChooseKeyFile);
    connect(m_ui->forgetPinPushButton, &QPushButton::clicked, this, &CFtpHostDlg::OnForgetPin);
    connect(m_ui->hostTableWidget, &QTableWidget::itemSelectionChanged, this, &CFtpHostDlg::OnSelectionChanged);
    connect(m_ui->newPushButton, &QPushButton::clicked, this, &CFtpHostDlg::OnNew);
    connect(m_ui->deletePushButton, &QPushButton::clicked, this, &CFtpHostDlg::OnDelete);
    connect(m_ui->upPushButton, &QPushButton::clicked, this, [this] { OnMove(-1); });
    connect(m_ui->downPushButton, &QPushButton::clicked, this, [this] { OnMove(1); });

    // Said as soon as the choice is made, not when an upload is refused.
    m_passiveHint = new QLabel(u"このシステムのlibcurlでは、FTP over TLSはパッシブモードでのみ使えます。"
                               u"アクティブモードのままではアップロードできません。"_qs,
                               this);
    m_passiveHint->setObjectName(u"passiveHintLabel"_qs);
    m_passiveHint->setWordWrap(true);
    m_passiveHint->setStyleSheet(u"color: #b00000;"_qs);
    m_passiveHint->hide();
    // Under the fields, in the grid that holds パッシブモード.
    for (QGridLayout* grid : findChildren<QGridLayout*>()) {
        if (grid->indexOf(m_ui->passiveCheckBox) >= 0) {
            grid->addWidget(m_passiveHint, grid->rowCount(), 0, 1, grid->columnCount());
            break;
        }
    }

    FillRows();
    ShowTransport(nullptr);
}

CFtpHostDlg::~CFtpHostDlg() = default;

void CFtpHostDlg::accept() {
    m_work.CopyBack(m_list);
    QDialog::accept();
}

void CFtpHostDlg::FillRows() {
    m_sync = false;
    m_ui->hostTableWidget->clearSelection();
    m_ui->hostTableWidget->setRowCount(0);
    for (int row = 0; row < m_work.Count(); ++row)
        WriteRow(row);
    m_sync = true;
}

void CFtpHostDlg::WriteRow(int row) {
    const FtpHostEntry& e = m_work.Items().entries[row];
    AccountTable::SetRow(m_ui->hostTableWidget, row, Cp932Qt::ToQt(e.name), Cp932Qt::ToQt(e.host));
}

void CFtpHostDlg::OnSelectionChanged() {
    // The entry typing writes to is always the selected row, filled or not.
    m_work.Select(AccountTable::SelectedRow(m_ui->hostTableWidget));
    if (!m_sync)
        return;
    m_sync = false;
    if (const FtpHostEntry* e = m_work.SelectedEntry())
        ShowEntry(*e);
    else
        ShowTransport(nullptr);
    m_sync = true;
}

void CFtpHostDlg::ShowEntry(const FtpHostEntry& e) {
    m_ui->nameLineEdit->setText(Cp932Qt::ToQt(e.name));
    m_ui->hostLineEdit->setText(Cp932Qt::ToQt(e.host));
    m_ui->portLineEdit->setText(QString::number(e.port));
    m_ui->userLineEdit->setText(Cp932Qt::ToQt(e.user));
    m_ui->passwordLineEdit->setText(Cp932Qt::ToQt(e.password));
    m_ui->directoryLineEdit->setText(Cp932Qt::ToQt(e.directory));
    m_ui->keyFileLineEdit->setText(Cp932Qt::ToQt(e.keyFile));
    m_ui->protocolComboBox->setCurrentIndex(static_cast<int>(e.protocol));
    m_ui->passiveCheckBox->setChecked(e.passive);
    ShowTransport(&e);
}

void CFtpHostDlg::ShowTransport(const FtpHostEntry* e) {
    const bool sftp = e && e->protocol == FtpProtocol::Sftp;
    const bool tls = e && e->protocol == FtpProtocol::Ftps;
    // Nothing selected, nothing to type into: what is typed always lands in an entry.
    for (QWidget* w : std::initializer_list<QWidget*>{m_ui->nameLineEdit, m_ui->hostLineEdit, m_ui->portLineEdit,
                                                      m_ui->userLineEdit, m_ui->passwordLineEdit,
                                                      m_ui->directoryLineEdit, m_ui->protocolComboBox})
        w->setEnabled(e != nullptr);
    if (!e) {
        const bool sync = m_sync;
        m_sync = false;
        for (QLineEdit* edit : {m_ui->nameLineEdit, m_ui->hostLineEdit, m_ui->portLineEdit, m_ui->userLineEdit,
                                m_ui->passwordLineEdit, m_ui->directoryLineEdit, m_ui->keyFileLineEdit})
            edit->clear();
        m_sync = sync;
    }
    m_passiveHint->setVisible(tls && !e->passive && !ActiveFtpsSupported());
    m_ui->passiveCheckBox->setEnabled(e && !sftp);
    m_ui->keyFileLabel->setEnabled(sftp);
    m_ui->keyFileLineEdit->setEnabled(sftp);
    m_ui->keyFilePushButton->setEnabled(sftp);
    m_ui->pinLabel->setText(sftp ? u"信頼済みのホスト鍵"_qs : u"信頼済みの証明書"_qs);
    const std::string pin = sftp ? e->hostKeySha256 : tls ? e->certificateSha256 : std::string();
    m_ui->pinLabel->setEnabled(sftp || tls);
    m_ui->pinLineEdit->setEnabled(sftp || tls);
    // A host key as OpenSSH and the trust question show it.
    const std::string shown = pin.empty() ? std::string() : sftp ? SshFingerprint(pin) : "SHA-256 " + pin;
    m_ui->pinLineEdit->setText(QString::fromStdString(shown));
    m_ui->pinLineEdit->setCursorPosition(0);
    // A host key stays in our known hosts file, so only a certificate can be
    // let go of here; a changed host key is asked about when it is met.
    m_ui->forgetPinPushButton->setEnabled(tls && !pin.empty());
}

void CFtpHostDlg::OnProtocol(int index) {
    if (!m_sync || index < 0 || index > 2)
        return;
    m_work.Update([index](FtpHostEntry& e) { SetProtocol(e, static_cast<FtpProtocol>(index)); });
    if (const FtpHostEntry* e = m_work.SelectedEntry()) {
        m_sync = false;
        m_ui->portLineEdit->setText(QString::number(e->port));
        m_sync = true;
    }
    ShowTransport(m_work.SelectedEntry());
}

void CFtpHostDlg::OnPassive(bool on) {
    if (!m_sync)
        return;
    m_work.Update([on](FtpHostEntry& e) { e.passive = on; });
    ShowTransport(m_work.SelectedEntry());
}

void CFtpHostDlg::OnChooseKeyFile() {
    Prompter::FileDialog d;
    d.filter = u"すべてのファイル(*)"_qs;
    const QString current = m_ui->keyFileLineEdit->text();
    d.directory = current.isEmpty() ? QDir::homePath() + u"/.ssh"_qs : QFileInfo(current).absolutePath();
    QString path = Prompter::Current().OpenFileName(this, d);
    if (!path.isEmpty())
        m_ui->keyFileLineEdit->setText(path); // stored through the edit, like typing
}

void CFtpHostDlg::OnForgetPin() {
    m_work.Update([](FtpHostEntry& e) { e.certificateSha256.clear(); });
    ShowTransport(m_work.SelectedEntry());
}

void CFtpHostDlg::OnEdited(FtpField field, const QString& text) {
    if (!m_sync || !m_work.Edit(field, Cp932Qt::FromQt(text)))
        return;
    WriteRow(m_work.Selected());
}

void CFtpHostDlg::OnNew() {
    if (!m_work.Add())
        return;
    m_sync = false;
    WriteRow(m_work.Count() - 1);
    m_sync = true;
    AccountTable::SelectRow(m_ui->hostTableWidget, m_work.Count() - 1);
}

void CFtpHostDlg::OnDelete() {
    if (!m_work.RemoveSelected())
        return;
    FillRows();
    if (m_work.Count() > 0)
        AccountTable::SelectRow(m_ui->hostTableWidget, m_work.Count() - 1);
}

void CFtpHostDlg::OnMove(int delta) {
    const int from = m_work.Selected();
    if (!m_work.MoveSelected(delta))
        return;
    WriteRow(from);
    WriteRow(m_work.Selected());
    AccountTable::SelectRow(m_ui->hostTableWidget, m_work.Selected());
}

bool EditFtpHostList(FtpHostList& list, const std::string& moduleDir, QWidget* parent) {
    CFtpHostDlg dialog(list, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (!SaveFtpHostList(list, moduleDir))
        Prompter::Current().Message(parent, u"FTPホストリストの保存に失敗しました。"_qs, Prompter::Icon::Stop);
    return true;
}
