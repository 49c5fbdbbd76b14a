#pragma once

#include "admanager/library/LibraryNode.h"

#include <QTableWidget>
#include <QWidget>
#include <vector>

class CAfManagerDoc;
class QLineEdit;
class QMenu;
class QPushButton;

// The banner rows: drag a row to another place, or Alt+Up / Alt+Down, to move it.
class BannerTable : public QTableWidget {
    Q_OBJECT
public:
    explicit BannerTable(QWidget* parent = nullptr);
    bool IsDragging() const { return m_dragging; }

Q_SIGNALS:
    void rowDropped(int from, int to);
    void moveRequested(int delta);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int DropRowAt(int y) const;
    void StopDrag();

    QPoint m_pressPos;
    int m_pressRow = -1;
    int m_dropRow = -1;
    bool m_dragging = false;
};

// The list pane: the selected node's title and comment, and the banner rows of
// an ad item in the order the generator uses.
class CRightView : public QWidget {
    Q_OBJECT
public:
    CRightView(CAfManagerDoc& doc, QWidget* parent = nullptr);
    ~CRightView() override;

    // 99: refill from the current node; 0: rewrite the selected row from the
    // current banner.
    void Refresh(int what);

    int AppendBannerRow(Banner& banner);
    // Makes the row current and selected; a row beyond the end selects nothing.
    void SelectRow(int row);
    // Selects banner's row without telling the document; false when it has none.
    bool SelectBanner(const Banner* banner);
    // Moves the selected banner up (-1) or down (+1) in the item's order.
    void MoveSelected(int delta);
    // True while a column sort orders the rows, not the item's order.
    bool IsSorted() const { return m_sorted; }
    int SelectedRow() const;
    Banner* RowBanner(int row) const;
    void DeleteRow(int row);
    int RowCount() const;
    // The banners in display order.
    std::vector<Banner*> RowBanners() const;

    QTableWidget* BannerList() const { return m_list; }
    QLineEdit* TitleEdit() const { return m_title; }
    QLineEdit* CommentEdit() const { return m_comment; }
    QPushButton* GenerateButton() const { return m_generate; }
    void SetContextMenu(QMenu* menu) { m_menu = menu; }
    // Sorts the rows by a column, as a click on its header does.
    void SortByColumn(int column);
    // +1 or -1: how the next sort goes.
    int SortDirection() const { return m_sortDirection; }

private:
    void WriteRow(int row, const Banner& banner);
    void SetListEnabled(bool enabled);
    void OnTitleEdited();
    void OnCommentEdited();
    void OnRowSelectionChanged();
    void OnListContextMenu(const QPoint& pos);
    void OnGenerateHtml();
    void MoveRow(int from, int to);
    // A move shows the item's own order first; says so when a sort is undone.
    void ShowModelOrder();

    CAfManagerDoc& m_doc;
    QLineEdit* m_title;
    QLineEdit* m_comment;
    QPushButton* m_generate;
    BannerTable* m_list;
    QMenu* m_menu = nullptr;
    bool m_ready = true;
    // One direction for all columns, alternating with every sort.
    int m_sortDirection = 1;
    bool m_sorted = false;
};
