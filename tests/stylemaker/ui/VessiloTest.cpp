#include "common/FileOps.h"
#include "common/ModuleDir.h"
#include "common/ui/Cp932Qt.h"
#include "stylemaker/style/StyleSettings.h"
#include "stylemaker/ui/CssOutputDialog.h"
#include "stylemaker/ui/MainFrame.h"
#include "stylemaker/ui/SettingsPages.h"
#include "stylemaker/ui/VessiloAboutDlg.h"
#include "stylemaker/ui/VessiloApp.h"
#include "stylemaker/ui/VessiloDoc.h"
#include "stylemaker/ui/VessiloView.h"
#include "tests/common/ui/ScriptedPrompter.h"

#include "ui_AdPage.h"
#include "ui_CssOutputDialog.h"
#include "ui_GeneralPage.h"
#include "ui_PrLinkPage.h"
#include "ui_PreviewPage.h"

#include <algorithm>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QComboBox>
#include <QDir>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include "common/ui/WebBrowser2.h"
#include <QStackedWidget>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <map>

using namespace vessilo;
using Answer = Prompter::Answer;

namespace {

// Also answers the colour dialog from a queue (empty: cancelled).
class ColorPrompter : public testutil::ScriptedPrompter {
public:
    std::deque<QColor> colors;
    int colorDialogs = 0;
    QColor lastInitial;
    std::optional<QColor> Color(QWidget*, const QColor& initial) override {
        ++colorDialogs;
        lastInitial = initial;
        if (colors.empty())
            return std::nullopt;
        QColor c = colors.front();
        colors.pop_front();
        return c;
    }
};

void LoseFocus(QWidget* w) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(w, &out);
}

std::unique_ptr<CStylePage> MakePage(int index) {
    switch (index) {
    case 0:
        return std::make_unique<CGeneralPage>();
    case 1:
        return std::make_unique<CAdPage>();
    case 2:
        return std::make_unique<CAdDetailPage>();
    case 3:
        return std::make_unique<CPrLinkPage>();
    default:
        return std::make_unique<CPreviewPage>();
    }
}

QString FieldName(const CStylePage::Binding& b) {
    for (auto keys : {StyleKeys(), ExtraStyleKeys()})
        for (const StyleKey& key : keys)
            if ((b.intField && key.intField == b.intField) || (b.textField && key.textField == b.textField))
                return QString::fromLatin1(key.name.data(), static_cast<qsizetype>(key.name.size()));
    return u"?"_qs;
}

} // namespace

class VessiloTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ColorPrompter> m_prompter;
    std::shared_ptr<PreviewEvents> m_events;
    std::unique_ptr<CVessiloDoc> m_doc;

    QString Path(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    CStyleSettings& Rec() { return m_doc->Settings(); }

    template <class Page> std::unique_ptr<Page> Loaded() {
        auto page = std::make_unique<Page>();
        page->Attach(m_doc.get());
        page->LoadFromSettings();
        return page;
    }

    // A window over the document with its preview thread running.
    std::unique_ptr<CMainFrame> Window() {
        QDir(m_dir.path()).mkpath(u"html"_qs);
        auto frame = std::make_unique<CMainFrame>(m_doc.get(), Path("html/css1.html").toStdString(),
                                                  Path("html/css1.css").toStdString());
        return frame;
    }

private Q_SLOTS:
    void init() {
        m_prompter = std::make_unique<ColorPrompter>();
        m_events = std::make_shared<PreviewEvents>();
        m_doc = std::make_unique<CVessiloDoc>(m_events);
    }
    void cleanup() {
        m_doc.reset();
        m_prompter.reset();
    }

    void everyFieldHasExactlyOneControl() {
        std::map<QString, int> bound;
        for (int i = 0; i < CVessiloView::kPageCount; ++i) {
            std::unique_ptr<CStylePage> page = MakePage(i);
            for (const CStylePage::Binding& b : page->Bindings()) {
                QVERIFY2(FieldName(b) != u"?"_qs, qPrintable(b.control->objectName()));
                ++bound[FieldName(b)];
            }
        }
        for (auto keys : {StyleKeys(), ExtraStyleKeys()}) {
            for (const StyleKey& key : keys) {
                QString name = QString::fromLatin1(key.name.data(), static_cast<qsizetype>(key.name.size()));
                int expected = (name == u"szTagID"_qs || name == u"szLastCss"_qs) ? 0 : 1;
                QVERIFY2(bound[name] == expected, qPrintable(name));
            }
        }
    }

    // Typed and pasted: numbers take digits within their range, colours nothing
    // that would end a declaration; what the field shows is what is stored.
    void fieldsRefuseWhatTheStyleSheetCannotUse() {
        std::unique_ptr<CStylePage> page = Loaded<CGeneralPage>();
        auto* breakpoint = page->findChild<QLineEdit*>(u"breakpointLineEdit"_qs);
        auto* color = page->findChild<QLineEdit*>(u"frameBorderColorLineEdit"_qs);
        QVERIFY(breakpoint && color);
        QCOMPARE(breakpoint->toolTip(), u"200～2000の整数"_qs);
        const struct {
            QLineEdit* edit;
            QString typed, shown;
        } cases[] = {
            {breakpoint, u"abc"_qs, u""_qs},
            {breakpoint, u"99999999"_qs, u"999"_qs}, // a fourth 9 would pass 2000
            {breakpoint, u"1500"_qs, u"1500"_qs},
            {color, u"notacolor\";}bo"_qs, u"notacolorbo"_qs},
            {color, u"#12'<ab>"_qs, u"#12ab"_qs},
        };
        for (const auto& c : cases) {
            c.edit->clear();
            QTest::keyClicks(c.edit, c.typed);
            QCOMPARE(c.edit->text(), c.shown);
        }
        // Pasted text loses the same characters.
        QGuiApplication::clipboard()->setText(u"red;}\nbody{x"_qs);
        color->clear();
        color->paste();
        QCOMPARE(color->text(), u"redbodyx"_qs);
        LoseFocus(color);
        QCOMPARE(Rec().szFrameBorderColor, std::string("redbodyx"));
        // A unit box one can type in refuses them too.
        std::unique_ptr<CStylePage> pr = Loaded<CPrLinkPage>();
        auto* unit = pr->findChild<QComboBox*>(u"prFontSizeUnitComboBox"_qs);
        QVERIFY(unit && unit->lineEdit());
        unit->lineEdit()->clear();
        QTest::keyClicks(unit->lineEdit(), u"p;x}"_qs);
        QCOMPARE(unit->lineEdit()->text(), u"px"_qs);
        // Below the range: corrected when the field is left.
        breakpoint->clear();
        QTest::keyClicks(breakpoint, u"5"_qs);
        LoseFocus(breakpoint);
        QCOMPARE(breakpoint->text(), u"200"_qs);
        QCOMPARE(Rec().nBreakpoint, 200);
    }

    // Each control, changed as a user would, changes its own field and nothing else.
    void everyControlStoresItsOwnField() {
        for (int i = 0; i < CVessiloView::kPageCount; ++i) {
            std::unique_ptr<CStylePage> page = MakePage(i);
            page->Attach(m_doc.get());
            page->LoadFromSettings();
            for (const CStylePage::Binding& b : page->Bindings()) {
                const QString name = FieldName(b);
                CStyleSettings expected = Rec();
                m_doc->SetModifiedFlag(false);
                m_events->ResetPreview();
                bool signals = true;
                switch (b.kind) {
                case CStylePage::BindKind::Check: {
                    auto* box = static_cast<QCheckBox*>(b.control);
                    box->click();
                    expected.*b.intField = box->isChecked() ? 1 : 0;
                    break;
                }
                case CStylePage::BindKind::Number:
                    // Leaving the field corrects what the style sheet cannot use, visibly.
                    static_cast<QLineEdit*>(b.control)->setText(u" 4321x"_qs);
                    LoseFocus(b.control);
                    expected.*b.intField = std::clamp(4321, b.range.min, b.range.max);
                    QCOMPARE(static_cast<QLineEdit*>(b.control)->text(), QString::number(expected.*b.intField));
                    break;
                case CStylePage::BindKind::Color:
                    static_cast<QLineEdit*>(b.control)->setText(u"#A1b2C3"_qs);
                    LoseFocus(b.control);
                    expected.*b.textField = "#A1b2C3";
                    break;
                case CStylePage::BindKind::Combo:
                case CStylePage::BindKind::Index: {
                    auto* combo = static_cast<QComboBox*>(b.control);
                    int next = combo->currentIndex() == 0 ? combo->count() - 1 : 0;
                    combo->setCurrentIndex(next);
                    if (b.kind == CStylePage::BindKind::Index)
                        expected.*b.intField = next + b.limit;
                    else
                        expected.*b.textField = Cp932Qt::FromQt(combo->itemText(next));
                    break;
                }
                case CStylePage::BindKind::Name:
                    static_cast<QLineEdit*>(b.control)->setText(u"名前"_qs);
                    LoseFocus(b.control);
                    expected.*b.textField = Cp932Qt::FromQt(u"名前"_qs);
                    signals = false;
                    break;
                case CStylePage::BindKind::Comment:
                    static_cast<QPlainTextEdit*>(b.control)->setPlainText(u"一\n二"_qs);
                    LoseFocus(b.control);
                    expected.*b.textField = Cp932Qt::FromQt(u"一\r\n二"_qs);
                    signals = false;
                    break;
                }
                QVERIFY2(Rec().Equals(expected), qPrintable(name));
                QVERIFY2(m_doc->IsModified(), qPrintable(name));
                QVERIFY2(m_events->IsPreviewSet() == signals, qPrintable(name));
            }
        }
    }

    void numberEditStoresOnlyWhenFocusLeaves() {
        auto page = Loaded<CGeneralPage>();
        QLineEdit* edit = page->Form()->frameWidthLineEdit;
        QTest::keyClicks(edit, u"1"_qs);
        QVERIFY(m_doc->IsModified());
        QCOMPARE(Rec().nFrameWidth, 640);
        QVERIFY(!m_events->IsPreviewSet());
        LoseFocus(edit);
        QCOMPARE(Rec().nFrameWidth, 6401);
        QVERIFY(m_events->IsPreviewSet());
    }

    void numbersParseLikeTheOldConversion_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("value");
        QTest::newRow("blanks and sign") << u"  -12abc"_qs << 31 << -12;
        QTest::newRow("plus") << u"+7"_qs << 31 << 7;
        QTest::newRow("no digits") << u"abc"_qs << 31 << 0;
        QTest::newRow("empty") << QString() << 31 << 0;
        QTest::newRow("cut at 14") << u"000000000000009"_qs << 14 << 0;
        QTest::newRow("too large") << u"99999999999999999999"_qs << 31 << 2147483647;
        QTest::newRow("too small") << u"-99999999999999999999"_qs << 31 << -2147483647 - 1;
    }
    void numbersParseLikeTheOldConversion() {
        QFETCH(QString, text);
        QFETCH(int, limit);
        QFETCH(int, value);
        QCOMPARE(CStylePage::ParseNumber(text, limit), value);
    }

    void loadingNeitherMarksNorSignals() {
        Rec().szDataHori = "CENTER";
        Rec().nCols = 0;
        auto ad = Loaded<CAdPage>();
        auto preview = Loaded<CPreviewPage>();
        QVERIFY(!m_doc->IsModified());
        QVERIFY(!m_events->IsPreviewSet());
        // Case is ignored when choosing the item; storing writes the item's text.
        QCOMPARE(ad->Form()->dataHoriComboBox->currentText(), u"center"_qs);
        ad->StoreToSettings();
        QCOMPARE(Rec().szDataHori, std::string("center"));
        // A column count the preview cannot lay out is mended at once.
        QCOMPARE(preview->Form()->colsComboBox->currentIndex(), 0);
        QCOMPARE(Rec().nCols, 1);
        Rec().nCols = 9;
        preview->LoadFromSettings();
        QCOMPARE(preview->Form()->colsComboBox->currentIndex(), 5);
        QCOMPARE(Rec().nCols, 6);
    }

    void unknownUnitKeepsThePreviousItem() {
        auto page = Loaded<CGeneralPage>();
        page->Form()->frameWidthUnitComboBox->setCurrentIndex(1);
        Rec().szFrameWidthUnit = "vw";
        page->LoadFromSettings();
        QCOMPARE(page->Form()->frameWidthUnitComboBox->currentText(), u"%"_qs);
    }

    void typedFontSizeUnitIsNeverStored() {
        auto page = Loaded<CPrLinkPage>();
        QComboBox* combo = page->Form()->prFontSizeUnitComboBox;
        QCOMPARE(combo->itemText(0), u"%"_qs);
        QCOMPARE(combo->currentText(), u"px"_qs);
        combo->setEditText(u"pt"_qs);
        page->StoreToSettings();
        QCOMPARE(Rec().szPrFontSizeUnit, std::string("px"));
        combo->setCurrentIndex(1);
        QCOMPARE(Rec().szPrFontSizeUnit, std::string("em"));
    }

    void colourPickWritesUpperCase() {
        auto page = Loaded<CGeneralPage>();
        Rec().szFrameTextColor = "#12345";
        m_prompter->colors.push_back(QColor(0xab, 0x0c, 0xde));
        page->Form()->frameTextColorPushButton->click();
        QCOMPARE(m_prompter->lastInitial, QColor(0, 0, 0)); // invalid colour starts from black
        QCOMPARE(Rec().szFrameTextColor, std::string("#AB0CDE"));
        QCOMPARE(page->Form()->frameTextColorLineEdit->text(), u"#AB0CDE"_qs);
        QVERIFY(m_doc->IsModified());
        QVERIFY(m_events->IsPreviewSet());

        m_doc->SetModifiedFlag(false);
        m_events->ResetPreview();
        page->Form()->frameTextColorPushButton->click(); // cancelled
        QCOMPARE(Rec().szFrameTextColor, std::string("#AB0CDE"));
        QVERIFY(!m_doc->IsModified());
        QVERIFY(!m_events->IsPreviewSet());
    }

    void swatchShowsColourOrCross() {
        auto page = Loaded<CGeneralPage>();
        page->resize(page->sizeHint());
        page->show();
        QLabel* swatch = page->Form()->frameBackColorSwatchLabel;
        QLineEdit* edit = page->Form()->frameBackColorLineEdit;
        edit->setText(u"#00FF00"_qs);
        LoseFocus(edit);
        QImage good = swatch->grab().toImage();
        QCOMPARE(good.pixelColor(good.width() / 2, 2), QColor(0, 255, 0));
        edit->setText(u"#12345"_qs);
        LoseFocus(edit);
        QImage bad = swatch->grab().toImage();
        int w = bad.width(), h = bad.height();
        QCOMPARE(bad.pixelColor(w / 2, 2), QColor(128, 128, 128));
        QCOMPARE(bad.pixelColor(1, 1), QColor(255, 0, 0));
        QCOMPARE(bad.pixelColor(w - 2, 1), QColor(255, 0, 0));
        QCOMPARE(bad.pixelColor(w - 2, h - 2), QColor(255, 0, 0));
        QCOMPARE(bad.pixelColor(w / 2, 0), QColor(96, 96, 96)); // outline
    }

    void validColours_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("red");
        QTest::addColumn<int>("green");
        QTest::addColumn<int>("blue");
        QTest::newRow("upper") << u"#FF8000"_qs << 255 << 128 << 0;
        QTest::newRow("lower") << u"#0a0b0c"_qs << 10 << 11 << 12;
        QTest::newRow("five digits") << u"#12345"_qs << -1 << -1 << -1;
        QTest::newRow("seven digits") << u"#1234567"_qs << -1 << -1 << -1;
        QTest::newRow("no hash") << u"1234567"_qs << -1 << -1 << -1;
        QTest::newRow("not hex") << u"#12345G"_qs << -1 << -1 << -1;
        QTest::newRow("name") << u"red"_qs << -1 << -1 << -1;
    }
    void validColours() {
        QFETCH(QString, text);
        QFETCH(int, red);
        QFETCH(int, green);
        QFETCH(int, blue);
        std::string t = text.toStdString();
        int r, g, b;
        CStylePage::ParseColor(t, r, g, b);
        QCOMPARE(CStylePage::IsValidColor(t), red >= 0);
        QCOMPARE(r, red);
        QCOMPARE(g, green);
        QCOMPARE(b, blue);
    }

    void startShowsUntitledAndRendersThePreview() {
        auto frame = Window();
        QSignalSpy navigated(frame->View(), &CVessiloView::previewNavigated);
        frame->View()->OnInitialUpdate();
        QCOMPARE(frame->windowTitle(), u"Zelvor管理 CSSメーカー - 無題"_qs);
        QCOMPARE(frame->View()->Tabs()->currentIndex(), 0);
        QVERIFY(frame->View()->IsPreviewRunning());
        QVERIFY(navigated.wait(10000));
        std::string html;
        QVERIFY(FileOps::ReadWholeFile(Path("html/css1.html").toStdString(), html));
        std::size_t rows = 0;
        for (std::size_t at = html.find("<tr>"); at != std::string::npos; at = html.find("<tr>", at + 1))
            ++rows;
        QCOMPARE(rows, std::size_t(20));
        // A change on a page reaches the preview.
        auto* page = static_cast<CGeneralPage*>(frame->View()->Page(0));
        page->Form()->frameFontBorldCheckBox->click();
        QCOMPARE(Rec().bFrameFontBorld, 1);
        QVERIFY(navigated.wait(10000));
        std::string css;
        QVERIFY(FileOps::ReadWholeFile(Path("html/css1.css").toStdString(), css));
        QVERIFY(css.find("font-weight: bold;") != std::string::npos);
        frame->View()->Tabs()->setCurrentIndex(3);
        QVERIFY(frame->View()->Page(3)->isVisibleTo(frame->View()) || !frame->isVisible());
    }

    void newAfterNoIsClean() {
        auto frame = Window();
        frame->View()->OnInitialUpdate();
        static_cast<CGeneralPage*>(frame->View()->Page(0))->Form()->frameFontItalicCheckBox->click();
        QVERIFY(m_doc->IsModified());
        m_prompter->answers.push_back(Answer::No);
        frame->Action(Cmd::FileNew)->trigger();
        QCOMPARE(m_prompter->LastText(), u"内容が更新されています。\n保存しますか？"_qs);
        QVERIFY(!m_doc->IsModified());
        QCOMPARE(Rec().bFrameFontItalic, 0);
        QVERIFY(!static_cast<CGeneralPage*>(frame->View()->Page(0))->Form()->frameFontItalicCheckBox->isChecked());
        m_prompter->Clear();
        QVERIFY(frame->close());
        QVERIFY(m_prompter->shown.empty());
    }

    void closeCancelledKeepsRunning() {
        auto frame = Window();
        frame->View()->OnInitialUpdate();
        m_doc->SetModifiedFlag(true);
        m_prompter->answers.push_back(Answer::Cancel);
        QVERIFY(!frame->close());
        QVERIFY(m_doc->IsModified());
    }

    void openOfOtherFileGivesNewDocument() {
        auto frame = Window();
        frame->View()->OnInitialUpdate();
        QVERIFY(FileOps::WriteWholeFile(Path("other.zvc").toStdString(), "[X]\r\na=1\r\n"));
        {
            std::lock_guard lock(m_doc->SettingsMutex()); // the preview thread is reading
            Rec().nFrameWidth = 5;
        }
        m_prompter->openNames.push_back(Path("other.zvc"));
        frame->Action(Cmd::FileOpen)->trigger();
        QCOMPARE(m_prompter->LastText(), u"ファイルの読み込みに失敗しました。"_qs);
        QCOMPARE(m_doc->Title(), u"無題"_qs);
        QVERIFY(m_doc->PathName().isEmpty());
        QCOMPARE(Rec().nFrameWidth, 640);
        QVERIFY(!m_doc->IsModified());
    }

    void saveAsThenOpenRoundTrips() {
        auto frame = Window();
        frame->View()->OnInitialUpdate();
        auto* page = static_cast<CGeneralPage*>(frame->View()->Page(0));
        // Typed into an edit that still has the focus: the save stores it.
        page->Form()->frameWidthLineEdit->setText(u"123"_qs);
        m_prompter->saveNames.push_back(Path("a.zvc"));
        frame->Action(Cmd::FileSave)->trigger(); // untitled: Save As
        QCOMPARE(m_prompter->saveDialogs, 1);
        QCOMPARE(m_doc->Title(), u"a.zvc"_qs);
        QCOMPARE(frame->windowTitle(), u"Zelvor管理 CSSメーカー - a.zvc"_qs);
        QVERIFY(!m_doc->IsModified());

        frame->Action(Cmd::FileNew)->trigger();
        QCOMPARE(Rec().nFrameWidth, 640);
        m_prompter->openNames.push_back(Path("a.zvc"));
        frame->Action(Cmd::FileOpen)->trigger();
        QCOMPARE(Rec().nFrameWidth, 123);
        QCOMPARE(page->Form()->frameWidthLineEdit->text(), u"123"_qs);
        QVERIFY(!m_doc->IsModified());

        // Bound to an existing file: Save asks for no name.
        m_doc->SetModifiedFlag(true);
        frame->Action(Cmd::FileSave)->trigger();
        QCOMPARE(m_prompter->saveDialogs, 1);
        QVERIFY(!m_doc->IsModified());
    }

    void saveAsCancelledStaysModified() {
        auto frame = Window();
        frame->View()->OnInitialUpdate();
        m_doc->SetModifiedFlag(true);
        frame->Action(Cmd::FileSave)->trigger();
        QCOMPARE(m_prompter->saveDialogs, 1);
        QVERIFY(m_doc->IsModified());
        m_prompter->saveNames.push_back(Path("missing/x.zvc"));
        frame->Action(Cmd::FileSaveAs)->trigger();
        QCOMPARE(m_prompter->LastText(), u"ファイルの保存に失敗しました。"_qs);
        QCOMPARE(m_doc->Title(), u"無題"_qs);
        QVERIFY(m_doc->IsModified());
    }

    void cssExport() {
        auto frame = Window();
        frame->View()->OnInitialUpdate();
        QString out = Path("out.css");
        m_prompter->saveNames.push_back(out);
        bool refused = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<CCssOutputDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), u"Zelvor管理 CSSメーカー CSS出力"_qs);
            dialog->Form()->browsePushButton->click();
            QCOMPARE(dialog->Path(), out);
            dialog->Form()->outputPushButton->click(); // no tag class name yet
            refused = dialog->isVisible() && m_prompter->LastText() == u"タグClass名を入力してください。"_qs;
            dialog->Form()->tagClassLineEdit->setText(u"myad"_qs);
            dialog->Form()->outputPushButton->click();
        });
        frame->Action(Cmd::CssOutput)->trigger();
        QVERIFY(refused);
        QCOMPARE(m_prompter->LastText(), u"データをCSSファイルへ保存しました。"_qs);
        QVERIFY(m_doc->IsModified());
        QCOMPARE(Rec().szTagID, std::string("myad"));
        QCOMPARE(Rec().szLastCss, Cp932Qt::FromQt(out));
        std::string css;
        QVERIFY(FileOps::ReadWholeFile(out.toStdString(), css));
        QVERIFY(css.starts_with("table.myad_frame {\n"));

        // Same path and name: not modified again; an unwritable path is reported.
        m_doc->SetModifiedFlag(false);
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<CCssOutputDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QCOMPARE(dialog->Path(), out);
            QCOMPARE(dialog->TagClass(), u"myad"_qs);
            dialog->Form()->outputPushButton->click();
        });
        frame->Action(Cmd::CssOutput)->trigger();
        QVERIFY(!m_doc->IsModified());

        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<CCssOutputDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->SetPath(Path("missing/out.css"));
            dialog->Form()->outputPushButton->click();
        });
        frame->Action(Cmd::CssOutput)->trigger();
        QCOMPARE(m_prompter->LastText(), u"CSSファイルの保存に失敗しました。"_qs);
        QVERIFY(m_doc->IsModified());

        m_doc->SetModifiedFlag(false);
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<CCssOutputDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->SetTagClass(u"other"_qs);
            dialog->Form()->cancelPushButton->click();
        });
        frame->Action(Cmd::CssOutput)->trigger();
        QVERIFY(!m_doc->IsModified());
        QCOMPARE(Rec().szTagID, std::string("myad"));
    }

    void aStyleFileNamedOnTheCommandLineOpens() {
        QDir(m_dir.path()).mkpath(u"html"_qs);
        ModuleDir::SetOverride(m_dir.path().toStdString() + "/");
        {
            CVessiloApp app;
            QVERIFY(app.InitInstance({QStringLiteral(ZOVA_TEST_DATA_DIR "/style_all_on.zvc")}));
            QCOMPARE(app.Frame()->windowTitle(), u"Zelvor管理 CSSメーカー - style_all_on.zvc"_qs);
            QVERIFY(!app.Doc()->IsModified());
            app.ExitInstance();
        }
        {
            // A bad file says so, as File→Open does, and leaves a new document.
            CVessiloApp app;
            QVERIFY(app.InitInstance({QStringLiteral(ZOVA_TEST_DATA_DIR "/style_bad_signature.zvc")}));
            QCOMPARE(m_prompter->LastText(), u"ファイルの読み込みに失敗しました。"_qs);
            QCOMPARE(app.Frame()->windowTitle(), u"Zelvor管理 CSSメーカー - 無題"_qs);
            app.ExitInstance();
        }
        ModuleDir::SetOverride({});
    }

    void exitDeletesTheTemporaryFiles() {
        QDir(m_dir.path()).mkpath(u"html"_qs);
        ModuleDir::SetOverride(m_dir.path().toStdString() + "/");
        std::string html, css;
        {
            CVessiloApp app;
            QVERIFY(app.InitInstance());
            html = app.PreviewHtmlPath();
            css = app.PreviewCssPath();
            QVERIFY(html.starts_with(m_dir.path().toStdString() + "/html/css"));
            QSignalSpy navigated(app.Frame()->View(), &CVessiloView::previewNavigated);
            QVERIFY(navigated.wait(10000));
            QVERIFY(FileOps::FileExists(html));
            QVERIFY(FileOps::FileExists(css));
            app.ExitInstance();
        }
        QVERIFY(!FileOps::FileExists(html));
        QVERIFY(!FileOps::FileExists(css));
        ModuleDir::SetOverride({});
    }

    void screenshot() {
        QByteArray dir = qgetenv("ZOVA_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("ZOVA_SCREENSHOT_DIR not set");
        const QString out = QString::fromLocal8Bit(dir);
        auto frame = Window();
        frame->resize(frame->sizeHint());
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame.get()));
        auto* browser = frame->findChild<CWebBrowser2*>(u"previewBrowser"_qs);
        QVERIFY(browser);
        QSignalSpy loaded(browser, &CWebBrowser2::loadFinished);
        frame->View()->OnInitialUpdate();
        QVERIFY(loaded.wait(15000));
        QTest::qWait(300); // let the engine paint the page it loaded
        for (int i = 0; i < CVessiloView::kPageCount; ++i) {
            frame->View()->Tabs()->setCurrentIndex(i);
            QCoreApplication::processEvents();
            QVERIFY(frame->grab().save(out + u"/vessilo_page%1.png"_qs.arg(i)));
        }
        CVessiloAboutDlg about(frame.get());
        about.show();
        QVERIFY(about.grab().save(out + u"/vessilo_about.png"_qs));
        CCssOutputDialog css(frame.get());
        css.SetPath(u"/home/user/site/ad.css"_qs);
        css.SetTagClass(u"myad"_qs);
        css.show();
        QVERIFY(css.grab().save(out + u"/vessilo_css_output.png"_qs));
    }
};

QTEST_MAIN(VessiloTest)
#include "VessiloTest.moc"
