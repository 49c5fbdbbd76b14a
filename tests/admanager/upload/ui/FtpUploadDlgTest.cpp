#include "admanager/upload/ui/FtpUploadDlg.h"
#include "admanager/upload/UploadJob.h"
#include "common/FileOps.h"
#include "tests/admanager/upload/FtpTestServer.h"
#include "tests/common/ui/ScriptedPrompter.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace T = UploadTexts;

namespace {

FtpHostEntry Host(const char* name, const char* address, int port = 21) {
    FtpHostEntry e;
    e.name = name;
    e.host = address;
    e.port = port;
    e.user = testutil::FtpTestServer::kUser;
    e.password = testutil::FtpTestServer::kPassword;
    e.directory = "site";
    return e;
}

QStringList Log(CFtpUploadDlg& dlg) {
    QStringList lines;
    auto* list = dlg.findChild<QListWidget*>(u"logListWidget"_qs);
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

template <typename W> W* Child(QWidget& dlg, const char* name) {
    return dlg.findChild<W*>(QString::fromLatin1(name));
}

} // namespace

class FtpUploadDlgTest : public QObject {
    Q_OBJECT

    testutil::ScriptedPrompter m_prompter;

private Q_SLOTS:
    void preselectsByPrefix_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("selected");
        QTest::newRow("empty name: first") << QString() << 0;
        QTest::newRow("prefix, any case") << u"LOC"_qs << 1;
        QTest::newRow("no match: first") << u"zzz"_qs << 0;
    }
    void preselectsByPrefix() {
        QFETCH(QString, stored);
        QFETCH(int, selected);
        FtpHostList hosts{{Host("main", "ftp.example"), Host("local", "127.0.0.1", 2121)}};
        CFtpUploadDlg dlg(hosts, "/nonexistent/", stored.toStdString(), "/tmp/a.html", "a.html", 0);
        QCOMPARE(Child<QComboBox>(dlg, "hostComboBox")->currentIndex(), selected);
        QCOMPARE(Child<QLineEdit>(dlg, "hostLineEdit")->text(),
                 QString::fromStdString(hosts.entries[static_cast<std::size_t>(selected)].host));
        QCOMPARE(Child<QLineEdit>(dlg, "passwordLineEdit")->echoMode(), QLineEdit::Password);
        QVERIFY(!Child<QPushButton>(dlg, "stopPushButton")->isEnabled());
    }

    void emptyListStartsNothing() {
        FtpHostList hosts;
        CFtpUploadDlg dlg(hosts, "/nonexistent/", "x", "/tmp/a.html", "a.html", 0);
        QCOMPARE(Child<QComboBox>(dlg, "hostComboBox")->count(), 0);
        QVERIFY(Child<QLineEdit>(dlg, "hostLineEdit")->text().isEmpty());
        Child<QPushButton>(dlg, "startPushButton")->click();
        QVERIFY(!dlg.IsBusy());
        QVERIFY(Log(dlg).isEmpty());
        QCOMPARE(dlg.HostName(), std::string("x"));
    }

    // The whole run through the dialog against a real server; closing is refused meanwhile.
    void uploadsToALocalServer() {
        QTemporaryDir serverRoot, localDir;
        QVERIFY(QDir(serverRoot.path()).mkdir(u"site"_qs));
        testutil::FtpTestServer server(serverRoot.path().toStdString());
        QVERIFY2(server.Ready(), "pyftpdlib did not start");
        std::string local = localDir.filePath(u"ad.html"_qs).toStdString();
        QVERIFY(FileOps::WriteWholeFile(local, "<table>main</table>\n"));

        FtpHostList hosts{{Host("other", "127.0.0.1", testutil::FtpTestServer::FreePort()),
                           Host("local", "127.0.0.1", server.Port())}};
        CFtpUploadDlg dlg(hosts, "/nonexistent/", "other", local, "/ad.html", 0);
        dlg.show();
        Child<QComboBox>(dlg, "hostComboBox")->setCurrentIndex(1);
        QSignalSpy finished(&dlg, &CFtpUploadDlg::uploadFinished);
        Child<QPushButton>(dlg, "startPushButton")->click();
        QVERIFY(dlg.IsBusy());
        QVERIFY(!Child<QPushButton>(dlg, "startPushButton")->isEnabled());
        QVERIFY(Child<QPushButton>(dlg, "stopPushButton")->isEnabled());
        dlg.reject();
        QVERIFY(dlg.close() == false);
        QVERIFY(dlg.isVisible());

        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.first().first().toInt(), static_cast<int>(UploadOutcome::Succeeded));
        QTRY_COMPARE(Log(dlg).size(), 11);
        QStringList expected = {QString::fromUtf8(T::kStart),
                                QString::fromUtf8(T::kConnecting),
                                QString::fromUtf8(T::kConnected),
                                QString::fromUtf8(T::kChangingDir),
                                u"site ディレクトリへ移動しました。"_qs,
                                QString::fromUtf8(T::kUploading),
                                u"    "_qs + QString::fromStdString(local) + u" --> ad.html"_qs,
                                QString::fromUtf8(T::kUploaded),
                                QString::fromUtf8(T::kDisconnecting),
                                QString::fromUtf8(T::kDisconnected),
                                QString::fromUtf8(T::kDone)};
        QCOMPARE(Log(dlg), expected);
        std::string onServer;
        QVERIFY(FileOps::ReadWholeFile(serverRoot.filePath(u"site/ad.html"_qs).toStdString(), onServer));
        QCOMPARE(onServer, std::string("<table>main</table>\n"));
        QCOMPARE(dlg.HostName(), std::string("local"));
        QVERIFY(!dlg.IsBusy());
        QVERIFY(Child<QPushButton>(dlg, "closePushButton")->isEnabled());
        QVERIFY(!Child<QPushButton>(dlg, "stopPushButton")->isEnabled());
        dlg.reject();
        QVERIFY(!dlg.isVisible());
    }

    // A stop pressed at once, before the worker has even begun, still ends the run as stopped.
    void stopAtOnceIsHonoured() {
        QTemporaryDir serverRoot, localDir;
        QVERIFY(QDir(serverRoot.path()).mkdir(u"site"_qs));
        testutil::FtpTestServer server(serverRoot.path().toStdString());
        QVERIFY2(server.Ready(), "pyftpdlib did not start");
        std::string local = localDir.filePath(u"ad.html"_qs).toStdString();
        QVERIFY(FileOps::WriteWholeFile(local, "x\n"));
        FtpHostList hosts{{Host("local", "127.0.0.1", server.Port())}};
        CFtpUploadDlg dlg(hosts, "/nonexistent/", "", local, "ad.html", 0);
        QSignalSpy finished(&dlg, &CFtpUploadDlg::uploadFinished);
        for (int run = 1; run <= 2; ++run) {
            Child<QPushButton>(dlg, "startPushButton")->click();
            Child<QPushButton>(dlg, "stopPushButton")->click();
            QVERIFY(finished.wait(30000) || finished.size() == run);
            QCOMPARE(finished.last().first().toInt(), static_cast<int>(UploadOutcome::Stopped));
            QTRY_COMPARE(Log(dlg).last(), QString::fromUtf8(T::kStopped));
        }
        // The log keeps growing across runs.
        QCOMPARE(Log(dlg).count(QString::fromUtf8(T::kStart)), 2);
    }
};

QTEST_MAIN(FtpUploadDlgTest)
#include "FtpUploadDlgTest.moc"
