#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class AssociationPromptDlg;
}

// Asks at start-up whether to associate .zva files; remembers "don't ask again".
class CAssociationPromptDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAssociationPromptDlg(QWidget* parent = nullptr);
    ~CAssociationPromptDlg() override;

    // The opposite of the "次回からこのメッセージを表示しない" box.
    bool ShowAgain() const;

private:
    std::unique_ptr<Ui::AssociationPromptDlg> m_ui;
};
