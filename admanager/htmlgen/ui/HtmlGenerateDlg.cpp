#include "admanager/htmlgen/ui/HtmlGenerateDlg.h"

#include "admanager/htmlgen/AdBlockOutput.h"
#include "admanager/htmlgen/PageWriter.h"
#include "admanager/htmlgen/PreviewPages.h"
#include "admanager/library/ui/AfManagerDoc.h"
#include "admanager/upload/UploadJob.h"
#include "admanager/upload/ui/FtpUploadDlg.h"
#include "common/AppPaths.h"
#include "common/Cp932.h"
#include "common/FileOps.h"
#include "common/ui/Clipboard.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/Prompter.h"
#include "common/ui/TextLimit.h"
#include "common/ui/WebBrowser2.h"
#include "ui_HtmlGenerateDlg.h"

#include <QApplication>
#include <QFileInfo>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <utility>

namespace {

// What the item keeps of each text setting.
constexpr std::size_t kSettingBytes = 254;

// The C library's decimal reading: leading digits count, anything else is 0.
int TextToInt(const QString& text) {
    QByteArray bytes = text.toLatin1();
    long value = std::strtol(bytes.constData(), nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

// Where a file dialog for the path in an edit starts: beside that path.
QString FolderOf(const QString& path) { return path.isEmpty() ? QString() : QFileInfo(path).absolutePath(); }

void Info(QWidget* parent, const char* utf8) {
    Prompter::Current().Message(parent, QString::fromUtf8(utf8), Prompter::Icon::Information);
}

} // namespace

CHtmlGenerateDlg::CHtmlGenerateDlg(CAfManagerDoc& doc, std::vector<const Banner*> banners, FtpHostList& hosts,
                                   std::string moduleDir, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::HtmlGenerateDlg>()), m_doc(doc), m_banners(std::move(banners)),
      m_hosts(hosts), m_moduleDir(std::move(moduleDir)) {
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    // The dialog holds pointers into the document: nothing behind it may change it.
    setWindowModality(Qt::WindowModal);
    m_browser = new CWebBrowser2(this);
    m_browser->setObjectName(u"previewWebBrowser"_qs);
    m_browser->setMinimumHeight(120);
    m_ui->mainLayout->addWidget(m_browser, 1);

    // Names for screen readers and tests: each control's own label.
    const std::pair<QWidget*, QString> names[] = {
        {m_ui->titleLineEdit, u"Title"_qs},
        {m_ui->commentLineEdit, u"Comment"_qs},
        {m_ui->columnsComboBox, u"列　数"_qs},
        {m_ui->rowsLineEdit, u"行数"_qs},
        {m_ui->pageCountLineEdit, u"ページ数"_qs},
        {m_ui->tagClassLineEdit, u"タグClass名"_qs},
        {m_ui->layout1ComboBox, u"バナーのレイアウト 1"_qs},
        {m_ui->layout2ComboBox, u"バナーのレイアウト 2"_qs},
        {m_ui->layout3ComboBox, u"バナーのレイアウト 3"_qs},
        {m_ui->outputPathLineEdit, u"ローカル"_qs},
        {m_ui->remoteFileLineEdit, u"FTPのファイル名"_qs},
        {m_ui->styleSheetLineEdit, u"スタイルシート"_qs},
        {m_ui->htmlPlainTextEdit, u"HTML"_qs},
        {m_browser, u"プレビュー表示"_qs},
        {m_ui->styleSheetBrowsePushButton, u"スタイルシートを参照"_qs},
        {m_ui->outputBrowsePushButton, u"出力先を参照"_qs},
        {m_ui->copyPushButton, u"HTMLをコピー"_qs},
    };
    for (const auto& [widget, name] : names)
        widget->setAccessibleName(name);

    for (QLineEdit* edit : {m_ui->tagClassLineEdit, m_ui->outputPathLineEdit, m_ui->remoteFileLineEdit,
                            m_ui->styleSheetLineEdit, m_ui->rowsLineEdit})
        LimitEditBytes(edit, kSettingBytes);

    for (QLineEdit* edit : {m_ui->commentLineEdit, m_ui->outputPathLineEdit, m_ui->styleSheetLineEdit,
                            m_ui->tagClassLineEdit, m_ui->titleLineEdit, m_ui->remoteFileLineEdit, m_ui->rowsLineEdit})
        connect(edit, &QLineEdit::textChanged, this, &CHtmlGenerateDlg::MarkChanged);
    for (QComboBox* combo :
         {m_ui->layout1ComboBox, m_ui->layout2ComboBox, m_ui->layout3ComboBox, m_ui->columnsComboBox})
        connect(combo, &QComboBox::currentIndexChanged, this, &CHtmlGenerateDlg::MarkChanged);
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
             m_ui->rowLimitCheckBox, m_ui->ftpCheckBox, m_ui->randomRadioButton, m_ui->multiPageRadioButton})
        connect(button, &QAbstractButton::clicked, this, &CHtmlGenerateDlg::MarkChanged);
    connect(m_ui->rowLimitCheckBox, &QCheckBox::clicked, this, &CHtmlGenerateDlg::OnRowLimitClicked);
    connect(m_ui->columnsComboBox, &QComboBox::currentIndexChanged, this, &CHtmlGenerateDlg::UpdatePageCount);
    connect(m_ui->rowsLineEdit, &QLineEdit::textChanged, this, &CHtmlGenerateDlg::UpdatePageCount);

