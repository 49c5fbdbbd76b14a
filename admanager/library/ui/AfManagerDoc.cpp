#include "admanager/library/ui/AfManagerDoc.h"

#include "admanager/CommandIds.h"
#include "admanager/library/LibraryFile.h"
#include "admanager/library/ui/LeftView.h"
#include "admanager/panes/DataCtrlView.h"
#include "admanager/panes/RightView.h"
#include "common/Cp932.h"
#include "common/FileOps.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/Prompter.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace {

Prompter::FileDialog LibraryDialog() {
    return {u"zva"_qs, u"*.zva"_qs, u"Zelvorファイル(*.zva)"_qs, {}};
}

std::string NativePath(const std::string& cp932) { return Cp932::ToUtf8(cp932); }

} // namespace

CAfManagerDoc::CAfManagerDoc(std::string& lastFile, AppSettings& settings, const AspList& aspList, QObject* parent)
    : QObject(parent), m_lastFile(lastFile), m_settings(settings), m_aspList(aspList), m_title(u"無題"_qs) {}

CAfManagerDoc::~CAfManagerDoc() = default;

void CAfManagerDoc::SetModifiedFlag(bool modified) {
    if (m_modified == modified)
        return;
    m_modified = modified;
    Q_EMIT stateChanged();
}

QString CAfManagerDoc::FilePath() const { return Cp932Qt::ToQt(m_lastFile); }

void CAfManagerDoc::Message(const QString& text) {
    Prompter::Current().Message(m_dialogParent, text, Prompter::Icon::Information);
}

void CAfManagerDoc::Exclamation(const QString& text) {
    Prompter::Current().Message(m_dialogParent, text, Prompter::Icon::Exclamation);
}

void CAfManagerDoc::UpdateTitle() {
    m_title = m_lastFile.empty() ? u"無題"_qs : QFileInfo(FilePath()).fileName();
    Q_EMIT stateChanged();
}

void CAfManagerDoc::ResetContent() {
    m_state.currentNode = nullptr;
    m_state.currentBanner = nullptr;
    ResetLibrary(m_library);
}

// ---------------------------------------------------------------- file cycle

// After the library was replaced: every pane shows it afresh, unmodified.
void CAfManagerDoc::ShowNewContent() {
    if (m_tree)
        m_tree->Rebuild();
    if (m_list)
        m_list->Refresh(99);
    if (m_editor)
        m_editor->Refresh(99);
    m_modified = false;
    UpdateTitle();
}

void CAfManagerDoc::OnFirstInit() {
    ResetContent();
    m_state.copiedItem.reset();
    m_state.copiedBanner.reset();
    bool loaded = false;
    if (m_reopenAtStart && !m_lastFile.empty() && FileOps::FileExists(NativePath(m_lastFile))) {
        loaded = LoadLibrary(m_library, NativePath(m_lastFile));
        if (!loaded) {
            Exclamation(u"前回のファイルの読み込みに失敗しました。"_qs);
            m_lastFile.clear();
        }
    } else if (m_reopenAtStart && !m_lastFile.empty()) {
        // The file is gone: start untitled without a word, as if nothing was open.
        m_lastFile.clear();
    }
    if (!loaded) {
        ResetLibrary(m_library);
        InitEmptyLibrary(m_library);
    }
    m_reopenAtStart = false;
    ShowNewContent();
}

void CAfManagerDoc::OnFileNew() {
    if (!SaveModified())
        return;
    ResetContent();
    InitEmptyLibrary(m_library);
    m_lastFile.clear();
    ShowNewContent();
}

void CAfManagerDoc::OnFileOpen() {
    if (!SaveModified())
        return;
    QString path = Prompter::Current().OpenFileName(m_dialogParent, LibraryDialog());
    if (path.isEmpty())
        return;
    ResetContent();
    if (LoadLibrary(m_library, path.toStdString())) {
        m_lastFile = Cp932Qt::FromQt(path);
        ShowNewContent();
        return;
    }
    Exclamation(u"ファイルの読み込みに失敗しました。"_qs);
    m_lastFile.clear();
    m_modified = false;
    OnFileNew();
}

bool CAfManagerDoc::SaveTo(const QString& path) { return SaveLibrary(m_library, path.toStdString()); }

