#include "common/Cp932.h"
#include "common/FileOps.h"
#include "common/ui/WebBrowser2.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <memory>

class WebBrowser2Test : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static QString PlainText(CWebBrowser2& browser) {
        auto text = std::make_shared<QString>();
        auto done = std::make_shared<bool>(false);
        browser.View()->page()->toPlainText([text, done](const QString& t) {
            *text = t;
            *done = true;
        });
        bool finished = QTest::qWaitFor([&] { return *done; }, 5000);
        return finished ? *text : QString();
    }

private Q_SLOTS:
    // Our pages carry no charset: whatever the engine would guess, they read as
    // Shift_JIS, also from a folder and file name with Japanese in it.
    void localPageWithoutCharsetReadsAsShiftJis() {
        QWidget host;
        auto* browser = new CWebBrowser2(&host);
        std::string folder = m_dir.path().toStdString() + "/" + Cp932::ToUtf8(Cp932::FromUtf8("広告"));
        QVERIFY(FileOps::MakeDirRetry(folder));
        std::string file = folder + "/" + Cp932::ToUtf8(Cp932::FromUtf8("ページ.html"));
        QVERIFY(FileOps::WriteWholeFile(file, Cp932::FromUtf8("<html><body>ソフトウェア表示テスト</body></html>\n")));
        QVERIFY(browser->View()->settings()->testAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls));

        QSignalSpy loaded(browser, &CWebBrowser2::loadFinished);
        std::string cp932Path = Cp932::FromUtf8(file);
        browser->Navigate2(cp932Path);
        QVERIFY(loaded.wait(15000));
        QCOMPARE(browser->LastAddress(), QString::fromStdString(file));
        QCOMPARE(PlainText(*browser).trimmed(), u"ソフトウェア表示テスト"_qs);
        QCOMPARE(browser->LastUrl(), QUrl::fromLocalFile(QString::fromStdString(file)));
    }

    // A web address is handed to the engine as it is (a closed local port).
    void webAddressIsKeptAsGiven() {
        QWidget host;
        auto* browser = new CWebBrowser2(&host);
        browser->Navigate2(std::string("http://127.0.0.1:9/software/x.php?a=0&b=0"));
        QCOMPARE(browser->LastUrl(), QUrl(u"http://127.0.0.1:9/software/x.php?a=0&b=0"_qs));
        browser->View()->stop();
    }
};

QTEST_MAIN(WebBrowser2Test)
#include "WebBrowser2Test.moc"