    connect(m_ui->previewPushButton, &QPushButton::clicked, this, &CHtmlGenerateDlg::OnPreview);
    connect(m_ui->outputPushButton, &QPushButton::clicked, this, &CHtmlGenerateDlg::OnOutput);
    connect(m_ui->closePushButton, &QPushButton::clicked, this, &CHtmlGenerateDlg::reject);
    connect(m_ui->copyPushButton, &QPushButton::clicked, this, &CHtmlGenerateDlg::OnCopy);
    connect(m_ui->outputBrowsePushButton, &QPushButton::clicked, this, &CHtmlGenerateDlg::OnBrowseOutput);
    connect(m_ui->styleSheetBrowsePushButton, &QPushButton::clicked, this, &CHtmlGenerateDlg::OnBrowseStyleSheet);

    SetUp();
    // The controls keep their places and sizes (as filled); only the browser below them grows.
    const QMargins margins = m_ui->mainLayout->contentsMargins();
    const QSize controls = m_ui->controlsWidget->sizeHint();
    m_ui->controlsWidget->setFixedSize(std::max(controls.width(), width() - margins.left() - margins.right()),
                                       controls.height());
}

CHtmlGenerateDlg::~CHtmlGenerateDlg() = default;

void CHtmlGenerateDlg::SetUp() {
    const LibraryNode* item = m_doc.State().currentNode;
    if (!item)
        return;
    m_initialised = false;
    m_ui->titleLineEdit->setText(Cp932Qt::ToQt(item->title));
    m_ui->commentLineEdit->setText(Cp932Qt::ToQt(item->comment));

    m_ui->columnsComboBox->addItems({u"１列"_qs, u"２列"_qs, u"３列"_qs, u"４列"_qs, u"５列"_qs, u"６列"_qs});
    QComboBox* layoutCombos[] = {m_ui->layout1ComboBox, m_ui->layout2ComboBox, m_ui->layout3ComboBox};
    for (QComboBox* combo : layoutCombos)
        combo->addItems({u"表示しない"_qs, u"広告名"_qs, u"コメント"_qs, u"タグ"_qs});

    m_ui->columnsComboBox->setCurrentIndex(item->columnIndex >= 0 && item->columnIndex < 6 ? item->columnIndex : -1);
    m_ui->rowLimitCheckBox->setChecked(item->rowLimit != 0);
    m_ui->rowsLineEdit->setText(QString::number(item->rowCount));
    if (item->multiPage != 0)
        m_ui->multiPageRadioButton->setChecked(true);
    else
        m_ui->randomRadioButton->setChecked(true);
    m_ui->tagClassLineEdit->setText(Cp932Qt::ToQt(item->tagClass));
    m_ui->outputPathLineEdit->setText(Cp932Qt::ToQt(item->outputPath));
    m_ui->ftpCheckBox->setChecked(item->ftpUpload != 0);
    m_ui->remoteFileLineEdit->setText(Cp932Qt::ToQt(item->remoteFile));
    m_ui->styleSheetLineEdit->setText(Cp932Qt::ToQt(item->styleSheet));
    for (int i = 0; i < 3; ++i)
        layoutCombos[i]->setCurrentIndex(item->layout[i] >= 0 && item->layout[i] < 4 ? item->layout[i] : -1);

    OnRowLimitClicked();
    UpdatePageCount();
    m_initialised = true;
}

