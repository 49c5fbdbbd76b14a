#include "admanager/library/ui/LeftView.h"

#include "admanager/library/ui/AfManagerDoc.h"
#include "admanager/panes/RightView.h"
#include "common/ui/Cp932Qt.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <set>

namespace {

constexpr int kNodeRole = Qt::UserRole + 1;

const QIcon& TreeIcon(const char* name) {
    static std::map<std::string, QIcon> icons;
    auto it = icons.find(name);
    if (it == icons.end())
        it = icons.emplace(name, QIcon(QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".svg"))).first;
    return it->second;
}

bool IsAncestor(const QTreeWidgetItem* ancestor, const QTreeWidgetItem* item) {
    for (const QTreeWidgetItem* p = item ? item->parent() : nullptr; p; p = p->parent())
        if (p == ancestor)
            return true;
    return false;
}

} // namespace

// ---------------------------------------------------------------- DragTreeCtrl

DragTreeCtrl::DragTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(u"libraryTreeWidget"_qs);
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(16, 16));
    setDragEnabled(false); // moves are our own drag, see below
    setAccessibleName(u"ライブラリ"_qs);
}

void DragTreeCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_pressPos = event->position().toPoint();
        m_pressItem = itemAt(m_pressPos);
    }
    QTreeWidget::mousePressEvent(event);
}

void DragTreeCtrl::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging) {
        if (m_dragImage)
            m_dragImage->move(event->globalPosition().toPoint());
        SetDropTarget(itemAt(event->position().toPoint()));
        return;
    }
    if ((event->buttons() & Qt::LeftButton) && m_pressItem &&
        (event->position().toPoint() - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        BeginDrag(m_pressItem, event->globalPosition().toPoint());
        return;
    }
    QTreeWidget::mouseMoveEvent(event);
}

void DragTreeCtrl::mouseReleaseEvent(QMouseEvent* event) {
    m_pressItem = nullptr;
    if (m_dragging && event->button() == Qt::LeftButton) {
        EndDrag(event->position().toPoint());
        return;
    }
    QTreeWidget::mouseReleaseEvent(event);
}

void DragTreeCtrl::keyPressEvent(QKeyEvent* event) {
    if (m_dragging && event->key() == Qt::Key_Escape) {
        m_cancelled = true;
        EndDrag(viewport()->mapFromGlobal(QCursor::pos()));
        return;
    }
    if (!m_dragging && event->modifiers() == Qt::NoModifier) {
        if (event->key() == Qt::Key_Delete) {
            Q_EMIT deleteRequested();
            return;
        }
        if (event->key() == Qt::Key_F2) {
            Q_EMIT renameRequested();
            return;
        }
    }
    QTreeWidget::keyPressEvent(event);
}

// A click never leaves the current item unselected (Ctrl+click would toggle it
// off): the current item and the selection must agree.
QItemSelectionModel::SelectionFlags DragTreeCtrl::selectionCommand(const QModelIndex& index,
                                                                   const QEvent* event) const {
    QItemSelectionModel::SelectionFlags flags = QTreeWidget::selectionCommand(index, event);
    if (index.isValid() && (flags & (QItemSelectionModel::Toggle | QItemSelectionModel::Deselect)))
        return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return flags;
}

void DragTreeCtrl::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    // The view makes an item current without selecting it (on focus, for one):
    // select it, so what the panes show is what the tree shows selected.
    if (current.isValid() && selectionModel() && !selectionModel()->isSelected(current))
        selectionModel()->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QTreeWidget::currentChanged(current, previous);
}

void DragTreeCtrl::contextMenuEvent(QContextMenuEvent* event) {
    QTreeWidgetItem* item = itemAt(viewport()->mapFromGlobal(event->globalPos()));
    Q_EMIT contextMenuAt(item, event->globalPos());
}

void DragTreeCtrl::BeginDrag(QTreeWidgetItem* item, const QPoint& globalPos) {
    m_dragged = item;
    m_dragging = true;
    m_cancelled = false;
    // The drag image: the item's icon and text, following the cursor.
    m_dragImage = new QLabel(this, Qt::ToolTip | Qt::FramelessWindowHint);
    m_dragImage->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_dragImage->setText(u"<img src=\":/icons/ad_item.svg\" width=16 height=16> "_qs + item->text(0).toHtmlEscaped());
    m_dragImage->adjustSize();
    m_dragImage->move(globalPos);
    m_dragImage->show();
    // The viewport, not the tree: a scroll area hands a grab's events to its parent.
    viewport()->grabMouse();
    setFocus();
}

