#pragma once

#include "admanager/library/LibraryNode.h"

#include <QTreeWidget>
#include <QWidget>

class CAfManagerDoc;
class QLabel;
class QMenu;

// The library tree: one item per live node; drag an item onto a folder to move it.
class DragTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit DragTreeCtrl(QWidget* parent = nullptr);

    bool IsDragging() const { return m_dragging; }
    QTreeWidgetItem* DropTarget() const { return m_dropTarget; }

Q_SIGNALS:
    // A finished drag that may move: not cancelled, onto another item that is not
    // below the dragged one.
    void nodeDropped(QTreeWidgetItem* dragged, QTreeWidgetItem* target);
    // Delete and F2 on the tree.
    void deleteRequested();
    void renameRequested();
    void contextMenuAt(QTreeWidgetItem* item, const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void BeginDrag(QTreeWidgetItem* item, const QPoint& globalPos);
    void SetDropTarget(QTreeWidgetItem* item);
    void EndDrag(const QPoint& viewportPos);

    QPoint m_pressPos;
    QTreeWidgetItem* m_pressItem = nullptr;
    QTreeWidgetItem* m_dragged = nullptr;
    QTreeWidgetItem* m_dropTarget = nullptr;
    QLabel* m_dragImage = nullptr;
    bool m_dragging = false;
    bool m_cancelled = false;
};

// The tree pane.
class CLeftView : public QWidget {
    Q_OBJECT
public:
    CLeftView(CAfManagerDoc& doc, QWidget* parent = nullptr);

    DragTreeCtrl* Tree() const { return m_tree; }
    // Deletes every item and fills the tree from the root, then expands it;
    // keepFolds keeps folded what was folded (the selection is set by the caller).
    void Rebuild(bool keepFolds = false);
    // Selects node's item without telling the document, and relabels it.
    void ShowNodeQuietly(const LibraryNode* node);
    // Adds the items of node, already in folder's list, under folderItem.
    QTreeWidgetItem* ShowChild(LibraryNode& node, QTreeWidgetItem* folderItem);
    // Appends a deep copy of source to folder and its items under folderItem
    // (the selected item when null); returns the new item.
    QTreeWidgetItem* AddChildCopy(LibraryNode& folder, const LibraryNode& source,
                                  QTreeWidgetItem* folderItem = nullptr);
    QTreeWidgetItem* SelectedItem() const;
    void SelectItem(QTreeWidgetItem* item);
    // Deletes the item; the tree selects a neighbour and reports it.
    void DeleteItem(QTreeWidgetItem* item);
    QTreeWidgetItem* ItemOf(const LibraryNode* node) const;
    static LibraryNode* NodeOf(const QTreeWidgetItem* item);
    // Relabels the selected item from the current node's title.
    void RetitleSelected();
    void ExpandAllItems();
    // The node commands' context menu; the frame provides it.
    void SetContextMenu(QMenu* menu) { m_menu = menu; }

private:
    QTreeWidgetItem* InsertSubtree(QTreeWidgetItem* parent, LibraryNode& node);
    void ApplyIcon(QTreeWidgetItem* item, bool expanded);
    void OnCurrentItemChanged(QTreeWidgetItem* current);
    void OnDropped(QTreeWidgetItem* dragged, QTreeWidgetItem* target);
    void OnContextMenu(QTreeWidgetItem* item, const QPoint& globalPos);

    CAfManagerDoc& m_doc;
    DragTreeCtrl* m_tree;
    QMenu* m_menu = nullptr;
    bool m_filling = false;
};
