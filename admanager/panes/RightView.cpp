#include "admanager/panes/RightView.h"

#include "admanager/htmlgen/TagCheck.h"
#include "admanager/htmlgen/ui/TagCheckDlg.h"
#include "admanager/linkcheck/LinkCheck.h"
#include "admanager/htmlgen/ui/HtmlGenerateDlg.h"
#include "admanager/library/BannerRules.h"
#include "admanager/library/ui/AfManagerDoc.h"
#include "admanager/library/ui/LeftView.h"
#include "common/AppPaths.h"
#include "common/Cp932.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/TextLimit.h"

#include <QApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <algorithm>

namespace {

constexpr int kBannerRole = Qt::UserRole + 1;
const QColor kDisabledBackground(212, 208, 200);
constexpr std::size_t kTitleBytes = 254;
constexpr std::size_t kCommentBytes = 510;

} // namespace

// ---------------------------------------------------------------- BannerTable

BannerTable::BannerTable(QWidget* parent) : QTableWidget(parent) {}

void BannerTable::mousePressEvent(QMouseEvent* event) {
    m_pressRow = -1;
    if (event->button() == Qt::LeftButton) {
        m_pressPos = event->position().toPoint();
        m_pressRow = rowAt(m_pressPos.y());
    }
    QTableWidget::mousePressEvent(event);
}

int BannerTable::DropRowAt(int y) const {
    const int row = rowAt(y);
    if (row >= 0)
        return row;
    return y < 0 ? 0 : rowCount() - 1;
}

void BannerTable::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (!m_dragging && (event->buttons() & Qt::LeftButton) && m_pressRow >= 0 && rowCount() > 1 &&
        (pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        m_dragging = true;
        viewport()->setCursor(Qt::DragMoveCursor);
    }
    if (!m_dragging) {
        QTableWidget::mouseMoveEvent(event);
        return;
    }
    // Near an edge the rows scroll, so any place of a long list can be reached.
    const int edge = verticalHeader()->defaultSectionSize();
    if (pos.y() < edge)
        verticalScrollBar()->setValue(verticalScrollBar()->value() - 1);
    else if (pos.y() > viewport()->height() - edge)
        verticalScrollBar()->setValue(verticalScrollBar()->value() + 1);
    m_dropRow = DropRowAt(pos.y());
    viewport()->update();
}

void BannerTable::mouseReleaseEvent(QMouseEvent* event) {
    if (m_dragging && event->button() == Qt::LeftButton) {
        const int from = m_pressRow;
        const int to = DropRowAt(event->position().toPoint().y());
        StopDrag();
        if (from >= 0 && to >= 0 && from != to)
            Q_EMIT rowDropped(from, to);
        return;
    }
    m_pressRow = -1;
    QTableWidget::mouseReleaseEvent(event);
}

void BannerTable::StopDrag() {
    m_dragging = false;
    m_pressRow = -1;
    m_dropRow = -1;
    viewport()->unsetCursor();
    setState(NoState);
    viewport()->update();
}