void DragTreeCtrl::SetDropTarget(QTreeWidgetItem* item) {
    if (item == m_dropTarget)
        return;
    if (m_dropTarget)
        m_dropTarget->setBackground(0, QBrush());
    m_dropTarget = item;
    if (m_dropTarget)
        m_dropTarget->setBackground(0, palette().brush(QPalette::Highlight).color().lighter(160));
}

void DragTreeCtrl::EndDrag(const QPoint& viewportPos) {
    m_dragging = false;
    viewport()->releaseMouse();
    QTreeWidgetItem* target = itemAt(viewportPos);
    delete m_dragImage;
    m_dragImage = nullptr;
    SetDropTarget(nullptr);
    QTreeWidgetItem* dragged = m_dragged;
    m_dragged = nullptr;
    if (m_cancelled || !target || !dragged || target == dragged || IsAncestor(dragged, target))
        return;
    Q_EMIT nodeDropped(dragged, target);
}

// ---------------------------------------------------------------- CLeftView

CLeftView::CLeftView(CAfManagerDoc& doc, QWidget* parent) : QWidget(parent), m_doc(doc), m_tree(new DragTreeCtrl(this)) {
    setObjectName(u"leftView"_qs);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tree);
    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnCurrentItemChanged(current); });
    connect(m_tree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { ApplyIcon(item, true); });
    connect(m_tree, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) { ApplyIcon(item, false); });
    connect(m_tree, &DragTreeCtrl::nodeDropped, this, &CLeftView::OnDropped);
    connect(m_tree, &DragTreeCtrl::contextMenuAt, this, &CLeftView::OnContextMenu);
    connect(m_tree, &DragTreeCtrl::deleteRequested, this, [this] {
        if (SelectedItem())
            m_doc.OnDeleteNode();
    });
    // The title is edited in the list pane, where the document keeps it.
    connect(m_tree, &DragTreeCtrl::renameRequested, this, [this] {
        if (CRightView* list = m_doc.ListView(); list && list->TitleEdit()->isEnabled()) {
            list->TitleEdit()->setFocus(Qt::ShortcutFocusReason);
            list->TitleEdit()->selectAll();
        }
    });
    m_doc.SetTreeView(this);
}

LibraryNode* CLeftView::NodeOf(const QTreeWidgetItem* item) {
    return item ? reinterpret_cast<LibraryNode*>(item->data(0, kNodeRole).value<quintptr>()) : nullptr;
}

void CLeftView::ApplyIcon(QTreeWidgetItem* item, bool expanded) {
    const LibraryNode* node = NodeOf(item);
    if (!node)
        return;
    if (node->IsRoot())
        item->setIcon(0, TreeIcon("root"));
    else if (node->IsFolder())
        item->setIcon(0, TreeIcon(expanded ? "folder_open" : "folder_closed"));
    else
        item->setIcon(0, TreeIcon(node->HasReadError() ? "read_error" : "ad_item"));
}

QTreeWidgetItem* CLeftView::InsertSubtree(QTreeWidgetItem* parent, LibraryNode& node) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tree);
    item->setText(0, Cp932Qt::ToQt(node.title));
    item->setData(0, kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(&node)));
    ApplyIcon(item, false);
    if (node.IsFolder()) {
        for (auto& child : node.children)
            if (!child->IsDeleted())
                InsertSubtree(item, *child);
    }
    return item;
}

void CLeftView::Rebuild(bool keepFolds) {
    std::set<const LibraryNode*> folded;
    if (keepFolds)
        for (QTreeWidgetItemIterator it(m_tree); *it; ++it)
            if ((*it)->childCount() > 0 && !(*it)->isExpanded())
                folded.insert(NodeOf(*it));
    m_filling = true;
    m_tree->clear();
    InsertSubtree(nullptr, m_doc.Library().root);
    ExpandAllItems();
    if (keepFolds) {
        for (QTreeWidgetItemIterator it(m_tree); *it; ++it)
            if (folded.count(NodeOf(*it))) {
                (*it)->setExpanded(false);
                ApplyIcon(*it, false);
            }
        m_filling = false;
        return;
    }
    m_filling = false;
    // Should the view have made an item current meanwhile, the document hears of it.
    if (QTreeWidgetItem* selected = SelectedItem())
        OnCurrentItemChanged(selected);
}

