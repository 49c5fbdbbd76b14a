#include "common/ui/TextLimit.h"

#include "common/ui/Cp932Qt.h"

#include <QLineEdit>
#include <algorithm>
#include <limits>

ByteLimitValidator::ByteLimitValidator(std::size_t maxBytes, QObject* parent)
    : QValidator(parent), m_maxBytes(maxBytes) {}

QValidator::State ByteLimitValidator::validate(QString& input, int&) const {
    return Cp932Qt::FromQt(input).size() <= m_maxBytes ? Acceptable : Invalid;
}

void LimitEditBytes(QLineEdit* edit, std::size_t maxBytes) {
    edit->setValidator(new ByteLimitValidator(maxBytes, edit));
    // Every character takes at least one byte: a cheap bound for pasted text.
    edit->setMaxLength(static_cast<int>(std::min<std::size_t>(maxBytes, std::numeric_limits<int>::max())));
}
