#pragma once

#include "admanager/library/LibraryNode.h"

#include <QDialog>
#include <memory>

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

private:
    std::unique_ptr<Ui::TagCheckDlg> m_ui;
};