void CLeftView::ExpandAllItems() {
    m_tree->expandAll();
    // expandAll() reports no item as expanded: set the folder images here.
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it)
        ApplyIcon(*it, (*it)->isExpanded());
}

QTreeWidgetItem* CLeftView::AddChildCopy(LibraryNode& folder, const LibraryNode& source, QTreeWidgetItem* folderItem) {
    if (!folderItem)
        folderItem = ItemOf(&folder);
    LibraryNode& copy = ::AddChildCopy(folder, source);
    QTreeWidgetItem* item = InsertSubtree(folderItem, copy);
    if (folderItem)
        folderItem->setExpanded(true);
    return item;
}

void CLeftView::ShowNodeQuietly(const LibraryNode* node) {
    QTreeWidgetItem* item = node ? ItemOf(node) : nullptr;
    m_filling = true;
    if (item) {
        SelectItem(item);
        item->setText(0, Cp932Qt::ToQt(node->title));
    } else {
        m_tree->setCurrentItem(nullptr);
        m_tree->clearSelection();
    }
    m_filling = false;
}

QTreeWidgetItem* CLeftView::ShowChild(LibraryNode& node, QTreeWidgetItem* folderItem) {
    QTreeWidgetItem* item = InsertSubtree(folderItem, node);
    if (folderItem)
        folderItem->setExpanded(true);
    return item;
}

QTreeWidgetItem* CLeftView::SelectedItem() const {
    QTreeWidgetItem* item = m_tree->currentItem();
    return item && item->isSelected() ? item : nullptr;
}

void CLeftView::SelectItem(QTreeWidgetItem* item) {
    if (!item)
        return;
    m_tree->setCurrentItem(item);
    m_tree->scrollToItem(item);
}

void CLeftView::DeleteItem(QTreeWidgetItem* item) {
    if (!item)
        return;
    // Pick the neighbour the tree control would: next sibling, else previous, else parent.
    QTreeWidgetItem* parent = item->parent();
    QTreeWidgetItem* next = nullptr;
    if (parent) {
        int index = parent->indexOfChild(item);
        next = index + 1 < parent->childCount() ? parent->child(index + 1)
                                                : (index > 0 ? parent->child(index - 1) : parent);
    }
    bool wasCurrent = m_tree->currentItem() == item;
    // The control moves the selection by itself while the item goes; report the
    // outcome once.
    m_filling = true;
    delete item;
    if (wasCurrent && next)
        SelectItem(next);
    m_filling = false;
    OnCurrentItemChanged(SelectedItem());
}

QTreeWidgetItem* CLeftView::ItemOf(const LibraryNode* node) const {
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it)
        if (NodeOf(*it) == node)
            return *it;
    return nullptr;
}

void CLeftView::RetitleSelected() {
    QTreeWidgetItem* item = SelectedItem();
    if (item && m_doc.State().currentNode)
        item->setText(0, Cp932Qt::ToQt(m_doc.State().currentNode->title));
}

void CLeftView::OnCurrentItemChanged(QTreeWidgetItem* current) {
    if (m_filling)
        return;
    m_doc.OnTreeSelectionChanged(NodeOf(current));
}

void CLeftView::OnDropped(QTreeWidgetItem* dragged, QTreeWidgetItem* target) {
    LibraryNode* from = NodeOf(dragged);
    LibraryNode* to = NodeOf(target);
    if (from && to)
        m_doc.MoveNode(*from, *to);
}

void CLeftView::OnContextMenu(QTreeWidgetItem* item, const QPoint& globalPos) {
    if (!item)
        return;
    // The clicked item becomes the selection first, so the menu follows its rules.
    SelectItem(item);
    if (m_menu) {
        Q_EMIT m_doc.stateChanged();
        m_menu->exec(globalPos);
    }
}
