#include "admanager/htmlgen/ui/HtmlGenerateDlg.h"
#include "admanager/CommandIds.h"
#include "admanager/library/ui/AfManagerDoc.h"
#include "admanager/library/ui/LeftView.h"
#include "admanager/panes/RightView.h"
#include "admanager/shell/MainFrame.h"
#include "admanager/upload/UploadJob.h"
#include "admanager/upload/ui/FtpUploadDlg.h"
#include "common/Cp932.h"
#include "common/FileOps.h"
#include "common/ModuleDir.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/WebBrowser2.h"
#include "tests/admanager/upload/FtpTestServer.h"
#include "tests/common/ui/ScriptedPrompter.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

using testutil::ScriptedPrompter;

namespace {

template <typename W> W* Child(QWidget& dlg, const char* name) {
    return dlg.findChild<W*>(QString::fromLatin1(name));
}

std::string Read(const QString& path) {
    std::string text;
    return FileOps::ReadWholeFile(path.toStdString(), text) ? text : std::string("<missing>");
}

// An ASCII-mode transfer may turn line breaks into the server's own.
std::string WithoutCr(std::string text) {
    std::erase(text, '\r');
    return text;
}

// Runs fn on the next modal dialog once it is up.
void OnModal(std::function<void(QDialog&)> fn) {
    QTimer::singleShot(0, [fn] {
        auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dlg);
        fn(*dlg);
    });
}

} // namespace

class HtmlGenerateDlgTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_module;
    std::string m_moduleDir;
    std::string m_lastFile;
    AppSettings m_settings;
    AspList m_aspList;
    FtpHostList m_hosts;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<CAfManagerDoc> m_doc;
    std::unique_ptr<CMainFrame> m_frame;
    LibraryNode* m_item = nullptr;

    // An ad item with nine banners, two columns of two rows in multi-page mode.
    void MakeItem() {
        QTreeWidgetItem* root = m_frame->TreePane()->Tree()->topLevelItem(0);
        m_frame->TreePane()->SelectItem(root);
        m_frame->Action(Cmd::NewItem)->trigger();
        m_item = m_doc->State().currentNode;
        for (int i = 0; i < 9; ++i) {
            Banner& b = AppendBanner(*m_item);
            b.name = "b" + std::to_string(i + 1);
            b.tag = "<b>tag " + std::to_string(i + 1) + "</b>";
        }
        m_item->columnIndex = 1;
        m_item->rowLimit = 1;
        m_item->rowCount = 2;
        m_item->multiPage = 1;
        m_item->tagClass = "ad";
        QTreeWidgetItem* row = m_frame->TreePane()->SelectedItem();
        m_frame->TreePane()->SelectItem(root);
        m_frame->TreePane()->SelectItem(row);
        m_doc->SetModifiedFlag(false);
    }
    std::vector<const Banner*> Banners() {
        std::vector<Banner*> rows = m_frame->ListPane()->RowBanners();
        return {rows.begin(), rows.end()};
    }
    std::unique_ptr<CHtmlGenerateDlg> Dialog() {
        return std::make_unique<CHtmlGenerateDlg>(*m_doc, Banners(), m_hosts, m_moduleDir);
    }
    QString Local(const char* name) { return QString::fromStdString(m_moduleDir) + QString::fromLatin1(name); }

