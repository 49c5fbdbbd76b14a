#include "admanager/settings/ui/AspDlg.h"

#include "admanager/settings/ui/AccountTable.h"
#include "common/ui/Clipboard.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/Prompter.h"
#include "common/ui/TextLimit.h"
#include "ui_AspDlg.h"

#include <QDesktopServices>
#include <QUrl>
#include <utility>

namespace {

constexpr int kNameWidth = 150;
constexpr int kUrlWidth = 300;

} // namespace

CAspDlg::CAspDlg(AspList& list, UrlOpener openUrl, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::AspDlg>()), m_list(list), m_work(list), m_openUrl(std::move(openUrl)) {
    m_ui->setupUi(this);
    // These two edits are labelled by their copy buttons.
    m_ui->userIdLineEdit->setAccessibleName(u"ユーザID"_qs);
    m_ui->passwordLineEdit->setAccessibleName(u"パスワード"_qs);
    m_ui->aspTableWidget->setAccessibleName(u"ASP一覧"_qs);
    // The buttons say what they do; their faces carry the field's name only.
    m_ui->userIdPushButton->setAccessibleName(u"ユーザIDをコピー"_qs);
    m_ui->passwordPushButton->setAccessibleName(u"パスワードをコピー"_qs);
    m_ui->upPushButton->setAccessibleName(u"上へ"_qs);
    m_ui->downPushButton->setAccessibleName(u"下へ"_qs);
    AccountTable::SetUp(m_ui->aspTableWidget, kNameWidth, kUrlWidth);
    if (!m_openUrl)
        m_openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    m_copy = [this](const QString& text) { return CopyTextToClipboard(text, this); };

    const std::pair<QLineEdit*, AspField> edits[] = {
        {m_ui->nameLineEdit, AspField::Name},
        {m_ui->userIdLineEdit, AspField::UserId},
        {m_ui->passwordLineEdit, AspField::Password},
        {m_ui->urlLineEdit, AspField::Url},
    };
    for (const auto& [edit, field] : edits) {
        LimitEditBytes(edit, FieldLimit(field));
        connect(edit, &QLineEdit::textChanged, this, [this, field = field](const QString& t) { OnEdited(field, t); });
    }
    connect(m_ui->aspTableWidget, &QTableWidget::itemSelectionChanged, this, &CAspDlg::OnSelectionChanged);
    connect(m_ui->newPushButton, &QPushButton::clicked, this, &CAspDlg::OnNew);
    connect(m_ui->deletePushButton, &QPushButton::clicked, this, &CAspDlg::OnDelete);
    connect(m_ui->upPushButton, &QPushButton::clicked, this, [this] { OnMove(-1); });
    connect(m_ui->downPushButton, &QPushButton::clicked, this, [this] { OnMove(1); });
    connect(m_ui->userIdPushButton, &QPushButton::clicked, this, [this] { OnCopy(m_ui->userIdLineEdit); });
    connect(m_ui->passwordPushButton, &QPushButton::clicked, this, [this] { OnCopy(m_ui->passwordLineEdit); });
    connect(m_ui->openUrlPushButton, &QPushButton::clicked, this, &CAspDlg::OnOpenUrl);

    FillRows();
}

CAspDlg::~CAspDlg() = default;

void CAspDlg::accept() {
    m_work.CopyBack(m_list);
    QDialog::accept();
}

void CAspDlg::FillRows() {
    m_sync = false;
    m_ui->aspTableWidget->clearSelection();
    m_ui->aspTableWidget->setRowCount(0);
    for (int row = 0; row < m_work.Count(); ++row)
        WriteRow(row);
    m_sync = true;
}

void CAspDlg::WriteRow(int row) {
    const AspEntry& e = m_work.Items().entries[row];
    AccountTable::SetRow(m_ui->aspTableWidget, row, Cp932Qt::ToQt(e.name), Cp932Qt::ToQt(e.url));
}

void CAspDlg::OnSelectionChanged() {
    // The entry typing writes to is always the selected row, filled or not.
    m_work.Select(AccountTable::SelectedRow(m_ui->aspTableWidget));
    if (!m_sync)
        return;
    m_sync = false;
    if (const AspEntry* e = m_work.SelectedEntry()) {
        m_ui->nameLineEdit->setText(Cp932Qt::ToQt(e->name));
        m_ui->userIdLineEdit->setText(Cp932Qt::ToQt(e->userId));
        m_ui->passwordLineEdit->setText(Cp932Qt::ToQt(e->password));
        m_ui->urlLineEdit->setText(Cp932Qt::ToQt(e->url));
    }
    m_sync = true;
}

void CAspDlg::OnEdited(AspField field, const QString& text) {
    if (!m_sync || !m_work.Edit(field, Cp932Qt::FromQt(text)))
        return;
    WriteRow(m_work.Selected());
}

void CAspDlg::OnNew() {
    if (!m_work.Add())
        return;
    m_sync = false;
    WriteRow(m_work.Count() - 1);
    m_sync = true;
    AccountTable::SelectRow(m_ui->aspTableWidget, m_work.Count() - 1);
}

void CAspDlg::OnDelete() {
    if (!m_work.RemoveSelected())
        return;
    FillRows();
    if (m_work.Count() > 0)
        AccountTable::SelectRow(m_ui->aspTableWidget, m_work.Count() - 1);
}

void CAspDlg::OnMove(int delta) {
    const int from = m_work.Selected();
    if (!m_work.MoveSelected(delta))
        return;
    WriteRow(from);
    WriteRow(m_work.Selected());
    AccountTable::SelectRow(m_ui->aspTableWidget, m_work.Selected());
}

void CAspDlg::OnCopy(const QLineEdit* edit) {
    // The edit's own text, selected row or not; the password in plain form.
    if (!m_copy(edit->text()))
        Prompter::Current().Message(this, u"クリップボードの操作に失敗しました。"_qs, Prompter::Icon::Information);
}

void CAspDlg::OnOpenUrl() {
    const QString text = m_ui->urlLineEdit->text();
    if (text.isEmpty())
        return;
    // A bare "www.example.jp" is meant as a web address, as the Windows shell takes it.
    m_openUrl(QUrl::fromUserInput(text).toString());
}

bool EditAspList(AspList& list, const std::string& moduleDir, CAspDlg::UrlOpener openUrl,
                 const std::function<void()>& accepted, QWidget* parent) {
    CAspDlg dialog(list, std::move(openUrl), parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (accepted)
        accepted();
    if (!SaveAspList(list, moduleDir))
        Prompter::Current().Message(parent, u"ASPリストの保存に失敗しました。"_qs, Prompter::Icon::Stop);
    return true;
}