void CHtmlGenerateDlg::UpdatePageCount() {
    const LibraryNode* item = m_doc.State().currentNode;
    QString text = u"---"_qs;
    if (item) {
        long long perPage =
            static_cast<long long>(m_ui->columnsComboBox->currentIndex() + 1) * TextToInt(m_ui->rowsLineEdit->text());
        if (perPage > 0) {
            long long pages = (CountLiveBanners(*item) + perPage - 1) / perPage;
            if (pages > 0)
                text = QString::number(pages) + u" ページ"_qs;
        }
    }
    m_ui->pageCountLineEdit->setText(text);
}

void CHtmlGenerateDlg::MarkChanged() {
    if (m_initialised)
        m_changed = true;
}

void CHtmlGenerateDlg::OnRowLimitClicked() {
    bool on = m_ui->rowLimitCheckBox->isChecked();
    m_ui->randomRadioButton->setEnabled(on);
    m_ui->multiPageRadioButton->setEnabled(on);
}

std::optional<AdBlockOptions> CHtmlGenerateDlg::ReadOptions() {
    AdBlockOptions options;
    options.columns = m_ui->columnsComboBox->currentIndex() + 1;
    options.rowLimit = m_ui->rowLimitCheckBox->isChecked() ? 1 : 0;
    options.rows = std::max(1, TextToInt(m_ui->rowsLineEdit->text()));
    options.multiPage = m_ui->randomRadioButton->isChecked() ? 0 : 1;
    options.tagClass = Cp932::Kept(Cp932Qt::FromQt(m_ui->tagClassLineEdit->text()), kTagClassRead);
    options.layout[0] = m_ui->layout1ComboBox->currentIndex();
    options.layout[1] = m_ui->layout2ComboBox->currentIndex();
    options.layout[2] = m_ui->layout3ComboBox->currentIndex();
    ApplyOutputSettings(options, m_doc.Settings());
    if (OptionProblem problem = CheckAdBlockOptions(options); problem != OptionProblem::None) {
        Info(this, OptionProblemMessage(problem));
        return std::nullopt;
    }
    return options;
}

std::optional<AdBlockResult> CHtmlGenerateDlg::Generate(const AdBlockOptions& options, const char* noPages) {
    AdBlockResult result = GenerateAdBlock(options, m_banners);
    if (!result.succeeded) {
        Prompter::Current().Message(this, u"HTMLの作成に失敗しました。"_qs, Prompter::Icon::Stop);
        return std::nullopt;
    }
    // A multi-page block of no banners has nothing to show or write.
    if (result.pages.empty()) {
        Info(this, noPages);
        return std::nullopt;
    }
    return result;
}

void CHtmlGenerateDlg::OnPreview() {
    // A preview that gives no page shows no text of an earlier one.
    m_ui->htmlPlainTextEdit->clear();
    std::optional<AdBlockOptions> options = ReadOptions();
    if (!options)
        return;
    std::optional<AdBlockResult> generated = Generate(*options, "バナーがないため、表示するページがありません。");
    if (!generated)
        return;
    const AdBlockResult& result = *generated;
    m_ui->htmlPlainTextEdit->setPlainText(Cp932Qt::ToQt(result.pages.front()));
    std::string styleSheet = Cp932Qt::FromQt(m_ui->styleSheetLineEdit->text());
    std::string page = PreviewPages::PagePath(m_moduleDir, PreviewPages::kPreviewPage);
    // The folder ships with the program; bring it back if someone removed it.
    if (!FileOps::IsDirectory(m_moduleDir + PreviewPages::kFolder))
        FileOps::MakeDirRetry(m_moduleDir + PreviewPages::kFolder);
    // A page that cannot be written leaves the browser as it was.
    if (WritePreviewPage(result.pages.front(), styleSheet, page))
        m_browser->Navigate2(QString::fromStdString(page));
}

