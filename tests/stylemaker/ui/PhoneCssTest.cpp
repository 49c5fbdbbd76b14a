// The phone rules of the style sheet in the engine the previews use: a six-column
// block with fixed widths must fit a 375 px screen, and at 1280 px the table must
// lay out exactly as without the rules.
#include "admanager/htmlgen/AdBlockGenerator.h"
#include "common/FileOps.h"
#include "stylemaker/style/CssWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <memory>

namespace {

// A wide banner, a long address and a label: what overflows a phone.
std::string Block() {
    std::vector<std::unique_ptr<Banner>> owned;
    std::vector<const Banner*> list;
    for (int i = 0; i < 8; ++i) {
        auto b = std::make_unique<Banner>();
        b->name = "Banner " + std::to_string(i);
        b->comment = "https://www.example.jp/a/very/long/address/without/any/break/in/it/" + std::to_string(i);
        b->tag = "<a href=\"https://px.example.jp/\" rel=\"nofollow\"><img width=\"468\" height=\"60\" alt=\"\" "
                 "src=\"data:image/svg+xml,%3Csvg xmlns='http://www.w3.org/2000/svg' width='468' height='60'%3E"
                 "%3Crect width='468' height='60' fill='%23c00'/%3E%3C/svg%3E\"></a>";
        list.push_back(b.get());
        owned.push_back(std::move(b));
    }
    AdBlockOptions o;
    o.columns = 6;
    o.tagClass = "ad";
    o.label = {true, "PR", LABEL_IN_CELL};
    return GenerateAdBlock(o, list).pages.at(0);
}

CStyleSettings Styled() {
    CStyleSettings s;
    s.bFrameWidth = 1; // 640px
    s.bFrameBorder = 1;
    s.bFrameMargin = 1;
    s.bAdvWidth = 1; // 160px
    s.bAdvBorder = 1;
    s.bAdvPadding = 1;
    s.bAdvMargin = 1;
    s.bLabelBackColor = 1;
    return s;
}

class PhoneCssTest : public QObject {
    Q_OBJECT

    struct Layout {
        int scrollWidth = -1;
        QJsonArray cells; // [left, top, width, height] of every cell
    };

    Layout Render(const CStyleSettings& style, int width) {
        const std::string dir = m_dir.path().toStdString();
        const std::string css = dir + "/style.css";
        const std::string html = dir + "/page.html";
        [&] {
            QVERIFY(vessilo::WriteCss(style, css, "ad"));
            QVERIFY(
                FileOps::WriteWholeFile(html, "<html><head><link rel=\"stylesheet\" href=\"style.css\"></head><body>" +
                                                  Block() + "</body></html>"));
        }();
        m_view->resize(width, 700);
        QSignalSpy loaded(m_view.get(), &QWebEngineView::loadFinished);
        m_view->load(QUrl::fromLocalFile(QString::fromStdString(html)));
        if (!loaded.wait(20000))
            return {};
        auto result = std::make_shared<QString>();
        m_view->page()->runJavaScript(
            u"JSON.stringify({w: document.documentElement.scrollWidth, c: Array.from("
            "document.querySelectorAll('table.ad_frame td')).map(function(t) { var r = t.getBoundingClientRect();"
            "return [r.left, r.top, r.width, r.height]; })})"_qs,
            [result](const QVariant& v) { *result = v.toString(); });
        if (!QTest::qWaitFor([&] { return !result->isEmpty(); }, 20000))
            return {};
        QJsonObject o = QJsonDocument::fromJson(result->toUtf8()).object();
        return {o.value(u"w"_qs).toInt(-1), o.value(u"c"_qs).toArray()};
    }

    QTemporaryDir m_dir;
    std::unique_ptr<QWebEngineView> m_view;

private Q_SLOTS:
    void initTestCase() {
        m_view = std::make_unique<QWebEngineView>();
        m_view->show();
    }
    void cleanupTestCase() { m_view.reset(); }

    void fitsAPhoneAndLeavesThePcAlone() {
        CStyleSettings plain = Styled();
        CStyleSettings phone = Styled();
        phone.bResponsive = 1;

        // Without the rules the block overflows a phone: the check can fail.
        QVERIFY(Render(plain, 375).scrollWidth > 375);

        Layout narrow = Render(phone, 375);
        QVERIFY(narrow.scrollWidth > 0);
        QVERIFY2(narrow.scrollWidth <= 375, qPrintable(QString::number(narrow.scrollWidth)));
        // Stacked: one banner cell to a row, the fillers gone.
        QCOMPARE(narrow.cells.size(), 12);
        int shown = 0;
        double lastTop = -1;
        for (const QJsonValue& c : narrow.cells) {
            QJsonArray r = c.toArray();
            if (r[2].toDouble() == 0)
                continue;
            ++shown;
            QVERIFY(r[1].toDouble() > lastTop);
            lastTop = r[1].toDouble();
        }
        QCOMPARE(shown, 8);

        Layout widePlain = Render(plain, 1280);
        Layout widePhone = Render(phone, 1280);
        QVERIFY(!widePlain.cells.isEmpty());
        QCOMPARE(widePhone.scrollWidth, widePlain.scrollWidth);
        QCOMPARE(widePhone.cells, widePlain.cells);
    }

    void twoToARow() {
        CStyleSettings phone = Styled();
        phone.bResponsive = 1;
        phone.nPhoneCols = 2;
        Layout narrow = Render(phone, 375);
        QVERIFY2(narrow.scrollWidth <= 375, qPrintable(QString::number(narrow.scrollWidth)));
        QJsonArray first = narrow.cells[0].toArray(), second = narrow.cells[1].toArray(),
                   third = narrow.cells[2].toArray();
        QCOMPARE(second[1].toDouble(), first[1].toDouble());
        QVERIFY(second[0].toDouble() > first[0].toDouble());
        QVERIFY(third[1].toDouble() > first[1].toDouble());
    }
};

} // namespace

QTEST_MAIN(PhoneCssTest)
#include "PhoneCssTest.moc"
