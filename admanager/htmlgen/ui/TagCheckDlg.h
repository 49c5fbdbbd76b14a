#pragma once

#include "admanager/library/LibraryNode.h"

#include <QDialog>
#include <memory>
#include <vector>

namespace Ui {
class TagCheckDlg;
}
class QTableWidget;

// "Zelvor管理 - タグの確認": the findings of every banner tag of the library, one
// row per finding, before the user publishes.
class CTagCheckDlg : public QDialog {
    Q_OBJECT
public:
    CTagCheckDlg(const LibraryNode& root, QWidget* parent = nullptr);
    ~CTagCheckDlg() override;

    QTableWidget* Findings() const;
    // The finding's banner the user went to (double-click or Enter), or nulls.
    struct Target {
        const LibraryNode* item = nullptr;
        const Banner* banner = nullptr;
    };
    Target Chosen() const { return m_chosen; }

private:
    std::unique_ptr<Ui::TagCheckDlg> m_ui;
    std::vector<Target> m_rows;
    Target m_chosen;
};
