#include "admanager/panes/DataCtrlView.h"

#include "admanager/htmlgen/PageWriter.h"
#include "admanager/htmlgen/PreviewPages.h"
#include "admanager/library/BannerRules.h"
#include "admanager/library/ui/AfManagerDoc.h"
#include "admanager/panes/RightView.h"
#include "common/Cp932.h"
#include "common/FileOps.h"
#include "common/AppPaths.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/Prompter.h"
#include "common/ui/TextLimit.h"
#include "common/ui/WebBrowser2.h"
#include "ui_DataCtrlView.h"

#include <QFocusEvent>

namespace {

constexpr std::size_t kShortTextBytes = 254;
constexpr std::size_t kLongTextBytes = 2046;

const QString& OtherAsp() {
    static const QString text = u"その他"_qs;
    return text;
}

std::string ShortText(const QLineEdit* edit) {
    std::string text = Cp932Qt::FromQt(edit->text());
    Cp932::CutTo(text, kShortTextBytes);
    return text;
}

std::string LongText(const QPlainTextEdit* edit) {
    std::string text = Cp932Qt::FromQtMultiline(edit->toPlainText());
    Cp932::CutTo(text, kLongTextBytes);
    return text;
}

std::int32_t NumberText(const QLineEdit* edit) { return BannerNumberValue(Cp932Qt::FromQt(edit->text())); }

} // namespace

