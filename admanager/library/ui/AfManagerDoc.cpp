#include "admanager/library/ui/AfManagerDoc.h"

#include "admanager/CommandIds.h"
#include "admanager/library/LibraryFile.h"
#include "admanager/library/RecoveryFile.h"
#include "admanager/library/ui/RecoveryKeeper.h"
#include "admanager/library/ui/LeftView.h"
#include "admanager/panes/DataCtrlView.h"
#include "admanager/panes/RightView.h"
#include "common/Cp932.h"
#include "common/FileOps.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/Prompter.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QUndoStack>

namespace {

Prompter::FileDialog LibraryDialog() {
    return {u"zva"_qs, u"*.zva"_qs, u"Zelvorファイル(*.zva)"_qs, {}};
}

std::string NativePath(const std::string& cp932) { return Cp932::ToUtf8(cp932); }

} // namespace

namespace {

// Enough steps for any afternoon; a step keeps only what it took out or changed,
// never a copy of the library.
constexpr int kHistoryLimit = 500;

} // namespace

CAfManagerDoc::CAfManagerDoc(std::string& lastFile, AppSettings& settings, const AspList& aspList, QObject* parent)
    : QObject(parent), m_lastFile(lastFile), m_settings(settings), m_aspList(aspList), m_title(u"無題"_qs),
      m_history(std::make_unique<QUndoStack>()), m_recovery(std::make_unique<CRecoveryKeeper>(*this)) {
    m_history->setUndoLimit(kHistoryLimit);
    connect(m_history.get(), &QUndoStack::cleanChanged, this, [this](bool clean) {
        if (clean)
            m_recovery->Discard();
        Q_EMIT stateChanged();
    });
    connect(m_history.get(), &QUndoStack::indexChanged, this, [this] { Q_EMIT contentChanged(); });
    connect(this, &CAfManagerDoc::contentChanged, m_recovery.get(), &CRecoveryKeeper::OnChanged);
    // Typing into a field is one step until the focus goes elsewhere.
    connect(qApp, &QApplication::focusChanged, this, [this] { CloseEditStep(); });
}

CAfManagerDoc::~CAfManagerDoc() {
    // The steps refer to the library: they go first. An orderly end leaves no recovery copy.
    m_history->clear();
    m_recovery.reset();
}

bool CAfManagerDoc::IsModified() const { return !m_history->isClean(); }

void CAfManagerDoc::SetModifiedFlag(bool modified) {
    if (modified == IsModified())
        return;
    if (modified)
        m_history->resetClean(); // no step leads back to the unmodified state
    else
        m_history->setClean();
    Q_EMIT contentChanged();
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
    // The steps refer to the library about to go.
    m_history->clear();
    Q_EMIT contentChanged();
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
    m_history->clear();
    m_history->setClean();
    m_recovery->Discard();
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
            // A file the user named is named back; the last file reopened by the setting keeps its message.
            Exclamation(m_startFileNamed ? u"ファイルの読み込みに失敗しました。\n"_qs + FilePath()
                                         : u"前回のファイルの読み込みに失敗しました。"_qs);
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
    m_history->clear();
    m_history->setClean();
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
    m_history->setClean();
    m_recovery->Discard();
    UpdateTitle();
    return true;
}

bool CAfManagerDoc::SaveModified() {
    if (!IsModified())
        return true;
    switch (Prompter::Current().Message(m_dialogParent, u"内容が更新されています。\n保存しますか？"_qs,
                                        Prompter::Icon::Exclamation, Prompter::Buttons::YesNoCancel)) {
    case Prompter::Answer::Yes: return OnFileSave();
    case Prompter::Answer::No:
        // The changes go with the content that replaces them or at the end of the
        // run, and their recovery copy with them; a cancelled Open keeps both.
        return true;
    default: return false;
    }
}

// ---------------------------------------------------------------- tree commands

void CAfManagerDoc::AddNewChild(std::int32_t flags, const std::string& title, const QString& text,
                                const QString& noSelection, const QString& notHere) {
    LibraryNode* node = m_state.currentNode;
    if (!node || !m_tree || !m_tree->SelectedItem())
        return Message(noSelection);
    if (node->IsAdItem())
        return Message(notHere);
    // A template node: the tree gets a copy with a fresh identifier.
    const Place before = CurrentPlace();
    LibraryNode child;
    child.flags = flags;
    child.title = title;
    m_tree->SelectItem(m_tree->AddChildCopy(*node, child));
    Record(new NodeSlotStep(*this, text, before, *node, node->children.size() - 1));
}

void CAfManagerDoc::OnNewFolder() {
    AddNewChild(NODE_FOLDER, LibraryTexts::NewFolderTitle(), u"サブフォルダの作成"_qs, u"親フォルダを選択してください。"_qs,
                u"この場所にはフォルダを作成できません"_qs);
}

