#pragma once

#include <QValidator>
#include <cstddef>

class QLineEdit;

// Refuses input whose CP932 form is longer than a byte count, so an edit never
// shows more than the model can keep.
class ByteLimitValidator : public QValidator {
    Q_OBJECT
public:
    ByteLimitValidator(std::size_t maxBytes, QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;

private:
    std::size_t m_maxBytes;
};

// Limits a line edit to maxBytes of CP932.
void LimitEditBytes(QLineEdit* edit, std::size_t maxBytes);