bool CAfManagerDoc::OnFileSave() {
    if (m_lastFile.empty() || !FileOps::FileExists(NativePath(m_lastFile)))
        return OnFileSaveAs();
    if (!SaveTo(FilePath())) {
        Exclamation(u"ファイルの保存に失敗しました。"_qs);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

bool CAfManagerDoc::OnFileSaveAs() {
    QString path = Prompter::Current().SaveFileName(m_dialogParent, LibraryDialog());
    if (path.isEmpty())
        return false;
    if (!SaveTo(path)) {
        Exclamation(u"ファイルの保存に失敗しました。"_qs);
        return false;
    }
    m_lastFile = Cp932Qt::FromQt(path);
    m_modified = false;
    UpdateTitle();
    return true;
}

bool CAfManagerDoc::SaveModified() {
    if (!m_modified)
        return true;
    switch (Prompter::Current().Message(m_dialogParent, u"内容が更新されています。\n保存しますか？"_qs,
                                        Prompter::Icon::Exclamation, Prompter::Buttons::YesNoCancel)) {
    case Prompter::Answer::Yes: return OnFileSave();
    case Prompter::Answer::No: return true;
    default: return false;
    }
}

// ---------------------------------------------------------------- tree commands

void CAfManagerDoc::AddNewChild(std::int32_t flags, const std::string& title, const QString& noSelection,
                                const QString& notHere) {
    LibraryNode* node = m_state.currentNode;
    if (!node || !m_tree || !m_tree->SelectedItem())
        return Message(noSelection);
    if (node->IsAdItem())
        return Message(notHere);
    // A template node: the tree gets a copy with a fresh identifier.
    LibraryNode child;
    child.flags = flags;
    child.title = title;
    m_tree->SelectItem(m_tree->AddChildCopy(*node, child));
    SetModifiedFlag();
}

void CAfManagerDoc::OnNewFolder() {
    AddNewChild(NODE_FOLDER, LibraryTexts::NewFolderTitle(), u"親フォルダを選択してください。"_qs,
                u"この場所にはフォルダを作成できません"_qs);
}

void CAfManagerDoc::OnNewItem() {
    AddNewChild(NODE_AD_ITEM, LibraryTexts::NewItemTitle(), u"データを追加するフォルダを選択してください。"_qs,
                u"この場所には作成できません"_qs);
}

void CAfManagerDoc::OnCopyItem() {
    LibraryNode* node = m_state.currentNode;
    if (!node)
        return Message(u"コピー元のデータを選択してください。"_qs);
    if (node->IsFolder())
        return Message(u"フォルダのコピーは出来ません。"_qs);
    auto copy = std::make_unique<LibraryNode>();
    CopyNode(*node, *copy);
    m_state.copiedItem = std::move(copy);
    Q_EMIT stateChanged();
}

void CAfManagerDoc::OnPasteItem() {
    if (!m_state.copiedItem)
        return;
    LibraryNode* node = m_state.currentNode;
    if (!node || !m_tree || !m_tree->SelectedItem())
        return Message(u"データを追加するフォルダを選択してください。"_qs);
    if (node->IsAdItem())
        return Message(u"この場所には貼り付けできません"_qs);
    m_tree->SelectItem(m_tree->AddChildCopy(*node, *m_state.copiedItem));
    SetModifiedFlag();
}

void CAfManagerDoc::OnDeleteNode() {
    LibraryNode* node = m_state.currentNode;
    if (!node || !m_tree || !m_tree->SelectedItem())
        return Message(u"削除するデータを選択してください。"_qs);
    if (node->IsRoot())
        return Message(u"最上位フォルダは削除できません。"_qs);
    if (node->IsFolder() &&
        Prompter::Current().Message(m_dialogParent, u"フォルダを削除すると下層の全てが削除されます。"_qs,
                                    Prompter::Icon::Exclamation,
                                    Prompter::Buttons::OkCancel) != Prompter::Answer::Ok)
        return;
    m_state.currentBanner = nullptr;
    ClearNode(*node);
    m_tree->DeleteItem(m_tree->SelectedItem());
    SetModifiedFlag();
}

void CAfManagerDoc::MoveNode(LibraryNode& dragged, LibraryNode& target) {
    if (target.IsAdItem())
        return Message(u"この場所にはデータを移動できません"_qs);
    if (!m_tree)
        return;
    QTreeWidgetItem* targetItem = m_tree->ItemOf(&target);
    QTreeWidgetItem* draggedItem = m_tree->ItemOf(&dragged);
    if (!targetItem || !draggedItem)
        return;
    QTreeWidgetItem* moved = m_tree->AddChildCopy(target, dragged, targetItem);
    ClearNode(dragged);
    m_tree->DeleteItem(draggedItem);
    m_tree->SelectItem(moved);
    SetModifiedFlag();
}

// ---------------------------------------------------------------- banner commands

void CAfManagerDoc::AppendNewBanner(const Banner& model) {
    Banner& banner = AppendBanner(*m_state.currentNode);
    banner = model;
    banner.live = 1;
    if (m_list)
        m_list->SelectRow(m_list->AppendBannerRow(banner));
    SetModifiedFlag();
}

void CAfManagerDoc::OnAddBanner() {
    if (!m_state.currentNode || !m_state.currentNode->IsAdItem())
        return Message(u"この項目には広告データを作成できません。"_qs);
    AppendNewBanner(Banner());
}

void CAfManagerDoc::OnCopyBanner() {
    if (!m_state.currentNode || !m_state.currentNode->IsAdItem())
        return Message(u"この項目には広告データがありません。"_qs);
    if (!m_state.currentBanner)
        return Message(u"コピー元のデータを選択してください。"_qs);
    m_state.copiedBanner = std::make_unique<Banner>(*m_state.currentBanner);
    Q_EMIT stateChanged();
}

void CAfManagerDoc::OnPasteBanner() {
    if (!m_state.currentNode || !m_state.currentNode->IsAdItem())
        return Message(u"この項目には広告データを作成できません。"_qs);
    if (!m_state.copiedBanner)
        return;
    AppendNewBanner(*m_state.copiedBanner);
}

void CAfManagerDoc::OnDeleteBanner() {
    if (!m_state.currentNode || !m_state.currentNode->IsAdItem())
        return Message(u"この項目には広告データがありません。"_qs);
    int row = m_list ? m_list->SelectedRow() : -1;
    if (row < 0)
        return Message(u"削除する広告を選択してください。"_qs);
    m_state.currentBanner = nullptr;
    if (Banner* banner = m_list->RowBanner(row))
        banner->live = 0;
    m_list->DeleteRow(row);
    SetModifiedFlag();
}

// ---------------------------------------------------------------- edit keys

namespace {

void ClearSelection(QLineEdit* edit) {
    if (edit->hasSelectedText())
        edit->del();
}
void ClearSelection(QPlainTextEdit* edit) { edit->textCursor().removeSelectedText(); }
void ShowCaret(QLineEdit*) {}
void ShowCaret(QPlainTextEdit* edit) { edit->ensureCursorVisible(); }

// One edit key on a single- or multi-line edit; read-only edits only copy and select.
template <typename Edit> void ApplyEditCommand(Edit* edit, int id) {
    const bool writable = !edit->isReadOnly() && edit->isEnabled();
    switch (id) {
    case Cmd::EditCopy: edit->copy(); break;
    case Cmd::EditCut:
        if (writable)
            edit->cut();
        break;
    case Cmd::EditPaste:
        if (writable) {
            ClearSelection(edit); // the selection goes first, even when the clipboard is empty
            edit->paste();
        }
        break;
    case Cmd::EditUndo:
        if (writable)
            edit->undo();
        break;
    case Cmd::SelectAll:
        edit->selectAll();
        ShowCaret(edit);
        break;
    default: break;
    }
}

} // namespace

void CAfManagerDoc::OnEditCommand(int id, QWidget* target) {
    QWidget* focus = target ? target : QApplication::focusWidget();
    if (auto* line = qobject_cast<QLineEdit*>(focus))
        ApplyEditCommand(line, id);
    else if (auto* text = qobject_cast<QPlainTextEdit*>(focus))
        ApplyEditCommand(text, id);
}

// ---------------------------------------------------------------- enabling and notifications

bool CAfManagerDoc::IsCommandEnabled(int id) const {
    const LibraryNode* node = m_state.currentNode;
    if (!node)
        return false;
    switch (id) {
    case Cmd::NewFolder:
    case Cmd::NewItem: return node->IsFolder();
    case Cmd::CopyItem:
    case Cmd::AddBanner: return node->IsAdItem();
    case Cmd::PasteItem: return node->IsFolder() && m_state.copiedItem != nullptr;
    case Cmd::DeleteNode: return (node->IsFolder() || node->IsAdItem()) && !node->IsRoot();
    case Cmd::PasteBanner: return node->IsAdItem() && m_state.copiedBanner != nullptr;
    case Cmd::CopyBanner:
    case Cmd::DeleteBanner: return node->IsAdItem() && m_state.currentBanner != nullptr;
    default: return false;
    }
}

void CAfManagerDoc::OnTreeSelectionChanged(LibraryNode* node) {
    m_state.currentNode = node;
    m_state.currentBanner = nullptr;
    if (m_list)
        m_list->Refresh(99);
    if (m_editor)
        m_editor->Refresh(99);
    Q_EMIT stateChanged();
}

void CAfManagerDoc::OnBannerSelectionChanged(Banner* banner) {
    m_state.currentBanner = banner;
    if (m_editor)
        m_editor->Refresh(99);
    Q_EMIT stateChanged();
}
