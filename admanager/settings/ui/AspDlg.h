#pragma once

#include "admanager/settings/AccountEditing.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

class QLineEdit;
namespace Ui {
class AspDlg;
}

// "Zelvor管理 - ASP設定": edits a working copy of the ASP list; the list takes
// the copy on OK only. Also copies an account's id or password to the clipboard
// and opens its site.
class CAspDlg : public QDialog {
    Q_OBJECT
public:
    using UrlOpener = std::function<void(const QString&)>;
    using ClipboardWriter = std::function<bool(const QString&)>;

    CAspDlg(AspList& list, UrlOpener openUrl, QWidget* parent = nullptr);
    ~CAspDlg() override;

    const AspList& WorkingCopy() const { return m_work.Items(); }
    // Replaces the system clipboard (tests).
    void SetClipboardWriter(ClipboardWriter writer) { m_copy = std::move(writer); }

    void accept() override;

private:
    void FillRows();
    void WriteRow(int row);
    void OnSelectionChanged();
    void OnEdited(AspField field, const QString& text);
    void OnNew();
    void OnDelete();
    void OnMove(int delta);
    void OnCopy(const QLineEdit* edit);
    void OnOpenUrl();

    std::unique_ptr<Ui::AspDlg> m_ui;
    AspList& m_list;
    ListWorkingCopy<AspList> m_work;
    UrlOpener m_openUrl;
    ClipboardWriter m_copy;
    // Off while the dialog fills its own controls.
    bool m_sync = true;
};

// What the Tools menu does: runs the dialog; on OK calls accepted (the editor
// pane refills its ASP choices), then saves the section at once, telling the
// user when that fails. True when the dialog ended with OK.
bool EditAspList(AspList& list, const std::string& moduleDir, CAspDlg::UrlOpener openUrl,
                 const std::function<void()>& accepted, QWidget* parent);
