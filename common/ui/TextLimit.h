#pragma once

#include <QString>
#include <QValidator>
#include <cstddef>

class QLineEdit;
class QPlainTextEdit;
class QWidget;

// Edits take only what the model keeps: text whose CP932 form fits a byte count.
// What the edit shows is what is stored, so nothing is cut or turned into "?"
// behind the user's back.
namespace TextLimit {

// What becomes of a character CP932 cannot hold.
enum class Uncodable {
    Refuse,  // left out
    CharRef, // written as a numeric character reference ("&#x1F600;"): fields that end up in HTML
};

struct Fitted {
    QString text;
    int cursor = 0;
    bool dropped = false; // characters were left out
    bool cut = false;     // text was cut to the byte count
};

// Fits text to maxBytes of CP932. Too long text loses the characters just before
// the cursor (what was just typed or pasted), then from the end. In multi-line
// text a line break takes two bytes (CR LF).
Fitted Fit(const QString& text, int cursor, std::size_t maxBytes, Uncodable mode, bool multiline);

// A short note beside the edit: the status bar of its main window, else a tooltip.
void ShowHint(QWidget* edit, const QString& text);

} // namespace TextLimit

// The line edits' form of the limit.
class Cp932Validator : public QValidator {
    Q_OBJECT
public:
    Cp932Validator(std::size_t maxBytes, TextLimit::Uncodable mode, QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;

private:
    std::size_t m_maxBytes;
    TextLimit::Uncodable m_mode;
};

// Limits an edit to maxBytes of CP932, fitting typed and pasted text as it comes.
void LimitEditBytes(QLineEdit* edit, std::size_t maxBytes,
                    TextLimit::Uncodable mode = TextLimit::Uncodable::Refuse);
void LimitEditBytes(QPlainTextEdit* edit, std::size_t maxBytes,
                    TextLimit::Uncodable mode = TextLimit::Uncodable::Refuse);
