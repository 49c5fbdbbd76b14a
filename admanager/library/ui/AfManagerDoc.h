#pragma once

#include "admanager/library/LibraryNode.h"
#include "admanager/library/ui/LibraryHistory.h"
#include "admanager/linkcheck/LinkCheck.h"
#include "admanager/settings/AccountLists.h"
#include "admanager/settings/AppSettings.h"

#include <QObject>
#include <QString>
#include <map>
#include <memory>
#include <string>

class CLeftView;
class CRightView;
class CDataCtrlView;
class CRecoveryKeeper;
class QUndoStack;
class QWidget;

// The single document of the ad manager: the library, the working state, the
// file cycle and the editing commands on the tree and the banner list.
class CAfManagerDoc : public QObject {
    Q_OBJECT
public:
    // lastFile is the settings' last_file (CP932): the document's file path lives there.
    // The settings (preview, check_version) and the ASP list belong to the application.
    CAfManagerDoc(std::string& lastFile, AppSettings& settings, const AspList& aspList, QObject* parent = nullptr);
    ~CAfManagerDoc() override;

    AdLibrary& Library() { return m_library; }
    DocumentState& State() { return m_state; }
    const DocumentState& State() const { return m_state; }

    AppSettings& Settings() { return m_settings; }
    const AspList& Asp() const { return m_aspList; }
    // Set once per run: the first view of the root may show the version page.
    bool VersionPagePending() const { return m_versionPagePending; }
    void ClearVersionPagePending() { m_versionPagePending = false; }

    // Modified: the history is away from the state last opened or saved, or the
    // content came from somewhere other than the file (a recovery copy).
    bool IsModified() const;
    void SetModifiedFlag(bool modified = true);
    // The current file as the settings keep it (CP932; empty when untitled).
    const std::string& LibraryPath() const { return m_lastFile; }
    // "無題" or the file name with its extension.
    QString Title() const { return m_title; }
    // The current file as a path for the file system (empty when untitled).
    QString FilePath() const;

    void SetTreeView(CLeftView* view) { m_tree = view; }
    void SetListView(CRightView* view) { m_list = view; }
    void SetEditorView(CDataCtrlView* view) { m_editor = view; }
    CLeftView* TreeView() const { return m_tree; }
    CRightView* ListView() const { return m_list; }
    CDataCtrlView* EditorView() const { return m_editor; }
    // The application's FTP host list, for the generation and upload dialogs.
    void SetFtpHosts(FtpHostList* hosts) { m_ftpHosts = hosts; }
    FtpHostList* FtpHosts() const { return m_ftpHosts; }
    // Parent for message boxes and dialogs.
    void SetDialogParent(QWidget* parent) { m_dialogParent = parent; }

    // The file to open at start was named on the command line, not reopened by the setting.
    void SetStartFileNamed(bool named) { m_startFileNamed = named; }
    // File cycle.
    void OnFirstInit();
    void OnFileNew();
    void OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();
    // False: stop what was about to happen.
    bool SaveModified();

    // Editing commands; each shows its refusal message itself.
    void OnNewFolder();
    void OnNewItem();
    void OnCopyItem();
    void OnPasteItem();
    void OnDeleteNode();
    void OnAddBanner();
    void OnCopyBanner();
    void OnPasteBanner();
    void OnDeleteBanner();
    void MoveNode(LibraryNode& dragged, LibraryNode& target);
    // Moves banner to target's place in the current item's order.
    void MoveBannerTo(Banner& banner, Banner& target);

    // The editing history. Every change to the library is a step of it.
    QUndoStack& History() const { return *m_history; }
    void Undo();
    void Redo();
    // Records a change already made and shown; the step's after-place is what is shown now.
    void Record(LibraryStep* step);
    // Records a change of a banner's field (typing merges into one step).
    void RecordBannerEdit(Banner& banner, BannerEditStep::Field field, const Banner& old);
    void RecordNodeEdit(LibraryNode& node, NodeEditStep::Field field, const LibraryNode& old);
    // Typing into a field ends: the next keystroke starts a new step.
    void CloseEditStep();
    Place CurrentPlace() const { return {m_state.currentNode, m_state.currentBanner}; }
    // Shows place in the panes after a step was undone or redone; treeChanged
    // rebuilds the tree, keeping folded folders folded.
    void ShowPlace(const Place& place, bool treeChanged);

    // Offers the recovery copies left by a run that ended without saving.
    void OfferRecovery();
    CRecoveryKeeper& Recovery() const { return *m_recovery; }

    // Copy, cut, paste, undo or select all, for the edit box that has the focus
    // (target when given); other widgets ignore them.
    void OnEditCommand(int id, QWidget* target = nullptr);

    // What the addresses answered in this session's link checks (by ResultKey):
    // the list's markers show them. Kept outside the library file.
    const std::map<std::string, UrlResult>& LinkResults() const { return m_linkResults; }
    void AddLinkResults(const std::map<std::string, UrlResult>& results);

    // The enabling rule of a command of the edit menu.
    bool IsCommandEnabled(int id) const;

    // Notifications from the panes.
    void OnTreeSelectionChanged(LibraryNode* node);
    void OnBannerSelectionChanged(Banner* banner);

Q_SIGNALS:
    // Title, modified flag or working state changed: menus and caption follow.
    void stateChanged();
    // The library's content changed (a step made, undone or redone, or new content).
    void contentChanged();
    // A short note for the status bar.
    void statusMessage(const QString& text);

private:
    std::map<std::string, UrlResult> m_linkResults;
    void Message(const QString& text);
    void Exclamation(const QString& text);
    bool SaveTo(const QString& path);
    void ResetContent();
    void ShowNewContent();
    void AppendNewBanner(const Banner& model, const QString& text);
    void AddNewChild(std::int32_t flags, const std::string& title, const QString& text, const QString& noSelection,
                     const QString& notHere);
    void UpdateTitle();

    AdLibrary m_library;
    DocumentState m_state;
    std::string& m_lastFile;
    AppSettings& m_settings;
    const AspList& m_aspList;
    bool m_versionPagePending = true;
    QString m_title;
    std::unique_ptr<QUndoStack> m_history;
    std::unique_ptr<CRecoveryKeeper> m_recovery;
    bool m_showingPlace = false;
    bool m_reopenAtStart = true;
    bool m_startFileNamed = false;
    CLeftView* m_tree = nullptr;
    CRightView* m_list = nullptr;
    CDataCtrlView* m_editor = nullptr;
    QWidget* m_dialogParent = nullptr;
    FtpHostList* m_ftpHosts = nullptr;
};