void CHtmlGenerateDlg::OnOutput() {
    std::optional<AdBlockOptions> options = ReadOptions();
    if (!options)
        return;
    QString outputPath = m_ui->outputPathLineEdit->text();
    if (outputPath.isEmpty()) {
        Info(this, "■HTML出力先■の「ローカル」を設定してください。");
        return;
    }
    bool upload = m_ui->ftpCheckBox->isChecked();
    std::string remoteName = Cp932Qt::FromQt(m_ui->remoteFileLineEdit->text());
    if (upload && remoteName.empty()) {
        Info(this, "■HTML出力先■の「FTP」を設定してください。。");
        return;
    }
    std::optional<AdBlockResult> generated = Generate(*options, "バナーがないため、出力するページがありません。");
    if (!generated)
        return;
    const AdBlockResult& result = *generated;
    std::string path = outputPath.toStdString();
    OutputReport report = WriteAdBlockOutput(result, path);
    if (!report.Ok()) {
        Prompter::Current().Message(this, QString::fromUtf8(OutputErrorMessage(report.error)),
                                    Prompter::Icon::Exclamation);
        return;
    }
    if (!upload) {
        Info(this, "ローカルファイルに保存しました。");
        return;
    }
    CFtpUploadDlg dialog(m_hosts, AppPaths::SettingsDir(), m_ftpHost, path, remoteName, PageFilesOf(result), this);
    dialog.exec();
    m_ftpHost = dialog.HostName();
}

void CHtmlGenerateDlg::OnCopy() {
    m_ui->htmlPlainTextEdit->selectAll();
    m_ui->htmlPlainTextEdit->ensureCursorVisible();
    CopyTextToClipboard(m_ui->htmlPlainTextEdit->toPlainText(), this);
}

void CHtmlGenerateDlg::OnBrowseOutput() {
    // Any name, with or without an extension, is written as typed.
    Prompter::FileDialog dialog{{}, {}, u"全てのファイル(*)"_qs, FolderOf(m_ui->outputPathLineEdit->text())};
    QString name = Prompter::Current().SaveFileName(this, dialog);
    if (!name.isEmpty())
        m_ui->outputPathLineEdit->setText(name);
}

void CHtmlGenerateDlg::OnBrowseStyleSheet() {
    Prompter::FileDialog dialog{u"css"_qs, u"*.css"_qs, u"スタイルシート(*.css)"_qs,
                                FolderOf(m_ui->styleSheetLineEdit->text())};
    QString name = Prompter::Current().OpenFileName(this, dialog);
    if (!name.isEmpty())
        m_ui->styleSheetLineEdit->setText(name);
}

void CHtmlGenerateDlg::SaveSettings(LibraryNode& item) const {
    item.columnIndex = std::max(0, m_ui->columnsComboBox->currentIndex());
    item.rowLimit = m_ui->rowLimitCheckBox->isChecked() ? 1 : 0;
    item.rowCount = TextToInt(m_ui->rowsLineEdit->text());
    item.multiPage = m_ui->randomRadioButton->isChecked() ? 0 : 1;
    item.tagClass = Cp932::Kept(Cp932Qt::FromQt(m_ui->tagClassLineEdit->text()), kSettingBytes);
    item.outputPath = Cp932::Kept(Cp932Qt::FromQt(m_ui->outputPathLineEdit->text()), kSettingBytes);
    item.ftpUpload = m_ui->ftpCheckBox->isChecked() ? 1 : 0;
    item.remoteFile = Cp932::Kept(Cp932Qt::FromQt(m_ui->remoteFileLineEdit->text()), kSettingBytes);
    item.styleSheet = Cp932::Kept(Cp932Qt::FromQt(m_ui->styleSheetLineEdit->text()), kSettingBytes);
    const QComboBox* layoutCombos[] = {m_ui->layout1ComboBox, m_ui->layout2ComboBox, m_ui->layout3ComboBox};
    for (int i = 0; i < 3; ++i)
        item.layout[i] = std::max(0, layoutCombos[i]->currentIndex());
}

void CHtmlGenerateDlg::reject() {
    if (LibraryNode* item = m_doc.State().currentNode)
        SaveSettings(*item);
    else
        Prompter::Current().Message(this, u"エラーが発生しました。\n変更内容を破棄して終了します。"_qs,
                                    Prompter::Icon::Exclamation);
    QDialog::reject();
}