void CAfManagerDoc::OnNewItem() {
    AddNewChild(NODE_AD_ITEM, LibraryTexts::NewItemTitle(), u"広告項目の作成"_qs,
                u"データを追加するフォルダを選択してください。"_qs,
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
    const Place before = CurrentPlace();
    m_tree->SelectItem(m_tree->AddChildCopy(*node, *m_state.copiedItem));
    Record(new NodeSlotStep(*this, u"広告項目の貼り付け"_qs, before, *node, node->children.size() - 1));
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
    const NodeSlot slot = FindSlot(m_library.root, node);
    if (!slot.parent)
        return;
    const Place before = CurrentPlace();
    m_state.currentBanner = nullptr;
    // The node leaves the library whole: the step keeps it for undo.
    std::unique_ptr<LibraryNode> taken = DetachChild(*slot.parent, slot.index);
    m_tree->DeleteItem(m_tree->SelectedItem());
    Record(new NodeSlotStep(*this, before, *slot.parent, slot.index, std::move(taken)));
    Q_EMIT statusMessage(u"項目を削除しました（元に戻す: Ctrl+Z）"_qs);
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
    const NodeSlot slot = FindSlot(m_library.root, &dragged);
    if (!slot.parent)
        return;
    const Place before = CurrentPlace();
    // The node itself goes, with fresh identifiers as a copy of it would have.
    std::unique_ptr<LibraryNode> node = DetachChild(*slot.parent, slot.index);
    std::vector<std::string> oldIds = SubtreeIds(*node);
    RenewSubtreeIds(*node);
    std::vector<std::string> newIds = SubtreeIds(*node);
    LibraryNode& moved = InsertChild(target, target.children.size(), std::move(node));
    QTreeWidgetItem* movedItem = m_tree->ShowChild(moved, targetItem);
    m_tree->DeleteItem(draggedItem);
    m_tree->SelectItem(movedItem);
    Record(new NodeMoveStep(*this, before, *slot.parent, slot.index, target, std::move(oldIds), std::move(newIds)));
}

void CAfManagerDoc::MoveBannerTo(Banner& banner, Banner& target) {
    LibraryNode* item = m_state.currentNode;
    if (!item || !item->IsAdItem())
        return;
    const std::size_t from = BannerIndex(*item, &banner);
    const std::size_t to = BannerIndex(*item, &target);
    if (from == std::string::npos || to == std::string::npos || from == to)
        return;
    const Place before = CurrentPlace();
    MoveBanner(*item, from, to);
    m_state.currentBanner = &banner;
    if (m_list) {
        m_list->Refresh(99);
        m_list->SelectBanner(&banner);
    }
    if (m_editor && before.banner != &banner)
        m_editor->Refresh(99);
    Record(new BannerMoveStep(*this, before, *item, from, to));
}

// ---------------------------------------------------------------- banner commands

void CAfManagerDoc::AppendNewBanner(const Banner& model, const QString& text) {
    const Place before = CurrentPlace();
    LibraryNode& item = *m_state.currentNode;
    Banner& banner = AppendBanner(item);
    banner = model;
    banner.live = 1;
    if (m_list)
        m_list->SelectRow(m_list->AppendBannerRow(banner));
    Record(new BannerInsertStep(*this, text, before, item));
}

void CAfManagerDoc::OnAddBanner() {
    if (!m_state.currentNode || !m_state.currentNode->IsAdItem())
        return Message(u"この項目には広告データを作成できません。"_qs);
    AppendNewBanner(Banner(), u"バナーの追加"_qs);
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
    AppendNewBanner(*m_state.copiedBanner, u"バナーの貼り付け"_qs);
}

void CAfManagerDoc::OnDeleteBanner() {
    if (!m_state.currentNode || !m_state.currentNode->IsAdItem())
        return Message(u"この項目には広告データがありません。"_qs);
    int row = m_list ? m_list->SelectedRow() : -1;
    if (row < 0)
        return Message(u"削除する広告を選択してください。"_qs);
    Banner* banner = m_list->RowBanner(row);
    if (!banner)
        return;
    const Place before = CurrentPlace();
    m_state.currentBanner = nullptr;
    banner->live = 0;
    m_list->DeleteRow(row);
    Record(new BannerDeleteStep(*this, before, *banner));
    Q_EMIT statusMessage(u"バナーを削除しました（元に戻す: Ctrl+Z）"_qs);
}

// ---------------------------------------------------------------- history

void CAfManagerDoc::Record(LibraryStep* step) {
    step->SetAfter(CurrentPlace());
    m_history->push(step);
    Q_EMIT contentChanged();
}

void CAfManagerDoc::RecordBannerEdit(Banner& banner, BannerEditStep::Field field, const Banner& old) {
    if (banner == old)
        return;
    Record(new BannerEditStep(*this, CurrentPlace(), banner, field, old));
}

void CAfManagerDoc::RecordNodeEdit(LibraryNode& node, NodeEditStep::Field field, const LibraryNode& old) {
    if (node.SameFields(old))
        return;
    Record(new NodeEditStep(*this, CurrentPlace(), node, field, old));
}

void CAfManagerDoc::CloseEditStep() {
    const int top = m_history->index() - 1;
    if (top >= 0 && top < m_history->count())
        static_cast<LibraryStep*>(const_cast<QUndoCommand*>(m_history->command(top)))->Close();
}

void CAfManagerDoc::Undo() {
    CloseEditStep();
    m_history->undo();
}

void CAfManagerDoc::Redo() {
    CloseEditStep();
    m_history->redo();
}

void CAfManagerDoc::ShowPlace(const Place& place, bool treeChanged) {
    m_showingPlace = true;
    if (m_tree) {
        if (treeChanged)
            m_tree->Rebuild(true);
        m_tree->ShowNodeQuietly(place.node);
    }
    m_state.currentNode = place.node;
    m_state.currentBanner = nullptr;
    if (m_list) {
        m_list->Refresh(99);
        if (m_list->SelectBanner(place.banner))
            m_state.currentBanner = place.banner;
    }
    if (m_editor)
        m_editor->Refresh(99);
    m_showingPlace = false;
    Q_EMIT stateChanged();
}

// ---------------------------------------------------------------- recovery

void CAfManagerDoc::OfferRecovery() {
    for (const std::string& file : RecoveryFile::List(RecoveryFile::Folder())) {
        if (file == m_recovery->File())
            continue;
        RecoveryFile::Header header;
        AdLibrary recovered;
        if (!RecoveryFile::Read(file, header, recovered)) {
            // Never deleted unseen: renamed, so it is not offered again, and named.
            const std::string aside = RecoveryFile::SetAside(file);
            Exclamation(u"復元用のファイルを読み込めませんでした。\n"_qs + QString::fromStdString(aside.empty() ? file : aside));
            continue;
        }
        const QString name =
            header.libraryPath.empty() ? u"無題"_qs : QFileInfo(Cp932Qt::ToQt(header.libraryPath)).fileName();
        const QString when = QDateTime::fromSecsSinceEpoch(header.takenAt).toString(u"yyyy/MM/dd HH:mm"_qs);
        const QString question =
            u"保存されていない変更が見つかりました。「"_qs + name + u"」（"_qs + when + u"）を復元しますか？"_qs;
        if (Prompter::Current().Message(m_dialogParent, question, Prompter::Icon::Question,
                                        Prompter::Buttons::YesNo) == Prompter::Answer::Yes) {
            // The recovered content under the library's path; the file itself
            // is untouched until the user saves. The copy stays until then.
            ResetContent();
            m_library.root.id = recovered.root.id;
            m_library.root.CopyFieldsFrom(recovered.root);
            m_library.root.children = std::move(recovered.root.children);
            m_lastFile = header.libraryPath;
            ShowNewContent();
            m_recovery->Adopt(file);
            SetModifiedFlag(true);
            return; // any other copy waits for the next start
        }
        if (Prompter::Current().Message(m_dialogParent,
                                        u"復元しなかった変更を削除しますか？\n「後で」を選ぶと、次回の起動時にもう一度たずねます。"_qs,
                                        Prompter::Icon::Question,
                                        Prompter::Buttons::DeleteLater) == Prompter::Answer::Yes)
            FileOps::RemoveFileRetry(file);
    }
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
    case Cmd::EditRedo:
        if (writable)
            edit->redo();
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
    auto* line = qobject_cast<QLineEdit*>(focus);
    auto* text = qobject_cast<QPlainTextEdit*>(focus);
    // The undo keys undo the text of an edit box that has the focus, the document's last step anywhere else.
    if (id == Cmd::EditUndo || id == Cmd::EditRedo) {
        const bool ownText = (line && !line->isReadOnly() && line->isEnabled()) ||
                             (text && !text->isReadOnly() && text->isEnabled());
        if (!ownText)
            return id == Cmd::EditUndo ? Undo() : Redo();
    }
    if (line)
        ApplyEditCommand(line, id);
    else if (text)
        ApplyEditCommand(text, id);
}

// ---------------------------------------------------------------- enabling and notifications

void CAfManagerDoc::AddLinkResults(const std::map<std::string, UrlResult>& results) {
    for (const auto& [key, result] : results)
        m_linkResults[key] = result;
    if (m_list)
        m_list->Refresh(99);
}

bool CAfManagerDoc::IsCommandEnabled(int id) const {
    const LibraryNode* node = m_state.currentNode;
    if (!node)
        return false;
    switch (id) {
    case Cmd::LinkCheck: return true;
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
