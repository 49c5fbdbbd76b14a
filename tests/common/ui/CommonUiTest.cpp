#include "common/ui/AccessibleNames.h"
#include "common/ui/AppSetup.h"
#include "common/ui/Cp932Qt.h"
#include "common/ui/TextLimit.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

using TextLimit::Uncodable;

class CommonUiTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fit_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<int>("maxBytes");
        QTest::addColumn<bool>("charRef");
        QTest::addColumn<bool>("multiline");
        QTest::addColumn<QString>("fitted");
        QTest::addColumn<int>("fittedCursor");
        QTest::newRow("fits") << u"広告abc"_qs << 5 << 10 << false << false << u"広告abc"_qs << 5;
        QTest::newRow("typed ? stays") << u"a?b"_qs << 3 << 10 << false << false << u"a?b"_qs << 3;
        QTest::newRow("refused") << u"ABC😀DEF𠮷"_qs << 11 << 254 << false << false << u"ABCDEF"_qs << 6;
        QTest::newRow("references") << u"ABC😀DEF𠮷"_qs << 11 << 254 << true << false
                                    << u"ABC&#x1F600;DEF&#x20BB7;"_qs << 24;
        QTest::newRow("cursor inside") << u"A😀B"_qs << 1 << 254 << true << false << u"A&#x1F600;B"_qs << 1;
        // Too long: what was just put in before the cursor goes, not the text after it.
        QTest::newRow("paste cut at cursor") << u"ab広告告cd"_qs << 5 << 8 << false << false << u"ab広告cd"_qs << 4;
        QTest::newRow("cut from the end") << u"abcdef"_qs << 0 << 4 << false << false << u"abcd"_qs << 0;
        QTest::newRow("no half character") << u"a広告"_qs << 3 << 4 << false << false << u"a広"_qs << 2;
        QTest::newRow("reference is whole or gone") << u"ab😀"_qs << 3 << 6 << true << false << u"ab"_qs << 2;
        // A line break is kept as CR LF: two bytes.
        QTest::newRow("line breaks count twice") << u"a\nb\nc"_qs << 5 << 6 << false << true << u"a\nb\n"_qs << 4;
    }

    void fit() {
        QFETCH(QString, text);
        QFETCH(int, cursor);
        QFETCH(int, maxBytes);
        QFETCH(bool, charRef);
        QFETCH(bool, multiline);
        QFETCH(QString, fitted);
        QFETCH(int, fittedCursor);
        TextLimit::Fitted got = TextLimit::Fit(text, cursor, static_cast<std::size_t>(maxBytes),
                                               charRef ? Uncodable::CharRef : Uncodable::Refuse, multiline);
        QCOMPARE(got.text, fitted);
        QCOMPARE(got.cursor, fittedCursor);
        const std::string bytes = multiline ? Cp932Qt::FromQtMultiline(got.text) : Cp932Qt::FromQt(got.text);
        QVERIFY(bytes.size() <= static_cast<std::size_t>(maxBytes));
    }

    // Pasting into the edits: what they show is what CP932 keeps, cut as it comes in.
    void editsShowWhatIsKept() {
        QLineEdit line;
        LimitEditBytes(&line, 11, Uncodable::CharRef);
        line.setText(u"ab"_qs);
        line.setCursorPosition(1);
        line.insert(u"😀xyz"_qs); // what a paste does
        QCOMPARE(line.text(), u"a&#x1F600;b"_qs);
        QCOMPARE(line.cursorPosition(), 10);

        QPlainTextEdit plain;
        LimitEditBytes(&plain, 12, Uncodable::Refuse);
        int changes = 0;
        QString seen;
        connect(&plain, &QPlainTextEdit::textChanged, this, [&] {
            ++changes;
            seen = plain.toPlainText();
        });
        plain.insertPlainText(u"AB😀\nCDEFGHIJKLMN"_qs);
        QCOMPARE(plain.toPlainText(), u"AB\nCDEFGHIJ"_qs); // the line break takes two of the 12 bytes
        QCOMPARE(seen, plain.toPlainText()); // the last change anyone sees is the fitted text
        plain.undo();
        QCOMPARE(plain.toPlainText(), QString()); // one undo step takes the whole paste
        QVERIFY(changes >= 2);
    }

    // Enter presses the focused button even when another is the default.
    void enterPressesTheFocusedButton() {
        QDialog dialog;
        auto* layout = new QVBoxLayout(&dialog);
        auto* other = new QPushButton(u"参照..."_qs, &dialog);
        auto* ok = new QPushButton(u"OK"_qs, &dialog);
        other->setAutoDefault(false);
        ok->setDefault(true);
        layout->addWidget(other);
        layout->addWidget(ok);
        int otherClicks = 0;
        int okClicks = 0;
        connect(other, &QPushButton::clicked, this, [&] { ++otherClicks; });
        connect(ok, &QPushButton::clicked, this, [&] { ++okClicks; });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.activateWindow();
        other->setFocus();
        QTRY_VERIFY(other->hasFocus());
        QTest::keyClick(other, Qt::Key_Return);
        QTRY_COMPARE(otherClicks, 1);
        QCOMPARE(okClicks, 0);
    }

    void standardButtonsAreJapanese() {
        QMessageBox box(QMessageBox::Warning, u"Zelvor管理"_qs, u"保存しますか？"_qs,
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')).left(2), u"はい"_qs);
        QCOMPARE(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')).left(3), u"いいえ"_qs);
        QCOMPARE(box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&')).left(5), u"キャンセル"_qs);
    }

    void controlsAreNamedAfterTheirLabels() {
        QWidget form;
        auto* layout = new QVBoxLayout(&form);
        auto* margin = new QCheckBox(u"&Margin"_qs);
        auto* left = new QLabel(u"左"_qs);
        auto* leftEdit = new QLineEdit;
        auto* unit = new QLabel(u"px"_qs);
        auto* width = new QLabel(u"幅"_qs);
        auto* widthEdit = new QLineEdit;
        auto* widthUnit = new QComboBox;
        widthUnit->addItems({u"px"_qs, u"%"_qs});
        auto* named = new QLineEdit;
        named->setAccessibleName(u"名前"_qs);
        for (QWidget* w : std::initializer_list<QWidget*>{margin, left, leftEdit, unit, width, widthEdit, widthUnit, named})
            layout->addWidget(w);
        NameControlsAfterLabels(&form);
        QCOMPARE(leftEdit->accessibleName(), u"Margin 左"_qs);
        QCOMPARE(widthEdit->accessibleName(), u"幅"_qs);
        QCOMPARE(widthUnit->accessibleName(), u"幅"_qs);
        QCOMPARE(named->accessibleName(), u"名前"_qs);
        // What a screen reader hears: the combo box by its label, its value by the choice.
        QAccessibleInterface* combo = QAccessible::queryAccessibleInterface(widthUnit);
        QVERIFY(combo);
        QCOMPARE(combo->text(QAccessible::Name), u"幅"_qs);
        QCOMPARE(combo->text(QAccessible::Value), u"px"_qs);
        QCOMPARE(combo->childCount(), 1);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    SetUpApplication(app, u"common_ui_test"_qs, QString(), u"jp.zelvor.common_ui_test"_qs);
    CommonUiTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "CommonUiTest.moc"