CDataCtrlView::CDataCtrlView(CAfManagerDoc& doc, QWidget* parent)
    : QScrollArea(parent), m_doc(doc), m_ui(std::make_unique<Ui::DataCtrlView>()), m_form(new QWidget) {
    setObjectName(u"dataCtrlView"_qs);
    setFrameShape(QFrame::NoFrame);
    // The pane is no stop of its own for Tab: focus goes straight to its fields.
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(true);
    m_ui->setupUi(m_form);
    m_form->setObjectName(u"dataCtrlForm"_qs);
    setWidget(m_form);

    // Each edit takes only what the banner keeps, before any change is stored.
    // Texts that go into the generated HTML keep any character as a reference.
    using TextLimit::Uncodable;
    LimitEditBytes(m_ui->advertiserLineEdit, kShortTextBytes);
    LimitEditBytes(m_ui->nameLineEdit, kShortTextBytes, Uncodable::CharRef);
    for (QLineEdit* number : {m_ui->cpmLineEdit, m_ui->cpcLineEdit, m_ui->fixedRateLineEdit, m_ui->fixedFeeLineEdit})
        LimitEditBytes(number, kShortTextBytes);
    LimitEditBytes(m_ui->commentPlainTextEdit, kLongTextBytes, Uncodable::CharRef);
    LimitEditBytes(m_ui->tagPlainTextEdit, kLongTextBytes, Uncodable::CharRef);
    const std::pair<QWidget*, QString> names[] = {
        {m_ui->aspComboBox, u"ASP"_qs},           {m_ui->advertiserLineEdit, u"広告主"_qs},
        {m_ui->cpmLineEdit, u"CPM"_qs},           {m_ui->cpcLineEdit, u"CPC"_qs},
        {m_ui->fixedFeeLineEdit, u"定額"_qs},     {m_ui->fixedRateLineEdit, u"定率"_qs},
        {m_ui->nameLineEdit, u"広告名"_qs},       {m_ui->commentPlainTextEdit, u"コメント"_qs},
        {m_ui->tagPlainTextEdit, u"タグ"_qs},     {m_ui->previewWebBrowser, u"タグのプレビュー"_qs},
        {m_ui->tagCheckBox, u"タグのプレビューを表示"_qs}};
    for (const auto& [widget, name] : names)
        widget->setAccessibleName(name);
    // The version page or anything else that cannot be reached gives way to the top page.
    m_ui->previewWebBrowser->SetFallbackPage(
        QString::fromStdString(PreviewPages::PagePath(AppPaths::ProgramDir(), PreviewPages::kTopPage)));

    // A name shown with its "（未登録）" mark is shown whole.
    m_ui->aspComboBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(m_ui->aspComboBox, &QComboBox::activated, this, &CDataCtrlView::OnAspActivated);
    connect(m_ui->advertiserLineEdit, &QLineEdit::textChanged, this,
            [this] { Store(BannerEditStep::Advertiser, [this](Banner& b) { b.advertiser = ShortText(m_ui->advertiserLineEdit); }); });
    connect(m_ui->nameLineEdit, &QLineEdit::textChanged, this,
            [this] { Store(BannerEditStep::Name, [this](Banner& b) { b.name = ShortText(m_ui->nameLineEdit); }); });
    connect(m_ui->cpmLineEdit, &QLineEdit::textChanged, this,
            [this] { Store(BannerEditStep::Cpm, [this](Banner& b) { b.cpm = NumberText(m_ui->cpmLineEdit); }); });
    connect(m_ui->cpcLineEdit, &QLineEdit::textChanged, this,
            [this] { Store(BannerEditStep::Cpc, [this](Banner& b) { b.cpc = NumberText(m_ui->cpcLineEdit); }); });
    connect(m_ui->fixedRateLineEdit, &QLineEdit::textChanged, this,
            [this] { Store(BannerEditStep::FixedRate, [this](Banner& b) { b.fixedRate = NumberText(m_ui->fixedRateLineEdit); }); });
    connect(m_ui->fixedFeeLineEdit, &QLineEdit::textChanged, this,
            [this] { Store(BannerEditStep::FixedFee, [this](Banner& b) { b.fixedFee = NumberText(m_ui->fixedFeeLineEdit); }); });
    connect(m_ui->commentPlainTextEdit, &QPlainTextEdit::textChanged, this,
            [this] { Store(BannerEditStep::Comment, [this](Banner& b) { b.comment = LongText(m_ui->commentPlainTextEdit); }); });
    connect(m_ui->tagPlainTextEdit, &QPlainTextEdit::textChanged, this,
            [this] { Store(BannerEditStep::Tag, [this](Banner& b) { b.tag = LongText(m_ui->tagPlainTextEdit); }); });
    connect(m_ui->tagCheckBox, &QCheckBox::clicked, this, &CDataCtrlView::UpdateTagPreview);
    m_ui->tagPlainTextEdit->installEventFilter(this);

    // Initial update: the check box remembers the last run, then the ASP names.
    m_ui->tagCheckBox->setChecked(m_doc.Settings().preview != 0);
    FillAspList();
    m_ready = true;
    m_doc.SetEditorView(this);
    Refresh(99);
}

CDataCtrlView::~CDataCtrlView() {
    // Children go after this: their focus changes must not reach the preview.
    m_ready = false;
    m_ui->tagPlainTextEdit->removeEventFilter(this);
    if (m_doc.EditorView() == this)
        m_doc.SetEditorView(nullptr);
}

QComboBox* CDataCtrlView::AspCombo() const { return m_ui->aspComboBox; }
QLineEdit* CDataCtrlView::AdvertiserEdit() const { return m_ui->advertiserLineEdit; }
QLineEdit* CDataCtrlView::NameEdit() const { return m_ui->nameLineEdit; }
QLineEdit* CDataCtrlView::CpmEdit() const { return m_ui->cpmLineEdit; }
QLineEdit* CDataCtrlView::CpcEdit() const { return m_ui->cpcLineEdit; }
QLineEdit* CDataCtrlView::FixedRateEdit() const { return m_ui->fixedRateLineEdit; }
QLineEdit* CDataCtrlView::FixedFeeEdit() const { return m_ui->fixedFeeLineEdit; }
QPlainTextEdit* CDataCtrlView::CommentEdit() const { return m_ui->commentPlainTextEdit; }
QPlainTextEdit* CDataCtrlView::TagEdit() const { return m_ui->tagPlainTextEdit; }
QCheckBox* CDataCtrlView::TagCheck() const { return m_ui->tagCheckBox; }
CWebBrowser2* CDataCtrlView::Browser() const { return m_ui->previewWebBrowser; }