void BannerTable::keyPressEvent(QKeyEvent* event) {
    if (m_dragging && event->key() == Qt::Key_Escape) {
        StopDrag();
        return;
    }
    if (event->modifiers() == Qt::AltModifier && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        Q_EMIT moveRequested(event->key() == Qt::Key_Up ? -1 : 1);
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void BannerTable::paintEvent(QPaintEvent* event) {
    QTableWidget::paintEvent(event);
    if (!m_dragging || m_dropRow < 0 || m_dropRow == m_pressRow)
        return;
    // Where the row will land: above the target when moving up, below it when moving down.
    int y = rowViewportPosition(m_dropRow);
    if (m_dropRow > m_pressRow)
        y += rowHeight(m_dropRow);
    QPainter painter(viewport());
    painter.fillRect(0, y - 1, viewport()->width(), 3, palette().color(QPalette::Highlight));
}

// ---------------------------------------------------------------- CRightView

CRightView::CRightView(CAfManagerDoc& doc, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_title(new QLineEdit(this)), m_comment(new QLineEdit(this)),
      m_generate(new QPushButton(u"HTML生成..."_qs, this)), m_list(new BannerTable(this)) {
    setObjectName(u"rightView"_qs);
    m_title->setObjectName(u"titleLineEdit"_qs);
    m_comment->setObjectName(u"commentLineEdit"_qs);
    m_generate->setObjectName(u"generateHtmlPushButton"_qs);
    m_list->setObjectName(u"bannerTableWidget"_qs);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 0);
    grid->addWidget(new QLabel(u"Title"_qs, this), 0, 0);
    grid->addWidget(m_title, 0, 1);
    grid->addWidget(m_generate, 0, 2);
    grid->addWidget(new QLabel(u"Comment"_qs, this), 1, 0);
    grid->addWidget(m_comment, 1, 1, 1, 2);
    grid->addWidget(m_list, 2, 0, 1, 3);
    grid->setRowStretch(2, 1);
    grid->setColumnStretch(1, 1);

    const QString headers[] = {u"ASP"_qs, u"広告主"_qs, u"広告名"_qs, u"CPM"_qs, u"CPC"_qs, u"定率"_qs, u"定額"_qs};
    const int widths[] = {100, 200, 200, 50, 50, 50, 50};
    m_list->setColumnCount(7);
    for (int c = 0; c < 7; ++c) {
        auto* header = new QTableWidgetItem(headers[c]);
        header->setTextAlignment(c < 3 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
        m_list->setHorizontalHeaderItem(c, header);
        m_list->setColumnWidth(c, widths[c]);
    }
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 6);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setShowGrid(true);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setSortingEnabled(false); // our own sort: the model order must stay as it is
    m_list->horizontalHeader()->setSectionsClickable(true);
    m_list->horizontalHeader()->setHighlightSections(false);
    // Tab leaves the list for the next control, as in report-style lists.
    m_list->setTabKeyNavigation(false);

    // What the model keeps of the node's texts, and names for screen readers and tests.
    LimitEditBytes(m_title, kTitleBytes);
    LimitEditBytes(m_comment, kCommentBytes);
    m_title->setAccessibleName(u"Title"_qs);
    m_comment->setAccessibleName(u"Comment"_qs);
    m_list->setAccessibleName(u"バナー一覧"_qs);

    connect(m_title, &QLineEdit::textEdited, this, &CRightView::OnTitleEdited);
    connect(m_comment, &QLineEdit::textEdited, this, &CRightView::OnCommentEdited);
    connect(m_list, &QTableWidget::itemSelectionChanged, this, &CRightView::OnRowSelectionChanged);
    connect(m_list, &QWidget::customContextMenuRequested, this, &CRightView::OnListContextMenu);
    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this, &CRightView::SortByColumn);
    connect(m_generate, &QPushButton::clicked, this, &CRightView::OnGenerateHtml);
    connect(m_list, &BannerTable::rowDropped, this, &CRightView::MoveRow);
    connect(m_list, &BannerTable::moveRequested, this, &CRightView::MoveSelected);
    m_doc.SetListView(this);
    Refresh(99);
}

CRightView::~CRightView() {
    // The editor pane asks the document for this pane after every keystroke.
    if (m_doc.ListView() == this)
        m_doc.SetListView(nullptr);
}

void CRightView::SetListEnabled(bool enabled) {
    m_list->setEnabled(enabled);
    // Black on white whatever the desktop's colours; grey when there is nothing to list.
    QPalette p = m_list->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Base, enabled ? QColor(Qt::white) : kDisabledBackground);
        p.setColor(group, QPalette::Text, QColor(Qt::black));
    }
    m_list->setPalette(p);
}

void CRightView::Refresh(int what) {
    if (what == 0) {
        int row = SelectedRow();
        if (row >= 0 && m_doc.State().currentBanner)
            WriteRow(row, *m_doc.State().currentBanner);
        return;
    }
    m_ready = false;
    m_sorted = false;
    m_title->clear();
    m_comment->clear();
    m_list->setRowCount(0);
    m_title->setReadOnly(false);
    m_title->setEnabled(true);
    m_comment->setEnabled(true);
    m_generate->setEnabled(true);
    SetListEnabled(true);

    const LibraryNode* node = m_doc.State().currentNode;
    if (!node) {
        m_title->setEnabled(false);
        m_comment->setEnabled(false);
        m_generate->setEnabled(false);
        SetListEnabled(false);
    } else {
        m_title->setText(Cp932Qt::ToQt(node->title));
        if (node->IsRoot()) {
            m_title->setReadOnly(true);
            m_comment->setEnabled(false);
            m_generate->setEnabled(false);
        }
        m_comment->setText(Cp932Qt::ToQt(node->comment));
        if (node->IsFolder()) {
            m_generate->setEnabled(false);
            SetListEnabled(false);
            m_list->setEnabled(true); // grey, but still answers right clicks like the original list
        } else {
            for (const auto& banner : node->banners)
                if (banner->IsLive())
                    AppendBannerRow(*banner);
        }
    }
    m_ready = true;
}

