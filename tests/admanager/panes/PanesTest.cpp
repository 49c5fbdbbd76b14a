#include "admanager/CommandIds.h"
#include "admanager/htmlgen/AdBlockGenerator.h"
#include "admanager/htmlgen/PreviewPages.h"
#include "admanager/library/BannerRules.h"
#include "admanager/library/ui/AfManagerDoc.h"
#include "admanager/library/ui/LeftView.h"
#include "admanager/panes/DataCtrlView.h"
#include "admanager/panes/RightView.h"
#include "admanager/shell/MainFrame.h"
#include "common/Cp932.h"
#include "common/FileOps.h"
#include "common/ModuleDir.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/WebBrowser2.h"
#include "tests/common/ui/ScriptedPrompter.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QTreeWidget>
#include <QWebEngineView>

using testutil::ScriptedPrompter;

namespace {

std::string J(const char* utf8) {
    return Cp932::FromUtf8(utf8);
}

} // namespace

class PanesTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_module;
    std::string m_moduleDir;
    std::string m_lastFile;
    AppSettings m_settings;
    AspList m_aspList;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<CAfManagerDoc> m_doc;
    std::unique_ptr<CMainFrame> m_frame;
    LibraryNode* m_item = nullptr;
    QTreeWidgetItem* m_itemRow = nullptr;

    CRightView& List() { return *m_frame->ListPane(); }
    CDataCtrlView& Editor() { return *m_frame->EditorPane(); }
    QString Page(const char* name) { return QString::fromStdString(m_moduleDir + "html/" + name); }
    QString Shown() { return Editor().Browser()->LastAddress(); }
    QString Cell(int row, int column) {
        QTableWidgetItem* item = List().BannerList()->item(row, column);
        return item ? item->text() : QString();
    }
    QTreeWidgetItem* Root() { return m_frame->TreePane()->Tree()->topLevelItem(0); }

    void MakeFrame() {
        m_doc = std::make_unique<CAfManagerDoc>(m_lastFile, m_settings, m_aspList);
        m_frame = std::make_unique<CMainFrame>(*m_doc, WindowGeometry{});
    }

    // An ad item "item" with banners b1 (cpm 30), b2 (cpm 10), b3 (cpm 20), and a folder.
    void MakeLibrary() {
        m_doc->OnFirstInit();
        m_frame->TreePane()->SelectItem(Root());
        m_frame->Action(Cmd::NewFolder)->trigger();
        m_frame->TreePane()->SelectItem(Root());
        m_frame->Action(Cmd::NewItem)->trigger();
        m_itemRow = m_frame->TreePane()->SelectedItem();
        m_item = m_doc->State().currentNode;
        m_item->title = "item";
        m_frame->TreePane()->RetitleSelected();
        const std::int32_t cpms[] = {30, 10, 20};
        for (int i = 0; i < 3; ++i) {
            Banner& b = AppendBanner(*m_item);
            b.name = "b" + std::to_string(i + 1);
            b.cpm = cpms[i];
            b.tag = "<b>tag " + std::to_string(i + 1) + "</b>";
        }
        SelectItem();
        m_doc->SetModifiedFlag(false);
        m_prompter->Clear();
    }
    void SelectItem() {
        m_frame->TreePane()->SelectItem(Root());
        m_frame->TreePane()->SelectItem(m_itemRow);
    }
    QTreeWidgetItem* Folder() { return Root()->child(0); }