void CDataCtrlView::FillAspList() {
    QComboBox* combo = m_ui->aspComboBox;
    combo->clear();
    for (const AspEntry& entry : m_doc.Asp().entries)
        combo->addItem(Cp932Qt::ToQt(entry.name));
    combo->addItem(OtherAsp());
}

bool CDataCtrlView::SelectAspPrefix(const QString& text) {
    QComboBox* combo = m_ui->aspComboBox;
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i).startsWith(text, Qt::CaseInsensitive)) {
            combo->setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

void CDataCtrlView::SetFieldsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_ui->aspComboBox, m_ui->advertiserLineEdit, m_ui->cpmLineEdit, m_ui->cpcLineEdit, m_ui->fixedFeeLineEdit,
             m_ui->fixedRateLineEdit, m_ui->nameLineEdit, m_ui->commentPlainTextEdit, m_ui->tagPlainTextEdit,
             m_ui->tagCheckBox})
        w->setEnabled(enabled);
}

void CDataCtrlView::Refresh(int what) {
    if (what == 0) {
        RefillAspList();
        return;
    }
    m_ready = false;
    m_ui->aspComboBox->setCurrentIndex(0);
    for (QLineEdit* edit : {m_ui->advertiserLineEdit, m_ui->cpmLineEdit, m_ui->cpcLineEdit, m_ui->fixedFeeLineEdit,
                            m_ui->fixedRateLineEdit, m_ui->nameLineEdit})
        edit->clear();
    m_ui->commentPlainTextEdit->clear();
    m_ui->tagPlainTextEdit->clear();
    SetFieldsEnabled(false);

    const LibraryNode* node = m_doc.State().currentNode;
    Banner* banner = m_doc.State().currentBanner;
    if (node && !node->IsFolder() && banner) {
        SetFieldsEnabled(true);
        if (banner->asp.empty())
            banner->asp = LibraryTexts::DefaultAsp();
        ShowAsp(banner->asp);
        m_ui->advertiserLineEdit->setText(Cp932Qt::ToQt(banner->advertiser));
        m_ui->nameLineEdit->setText(Cp932Qt::ToQt(banner->name));
        m_ui->commentPlainTextEdit->setPlainText(Cp932Qt::ToQtMultiline(banner->comment));
        m_ui->tagPlainTextEdit->setPlainText(Cp932Qt::ToQtMultiline(banner->tag));
        m_ui->cpmLineEdit->setText(QString::number(banner->cpm));
        m_ui->cpcLineEdit->setText(QString::number(banner->cpc));
        m_ui->fixedRateLineEdit->setText(QString::number(banner->fixedRate));
        m_ui->fixedFeeLineEdit->setText(QString::number(banner->fixedFee));
    }
    UpdateTagPreview();
    m_ready = true;
}

void CDataCtrlView::ShowAsp(const std::string& asp) {
    QComboBox* combo = m_ui->aspComboBox;
    // The previous banner's unregistered name goes first.
    const int listed = static_cast<int>(m_doc.Asp().entries.size()) + 1;
    while (combo->count() > listed)
        combo->removeItem(combo->count() - 1);
    const QString name = Cp932Qt::ToQt(asp);
    if (SelectAspPrefix(name))
        return;
    // A name the ASP list does not have is shown as it is, after その他, marked;
    // picking it keeps the name.
    combo->addItem(name + u"（未登録）"_qs, name);
    combo->setCurrentIndex(combo->count() - 1);
}

