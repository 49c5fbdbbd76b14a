#pragma once

#include <QValidator>
#include <cstddef>

class QLineEdit;

// Accepts only what the model can keep: text whose CP932 form fits a byte count
// and holds no character CP932 lacks (that would silently turn into "?").
class Cp932Validator : public QValidator {
    Q_OBJECT
public:
    Cp932Validator(std::size_t maxBytes, QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;

private:
    std::size_t m_maxBytes;
};

// Limits a line edit to maxBytes of CP932.
void LimitEditBytes(QLineEdit* edit, std::size_t maxBytes);
