#include "common/ui/TextLimit.h"

#include "common/ui/Cp932Qt.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTextCursor>
#include <QToolTip>
#include <algorithm>
#include <limits>
#include <vector>

namespace TextLimit {
namespace {

constexpr int kHintMs = 5000;

struct Unit {
    QString text;
    std::size_t bytes;
};

void Notify(QWidget* edit, const Fitted& fitted) {
    if (fitted.dropped)
        ShowHint(edit, u"この欄に使えない文字は入力できません。"_qs);
    else if (fitted.cut)
        ShowHint(edit, u"この欄に入る長さを超えた分は入力できません。"_qs);
}

} // namespace

Fitted Fit(const QString& text, int cursor, std::size_t maxBytes, Uncodable mode, bool multiline) {
    cursor = std::clamp(cursor, 0, static_cast<int>(text.size()));
    const std::string whole = multiline ? Cp932Qt::FromQtMultiline(text) : Cp932Qt::FromQt(text);
    // The conversion writes "?" for what it cannot hold: more of them than were typed means a loss.
    const bool lossless = std::count(whole.cbegin(), whole.cend(), '?') == std::count(text.cbegin(), text.cend(), u'?');
    if (lossless && whole.size() <= maxBytes)
        return {text, cursor, false, false};

    Fitted fitted;
    std::vector<Unit> units;
    std::size_t unitsBeforeCursor = 0;
    std::size_t total = 0;
    for (qsizetype i = 0; i < text.size();) {
        qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
        QString piece = text.mid(i, length);
        const bool beforeCursor = i < cursor;
        i += length;
        std::size_t bytes = 1;
        const char16_t first = piece.at(0).unicode();
        if (first == u'\n')
            bytes = multiline ? 2 : 1;
        else if (first >= 0x80) {
            const std::string encoded = Cp932Qt::FromQt(piece);
            if (encoded == "?") {
                if (mode == Uncodable::Refuse) {
                    fitted.dropped = true;
                    continue;
                }
                const char32_t code = length == 2 ? QChar::surrogateToUcs4(piece.at(0), piece.at(1)) : first;
                piece = u"&#x"_qs + QString::number(static_cast<uint>(code), 16).toUpper() + u";"_qs;
                bytes = static_cast<std::size_t>(piece.size());
            } else {
                bytes = encoded.size();
            }
        }
        units.push_back({piece, bytes});
        total += bytes;
        if (beforeCursor)
            unitsBeforeCursor = units.size();
    }
    while (total > maxBytes && !units.empty()) {
        const std::size_t at = unitsBeforeCursor > 0 ? --unitsBeforeCursor : units.size() - 1;
        total -= units[at].bytes;
        units.erase(units.begin() + static_cast<std::ptrdiff_t>(at));
        fitted.cut = true;
    }
    for (std::size_t u = 0; u < units.size(); ++u) {
        fitted.text += units[u].text;
        if (u + 1 == unitsBeforeCursor)
            fitted.cursor = static_cast<int>(fitted.text.size());
    }
    return fitted;
}

void ShowHint(QWidget* edit, const QString& text) {
    if (!edit)
        return;
    auto* frame = qobject_cast<QMainWindow*>(edit->window());
    QStatusBar* bar = frame ? frame->findChild<QStatusBar*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (bar && bar->isVisible())
        bar->showMessage(text, kHintMs);
    else
        QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), text, edit, QRect(), kHintMs);
}

} // namespace TextLimit

Cp932Validator::Cp932Validator(std::size_t maxBytes, TextLimit::Uncodable mode, QObject* parent)
    : QValidator(parent), m_maxBytes(maxBytes), m_mode(mode) {}

QValidator::State Cp932Validator::validate(QString& input, int& pos) const {
    TextLimit::Fitted fitted = TextLimit::Fit(input, pos, m_maxBytes, m_mode, false);
    if (fitted.text != input) {
        input = fitted.text;
        pos = fitted.cursor;
        TextLimit::Notify(qobject_cast<QWidget*>(parent()), fitted);
    }
    return Acceptable;
}

namespace {

// The multi-line edits' form: the text is fitted right after each change, inside
// the same undo step.
class PlainTextLimiter : public QObject {
public:
    PlainTextLimiter(QPlainTextEdit* edit, std::size_t maxBytes, TextLimit::Uncodable mode)
        : QObject(edit), m_edit(edit), m_maxBytes(maxBytes), m_mode(mode) {
        connect(edit, &QPlainTextEdit::textChanged, this, &PlainTextLimiter::Check);
    }

private:
    void Check() {
        if (m_busy)
            return;
        const QString text = m_edit->toPlainText();
        TextLimit::Fitted fitted = TextLimit::Fit(text, m_edit->textCursor().position(), m_maxBytes, m_mode, true);
        if (fitted.text == text)
            return;
        m_busy = true;
        // Replace only the stretch that differs, so the view keeps its place.
        qsizetype prefix = 0;
        const qsizetype shorter = std::min(text.size(), fitted.text.size());
        while (prefix < shorter && text.at(prefix) == fitted.text.at(prefix))
            ++prefix;
        qsizetype suffix = 0;
        while (suffix < shorter - prefix &&
               text.at(text.size() - 1 - suffix) == fitted.text.at(fitted.text.size() - 1 - suffix))
            ++suffix;
        QTextCursor change(m_edit->document());
        change.joinPreviousEditBlock();
        change.setPosition(static_cast<int>(prefix));
        change.setPosition(static_cast<int>(text.size() - suffix), QTextCursor::KeepAnchor);
        change.insertText(fitted.text.mid(prefix, fitted.text.size() - suffix - prefix));
        change.endEditBlock();
        QTextCursor caret = m_edit->textCursor();
        caret.setPosition(fitted.cursor);
        m_edit->setTextCursor(caret);
        m_busy = false;
        TextLimit::Notify(m_edit, fitted);
    }

    QPlainTextEdit* m_edit;
    std::size_t m_maxBytes;
    TextLimit::Uncodable m_mode;
    bool m_busy = false;
};

} // namespace

void LimitEditBytes(QLineEdit* edit, std::size_t maxBytes, TextLimit::Uncodable mode) {
    edit->setValidator(new Cp932Validator(maxBytes, mode, edit));
    // Every character takes at least one byte: a cheap bound for pasted text.
    edit->setMaxLength(static_cast<int>(std::min<std::size_t>(maxBytes, std::numeric_limits<int>::max())));
}

void LimitEditBytes(QPlainTextEdit* edit, std::size_t maxBytes, TextLimit::Uncodable mode) {
    new PlainTextLimiter(edit, maxBytes, mode);
}