void CRightView::WriteRow(int row, const Banner& banner) {
    const QString texts[] = {Cp932Qt::ToQt(banner.asp),       Cp932Qt::ToQt(banner.advertiser),
                             Cp932Qt::ToQt(banner.name),      QString::number(banner.cpm),
                             QString::number(banner.cpc),     QString::number(banner.fixedRate),
                             QString::number(banner.fixedFee)};
    for (int c = 0; c < 7; ++c) {
        QTableWidgetItem* item = m_list->item(row, c);
        if (!item) {
            item = new QTableWidgetItem;
            item->setTextAlignment(c < 3 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
            m_list->setItem(row, c, item);
        }
        item->setText(texts[c]);
    }
    // The tag check's verdict: an icon in the first column, the reasons on every cell.
    TagCheckContext context;
    if (const LibraryNode* node = m_doc.State().currentNode)
        context.randomMode = node->rowLimit != 0 && node->multiPage == 0;
    std::vector<TagFinding> findings = CheckTag(banner.tag, context);
    // With the link check's answers for the tag's addresses, the worst of both.
    if (!m_doc.LinkResults().empty()) {
        const std::vector<TagUrl> urls = UrlsOfTag(banner.tag);
        if (AnyLinkResult(urls, m_doc.LinkResults())) {
            std::vector<TagFinding> online = LinkFindings(urls, m_doc.LinkResults());
            std::move(online.begin(), online.end(), std::back_inserter(findings));
        }
    }
    const QString reasons = QString::fromUtf8(DescribeFindings(findings));
    QIcon icon;
    if (!findings.empty())
        icon = style()->standardIcon(TagSeverityIcon(WorstSeverity(findings)));
    m_list->item(row, 0)->setIcon(icon);
    for (int c = 0; c < 7; ++c) {
        m_list->item(row, c)->setToolTip(reasons);
        m_list->item(row, c)->setData(Qt::AccessibleDescriptionRole, reasons);
    }
}

int CRightView::AppendBannerRow(Banner& banner) {
    bool ready = m_ready;
    m_ready = false;
    int row = m_list->rowCount();
    m_list->insertRow(row);
    WriteRow(row, banner);
    m_list->item(row, 0)->setData(kBannerRole, QVariant::fromValue(reinterpret_cast<quintptr>(&banner)));
    m_ready = ready;
    return row;
}

void CRightView::SelectRow(int row) {
    if (row >= 0 && row < m_list->rowCount()) {
        m_list->setCurrentCell(row, 0);
        m_list->selectRow(row);
        m_list->scrollToItem(m_list->item(row, 0));
    } else {
        m_list->clearSelection();
    }
}

bool CRightView::SelectBanner(const Banner* banner) {
    bool ready = m_ready;
    m_ready = false;
    int found = -1;
    for (int row = 0; banner && row < m_list->rowCount(); ++row)
        if (RowBanner(row) == banner)
            found = row;
    SelectRow(found);
    m_ready = ready;
    return found >= 0;
}

void CRightView::ShowModelOrder() {
    if (!m_sorted)
        return;
    Q_EMIT m_doc.statusMessage(u"列の並べ替えを解除し、保存される順序で表示しました。"_qs);
}

void CRightView::MoveRow(int from, int to) {
    Banner* banner = RowBanner(from);
    Banner* target = RowBanner(to);
    if (!banner || !target || banner == target)
        return;
    ShowModelOrder();
    m_doc.MoveBannerTo(*banner, *target);
}

void CRightView::MoveSelected(int delta) {
    const LibraryNode* node = m_doc.State().currentNode;
    Banner* banner = m_doc.State().currentBanner;
    if (!node || !node->IsAdItem() || !banner)
        return;
    // The neighbour in the item's order, whatever the rows show.
    std::vector<Banner*> live;
    for (const auto& b : node->banners)
        if (b->IsLive())
            live.push_back(b.get());
    auto it = std::find(live.begin(), live.end(), banner);
    if (it == live.end())
        return;
    const auto index = it - live.begin() + delta;
    if (index < 0 || index >= static_cast<long>(live.size())) {
        ShowModelOrder();
        if (m_sorted) {
            Refresh(99);
            SelectBanner(banner);
        }
        return;
    }
    ShowModelOrder();
    m_doc.MoveBannerTo(*banner, *live[static_cast<std::size_t>(index)]);
}

int CRightView::SelectedRow() const {
    const QList<QTableWidgetItem*> items = m_list->selectedItems();
    return items.isEmpty() ? -1 : items.constFirst()->row();
}

Banner* CRightView::RowBanner(int row) const {
    QTableWidgetItem* item = m_list->item(row, 0);
    return item ? reinterpret_cast<Banner*>(item->data(kBannerRole).value<quintptr>()) : nullptr;
}

void CRightView::DeleteRow(int row) {
    bool ready = m_ready;
    m_ready = false;
    m_list->removeRow(row);
    SelectRow(row);
    m_ready = ready;
    // The list moves its selection by itself while the row goes, and selecting
    // the row it already chose reports nothing: report the outcome once, so the
    // editor never keeps showing the deleted banner.
    if (m_ready)
        OnRowSelectionChanged();
}

int CRightView::RowCount() const {
    return m_list->rowCount();
}

std::vector<Banner*> CRightView::RowBanners() const {
    std::vector<Banner*> banners;
    for (int row = 0; row < m_list->rowCount(); ++row)
        if (Banner* b = RowBanner(row))
            banners.push_back(b);
    return banners;
}

void CRightView::OnTitleEdited() {
    LibraryNode* node = m_doc.State().currentNode;
    if (!m_ready || !node)
        return;
    LibraryNode old;
    old.CopyFieldsFrom(*node);
    node->title = Cp932Qt::FromQt(m_title->text());
    Cp932::CutTo(node->title, kTitleBytes);
    if (m_doc.TreeView())
        m_doc.TreeView()->RetitleSelected();
    m_doc.RecordNodeEdit(*node, NodeEditStep::Title, old);
}

void CRightView::OnCommentEdited() {
    LibraryNode* node = m_doc.State().currentNode;
    if (!m_ready || !node)
        return;
    LibraryNode old;
    old.CopyFieldsFrom(*node);
    node->comment = Cp932Qt::FromQt(m_comment->text());
    Cp932::CutTo(node->comment, kCommentBytes);
    m_doc.RecordNodeEdit(*node, NodeEditStep::Comment, old);
}

void CRightView::OnRowSelectionChanged() {
    if (!m_ready)
        return;
    int row = SelectedRow();
    m_doc.OnBannerSelectionChanged(row >= 0 ? RowBanner(row) : nullptr);
}

void CRightView::SortByColumn(int column) {
    std::vector<Banner*> rows = RowBanners();
    SortBanners(rows, column, m_sortDirection);
    m_sortDirection = -m_sortDirection;
    m_sorted = true;
    int selectedRow = SelectedRow();
    Banner* selected = selectedRow >= 0 ? RowBanner(selectedRow) : nullptr;
    bool ready = m_ready;
    m_ready = false;
    m_list->setRowCount(0);
    for (Banner* banner : rows) {
        int row = AppendBannerRow(*banner);
        if (banner == selected)
            SelectRow(row);
    }
    m_ready = ready;
}

void CRightView::OnGenerateHtml() {
    LibraryNode* item = m_doc.State().currentNode;
    if (!item || !item->IsAdItem())
        return;
    std::vector<Banner*> rows = RowBanners();
    FtpHostList noHosts;
    FtpHostList& hosts = m_doc.FtpHosts() ? *m_doc.FtpHosts() : noHosts;
    CHtmlGenerateDlg dialog(m_doc, std::vector<const Banner*>(rows.begin(), rows.end()), hosts, AppPaths::PageBaseDir(),
                            window());
    LibraryNode old;
    old.CopyFieldsFrom(*item);
    dialog.SetFtpHost(item->ftpHost);
    dialog.exec();
    // The dialog saved its settings into the item: one step for all of them.
    // Its set-up alone (a choice it had to correct) is no change of the user's.
    const bool changed = dialog.Changed() || dialog.FtpHost() != item->ftpHost;
    item->ftpHost = dialog.FtpHost();
    if (changed)
        m_doc.RecordNodeEdit(*item, NodeEditStep::Generation, old);
}

void CRightView::OnListContextMenu(const QPoint& pos) {
    const LibraryNode* node = m_doc.State().currentNode;
    if (!node || node->IsFolder() || !m_menu)
        return;
    Q_EMIT m_doc.stateChanged();
    m_menu->exec(m_list->viewport()->mapToGlobal(pos));
}