private Q_SLOTS:
    void init() {
        m_moduleDir = m_module.path().toStdString() + "/";
        ModuleDir::SetOverride(m_moduleDir);
        m_lastFile.clear();
        m_settings = AppSettings();
        m_settings.checkVersion = 0;
        m_hosts = {};
        m_prompter = std::make_unique<ScriptedPrompter>();
        m_doc = std::make_unique<CAfManagerDoc>(m_lastFile, m_settings, m_aspList);
        m_doc->SetFtpHosts(&m_hosts);
        m_frame = std::make_unique<CMainFrame>(*m_doc, WindowGeometry{});
        m_doc->OnFirstInit();
        MakeItem();
        m_prompter->Clear();
    }

    void cleanup() {
        for (const char* name : {"ad.html", "ad_001.html", "ad_002.html", "ad_003.html"})
            FileOps::RemoveFileRetry(Local(name).toStdString());
        m_frame.reset();
        m_doc.reset();
        m_prompter.reset();
        ModuleDir::SetOverride("");
    }

    void setUpFromTheItem() {
        m_item->ftpUpload = 1;
        m_item->remoteFile = "/ad.html";
        m_item->layout[1] = LAYOUT_NONE;
        auto dlg = Dialog();
        QCOMPARE(Child<QComboBox>(*dlg, "columnsComboBox")->currentText(), u"２列"_qs);
        QCOMPARE(Child<QComboBox>(*dlg, "layout2ComboBox")->currentText(), u"表示しない"_qs);
        QVERIFY(Child<QRadioButton>(*dlg, "multiPageRadioButton")->isChecked());
        QVERIFY(Child<QCheckBox>(*dlg, "ftpCheckBox")->isChecked());
        QCOMPARE(Child<QLineEdit>(*dlg, "remoteFileLineEdit")->text(), u"/ad.html"_qs);
        // Without the row limit the radios are off, and follow the box.
        auto* rowLimit = Child<QCheckBox>(*dlg, "rowLimitCheckBox");
        rowLimit->click();
        QVERIFY(!Child<QRadioButton>(*dlg, "randomRadioButton")->isEnabled());
        rowLimit->click();
        QVERIFY(Child<QRadioButton>(*dlg, "randomRadioButton")->isEnabled());
    }

    void pageCountDisplay_data() {
        QTest::addColumn<int>("columns");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("shown");
        QTest::newRow("2x2 of 9") << 1 << u"2"_qs << u"3 ページ"_qs;
        QTest::newRow("1x5 of 9") << 0 << u"5"_qs << u"2 ページ"_qs;
        QTest::newRow("6x9 of 9") << 5 << u"9"_qs << u"1 ページ"_qs;
        QTest::newRow("zero rows") << 1 << u"0"_qs << u"---"_qs;
        QTest::newRow("empty rows") << 1 << QString() << u"---"_qs;
        QTest::newRow("not a number") << 1 << u"x3"_qs << u"---"_qs;
        QTest::newRow("leading digits") << 1 << u"2x"_qs << u"3 ページ"_qs;
        QTest::newRow("no columns") << -1 << u"2"_qs << u"---"_qs;
    }
    void pageCountDisplay() {
        QFETCH(int, columns);
        QFETCH(QString, rows);
        QFETCH(QString, shown);
        auto dlg = Dialog();
        Child<QLineEdit>(*dlg, "rowsLineEdit")->setText(rows);
        Child<QComboBox>(*dlg, "columnsComboBox")->setCurrentIndex(columns);
        QCOMPARE(Child<QLineEdit>(*dlg, "pageCountLineEdit")->text(), shown);
    }

    // The first failing check speaks, Output's own checks come after the shared ones.
    void optionChecks_data() {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("icon");
        QTest::newRow("columns") << u"columnsComboBox"_qs << u"基本レイアウトを選択してください。"_qs
                                 << int(Prompter::Icon::Information);
        QTest::newRow("tag class") << u"tagClassLineEdit"_qs << u"タグClass名を入力してください。"_qs
                                   << int(Prompter::Icon::Information);
        QTest::newRow("layout 3") << u"layout3ComboBox"_qs << u"バナーのレイアウトを選択してください。"_qs
                                  << int(Prompter::Icon::Information);
        QTest::newRow("local path") << u"outputPathLineEdit"_qs << u"■HTML出力先■の「ローカル」を設定してください。"_qs
                                    << int(Prompter::Icon::Information);
        QTest::newRow("remote name") << u"remoteFileLineEdit"_qs << u"■HTML出力先■の「FTP」を設定してください。。"_qs
                                     << int(Prompter::Icon::Information);
        QTest::newRow("unwritable")
            << u"unwritable"_qs << u"ファイルを開けませんでした。\n■HTML出力先■の「ローカル」を確認してください。"_qs
            << int(Prompter::Icon::Exclamation);
    }
    void optionChecks() {
        QFETCH(QString, widget);
        QFETCH(QString, message);
        QFETCH(int, icon);
        m_item->outputPath = Cp932Qt::FromQt(Local("ad.html"));
        m_item->ftpUpload = 1;
        m_item->remoteFile = "ad.html";
        auto dlg = Dialog();
        if (auto* combo = dlg->findChild<QComboBox*>(widget))
            combo->setCurrentIndex(-1);
        else if (auto* edit = dlg->findChild<QLineEdit*>(widget))
            edit->clear();
        else
            Child<QLineEdit>(*dlg, "outputPathLineEdit")->setText(Local("missing/ad.html"));
        Child<QPushButton>(*dlg, "outputPushButton")->click();
        QCOMPARE(m_prompter->shown.size(), std::size_t(1));
        QCOMPARE(m_prompter->LastText(), message);
        QCOMPARE(int(m_prompter->shown.back().icon), icon);
        QVERIFY(!FileOps::FileExists(Local("ad.html").toStdString()));
    }

    void multiPageOutputWritesEveryPage() {
        m_item->outputPath = Cp932Qt::FromQt(Local("ad.html"));
        auto dlg = Dialog();
        Child<QPushButton>(*dlg, "outputPushButton")->click();
        QCOMPARE(m_prompter->LastText(), u"ローカルファイルに保存しました。"_qs);
        for (const char* name : {"ad.html", "ad_001.html", "ad_002.html", "ad_003.html"})
            QVERIFY2(FileOps::FileExists(Local(name).toStdString()), name);
        QVERIFY(!FileOps::FileExists(Local("ad_004.html").toStdString()));
        QCOMPARE(Read(Local("ad.html")), Read(Local("ad_001.html")));
        QVERIFY(Read(Local("ad_003.html")).find("tag 9") != std::string::npos);
        // Output leaves the result box alone; Preview shows page 1 only.
        QVERIFY(Child<QPlainTextEdit>(*dlg, "htmlPlainTextEdit")->toPlainText().isEmpty());
        Child<QPushButton>(*dlg, "previewPushButton")->click();
        QCOMPARE(Child<QPlainTextEdit>(*dlg, "htmlPlainTextEdit")->toPlainText().toStdString(),
                 Read(Local("ad_001.html")));
        QCOMPARE(dlg->Browser()->LastAddress(), QString::fromStdString(m_moduleDir + "html/prevpage.html"));
    }

    void noBannersInMultiPageWritesNothing() {
        for (auto& b : m_item->banners)
            b->live = 0;
        m_item->outputPath = Cp932Qt::FromQt(Local("ad.html"));
        CHtmlGenerateDlg dlg(*m_doc, {}, m_hosts, m_moduleDir);
        Child<QPushButton>(dlg, "outputPushButton")->click();
        Child<QPushButton>(dlg, "previewPushButton")->click();
        QCOMPARE(m_prompter->shown.size(), std::size_t(2));
        QVERIFY(m_prompter->LastText().contains(u"バナーがない"_qs));
        QVERIFY(!FileOps::FileExists(Local("ad.html").toStdString()));
        QVERIFY(dlg.Browser()->LastAddress().isEmpty());
    }

    void everyWayOfClosingSaves_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("終了") << 0;
        QTest::newRow("Escape") << 1;
        QTest::newRow("close box") << 2;
        QTest::newRow("Enter hits the default button") << 3;
    }
    void everyWayOfClosingSaves() {
        QFETCH(int, way);
        auto dlg = Dialog();
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        Child<QComboBox>(*dlg, "columnsComboBox")->setCurrentIndex(3);
        Child<QLineEdit>(*dlg, "rowsLineEdit")->setText(u"0"_qs);
        Child<QRadioButton>(*dlg, "randomRadioButton")->click();
        Child<QLineEdit>(*dlg, "tagClassLineEdit")->setText(u"広告"_qs);
        Child<QCheckBox>(*dlg, "ftpCheckBox")->click();
        Child<QComboBox>(*dlg, "layout1ComboBox")->setCurrentIndex(3);
        // The OK command leaves the dialog open.
        dlg->accept();
        QVERIFY(dlg->isVisible());
        switch (way) {
        case 0:
            Child<QPushButton>(*dlg, "closePushButton")->click();
            break;
        case 1:
            QTest::keyClick(dlg.get(), Qt::Key_Escape);
            break;
        case 2:
            dlg->close();
            break;
        case 3:
            Child<QComboBox>(*dlg, "columnsComboBox")->setFocus();
            QTest::keyClick(dlg.get(), Qt::Key_Return);
            break;
        }
        QVERIFY(!dlg->isVisible());
        QVERIFY(dlg->Changed());
        QCOMPARE(m_item->columnIndex, 3);
        QCOMPARE(m_item->rowCount, 0);
        QCOMPARE(m_item->multiPage, 0);
        QCOMPARE(m_item->tagClass, Cp932::FromUtf8("広告"));
        QCOMPARE(m_item->ftpUpload, 1);
        QCOMPARE(m_item->layout[0], int(LAYOUT_TAG));
        QVERIFY(m_prompter->shown.empty());
    }

    void closingWithoutANodeSavesNothing() {
        auto dlg = Dialog();
        m_doc->State().currentNode = nullptr;
        Child<QLineEdit>(*dlg, "tagClassLineEdit")->setText(u"x"_qs);
        dlg->reject();
        QCOMPARE(m_prompter->LastText(), u"エラーが発生しました。\n変更内容を破棄して終了します。"_qs);
        QCOMPARE(m_item->tagClass, std::string("ad"));
    }

    // Opened from the list pane: set-up alone leaves the document as it was, an edit marks it.
    void openerMarksModifiedOnlyOnChange() {
        m_item->columnIndex = 9; // nothing selectable: set-up clears the selection
        OnModal([](QDialog& dlg) { dlg.reject(); });
        m_frame->ListPane()->GenerateButton()->click();
        QVERIFY(!m_doc->IsModified());
        QCOMPARE(m_item->columnIndex, 0);

        OnModal([](QDialog& dlg) {
            Child<QLineEdit>(dlg, "remoteFileLineEdit")->setText(u"x.html"_qs);
            dlg.reject();
        });
        m_frame->ListPane()->GenerateButton()->click();
        QVERIFY(m_doc->IsModified());
        QCOMPARE(m_item->remoteFile, std::string("x.html"));
    }

    // From the list pane through Output to a real FTP server on this machine; the
    // host chosen there goes back to the item and marks the document.
    void outputUploadsThroughTheUploadDialog() {
        QTemporaryDir serverRoot;
        QVERIFY(QDir(serverRoot.path()).mkdir(u"site"_qs));
        testutil::FtpTestServer server(serverRoot.path().toStdString());
        QVERIFY2(server.Ready(), "pyftpdlib did not start");
        FtpHostEntry host;
        host.name = "local";
        host.host = "127.0.0.1";
        host.port = server.Port();
        host.user = testutil::FtpTestServer::kUser;
        host.password = testutil::FtpTestServer::kPassword;
        host.directory = "site";
        m_hosts.entries = {host};
        m_item->ftpHost = "gone";
        m_item->ftpUpload = 1;
        m_item->remoteFile = "/pages/ad.html";
        QVERIFY(QDir(serverRoot.path()).mkpath(u"site/pages"_qs));
        m_item->outputPath = Cp932Qt::FromQt(Local("ad.html"));

        QStringList log;
        int outcome = -1;
        OnModal([&](QDialog& generate) {
            OnModal([&](QDialog& dlg) {
                auto* upload = qobject_cast<CFtpUploadDlg*>(&dlg);
                QVERIFY(upload);
                QSignalSpy finished(upload, &CFtpUploadDlg::uploadFinished);
                Child<QPushButton>(dlg, "startPushButton")->click();
                QVERIFY(finished.wait(30000));
                outcome = finished.first().first().toInt();
                QCoreApplication::processEvents();
                auto* list = dlg.findChild<QListWidget*>(u"logListWidget"_qs);
                for (int i = 0; i < list->count(); ++i)
                    log << list->item(i)->text();
                dlg.reject();
            });
            Child<QPushButton>(generate, "outputPushButton")->click();
            generate.reject();
        });
        m_frame->ListPane()->GenerateButton()->click();

        QCOMPARE(outcome, int(UploadOutcome::Succeeded));
        QCOMPARE(log.last(), QString::fromUtf8(UploadTexts::kDone));
        QCOMPARE(log.count(QString::fromUtf8(UploadTexts::kUploaded)), 4);
        for (const char* name : {"ad.html", "ad_001.html", "ad_002.html", "ad_003.html"})
            QCOMPARE(WithoutCr(Read(serverRoot.filePath(u"site/pages/"_qs + QString::fromLatin1(name)))),
                     WithoutCr(Read(Local(name))));
        QCOMPARE(m_item->ftpHost, std::string("local"));
        QVERIFY(m_doc->IsModified());
    }

    void screenshot() {
        QByteArray dir = qgetenv("ZOVA_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("ZOVA_SCREENSHOT_DIR not set");
        m_item->title = Cp932::FromUtf8("記事下 ホテル");
        m_item->comment = Cp932::FromUtf8("サイドバー用の広告");
        m_item->outputPath = "/var/www/ad.html";
        m_item->remoteFile = "/ad.html";
        auto dlg = Dialog();
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        QSignalSpy loaded(dlg->Browser(), &CWebBrowser2::loadFinished);
        Child<QPushButton>(*dlg, "previewPushButton")->click();
        QVERIFY(loaded.count() > 0 || loaded.wait(15000));
        QTest::qWait(300); // let the engine paint the page it loaded
        QVERIFY(dlg->grab().save(QString::fromLocal8Bit(dir) + u"/html_generate.png"_qs));
        m_hosts.entries = {FtpHostEntry::New()};
        m_hosts.entries[0].host = "ftp.example.jp";
        m_hosts.entries[0].user = "zelvor";
        m_hosts.entries[0].password = "secret";
        CFtpUploadDlg upload(m_hosts, m_moduleDir, "", "/var/www/ad.html", "/ad.html", 0);
        upload.show();
        QVERIFY(QTest::qWaitForWindowExposed(&upload));
        QVERIFY(upload.grab().save(QString::fromLocal8Bit(dir) + u"/ftp_upload.png"_qs));
    }
};

QTEST_MAIN(HtmlGenerateDlgTest)
#include "HtmlGenerateDlgTest.moc"
