#include "stylemaker/ui/VessiloView.h"

#include "stylemaker/ui/PreviewHost.h"
#include "stylemaker/ui/SettingsPages.h"
#include "stylemaker/ui/VessiloDoc.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QUrl>

namespace vessilo {

CVessiloView::CVessiloView(CVessiloDoc* doc, std::string htmlPath, std::string cssPath, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_htmlPath(std::move(htmlPath)), m_cssPath(std::move(cssPath)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(0);

    m_tabs = new QTabBar(this);
    m_tabs->setObjectName(u"pageTabBar"_qs);
    m_tabs->setShape(QTabBar::RoundedWest);
    m_tabs->setExpanding(false);
    for (const QString& text :
         {u"全体の設定"_qs, u"広告の設定"_qs, u"広告の設定(詳細)"_qs, u"PRリンクの設定"_qs, u"プレビュー設定"_qs})
        m_tabs->addTab(text);
    layout->addWidget(m_tabs, 0, Qt::AlignTop);

    m_stack = new QStackedWidget(this);
    m_stack->setObjectName(u"pageStackedWidget"_qs);
    m_stack->setFrameShape(QFrame::StyledPanel);
    m_pages = {new CGeneralPage(m_stack), new CAdPage(m_stack), new CAdDetailPage(m_stack), new CPrLinkPage(m_stack),
               new CPreviewPage(m_stack)};
    for (CStylePage* page : m_pages) {
        page->setMinimumWidth(300);
        m_stack->addWidget(page);
    }
    m_stack->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    layout->addWidget(m_stack);
    layout->addSpacing(6);

    // The preview with its width switch above it: the same page as a PC and a phone show it.
    auto* column = new QWidget(this);
    column->setObjectName(u"previewColumn"_qs);
    m_previewColumn = new QVBoxLayout(column);
    m_previewColumn->setContentsMargins(0, 0, 0, 0);
    m_previewColumn->setSpacing(2);
    auto* modeRow = new QHBoxLayout;
    m_pcButton = new QRadioButton(u"PC"_qs, column);
    m_pcButton->setObjectName(u"pcRadioButton"_qs);
    m_phoneButton = new QRadioButton(u"スマートフォン"_qs, column);
    m_phoneButton->setObjectName(u"phoneRadioButton"_qs);
    m_pcButton->setAccessibleName(u"プレビュー PC"_qs);
    m_phoneButton->setAccessibleName(u"プレビュー スマートフォン"_qs);
    auto* group = new QButtonGroup(column);
    group->addButton(m_pcButton);
    group->addButton(m_phoneButton);
    m_pcButton->setChecked(true);
    modeRow->addWidget(m_pcButton);
    modeRow->addWidget(m_phoneButton);
    modeRow->addStretch(1);
    m_previewColumn->addLayout(modeRow);
    m_preview = CreatePreviewWidget(column);
    m_preview->setMinimumSize(380, 480);
    m_previewColumn->addWidget(m_preview, 1);
    layout->addWidget(column, 1);
    connect(m_phoneButton, &QRadioButton::toggled, this, &CVessiloView::SetPhoneWidth);

    connect(m_tabs, &QTabBar::currentChanged, this, &CVessiloView::SelectPage);
}

CVessiloView::~CVessiloView() {
    if (m_thread)
        m_thread->Stop();
    if (m_doc)
        m_doc->SetView(nullptr);
}

void CVessiloView::SetPhoneWidth(bool phone) {
    if (m_phoneButton->isChecked() != phone)
        (phone ? m_phoneButton : m_pcButton)->setChecked(true); // comes back here through toggled
    if (phone) {
        m_preview->setMinimumWidth(kPhonePreviewWidth);
        m_preview->setMaximumWidth(kPhonePreviewWidth);
        m_previewColumn->setAlignment(m_preview, Qt::AlignHCenter);
    } else {
        m_preview->setMinimumWidth(380);
        m_preview->setMaximumWidth(QWIDGETSIZE_MAX);
        m_previewColumn->setAlignment(m_preview, Qt::Alignment());
    }
}

bool CVessiloView::IsPhoneWidth() const {
    return m_phoneButton->isChecked();
}

bool CVessiloView::IsPreviewRunning() const {
    return m_thread && m_thread->IsRunning();
}

void CVessiloView::SelectPage(int index) {
    if (index < 0 || index >= kPageCount)
        return;
    if (m_tabs->currentIndex() != index)
        m_tabs->setCurrentIndex(index);
    m_stack->setCurrentIndex(index);
    m_pages[static_cast<std::size_t>(index)]->setFocus();
}

void CVessiloView::OnInitialUpdate() {
    if (m_initialised) {
        m_doc->SignalPreview();
        return;
    }
    m_initialised = true;
    m_doc->SetView(this);
    for (CStylePage* page : m_pages) {
        page->Attach(m_doc);
        page->LoadFromSettings();
    }
    SelectPage(0);

    PreviewThreadConfig config;
    config.events = m_doc->Events();
    config.source = m_doc->Shared();
    config.htmlPath = m_htmlPath;
    config.cssPath = m_cssPath;
    // Runs on the preview thread: the widget is only touched on the GUI thread.
    config.navigate = [this](const std::string& path) {
        QString url = QUrl::fromLocalFile(QString::fromStdString(path)).toString();
        QMetaObject::invokeMethod(
            this,
            [this, url] {
                NavigatePreview(m_preview, url);
                Q_EMIT previewNavigated(url);
            },
            Qt::QueuedConnection);
    };
    m_thread = std::make_unique<CPreviewThread>(std::move(config));
    if (!m_thread->Start()) {
        m_thread.reset();
        return;
    }
    m_doc->SignalPreview();
}

void CVessiloView::RefreshPages() {
    for (CStylePage* page : m_pages)
        page->LoadFromSettings();
    for (CStylePage* page : m_pages)
        page->update();
    m_doc->SignalPreview();
}

void CVessiloView::StoreAllPages() {
    for (CStylePage* page : m_pages)
        page->StoreToSettings();
    m_doc->SignalPreview();
}

} // namespace vessilo
