#pragma once

#include "admanager/htmlgen/AdBlockGenerator.h"
#include "admanager/settings/AccountLists.h"

#include <QDialog>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CAfManagerDoc;
class CWebBrowser2;
namespace Ui {
class HtmlGenerateDlg;
}

// "Zelvor管理 - HTML生成": edits the generation settings of the document's
// current ad item, previews the first block, writes the output files and hands
// them to the upload dialog. Every way of closing saves the settings into the item.
class CHtmlGenerateDlg : public QDialog {
    Q_OBJECT
public:
    // banners: the item's banners in the list pane's display order.
    CHtmlGenerateDlg(CAfManagerDoc& doc, std::vector<const Banner*> banners, FtpHostList& hosts, std::string moduleDir,
                     QWidget* parent = nullptr);
    ~CHtmlGenerateDlg() override;

    // The ad item's FTP host name (CP932) before the run, and as the upload dialog left it after.
    void SetFtpHost(const std::string& name) { m_ftpHost = name; }
    const std::string& FtpHost() const { return m_ftpHost; }
    // A setting was changed by the user after set-up.
    bool Changed() const { return m_changed; }

    CWebBrowser2* Browser() const { return m_browser; }
    // The commands, as their buttons run them.
    // The block of the options, or nothing after telling the user why.
    std::optional<AdBlockResult> Generate(const AdBlockOptions& options, const char* noPages);
    void OnPreview();
    void OnOutput();

    // The OK command (an accelerator, Enter) leaves the dialog open.
    void accept() override {}
    // Every way of closing ends here and saves.
    void reject() override;

Q_SIGNALS:
    // The upload dialog is about to run modally (tests drive it from here).
    void uploadDialogOpening(QDialog* dialog);

private:
    void SetUp();
    void UpdatePageCount();
    void MarkChanged();
    void OnRowLimitClicked();
    void OnCopy();
    void OnBrowseOutput();
    void OnBrowseStyleSheet();
    // The options as Preview and Output read them; nothing after showing the first problem.
    std::optional<AdBlockOptions> ReadOptions();
    void SaveSettings(LibraryNode& item) const;

    std::unique_ptr<Ui::HtmlGenerateDlg> m_ui;
    CAfManagerDoc& m_doc;
    std::vector<const Banner*> m_banners;
    FtpHostList& m_hosts;
    std::string m_moduleDir;
    std::string m_ftpHost;
    CWebBrowser2* m_browser;
    bool m_initialised = false;
    bool m_changed = false;
};
