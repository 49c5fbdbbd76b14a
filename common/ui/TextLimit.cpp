#include "common/ui/TextLimit.h"

#include "common/ui/Cp932Qt.h"

#include <QLineEdit>
#include <algorithm>
#include <limits>

Cp932Validator::Cp932Validator(std::size_t maxBytes, QObject* parent) : QValidator(parent), m_maxBytes(maxBytes) {}

QValidator::State Cp932Validator::validate(QString& input, int&) const {
    const std::string bytes = Cp932Qt::FromQt(input);
    if (bytes.size() > m_maxBytes)
        return Invalid;
    // The conversion writes "?" for what it cannot map: more of them than were typed means a loss.
    const auto typed = std::count(input.cbegin(), input.cend(), QLatin1Char('?'));
    return std::count(bytes.cbegin(), bytes.cend(), '?') > typed ? Invalid : Acceptable;
}

void LimitEditBytes(QLineEdit* edit, std::size_t maxBytes) {
    edit->setValidator(new Cp932Validator(maxBytes, edit));
    // Every character takes at least one byte: a cheap bound for pasted text.
    edit->setMaxLength(static_cast<int>(std::min<std::size_t>(maxBytes, std::numeric_limits<int>::max())));
}
