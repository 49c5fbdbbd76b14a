#include "admanager/CommandIds.h"
#include "admanager/library/LibraryFile.h"
#include "admanager/library/RecoveryFile.h"
#include "admanager/library/ui/RecoveryKeeper.h"
#include "admanager/library/ui/AfManagerDoc.h"
#include "admanager/library/ui/LeftView.h"
#include "admanager/panes/RightView.h"
#include "admanager/settings/Association.h"
#include "admanager/shell/AboutDlg.h"
#include "admanager/shell/AfManagerApp.h"
#include "admanager/shell/AssociationPromptDlg.h"
#include "admanager/shell/SplashWnd.h"
#include "admanager/shell/MainFrame.h"
#include "admanager/upload/ui/PublishDlg.h"
#include "common/FileOps.h"
#include "common/IniProfile.h"
#include "common/InstanceLock.h"
#include "common/ModuleDir.h"
#include "common/ui/Cp932Qt.h"
#include "tests/common/ui/ScriptedPrompter.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QScreen>
#include <QStatusBar>
#include <QSplitter>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUndoStack>
#include <QLineEdit>
#include <QPlainTextEdit>
#include "admanager/panes/DataCtrlView.h"
#include <functional>
#include <set>
#include <fcntl.h>
#include <sys/stat.h>

using testutil::ScriptedPrompter;
using Answer = Prompter::Answer;

namespace {

LibraryNode* Node(CMainFrame&, QTreeWidgetItem* item) { return CLeftView::NodeOf(item); }

QTreeWidgetItem* Root(CMainFrame& f) { return f.TreePane()->Tree()->topLevelItem(0); }

QStringList Titles(QTreeWidgetItem* item) {
    QStringList out;
    for (int i = 0; i < item->childCount(); ++i)
        out << item->child(i)->text(0);
    return out;
}

} // namespace

class AdManagerWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_module;
    QTemporaryDir m_xdg;
    std::string m_lastFile;
    AppSettings m_settings;
    AspList m_aspList;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<CAfManagerDoc> m_doc;
    std::unique_ptr<CMainFrame> m_frame;

    CMainFrame& Frame() { return *m_frame; }
    CAfManagerDoc& Doc() { return *m_doc; }
    void Run(int id) { Frame().Action(id)->trigger(); }
    QString Path(const char* name) { return m_module.filePath(QString::fromUtf8(name)); }

    // An untitled library with folder A (item a1 with two banners, folder B) and item c.
    void MakeLibrary() {
        Doc().OnFirstInit();
        Frame().TreePane()->SelectItem(Root(Frame()));
        Run(Cmd::NewFolder);
        Node(Frame(), Frame().TreePane()->SelectedItem())->title = "A";
        Frame().TreePane()->RetitleSelected();
        QTreeWidgetItem* a = Frame().TreePane()->SelectedItem();
        Run(Cmd::NewItem);
        Node(Frame(), Frame().TreePane()->SelectedItem())->title = "a1";
        Frame().TreePane()->RetitleSelected();
        Run(Cmd::AddBanner);
        Run(Cmd::AddBanner);
        Frame().TreePane()->SelectItem(a);
        Run(Cmd::NewFolder);
        Node(Frame(), Frame().TreePane()->SelectedItem())->title = "B";
        Frame().TreePane()->RetitleSelected();
        Frame().TreePane()->SelectItem(Root(Frame()));
        Run(Cmd::NewItem);
        Node(Frame(), Frame().TreePane()->SelectedItem())->title = "c";
        Frame().TreePane()->RetitleSelected();
        m_prompter->Clear();
    }

    QTreeWidgetItem* Find(const char* title) {
        auto items = Frame().TreePane()->Tree()->findItems(QString::fromUtf8(title), Qt::MatchExactly | Qt::MatchRecursive);
        return items.isEmpty() ? nullptr : items.constFirst();
    }

    // What undo must give back: the file's bytes, the tree as shown and the place.
    struct Snapshot {
        std::string bytes;
        QStringList tree;
        LibraryNode* node;
        Banner* banner;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot Take() {
        Snapshot shot{{}, {}, Doc().State().currentNode, Doc().State().currentBanner};
        EncodeLibrary(Doc().Library(), shot.bytes);
        for (QTreeWidgetItemIterator it(Frame().TreePane()->Tree()); *it; ++it) {
            int depth = 0;
            for (QTreeWidgetItem* p = (*it)->parent(); p; p = p->parent())
                ++depth;
            shot.tree << QString(depth, QLatin1Char(' ')) + (*it)->text(0);
        }
        if (QTreeWidgetItem* selected = Frame().TreePane()->SelectedItem())
            shot.tree << u"selected: "_qs + selected->text(0);
        return shot;
    }
    static QByteArray ReadAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Focus moves only in an active window.
    void ShowActive() {
        Frame().show();
        QApplication::setActiveWindow(&Frame());
        QVERIFY(QTest::qWaitForWindowActive(&Frame()));
    }
    void SelectBannerNamed(const char* item, int row) {
        Frame().TreePane()->SelectItem(Find(item));
        Frame().ListPane()->SelectRow(row);
    }

private Q_SLOTS:
    void initTestCase() {
        qputenv("XDG_DATA_HOME", m_xdg.filePath(u"data"_qs).toUtf8());
        qputenv("XDG_RUNTIME_DIR", m_xdg.path().toUtf8());
    }

    void init() {
        ModuleDir::SetOverride(m_module.path().toStdString());
        m_lastFile.clear();
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_settings = AppSettings();
        m_settings.checkVersion = 0; // no online page from a test
        m_doc = std::make_unique<CAfManagerDoc>(m_lastFile, m_settings, m_aspList);
        m_frame = std::make_unique<CMainFrame>(*m_doc, WindowGeometry{});
    }

    void cleanup() {
        m_frame.reset();
        m_doc.reset();
        m_prompter.reset();
        ModuleDir::SetOverride("");
    }

    void refusalsWithoutSelection() {
        Doc().OnFirstInit();
        struct {
            void (CAfManagerDoc::*command)();
            const char* message;
        } cases[] = {
            {&CAfManagerDoc::OnNewFolder, "親フォルダを選択してください。"},
            {&CAfManagerDoc::OnNewItem, "データを追加するフォルダを選択してください。"},
            {&CAfManagerDoc::OnCopyItem, "コピー元のデータを選択してください。"},
            {&CAfManagerDoc::OnDeleteNode, "削除するデータを選択してください。"},
            {&CAfManagerDoc::OnAddBanner, "この項目には広告データを作成できません。"},
            {&CAfManagerDoc::OnCopyBanner, "この項目には広告データがありません。"},
            {&CAfManagerDoc::OnDeleteBanner, "この項目には広告データがありません。"},
        };
        for (const auto& c : cases) {
            m_prompter->Clear();
            (Doc().*c.command)();
            QCOMPARE(m_prompter->LastText(), QString::fromUtf8(c.message));
            QCOMPARE(m_prompter->shown.back().icon, Prompter::Icon::Information);
        }
        QVERIFY(!Doc().IsModified());
        QCOMPARE(Root(Frame())->childCount(), 0);
    }

    void refusalsOnTheWrongNode() {
        MakeLibrary();
        Frame().TreePane()->SelectItem(Root(Frame()));
        Doc().OnCopyItem();
        QCOMPARE(m_prompter->LastText(), u"フォルダのコピーは出来ません。"_qs);
        Doc().OnDeleteNode();
        QCOMPARE(m_prompter->LastText(), u"最上位フォルダは削除できません。"_qs);
        Frame().TreePane()->SelectItem(Find("c"));
        Doc().OnNewFolder();
        QCOMPARE(m_prompter->LastText(), u"この場所にはフォルダを作成できません"_qs);
        Doc().OnNewItem();
        QCOMPARE(m_prompter->LastText(), u"この場所には作成できません"_qs);
        Doc().OnCopyItem();
        m_prompter->Clear();
        Doc().OnPasteItem();
        QCOMPARE(m_prompter->LastText(), u"この場所には貼り付けできません"_qs);
        Doc().OnCopyBanner();
        QCOMPARE(m_prompter->LastText(), u"コピー元のデータを選択してください。"_qs);
        Doc().OnDeleteBanner();
        QCOMPARE(m_prompter->LastText(), u"削除する広告を選択してください。"_qs);
    }

    void enablingFollowsTheSelection() {
        MakeLibrary();
        auto enabled = [this](int id) { return Frame().Action(id)->isEnabled(); };
        Frame().TreePane()->SelectItem(Root(Frame()));
        QVERIFY(enabled(Cmd::NewFolder) && enabled(Cmd::NewItem));
        QVERIFY(!enabled(Cmd::DeleteNode) && !enabled(Cmd::CopyItem) && !enabled(Cmd::PasteItem));
        QVERIFY(!enabled(Cmd::AddBanner));
        Frame().TreePane()->SelectItem(Find("a1"));
        QVERIFY(!enabled(Cmd::NewFolder) && enabled(Cmd::CopyItem) && enabled(Cmd::DeleteNode));
        QVERIFY(enabled(Cmd::AddBanner) && !enabled(Cmd::CopyBanner) && !enabled(Cmd::PasteBanner));
        Frame().ListPane()->SelectRow(0);
        QVERIFY(enabled(Cmd::CopyBanner) && enabled(Cmd::DeleteBanner));
        Run(Cmd::CopyBanner);
        Run(Cmd::CopyItem);
        QVERIFY(enabled(Cmd::PasteBanner));
        Frame().TreePane()->SelectItem(Find("B"));
        QVERIFY(enabled(Cmd::PasteItem) && enabled(Cmd::DeleteNode) && !enabled(Cmd::PasteBanner));
    }

    void pasteThreeTimesGivesThreeIdentifiers() {
        MakeLibrary();
        Frame().TreePane()->SelectItem(Find("a1"));
        Run(Cmd::CopyItem);
        Frame().TreePane()->SelectItem(Find("B"));
        Run(Cmd::PasteItem);
        Frame().TreePane()->SelectItem(Find("a1"));
        Run(Cmd::DeleteNode); // the source goes; later pastes do not care
        for (int i = 0; i < 2; ++i) {
            Frame().TreePane()->SelectItem(Find("B"));
            Run(Cmd::PasteItem);
        }
        QTreeWidgetItem* b = Find("B");
        QCOMPARE(Titles(b), (QStringList{u"a1"_qs, u"a1"_qs, u"a1"_qs}));
        std::set<std::string> ids;
        for (int i = 0; i < 3; ++i) {
            LibraryNode* n = Node(Frame(), b->child(i));
            ids.insert(n->id);
            QCOMPARE(CountLiveBanners(*n), 2);
        }
        QCOMPARE(ids.size(), std::size_t(3));
        QVERIFY(Doc().IsModified());
    }

    // Each kind of change is one step: undo gives back the bytes, the tree and the
    // place exactly, redo the state after it, and the modified mark follows.
    void everyChangeIsOneStepOfTheHistory() {
        struct Case {
            const char* name;
            std::function<void()> prepare;
            std::function<void()> change;
        };
        auto typeInto = [](QWidget* edit, const QString& text) {
            edit->setFocus();
            QTest::keyClicks(edit, text);
        };
        const Case cases[] = {
            {"new folder", [&] { Frame().TreePane()->SelectItem(Find("A")); }, [&] { Run(Cmd::NewFolder); }},
            {"new item", [&] { Frame().TreePane()->SelectItem(Find("B")); }, [&] { Run(Cmd::NewItem); }},
            {"paste item",
             [&] {
                 Frame().TreePane()->SelectItem(Find("a1"));
                 Run(Cmd::CopyItem);
                 Frame().TreePane()->SelectItem(Find("B"));
             },
             [&] { Run(Cmd::PasteItem); }},
            {"delete folder",
             [&] {
                 Frame().TreePane()->SelectItem(Find("A"));
                 m_prompter->answers = {Answer::Ok};
             },
             [&] { Run(Cmd::DeleteNode); }},
            {"delete item", [&] { SelectBannerNamed("a1", 1); }, [&] { Run(Cmd::DeleteNode); }},
            {"move", [&] { Frame().TreePane()->SelectItem(Find("c")); },
             [&] { Doc().MoveNode(*Node(Frame(), Find("a1")), *Node(Frame(), Find("B"))); }},
            {"add banner", [&] { SelectBannerNamed("a1", 0); }, [&] { Run(Cmd::AddBanner); }},
            {"paste banner",
             [&] {
                 SelectBannerNamed("a1", 1);
                 Run(Cmd::CopyBanner);
             },
             [&] { Run(Cmd::PasteBanner); }},
            {"delete banner", [&] { SelectBannerNamed("a1", 0); }, [&] { Run(Cmd::DeleteBanner); }},
            {"move banner", [&] { SelectBannerNamed("a1", 0); }, [&] { Frame().ListPane()->MoveSelected(1); }},
            {"banner name", [&] { SelectBannerNamed("a1", 1); },
             [&] { typeInto(Frame().EditorPane()->NameEdit(), u"Rakuten"_qs); }},
            {"banner tag", [&] { SelectBannerNamed("a1", 1); },
             [&] { typeInto(Frame().EditorPane()->TagEdit(), u"<a href=x>"_qs); }},
            {"title", [&] { Frame().TreePane()->SelectItem(Find("B")); },
             [&] { typeInto(Frame().ListPane()->TitleEdit(), u"2"_qs); }},
            {"comment", [&] { Frame().TreePane()->SelectItem(Find("c")); },
             [&] { typeInto(Frame().ListPane()->CommentEdit(), u"memo"_qs); }},
        };
        for (const Case& c : cases) {
            MakeLibrary();
            Node(Frame(), Find("a1"))->banners[0]->name = "first";
            Frame().TreePane()->SelectItem(Find("c"));
            Doc().History().clear();
            Doc().SetModifiedFlag(false);
            c.prepare();
            const Snapshot before = Take();
            c.change();
            Frame().TreePane()->Tree()->setFocus(); // typing ends
            const Snapshot after = Take();
            QVERIFY2(!(after == before), c.name);
            QVERIFY2(Doc().IsModified(), c.name);
            QVERIFY2(Doc().History().count() == 1, c.name);
            Run(Cmd::Undo);
            QVERIFY2(Take() == before, c.name);
            QVERIFY2(!Doc().IsModified(), c.name);
            Run(Cmd::Redo);
            QVERIFY2(Take() == after, c.name);
            QVERIFY2(Doc().IsModified(), c.name);
            // Back again, then forward through the keys of a widget that is no edit box.
            Doc().OnEditCommand(Cmd::EditUndo, Frame().TreePane()->Tree());
            QVERIFY2(Take() == before, c.name);
            Doc().OnEditCommand(Cmd::EditRedo, Frame().TreePane()->Tree());
            QVERIFY2(Take() == after, c.name);
        }
    }

    void aDeletedItemComesBackAfterManyLaterSteps() {
        MakeLibrary();
        Frame().TreePane()->SelectItem(Find("a1"));
        Doc().History().clear();
        Doc().SetModifiedFlag(false);
        const Snapshot start = Take();
        Run(Cmd::DeleteNode);
        QCOMPARE(Frame().statusBar()->currentMessage(), u"項目を削除しました（元に戻す: Ctrl+Z）"_qs);
        QCOMPARE(Frame().Action(Cmd::Undo)->text(), u"元に戻す - 項目の削除(&U)"_qs);
        for (int i = 0; i < 120; ++i) {
            Frame().TreePane()->SelectItem(Find("c"));
            Run(Cmd::AddBanner);
        }
        while (Doc().History().canUndo())
            Run(Cmd::Undo);
        QVERIFY(Take() == start);
        QVERIFY(!Doc().IsModified());
        QVERIFY(!Frame().Action(Cmd::Undo)->isEnabled());
        QCOMPARE(Frame().Action(Cmd::Undo)->text(), u"元に戻す(&U)"_qs);
    }

    // Typing into one field is one step until the focus leaves it; typing it back
    // to what it was leaves nothing to undo. Save keeps the history, and undo past
    // the saved state marks the document again.
    void typingStepsAndTheSavedState() {
        ShowActive();
        MakeLibrary();
        SelectBannerNamed("a1", 0);
        Doc().History().clear();
        Doc().SetModifiedFlag(false);
        QLineEdit* name = Frame().EditorPane()->NameEdit();
        name->setFocus();
        name->selectAll();
        QTest::keyClicks(name, u"abc"_qs);
        QCOMPARE(Doc().History().count(), 1);
        Frame().TreePane()->Tree()->setFocus();
        name->setFocus();
        QTest::keyClicks(name, u"d"_qs);
        QCOMPARE(Doc().History().count(), 2);
        // The keys undo the text of the edit box with the focus; the menu always the document's step.
        Doc().OnEditCommand(Cmd::EditUndo, name);
        QCOMPARE(Doc().History().index(), 2);
        QVERIFY(name->text() != u"abcd"_qs);
        Run(Cmd::Undo);
        QCOMPARE(Doc().State().currentBanner->name, std::string("abc"));
        QCOMPARE(name->text(), u"abc"_qs);
        const QString file = Path("history.zva");
        m_prompter->saveNames = {file};
        Run(Cmd::FileSave);
        QVERIFY(!Doc().IsModified());
        QVERIFY(Doc().History().canUndo());
        Run(Cmd::Undo);
        QVERIFY(Doc().IsModified());
        QCOMPARE(Doc().State().currentBanner->name, LibraryTexts::NewBannerName());
        Run(Cmd::Redo);
        QVERIFY(!Doc().IsModified());
        // Typed away and back: no step, not modified.
        Frame().TreePane()->Tree()->setFocus();
        name->setFocus();
        const int at = Doc().History().index();
        QTest::keyClicks(name, u"x"_qs);
        QTest::keyClick(name, Qt::Key_Backspace);
        QCOMPARE(Doc().History().index(), at);
        QVERIFY(!Doc().IsModified());
        // New clears the history.
        Run(Cmd::FileNew);
        QVERIFY(!Doc().History().canUndo());
    }

    void treeKeysAndBannerOrder() {
        ShowActive();
        MakeLibrary();
        QTreeWidget* tree = Frame().TreePane()->Tree();
        Frame().TreePane()->SelectItem(Find("c"));
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_F2);
        QCOMPARE(QApplication::focusWidget(), Frame().ListPane()->TitleEdit());
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Delete);
        QVERIFY(!Find("c"));
        // Alt+Up on a sorted list: back to the item's order first, and said.
        Frame().TreePane()->SelectItem(Find("a1"));
        LibraryNode* a1 = Node(Frame(), Find("a1"));
        a1->banners[0]->name = "b";
        a1->banners[1]->name = "a";
        Frame().ListPane()->Refresh(99);
        Frame().ListPane()->SortByColumn(2);
        QCOMPARE(Frame().ListPane()->RowBanner(0), a1->banners[1].get());
        Frame().ListPane()->SelectRow(1); // "b", first in the item's order
        QTableWidget* list = Frame().ListPane()->BannerList();
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(a1->banners[0]->name, std::string("a"));
        QVERIFY(!Frame().ListPane()->IsSorted());
        QCOMPARE(Frame().ListPane()->RowBanner(1), Doc().State().currentBanner);
        QCOMPARE(Frame().statusBar()->currentMessage(), u"列の並べ替えを解除し、保存される順序で表示しました。"_qs);
        QTest::keyClick(list, Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(a1->banners[0]->name, std::string("b"));
        QCOMPARE(Frame().ListPane()->RowBanner(0), Doc().State().currentBanner);
    }

    // A copy is kept while changes are unsaved and goes with them; the next run
    // offers a copy left behind and opens it as a modified document.
    void recoveryCopiesFollowUnsavedChanges() {
        MakeLibrary();
        CRecoveryKeeper& keeper = Doc().Recovery();
        QSignalSpy written(&keeper, &CRecoveryKeeper::written);
        const QString saved = Path("recovered.zva");
        m_prompter->saveNames = {saved};
        Run(Cmd::FileSave);
        Frame().TreePane()->SelectItem(Find("c"));
        Run(Cmd::AddBanner);
        QVERIFY(written.wait(5000));
        QCOMPARE(written.last().first().toBool(), true);
        const std::string copy = keeper.File();
        QFileInfo info(QString::fromStdString(copy));
        QVERIFY(info.exists());
        QCOMPARE(info.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        std::string expected;
        QVERIFY(EncodeLibrary(Doc().Library(), expected));
        // Undo back to the saved state: nothing is unsaved, so no copy.
        Run(Cmd::Undo);
        QVERIFY(!QFileInfo::exists(info.filePath()));
        Run(Cmd::Redo);
        QVERIFY(written.wait(5000));
        // The run ends without a word: the copy stays behind under another name.
        const QString left = info.path() + u"/left.zvr"_qs;
        QVERIFY(QFile::copy(info.filePath(), left));
        QByteArray onDisk = ReadAll(saved);
        cleanup();
        init();
        QVERIFY(!QFileInfo::exists(info.filePath())); // an orderly end removes its own
        Doc().OnFirstInit();
        m_prompter->answers = {Answer::Yes};
        Doc().OfferRecovery();
        QVERIFY(m_prompter->LastText().startsWith(u"保存されていない変更が見つかりました。「recovered.zva」（"_qs));
        QVERIFY(m_prompter->LastText().endsWith(u"）を復元しますか？"_qs));
        std::string back;
        QVERIFY(EncodeLibrary(Doc().Library(), back));
        QVERIFY(back == expected);
        QVERIFY(Doc().IsModified());
        QCOMPARE(Doc().FilePath(), saved);
        QCOMPARE(ReadAll(saved), onDisk);
        // Saved: the copy is done with.
        Run(Cmd::FileSave);
        QVERIFY(!QFileInfo::exists(left));
        QCOMPARE(ReadAll(saved).size(), qsizetype(back.size()));
    }

    void declinedAndUnreadableCopies() {
        Doc().OnFirstInit();
        const std::string folder = RecoveryFile::Folder();
        AdLibrary lib;
        InitEmptyLibrary(lib);
        for (const char* name : {"later.zvr", "drop.zvr"})
            QVERIFY(RecoveryFile::Write(folder + name, {"", 0}, [&lib](const RecoveryFile::Sink& sink) {
                std::string bytes;
                return EncodeLibrary(lib, bytes) && sink(bytes);
            }));
        QVERIFY(FileOps::WriteWholeFile(folder + "broken.zvr", "not a copy"));
        // Of one age, so they come in the order of their names.
        for (const char* name : {"later.zvr", "drop.zvr", "broken.zvr"}) {
            const struct timespec times[2] = {{1000, 0}, {1000, 0}};
            QCOMPARE(::utimensat(AT_FDCWD, (folder + name).c_str(), times, 0), 0);
        }
        // broken: said; drop: not restored, deleted; later: not restored, kept.
        m_prompter->answers = {Answer::Ok, Answer::No, Answer::Yes, Answer::No, Answer::No};
        Doc().OfferRecovery();
        QStringList texts;
        for (const auto& shown : m_prompter->shown)
            texts << shown.text.section(u'\n', 0, 0);
        QVERIFY(texts.contains(u"復元用のファイルを読み込めませんでした。"_qs));
        QCOMPARE(texts.filter(u"保存されていない変更が見つかりました。「無題」（"_qs).size(), 2);
        QVERIFY(FileOps::FileExists(folder + "broken.zvr" + RecoveryFile::kSetAsideExtension));
        QCOMPARE(int(std::count_if(m_prompter->shown.begin(), m_prompter->shown.end(),
                                   [](const auto& s) { return s.buttons == Prompter::Buttons::DeleteLater; })),
                 2);
        QVERIFY(FileOps::FileExists(folder + "later.zvr"));
        QVERIFY(!FileOps::FileExists(folder + "drop.zvr"));
        QVERIFY(!Doc().IsModified());
        FileOps::RemoveFileRetry(folder + "later.zvr");
        FileOps::RemoveFileRetry(folder + "drop.zvr");
        FileOps::RemoveFileRetry(folder + "broken.zvr" + RecoveryFile::kSetAsideExtension);
    }

    void deletingAFolderAsksOnceAndRemovesTheSubtree() {
        MakeLibrary();
        Frame().TreePane()->SelectItem(Find("A"));
        m_prompter->answers = {Answer::Cancel};
        Run(Cmd::DeleteNode);
        QCOMPARE(m_prompter->shown.size(), std::size_t(1));
        QCOMPARE(m_prompter->LastText(), u"フォルダを削除すると下層の全てが削除されます。"_qs);
        QVERIFY(Find("A"));
        m_prompter->answers = {Answer::Ok};
        Run(Cmd::DeleteNode);
        QCOMPARE(m_prompter->shown.size(), std::size_t(2));
        QVERIFY(!Find("A") && !Find("a1") && !Find("B"));
        // The tree selected a neighbour and the document follows it.
        QCOMPARE(Doc().State().currentNode, Node(Frame(), Frame().TreePane()->SelectedItem()));
        QString file = Path("deleted.zva");
        m_prompter->saveNames = {file};
        Run(Cmd::FileSave);
        AdLibrary back;
        QVERIFY(LoadLibrary(back, file.toStdString()));
        QCOMPARE(back.root.children.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(back.root.children[0]->title), u"c"_qs);
    }

    void bannerRowsFollowAddAndDelete() {
        MakeLibrary();
        Frame().TreePane()->SelectItem(Find("a1"));
        CRightView* list = Frame().ListPane();
        QCOMPARE(list->RowCount(), 2);
        Run(Cmd::AddBanner);
        QCOMPARE(list->SelectedRow(), 2);
        QCOMPARE(list->BannerList()->item(2, 2)->text(), u"新しい広告データ"_qs);
        QCOMPARE(list->BannerList()->item(2, 0)->text(), u"その他"_qs);
        list->SelectRow(1);
        Run(Cmd::DeleteBanner);
        QCOMPARE(list->RowCount(), 2);
        QCOMPARE(list->SelectedRow(), 1); // the row that moved up
        list->SelectRow(1);
        Run(Cmd::DeleteBanner);
        QCOMPARE(list->SelectedRow(), -1); // the last row leaves nothing selected
        QCOMPARE(CountLiveBanners(*Doc().State().currentNode), 1);
    }

    // Every expanded folder shows the open image, also those the first expansion opened.
    void folderImagesFollowExpansion() {
        MakeLibrary();
        QTreeWidget* tree = Frame().TreePane()->Tree();
        auto image = [](const char* name) {
            return QIcon(QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".svg")).pixmap(16).toImage();
        };
        auto check = [&] {
            for (QTreeWidgetItemIterator it(tree); *it; ++it) {
                const LibraryNode* node = CLeftView::NodeOf(*it);
                if (!node->IsFolder() || node->IsRoot())
                    continue;
                QCOMPARE((*it)->icon(0).pixmap(16).toImage(),
                         image((*it)->isExpanded() ? "folder_open" : "folder_closed"));
            }
        };
        Frame().TreePane()->Rebuild();
        check();
        QTreeWidgetItem* folder = Find("A");
        QVERIFY(folder && folder->isExpanded());
        folder->setExpanded(false);
        check();
    }

    void draggingMovesOnlyWhereAllowed() {
        MakeLibrary();
        DragTreeCtrl* tree = Frame().TreePane()->Tree();
        Frame().show();
        QVERIFY(QTest::qWaitForWindowExposed(&Frame()));
        auto drag = [&](QTreeWidgetItem* from, QTreeWidgetItem* to, bool escape) {
            QPoint start = tree->visualItemRect(from).center();
            QPoint end = tree->visualItemRect(to).center();
            QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, start);
            QMouseEvent move(QEvent::MouseMove, start + QPoint(0, 20), tree->viewport()->mapToGlobal(start + QPoint(0, 20)),
                             Qt::NoButton, Qt::LeftButton, {});
            QApplication::sendEvent(tree->viewport(), &move);
            QVERIFY(tree->IsDragging());
            QMouseEvent over(QEvent::MouseMove, end, tree->viewport()->mapToGlobal(end), Qt::NoButton, Qt::LeftButton, {});
            QApplication::sendEvent(tree->viewport(), &over);
            if (escape) {
                QTest::keyClick(tree, Qt::Key_Escape);
                QVERIFY(!tree->IsDragging());
            }
            QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, end);
        };
        // Onto itself and onto its own descendant: nothing, no message.
        drag(Find("A"), Find("A"), false);
        drag(Find("A"), Find("B"), false);
        QCOMPARE(Titles(Root(Frame())), (QStringList{u"A"_qs, u"c"_qs}));
        QVERIFY(m_prompter->shown.empty());
        // Onto an ad item: refused with the message.
        drag(Find("B"), Find("c"), false);
        QCOMPARE(m_prompter->LastText(), u"この場所にはデータを移動できません"_qs);
        // Escape cancels.
        drag(Find("c"), Find("B"), true);
        QCOMPARE(Titles(Root(Frame())), (QStringList{u"A"_qs, u"c"_qs}));
        // A real move: c into B, with a fresh identifier.
        std::string oldId = Node(Frame(), Find("c"))->id;
        drag(Find("c"), Find("B"), false);
        QCOMPARE(Titles(Root(Frame())), (QStringList{u"A"_qs}));
        QCOMPARE(Titles(Find("B")), (QStringList{u"c"_qs}));
        QVERIFY(Node(Frame(), Find("c"))->id != oldId);
        QCOMPARE(Frame().TreePane()->SelectedItem(), Find("c"));
    }

    void saveQuestionsAndFailures() {
        MakeLibrary();
        QVERIFY(Doc().IsModified());
        // Untitled: Save goes to Save As; cancelling it keeps everything.
        Run(Cmd::FileSave);
        QCOMPARE(m_prompter->saveDialogs, 1);
        QVERIFY(Doc().IsModified());
        // A failed save reports and stays modified.
        m_prompter->saveNames = {Path("no/such/dir/x.zva")};
        Run(Cmd::FileSaveAs);
        QCOMPARE(m_prompter->LastText(), u"ファイルの保存に失敗しました。"_qs);
        QCOMPARE(m_prompter->shown.back().icon, Prompter::Icon::Exclamation);
        QVERIFY(Doc().IsModified());
        QCOMPARE(Doc().Title(), u"無題"_qs);
        // Save As succeeds: title and last_file follow.
        QString file = Path("lib.zva");
        m_prompter->saveNames = {file};
        Run(Cmd::FileSaveAs);
        QVERIFY(!Doc().IsModified());
        QCOMPARE(Doc().Title(), u"lib.zva"_qs);
        QCOMPARE(Cp932Qt::ToQt(m_lastFile), file);
        QCOMPARE(Frame().windowTitle(), u"Zelvor管理 - lib.zva"_qs);
        // The file vanished: Save asks for a name again.
        QFile::remove(file);
        Frame().TreePane()->SelectItem(Find("c"));
        Run(Cmd::AddBanner);
        int before = m_prompter->saveDialogs;
        Run(Cmd::FileSave);
        QCOMPARE(m_prompter->saveDialogs, before + 1);
        // New with changes: No discards, Cancel stops, and New then Save asks again.
        m_prompter->answers = {Answer::Cancel};
        Run(Cmd::FileNew);
        QVERIFY(Find("A"));
        m_prompter->answers = {Answer::No};
        Run(Cmd::FileNew);
        QVERIFY(!Find("A"));
        QCOMPARE(Doc().Title(), u"無題"_qs);
        QVERIFY(m_lastFile.empty());
    }

    void closingAsksAndAFailedSaveKeepsRunning() {
        MakeLibrary();
        Frame().show();
        QVERIFY(QTest::qWaitForWindowExposed(&Frame()));
        m_prompter->answers = {Answer::Yes};
        m_prompter->saveNames = {Path("no/such/dir/x.zva")};
        QVERIFY(!Frame().close());
        QCOMPARE(m_prompter->shown.front().text, u"内容が更新されています。\n保存しますか？"_qs);
        QCOMPARE(m_prompter->LastText(), u"ファイルの保存に失敗しました。"_qs);
        QVERIFY(Frame().isVisible());
        QVERIFY(Doc().IsModified());
        m_prompter->answers = {Answer::Cancel};
        QVERIFY(!Frame().close());
        m_prompter->answers = {Answer::No};
        QVERIFY(Frame().close());
    }

    void openCancelAndFailure() {
        MakeLibrary();
        // "No" at the question, then cancelling the dialog keeps the modified library.
        m_prompter->answers = {Answer::No};
        Run(Cmd::FileOpen);
        QVERIFY(Find("A"));
        QVERIFY(Doc().IsModified());
        // A broken file: message, then an empty untitled library.
        QString broken = Path("broken.zva");
        QVERIFY(FileOps::WriteWholeFile(broken.toStdString(), "not a library"));
        m_prompter->answers = {Answer::No};
        m_prompter->openNames = {broken};
        Run(Cmd::FileOpen);
        QCOMPARE(m_prompter->LastText(), u"ファイルの読み込みに失敗しました。"_qs);
        QVERIFY(!Find("A"));
        QCOMPARE(Doc().Title(), u"無題"_qs);
        QVERIFY(!Doc().IsModified());
    }

    void copiedItemSurvivesOpen() {
        MakeLibrary();
        QString file = Path("copy.zva");
        m_prompter->saveNames = {file};
        Run(Cmd::FileSaveAs);
        Frame().TreePane()->SelectItem(Find("a1"));
        Run(Cmd::CopyItem);
        m_prompter->openNames = {file};
        Run(Cmd::FileOpen);
        Frame().TreePane()->SelectItem(Root(Frame()));
        Run(Cmd::PasteItem);
        QCOMPARE(Titles(Root(Frame())), (QStringList{u"A"_qs, u"c"_qs, u"a1"_qs}));
    }

    void reopenAtStart() {
        MakeLibrary();
        QString file = Path("reopen.zva");
        m_prompter->saveNames = {file};
        Run(Cmd::FileSaveAs);
        cleanup();
        init();
        m_lastFile = Cp932Qt::FromQt(file);
        Doc().OnFirstInit();
        QVERIFY(Find("a1"));
        QCOMPARE(Doc().Title(), u"reopen.zva"_qs);
        QVERIFY(m_prompter->shown.empty());
        // A damaged last file: the start-up message and an untitled library.
        QVERIFY(FileOps::WriteWholeFile(file.toStdString(), "zova_af_datafilX"));
        cleanup();
        init();
        m_lastFile = Cp932Qt::FromQt(file);
        Doc().OnFirstInit();
        QCOMPARE(m_prompter->LastText(), u"前回のファイルの読み込みに失敗しました。"_qs);
        QVERIFY(m_lastFile.empty());
        QCOMPARE(Doc().Title(), u"無題"_qs);
        // The same file named on the command line: named back.
        cleanup();
        init();
        m_lastFile = Cp932Qt::FromQt(file);
        Doc().SetStartFileNamed(true);
        Doc().OnFirstInit();
        QCOMPARE(m_prompter->LastText(), u"ファイルの読み込みに失敗しました。\n"_qs + file);
        // A last file that no longer exists: untitled, no message.
        cleanup();
        init();
        m_lastFile = Cp932Qt::FromQt(Path("gone.zva"));
        Doc().OnFirstInit();
        QVERIFY(m_prompter->shown.empty());
        QCOMPARE(Doc().Title(), u"無題"_qs);
    }

    void linkMenuFollowsTheList() {
        std::vector<LinkEntry> links;
        Frame().SetLinkSource([&links] { return links; });
        QStringList opened;
        Frame().SetUrlOpener([&opened](const QString& url) { opened << url; });
        auto tail = [this] {
            QList<QAction*> actions = Frame().LinkMenu()->actions();
            QList<QAction*> out;
            bool after = false;
            for (QAction* a : actions) {
                if (after)
                    out << a;
                after = after || a->isSeparator();
            }
            return out;
        };
        Q_EMIT Frame().LinkMenu()->aboutToShow();
        QCOMPARE(tail().size(), 1);
        QCOMPARE(tail()[0]->text(), u"なし"_qs);
        QVERIFY(!tail()[0]->isEnabled());
        QCOMPARE(tail()[0]->statusTip(), u"リンクがありません。"_qs);

        links = {{u"A8"_qs, u"https://a8.example/"_qs}, {u"VC"_qs, QString()}, {u"afb"_qs, u"www.afb.example"_qs}};
        for (int pass = 0; pass < 2; ++pass) {
            Q_EMIT Frame().LinkMenu()->aboutToShow();
            QList<QAction*> items = tail();
            QCOMPARE(items.size(), 3);
            QCOMPARE(items[0]->text(), u"A8"_qs);
            QVERIFY(items[0]->isEnabled() && !items[1]->isEnabled() && items[2]->isEnabled());
            QCOMPARE(items[0]->statusTip(), u"https://a8.example/"_qs);
            QCOMPARE(items[1]->statusTip(), u"リンク先が設定されていません。"_qs);
        }
        // An address without a scheme opens as a web address, not a local file.
        tail()[2]->trigger();
        QCOMPARE(opened, QStringList{u"http://www.afb.example"_qs});
    }

    void geometryRules() {
        QScreen* screen = QGuiApplication::primaryScreen();
        QRect area = screen->geometry();
        // Off screen to the right: the stored rectangle is ignored.
        WindowGeometry wide;
        wide.x = 100;
        wide.y = 10;
        wide.width = area.width() + 500;
        wide.height = 300;
        CMainFrame offscreen(Doc(), wide);
        QVERIFY(offscreen.width() != wide.width);
        // Fits: applied; panes default to 240/400 and 240/240 on a first run.
        WindowGeometry fits;
        fits.x = 10;
        fits.y = 20;
        fits.width = 700;
        fits.height = 500;
        CMainFrame placed(Doc(), fits);
        QCOMPARE(placed.pos(), QPoint(10, 20));
        QCOMPARE(placed.size(), QSize(700, 500));
        placed.show();
        QVERIFY(QTest::qWaitForWindowExposed(&placed));
        QCOMPARE(placed.OuterSplitter()->sizes().value(0), 240);
        QCOMPARE(placed.InnerSplitter()->sizes().value(0), 240);
        WindowGeometry stored = placed.CurrentGeometry();
        QCOMPARE(stored.x, 10);
        QCOMPARE(stored.width, 700);
        QCOMPARE(stored.leftWidth, 240);
        // Maximised: the restored rectangle is what is stored.
        placed.showMaximized();
        QCoreApplication::processEvents();
        QCOMPARE(placed.CurrentGeometry().width, 700);
    }

    void associationRoundTrip() {
        std::string dir = m_module.path().toStdString() + "/";
        QVERIFY(!Association::IsAssociated(dir));
        QVERIFY(!Association::Unassociate()); // nothing to remove
        QVERIFY(FileOps::WriteWholeFile(dir + "zva_document.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>"));
        QVERIFY(Association::Associate(dir));
        QVERIFY(Association::IsAssociated(dir));
        // The desktop sees it: the type of a .zva file, its default program and its icon.
        auto xdgMime = [](const QStringList& args) {
            QProcess p;
            p.start(u"xdg-mime"_qs, args);
            return p.waitForFinished(20000) ? QString::fromUtf8(p.readAllStandardOutput()).trimmed() : QString();
        };
        const QString sample = m_module.filePath(u"x.zva"_qs);
        QVERIFY(FileOps::WriteWholeFile(sample.toStdString(), ""));
        QCOMPARE(xdgMime({u"query"_qs, u"filetype"_qs, sample}), QString::fromLatin1(Association::kMimeType));
        QCOMPARE(xdgMime({u"query"_qs, u"default"_qs, QString::fromLatin1(Association::kMimeType)}),
                 u"Zova.AffiliateManage.desktop"_qs);
        QVERIFY(QFileInfo::exists(m_xdg.filePath(u"data/icons/hicolor/scalable/mimetypes/application-x-zova-af.svg"_qs)));
        // Letter case of the path does not matter; another folder does.
        QVERIFY(Association::IsAssociated(QString::fromStdString(dir).toUpper().toStdString()));
        QVERIFY(!Association::IsAssociated(dir + "moved/"));
        QVERIFY(Association::Unassociate());
        QVERIFY(!Association::IsAssociated(dir));
    }

    // Start-up and shutdown through the application object: the command line
    // wins over use_last_file = 0, the association prompt is answered "いいえ"
    // with "don't ask again", and shutdown writes what changed.
    void startUpAndShutDown() {
        cleanup();
        std::string module = m_module.path().toStdString() + "/";
        ModuleDir::SetOverride(module);
        m_prompter = std::make_unique<ScriptedPrompter>();
        QString library = Path("cmdline.zva");
        {
            AdLibrary lib;
            InitEmptyLibrary(lib);
            LibraryNode item;
            item.title = "from the command line";
            AddChildCopy(lib.root, item);
            QVERIFY(SaveLibrary(lib, library.toStdString()));
        }
        QVERIFY(FileOps::WriteWholeFile(module + "zova_af.ini",
                                        "[ZOVA_AF_SETTING]\r\nuse_last_file=0\r\nlast_file=/nowhere/old.zva\r\n"
                                        "last_index=41\r\n"));
        QVERIFY(FileOps::MakeDirRetry(module + "html"));
        QVERIFY(FileOps::WriteWholeFile(module + "html/prevpage.html", "x"));

        CAfManagerApp::Hooks hooks;
        hooks.showSplash = false;
        CAfManagerApp app(hooks);
        bool prompted = false;
        QTimer::singleShot(0, this, [&prompted] {
            QWidget* modal = QApplication::activeModalWidget();
            QVERIFY(modal);
            QCOMPARE(modal->windowTitle(), u"Zelvor管理 - アプリケーションの関連付け"_qs);
            modal->findChild<QCheckBox*>(u"dontShowCheckBox"_qs)->setChecked(true);
            modal->findChild<QPushButton*>(u"noPushButton"_qs)->click();
            prompted = true;
        });
        QVERIFY(app.InitInstance({library}));
        QVERIFY(prompted);
        QCOMPARE(app.Document()->Title(), u"cmdline.zva"_qs);
        QVERIFY(app.MainFrame()->isVisible());
        QCOMPARE(app.MainFrame()->windowTitle(), u"Zelvor管理 - cmdline.zva"_qs);
        QString id = QString::fromStdString(MakeNodeId());
        QVERIFY(id.endsWith(u"00000029"_qs)); // continues from last_index 41
        app.MainFrame()->close();
        app.ExitInstance();

        IniDocument ini;
        QVERIFY(ini.Load(module + "zova_af.ini"));
        QCOMPARE(ini.GetInt("ZOVA_AF_SETTING", "regist_message", 1), 0);
        QCOMPARE(ini.GetInt("ZOVA_AF_SETTING", "last_index", 0), 42);
        std::string lastFile;
        ini.GetString("ZOVA_AF_SETTING", "last_file", "", lastFile, 255);
        QCOMPARE(QString::fromStdString(lastFile), library);
        QVERIFY(ini.GetInt("ZOVA_AF_SETTING", "left_w", -1) > 0);
        QVERIFY(!FileOps::FileExists(module + "html/prevpage.html"));
        QVERIFY(!Association::IsAssociated(module));
    }

    // Not a check: with ZOVA_SCREENSHOT_DIR set, saves what the window looks
    // like on the sample library for a person to look at.
    void screenshot() {
        QByteArray dir = qgetenv("ZOVA_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("ZOVA_SCREENSHOT_DIR not set");
        m_lastFile = Cp932Qt::FromQt(QString::fromLocal8Bit(qgetenv("ZOVA_SAMPLE_LIBRARY")));
        Doc().OnFirstInit();
        Frame().resize(1100, 720);
        Frame().show();
        QVERIFY(QTest::qWaitForWindowExposed(&Frame()));
        Frame().TreePane()->SelectItem(Find("記事下 ホテル"));
        Frame().ListPane()->SelectRow(1);
        QCoreApplication::processEvents();
        QVERIFY(Frame().grab().save(QString::fromLocal8Bit(dir) + u"/main_window.png"_qs));
        QMenu* edit = Frame().menuBar()->findChildren<QMenu*>().value(1);
        Q_UNUSED(edit);
        CAboutDlg about(u"https://zelvor.jp/"_qs, {}, &Frame());
        about.show();
        QVERIFY(about.grab().save(QString::fromLocal8Bit(dir) + u"/about.png"_qs));
        CAssociationPromptDlg prompt(&Frame());
        prompt.show();
        QVERIFY(prompt.grab().save(QString::fromLocal8Bit(dir) + u"/association.png"_qs));
        CSplashWnd* splash = new CSplashWnd;
        splash->show();
        QVERIFY(splash->grab().save(QString::fromLocal8Bit(dir) + u"/splash.png"_qs));
        splash->close();
        Frame().NodeMenu()->popup(Frame().mapToGlobal(QPoint(50, 100)));
        QCoreApplication::processEvents();
        QVERIFY(Frame().NodeMenu()->grab().save(QString::fromLocal8Bit(dir) + u"/node_menu.png"_qs));
        Frame().NodeMenu()->hide();
    }

    void lockThatCannotBeMadeIsSaidAndTheProgramRuns() {
        const std::string module = m_module.path().toStdString() + "/";
        QVERIFY(FileOps::WriteWholeFile(module + "zova_af.ini", "[ZOVA_AF_SETTING]\r\nregist_message=0\r\n"));
        // No runtime, cache or home folder: nowhere safe for the lock file.
        const QByteArray saved[] = {qgetenv("HOME"), qgetenv("XDG_RUNTIME_DIR"), qgetenv("XDG_CACHE_HOME")};
        const char* names[] = {"HOME", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"};
        for (const char* name : names)
            qunsetenv(name);
        CAfManagerApp::Hooks hooks;
        hooks.showSplash = false;
        CAfManagerApp app(hooks);
        const bool started = app.InitInstance({});
        for (int i = 0; i < 3; ++i)
            if (!saved[i].isNull())
                qputenv(names[i], saved[i]);
        QVERIFY(started);
        QVERIFY(!m_prompter->shown.empty());
        QVERIFY2(m_prompter->shown.front().text.contains(u"ロックファイル"_qs),
                 qPrintable(m_prompter->shown.front().text));
        app.MainFrame()->close();
        app.ExitInstance();
    }

    void anEmptyPublishWindowSaysWhy() {
        AdLibrary library;
        InitEmptyLibrary(library);
        FtpHostList hosts;
        AppSettings settings;
        CPublishDlg dialog(library, {}, hosts, m_module.path().toStdString() + "/", settings);
        bool said = false;
        for (QLabel* label : dialog.findChildren<QLabel*>())
            said = said || label->text().startsWith(u"出力先が設定された広告項目がありません。"_qs);
        QVERIFY(said);
    }

    void secondCopyIsRefusedAndWritesNothing() {
        std::string ini = m_module.path().toStdString() + "/zova_af.ini";
        QVERIFY(FileOps::WriteWholeFile(ini, "[ZOVA_AF_SETTING]\r\nlast_index=7\r\n"));
        InstanceLock running;
        QCOMPARE(running.Acquire("ZOVA_AF_MUTEX"), InstanceLock::Result::Acquired);
        CAfManagerApp::Hooks hooks;
        hooks.showSplash = false;
        CAfManagerApp second(hooks);
        QVERIFY(!second.InitInstance({}));
        second.ExitInstance();
        QCOMPARE(m_prompter->shown.size(), std::size_t(1));
        QCOMPARE(m_prompter->LastText(), u"すでに起動しています。"_qs);
        std::string after;
        QVERIFY(FileOps::ReadWholeFile(ini, after));
        QCOMPARE(after, std::string("[ZOVA_AF_SETTING]\r\nlast_index=7\r\n"));
    }
};

QTEST_MAIN(AdManagerWindowTest)
#include "AdManagerWindowTest.moc"