private Q_SLOTS:
    void init() {
        m_moduleDir = m_module.path().toStdString() + "/";
        ModuleDir::SetOverride(m_moduleDir);
        if (!FileOps::IsDirectory(m_moduleDir + "html")) {
            FileOps::RemoveFileRetry(m_moduleDir + "html"); // left by the unwritable-page case
            QVERIFY(FileOps::MakeDirRetry(m_moduleDir + "html"));
        }
        QVERIFY(FileOps::WriteWholeFile(m_moduleDir + "html/null.html", "<html></html>\n"));
        QVERIFY(FileOps::WriteWholeFile(m_moduleDir + "html/top.html", "<html>top</html>\n"));
        m_lastFile.clear();
        m_settings = AppSettings();
        m_settings.checkVersion = 0;
        m_aspList.entries = {{J("A8.net"), "", "", ""}, {J("ValueCommerce"), "", "", ""}};
        m_prompter = std::make_unique<ScriptedPrompter>();
        MakeFrame();
    }

    void cleanup() {
        m_frame.reset();
        m_doc.reset();
        m_prompter.reset();
        ModuleDir::SetOverride("");
    }

    void paneStatesFollowTheNode() {
        MakeLibrary();
        auto fieldsEnabled = [this] {
            return Editor().NameEdit()->isEnabled() || Editor().AspCombo()->isEnabled() ||
                   Editor().TagEdit()->isEnabled() || Editor().TagCheck()->isEnabled();
        };
        // Root: title read-only, comment and button off, grey empty list, editor off.
        m_frame->TreePane()->SelectItem(Root());
        QVERIFY(List().TitleEdit()->isReadOnly() && List().TitleEdit()->isEnabled());
        QVERIFY(!List().CommentEdit()->isEnabled() && !List().GenerateButton()->isEnabled());
        QCOMPARE(List().RowCount(), 0);
        QCOMPARE(List().BannerList()->palette().color(QPalette::Base), QColor(212, 208, 200));
        QVERIFY(!fieldsEnabled());
        // Folder: both edits writable, button off, grey list.
        m_frame->TreePane()->SelectItem(Folder());
        QVERIFY(!List().TitleEdit()->isReadOnly() && List().CommentEdit()->isEnabled());
        QVERIFY(!List().GenerateButton()->isEnabled());
        QCOMPARE(List().BannerList()->palette().color(QPalette::Base), QColor(212, 208, 200));
        QVERIFY(!fieldsEnabled());
        // Ad item: white list of black text, button on; the editor waits for a row.
        SelectItem();
        QVERIFY(List().GenerateButton()->isEnabled());
        QCOMPARE(List().BannerList()->palette().color(QPalette::Base), QColor(Qt::white));
        QCOMPARE(List().BannerList()->palette().color(QPalette::Text), QColor(Qt::black));
        QCOMPARE(List().RowCount(), 3);
        QVERIFY(!fieldsEnabled());
        List().SelectRow(1);
        QVERIFY(Editor().NameEdit()->isEnabled() && Editor().TagCheck()->isEnabled());
        QCOMPARE(Editor().NameEdit()->text(), u"b2"_qs);
        QCOMPARE(Editor().CpmEdit()->text(), u"10"_qs);
        QCOMPARE(Editor().TagEdit()->toPlainText(), u"<b>tag 2</b>"_qs);
        // The generation dialog opens for the item; closing it untouched changes nothing.
        QTimer::singleShot(0, [] {
            QWidget* dlg = QApplication::activeModalWidget();
            QVERIFY(dlg);
            QCOMPARE(dlg->windowTitle(), u"Zelvor管理 - HTML生成"_qs);
            dlg->close();
        });
        List().GenerateButton()->click();
        QVERIFY(!m_doc->IsModified());
    }

    void keystrokesStoreIntoTheBannerAndTheRow() {
        MakeLibrary();
        List().SelectRow(0);
        Banner* banner = m_doc->State().currentBanner;
        QVERIFY(banner);
        QSignalSpy changed(m_doc.get(), &CAfManagerDoc::stateChanged);
        Editor().CpmEdit()->clear();
        QTest::keyClicks(Editor().CpmEdit(), u"12abc"_qs);
        QCOMPARE(banner->cpm, 12);
        QCOMPARE(Cell(0, 3), u"12"_qs);
        QCOMPARE(Editor().CpmEdit()->text(), u"12abc"_qs); // not reformatted while typing
        QVERIFY(m_doc->IsModified());
        Editor().CpmEdit()->clear();
        QTest::keyClicks(Editor().CpmEdit(), u"abc"_qs);
        QCOMPARE(banner->cpm, 0);
        QCOMPARE(Cell(0, 3), u"0"_qs);

        m_doc->SetModifiedFlag(false);
        Editor().NameEdit()->insert(u"名"_qs);
        QCOMPARE(banner->name, J("b1名"));
        QCOMPARE(Cell(0, 2), u"b1名"_qs);
        QVERIFY(m_doc->IsModified());
        Editor().AdvertiserEdit()->insert(u"広告主A"_qs);
        QCOMPARE(Cell(0, 1), u"広告主A"_qs);
        QTest::keyClicks(Editor().FixedRateEdit(), u"5"_qs);
        QTest::keyClicks(Editor().FixedFeeEdit(), u"7"_qs);
        QCOMPARE(banner->fixedRate, 5);
        QCOMPARE(banner->fixedFee, 7);
        QCOMPARE(Cell(0, 5), u"5"_qs);
        QCOMPARE(Cell(0, 6), u"7"_qs);

        // Byte limits cut at a character boundary; line breaks are stored as CR LF.
        Editor().NameEdit()->setText(QString(200, QChar(u'あ')));
        QCOMPARE(banner->name.size(), std::size_t(254));
        Editor().TagEdit()->setPlainText(u"<a>\nx"_qs);
        QCOMPARE(banner->tag, std::string("<a>\r\nx"));
        Editor().CommentEdit()->setPlainText(QString(1100, QChar(u'い')));
        QCOMPARE(banner->comment.size(), std::size_t(2046));
        // A refill shows the stored values, numbers as "%d".
        List().SelectRow(1);
        List().SelectRow(0);
        QCOMPARE(Editor().CpmEdit()->text(), u"0"_qs);
        QCOMPARE(Editor().TagEdit()->toPlainText(), u"<a>\nx"_qs);
    }

    void aspChoices() {
        MakeLibrary();
        QComboBox* combo = Editor().AspCombo();
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->itemText(2), u"その他"_qs);
        std::vector<Banner*> banners = List().RowBanners();
        banners[0]->asp = J("Unknown");
        banners[1]->asp.clear();
        banners[2]->asp = J("value");
        // Not in the list: the name itself, after その他, marked; the banner keeps its name.
        List().SelectRow(0);
        QCOMPARE(combo->count(), 4);
        QCOMPARE(combo->currentText(), u"Unknown（未登録）"_qs);
        QCOMPARE(banners[0]->asp, J("Unknown"));
        QVERIFY(!m_doc->IsModified());
        // Picking it again stores the name, not the mark, and the row shows it.
        Q_EMIT combo->activated(3);
        QCOMPARE(banners[0]->asp, J("Unknown"));
        QCOMPARE(Cell(0, 0), u"Unknown"_qs);
        // Empty: becomes "その他"; the other banner's name is no entry any more.
        List().SelectRow(1);
        QCOMPARE(combo->count(), 3);
        QCOMPARE(banners[1]->asp, J("その他"));
        QCOMPARE(combo->currentText(), u"その他"_qs);
        // A prefix, any case.
        List().SelectRow(2);
        QCOMPARE(combo->currentText(), u"ValueCommerce"_qs);
        QCOMPARE(banners[2]->asp, J("value"));
        // Picking stores the entry, updates the row and marks the document.
        List().SelectRow(0);
        combo->setCurrentIndex(1);
        Q_EMIT combo->activated(1);
        QCOMPARE(banners[0]->asp, J("ValueCommerce"));
        QCOMPARE(Cell(0, 0), u"ValueCommerce"_qs);
        QVERIFY(m_doc->IsModified());

        // The list is edited: the shown entry is found again by its prefix.
        m_aspList.entries = {{J("X"), "", "", ""}, {J("ValueCommerce Japan"), "", "", ""}};
        Editor().RefillAspList();
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->currentText(), u"ValueCommerce Japan"_qs);
        QCOMPARE(banners[0]->asp, J("ValueCommerce")); // a refill stores nothing
        m_aspList.entries.clear();
        Editor().Refresh(0);
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->currentText(), u"ValueCommerce（未登録）"_qs);
    }

    void deletedBannersHaveNoRowAndTheGeneratorReadsTheRows() {
        MakeLibrary();
        m_item->banners[1]->live = 0;
        SelectItem();
        QCOMPARE(List().RowCount(), 2);
        List().SelectRow(1);
        QCOMPARE(m_doc->State().currentBanner, m_item->banners[2].get());
        QCOMPARE(Editor().NameEdit()->text(), u"b3"_qs);

        auto generated = [this] {
            std::vector<Banner*> rows = List().RowBanners();
            std::vector<const Banner*> banners(rows.begin(), rows.end());
            AdBlockResult result = GenerateAdBlock(AdBlockOptions{}, banners);
            return result.succeeded ? result.pages.at(0) : std::string();
        };
        std::string page = generated();
        QVERIFY(page.find("tag 1") < page.find("tag 3"));
        QVERIFY(page.find("tag 2") == std::string::npos);
        // Sorted rows: the generator follows the display, the model keeps its order.
        List().SortByColumn(COL_CPM); // ascending: b3 (20), b1 (30)
        page = generated();
        QVERIFY(page.find("tag 3") < page.find("tag 1"));
        QCOMPARE(m_item->banners[0]->name, std::string("b1"));
        QCOMPARE(m_item->banners[2]->name, std::string("b3"));
    }

    // Deleting a row in the middle: the editor shows the banner now in that row,
    // and the banner commands act on it; deleting the last row leaves it disabled.
    void deletingARowShowsTheBannerNowSelected() {
        MakeLibrary();
        List().SelectRow(1); // b2
        m_frame->Action(Cmd::DeleteBanner)->trigger();
        QCOMPARE(List().SelectedRow(), 1);
        QCOMPARE(m_doc->State().currentBanner, m_item->banners[2].get());
        QCOMPARE(Editor().NameEdit()->text(), u"b3"_qs);
        QVERIFY(Editor().NameEdit()->isEnabled());
        QVERIFY(m_frame->Action(Cmd::CopyBanner)->isEnabled());
        Editor().NameEdit()->insert(u"x"_qs);
        QCOMPARE(m_item->banners[2]->name, std::string("b3x"));
        QCOMPARE(m_item->banners[1]->name, std::string("b2"));
        m_frame->Action(Cmd::DeleteBanner)->trigger(); // the last row
        QCOMPARE(List().SelectedRow(), -1);
        QCOMPARE(m_doc->State().currentBanner, nullptr);
        QVERIFY(!Editor().NameEdit()->isEnabled());
        QVERIFY(!m_frame->Action(Cmd::CopyBanner)->isEnabled());
    }

    // The list pane's edits take no more than the node keeps.
    void titleAndCommentTakeWhatIsKept() {
        MakeLibrary();
        List().TitleEdit()->selectAll();
        List().TitleEdit()->insert(QString(300, u'あ'));
        QCOMPARE(List().TitleEdit()->text(), QString(127, u'あ'));
        QCOMPARE(m_item->title.size(), std::size_t(254));
        List().CommentEdit()->insert(QString(600, u'x') + u"😀"_qs);
        QCOMPARE(List().CommentEdit()->text(), QString(510, u'x'));
        QCOMPARE(m_item->comment, std::string(510, 'x'));
    }

    void sortingAlternatesAcrossColumns() {
        MakeLibrary();
        auto names = [this] {
            QStringList out;
            for (int r = 0; r < List().RowCount(); ++r)
                out << Cell(r, 2);
            return out;
        };
        List().SelectRow(0); // b1
        QHeaderView* header = List().BannerList()->horizontalHeader();
        QCOMPARE(List().SortDirection(), 1);
        Q_EMIT header->sectionClicked(3); // CPM ascending
        QCOMPARE(names(), (QStringList{u"b2"_qs, u"b3"_qs, u"b1"_qs}));
        Q_EMIT header->sectionClicked(3); // CPM descending
        QCOMPARE(names(), (QStringList{u"b1"_qs, u"b3"_qs, u"b2"_qs}));
        Q_EMIT header->sectionClicked(2); // name, ascending again
        QCOMPARE(names(), (QStringList{u"b1"_qs, u"b2"_qs, u"b3"_qs}));
        Q_EMIT header->sectionClicked(2); // name descending
        QCOMPARE(names(), (QStringList{u"b3"_qs, u"b2"_qs, u"b1"_qs}));
        // The selection stays on its banner; the model order is untouched.
        QCOMPARE(List().RowBanner(List().SelectedRow()), m_item->banners[0].get());
        QCOMPARE(m_doc->State().currentBanner, m_item->banners[0].get());
        QCOMPARE(m_item->banners[0]->name, std::string("b1"));
        QVERIFY(!m_doc->IsModified());
        // The next refill shows the model order again.
        SelectItem();
        QCOMPARE(names(), (QStringList{u"b1"_qs, u"b2"_qs, u"b3"_qs}));
    }

    void titleEditsRelabelTheTree() {
        MakeLibrary();
        List().TitleEdit()->clear();
        List().TitleEdit()->insert(u"新題"_qs);
        QCOMPARE(m_itemRow->text(0), u"新題"_qs);
        QCOMPARE(m_item->title, J("新題"));
        QVERIFY(m_doc->IsModified());
        List().CommentEdit()->insert(u"メモ"_qs);
        QCOMPARE(m_item->comment, J("メモ"));
        // The root's title cannot be typed into.
        m_frame->TreePane()->SelectItem(Root());
        std::string rootTitle = m_doc->State().currentNode->title;
        QTest::keyClicks(List().TitleEdit(), u"x"_qs);
        QCOMPARE(m_doc->State().currentNode->title, rootTitle);
    }

    void previewFollowsTheCheckBox() {
        MakeLibrary();
        const QString work = Page("workpage.html");
        const QString blank = Page("null.html");
        // No banner: the blank page.
        QCOMPARE(Shown(), blank);
        QVERIFY(!Editor().TagCheck()->isEnabled());
        List().SelectRow(0);
        QCOMPARE(Shown(), blank); // not ticked, preview 0: unchanged
        // Ticking writes the work page from the stored banner.
        Editor().TagCheck()->click();
        QCOMPARE(Shown(), work);
        QCOMPARE(m_settings.preview, 1);
        std::string bytes;
        QVERIFY(FileOps::ReadWholeFile(work.toStdString(), bytes));
        QCOMPARE(bytes,
                 std::string("<html>\n<head>\n<title>b1</title>\n</head>\n<body>\n<b>tag 1</b>\n</body>\n</html>\n"));
        // Typing alone does not refresh; leaving the tag edit does.
        Editor().TagEdit()->setPlainText(u"<i>広告</i>"_qs);
        QVERIFY(FileOps::ReadWholeFile(work.toStdString(), bytes));
        QVERIFY(bytes.find("tag 1") != std::string::npos);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(Editor().TagEdit(), &out);
        QVERIFY(FileOps::ReadWholeFile(work.toStdString(), bytes));
        QVERIFY(bytes.find(J("<i>広告</i>")) != std::string::npos);
        // Another banner while ticked: its page.
        List().SelectRow(2);
        QVERIFY(FileOps::ReadWholeFile(work.toStdString(), bytes));
        QVERIFY(bytes.find("<title>b3</title>") != std::string::npos);
        // A folder keeps the tick remembered while the box is off.
        m_frame->TreePane()->SelectItem(Folder());
        QCOMPARE(Shown(), blank);
        QCOMPARE(m_settings.preview, 1);
        SelectItem();
        List().SelectRow(1);
        QCOMPARE(Shown(), work);
        // Unticking: blank page, preview 0; another banner leaves the blank page.
        Editor().TagCheck()->click();
        QCOMPARE(Shown(), blank);
        QCOMPARE(m_settings.preview, 0);
        Editor().Browser()->Navigate2(std::string("about:blank")); // mark: must stay
        List().SelectRow(2);
        QCOMPARE(Shown(), u"about:blank"_qs);
    }

    void workPageThatCannotBeWritten() {
        MakeLibrary();
        List().SelectRow(0);
        QDir(QString::fromStdString(m_moduleDir + "html")).removeRecursively();
        QVERIFY(FileOps::WriteWholeFile(m_moduleDir + "html", "a file in the way"));
        QString before = Shown();
        Editor().TagCheck()->click();
        QCOMPARE(m_prompter->LastText(), u"プレビューの表示に失敗しました。"_qs);
        QCOMPARE(m_prompter->shown.back().icon, Prompter::Icon::Information);
        QCOMPARE(Shown(), before);
    }

    // Each new document is a run: its first root view is the online page when
    // check_version allows, every later one the top page.
    void rootShowsTheVersionPageOncePerRun() {
        const QString top = Page("top.html");
        for (int check : {1, 0}) {
            m_frame.reset();
            m_doc.reset();
            m_settings.checkVersion = check;
            MakeFrame();
            m_doc->OnFirstInit();
            QVERIFY(m_doc->VersionPagePending());
            m_frame->TreePane()->SelectItem(Root());
            QString first = Shown();
            Editor().Browser()->View()->stop();
            QVERIFY(!m_doc->VersionPagePending());
            m_doc->OnTreeSelectionChanged(m_doc->State().currentNode);
            QCOMPARE(Shown(), top);
            if (check)
                QCOMPARE(first, QString::fromStdString(PreviewPages::VersionPageUrl()));
            else
                QCOMPARE(first, top);
        }
    }

    void editKeysReachTheFocusedEdit() {
        MakeLibrary();
        QClipboard* clipboard = QApplication::clipboard();
        QLineEdit* title = List().TitleEdit();
        m_doc->OnEditCommand(Cmd::SelectAll, title);
        QCOMPARE(title->selectedText(), u"item"_qs);
        m_doc->OnEditCommand(Cmd::EditCut, title);
        QCOMPARE(clipboard->text(), u"item"_qs);
        QCOMPARE(title->text(), QString());
        QCOMPARE(m_item->title, std::string()); // a cut is an edit like any other
        clipboard->setText(u"広告"_qs);
        m_doc->OnEditCommand(Cmd::EditPaste, title);
        QCOMPARE(title->text(), u"広告"_qs);
        QCOMPARE(m_itemRow->text(0), u"広告"_qs);
        m_doc->OnEditCommand(Cmd::EditUndo, title);
        QCOMPARE(title->text(), QString());
        // Paste replaces the selection of a multi-line edit.
        List().SelectRow(0);
        QPlainTextEdit* tag = Editor().TagEdit();
        m_doc->OnEditCommand(Cmd::SelectAll, tag);
        m_doc->OnEditCommand(Cmd::EditCopy, tag);
        QCOMPARE(clipboard->text(), u"<b>tag 1</b>"_qs);
        clipboard->setText(u"<img>"_qs);
        m_doc->OnEditCommand(Cmd::SelectAll, tag);
        m_doc->OnEditCommand(Cmd::EditPaste, tag);
        QCOMPARE(m_item->banners[0]->tag, std::string("<img>"));
        // A read-only edit gives its text away but takes nothing.
        m_frame->TreePane()->SelectItem(Root());
        m_doc->OnEditCommand(Cmd::SelectAll, title);
        m_doc->OnEditCommand(Cmd::EditCut, title);
        QCOMPARE(title->text(), Cp932Qt::ToQt(m_doc->State().currentNode->title));
        // Other widgets ignore the clipboard keys: the tree gives nothing to the
        // clipboard and takes nothing from it, and the library stays as it was.
        QTreeWidget* tree = m_frame->TreePane()->Tree();
        auto treeTexts = [tree] {
            QStringList texts;
            for (QTreeWidgetItemIterator it(tree); *it; ++it)
                texts << (*it)->text(0);
            return texts;
        };
        const QStringList before = treeTexts();
        QTreeWidgetItem* current = tree->currentItem();
        m_doc->SetModifiedFlag(false);
        clipboard->setText(u"広告"_qs);
        for (int id : {Cmd::EditCopy, Cmd::EditCut, Cmd::EditPaste, Cmd::SelectAll})
            m_doc->OnEditCommand(id, tree);
        QCOMPARE(clipboard->text(), u"広告"_qs);
        QCOMPARE(treeTexts(), before);
        QCOMPARE(tree->currentItem(), current);
        QCOMPARE(tree->selectedItems().size(), 1);
        QVERIFY(!m_doc->IsModified());
        // The frame carries the keys, Alt+Backspace among them.
        QVERIFY(m_frame->Action(Cmd::EditUndo)->shortcuts().contains(QKeySequence(u"Alt+Backspace"_qs)));
        QVERIFY(m_frame->Action(Cmd::EditPaste)->shortcuts().contains(QKeySequence(u"Shift+Ins"_qs)));
    }

    // Not a check: with ZOVA_SCREENSHOT_DIR set, saves the window for a person to look at.
    void screenshot() {
        QByteArray dir = qgetenv("ZOVA_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("ZOVA_SCREENSHOT_DIR not set");
        // The shipped pages, not the test's stand-ins.
        for (const char* page : {"top.html", "null.html"}) {
            std::string bytes;
            QVERIFY(FileOps::ReadWholeFile(std::string(ZOVA_TEST_DATA_DIR) + "/../../resources/html/" + page, bytes));
            QVERIFY(FileOps::WriteWholeFile(m_moduleDir + "html/" + page, bytes));
        }
        MakeLibrary();
        m_item->title = J("記事下 ホテル");
        m_frame->TreePane()->RetitleSelected();
        Banner* b = m_item->banners[0].get();
        b->asp = J("A8.net");
        b->advertiser = J("楽天トラベル");
        b->name = J("国内ホテル予約");
        b->comment = J("全国のホテルを最安値で。\r\nポイントも貯まります。");
        b->tag = J("<a href=\"https://example.com/\"><span style=\"font-size:20px;color:#c00\">"
                   "楽天トラベル 国内ホテル予約</span></a>");
        m_frame->resize(1100, 720);
        m_frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
        SelectItem();
        QSignalSpy loaded(Editor().Browser(), &CWebBrowser2::loadFinished);
        List().SelectRow(0);
        Editor().TagCheck()->click();
        QVERIFY(loaded.wait(15000));
        QTest::qWait(300); // let the engine paint before the grab
        QVERIFY(m_frame->grab().save(QString::fromLocal8Bit(dir) + u"/panes_tag_preview.png"_qs));
        m_frame->TreePane()->SelectItem(Root());
        QVERIFY(loaded.wait(15000));
        QTest::qWait(300);
        QVERIFY(m_frame->grab().save(QString::fromLocal8Bit(dir) + u"/panes_root.png"_qs));
        m_frame->TreePane()->SelectItem(Folder());
        QVERIFY(m_frame->grab().save(QString::fromLocal8Bit(dir) + u"/panes_folder.png"_qs));
        // The first run's size: the editor pane scrolls only if its form does not fit.
        m_frame->resize(1000, 700);
        SelectItem();
        List().SelectRow(0);
        QVERIFY(loaded.wait(15000));
        QTest::qWait(300);
        QVERIFY(m_frame->grab().save(QString::fromLocal8Bit(dir) + u"/panes_default_size.png"_qs));
    }
};

QTEST_MAIN(PanesTest)
#include "PanesTest.moc"
