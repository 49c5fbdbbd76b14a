#pragma once

#include "admanager/settings/AccountEditing.h"

#include <QDialog>
#include <memory>
#include <string>

class QLabel;
class QLineEdit;
namespace Ui {
class FtpHostDlg;
}

// "Zelvor管理 - FTP設定": edits a working copy of a host list; the list takes
// the copy on OK only.
class CFtpHostDlg : public QDialog {
    Q_OBJECT
public:
    explicit CFtpHostDlg(FtpHostList& list, QWidget* parent = nullptr);
    ~CFtpHostDlg() override;

    const FtpHostList& WorkingCopy() const { return m_work.Items(); }

    void accept() override;

private:
    void FillRows();
    void WriteRow(int row);
    void OnSelectionChanged();
    void OnEdited(FtpField field, const QString& text);
    void OnNew();
    void OnDelete();
    void OnMove(int delta);
    void ShowEntry(const FtpHostEntry& entry);
    void OnProtocol(int index);
    void OnPassive(bool on);
    void OnChooseKeyFile();
    void OnForgetPin();
    // Which controls apply to the selected entry's protocol, and its pin.
    void ShowTransport(const FtpHostEntry* entry);

    std::unique_ptr<Ui::FtpHostDlg> m_ui;
    FtpHostList& m_list;
    ListWorkingCopy<FtpHostList> m_work;
    QLabel* m_passiveHint = nullptr;
    // Off while the dialog fills its own controls.
    bool m_sync = true;
};

// What every caller does: runs the dialog and on OK saves the section at once,
// telling the user when that fails. True when the dialog ended with OK.
bool EditFtpHostList(FtpHostList& list, const std::string& moduleDir, QWidget* parent);