void CDataCtrlView::RefillAspList() {
    QComboBox* combo = m_ui->aspComboBox;
    QString shown = combo->currentIndex() >= 0 ? combo->currentText() : QString();
    bool ready = m_ready;
    m_ready = false;
    FillAspList();
    if (const Banner* banner = m_doc.State().currentBanner; banner && combo->isEnabled())
        ShowAsp(banner->asp);
    else
        SelectAspPrefix(shown.isEmpty() ? OtherAsp() : shown);
    m_ready = ready;
}

void CDataCtrlView::Store(int field, const std::function<void(Banner&)>& apply) {
    if (!m_ready)
        return;
    Banner* banner = m_doc.State().currentBanner;
    if (!banner)
        return;
    const Banner old = *banner;
    apply(*banner);
    if (m_doc.ListView())
        m_doc.ListView()->Refresh(0);
    m_doc.RecordBannerEdit(*banner, static_cast<BannerEditStep::Field>(field), old);
}

void CDataCtrlView::OnAspActivated(int index) {
    QComboBox* combo = m_ui->aspComboBox;
    // An entry for a name not in the ASP list carries the name itself.
    const QVariant own = index >= 0 ? combo->itemData(index) : QVariant();
    Store(BannerEditStep::Asp, [combo, index, own](Banner& b) {
        b.asp = index < 0 ? std::string() : Cp932Qt::FromQt(own.isValid() ? own.toString() : combo->itemText(index));
        Cp932::CutTo(b.asp, kShortTextBytes);
    });
}

// ---------------------------------------------------------------- preview

void CDataCtrlView::Navigate(const char* page) {
    // The shipped pages stay in the program folder; the work page is written with the user's state.
    const std::string base = page == PreviewPages::kWorkPage ? AppPaths::PageBaseDir() : AppPaths::ProgramDir();
    m_ui->previewWebBrowser->Navigate2(QString::fromStdString(PreviewPages::PagePath(base, page)));
}

void CDataCtrlView::ShowTopPage() {
    if (m_doc.Settings().checkVersion != 0 && m_doc.VersionPagePending())
        m_ui->previewWebBrowser->Navigate2(QString::fromStdString(PreviewPages::VersionPageUrl()));
    else
        Navigate(PreviewPages::kTopPage);
    m_doc.ClearVersionPagePending();
}

void CDataCtrlView::UpdateTagPreview() {
    const LibraryNode* node = m_doc.State().currentNode;
    QCheckBox* box = m_ui->tagCheckBox;
    TagPreviewDecision decision =
        DecideTagPreview(node && node->IsRoot(), box->isEnabled(), box->isChecked(), m_doc.Settings().preview);
    m_doc.Settings().preview = decision.preview;
    switch (decision.page) {
    case TagPreviewDecision::Page::TopPage: ShowTopPage(); return;
    case TagPreviewDecision::Page::BlankPage: Navigate(PreviewPages::kBlankPage); return;
    case TagPreviewDecision::Page::Unchanged: return;
    case TagPreviewDecision::Page::WorkPage: break;
    }
    const std::string base = AppPaths::PageBaseDir();
    const std::string folder = base + PreviewPages::kFolder;
    // The folder ships with the program; bring it back if someone removed it.
    if (!FileOps::IsDirectory(folder))
        FileOps::MakeDirRetry(folder);
    if (WriteWorkPage(PreviewPages::PagePath(base, PreviewPages::kWorkPage), m_doc.State().currentBanner)) {
        Navigate(PreviewPages::kWorkPage);
        return;
    }
    Prompter::Current().Message(window(), u"プレビューの表示に失敗しました。"_qs, Prompter::Icon::Information);
}

bool CDataCtrlView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_ui->tagPlainTextEdit && event->type() == QEvent::FocusOut && m_ready) {
        // A context menu on the edit keeps the edit's focus in spirit.
        if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
            UpdateTagPreview();
    }
    return QScrollArea::eventFilter(watched, event);
}
