#include "common/ui/Cp932Qt.h"

#include "common/Cp932.h"

namespace Cp932Qt {

QString ToQt(std::string_view cp932) { return QString::fromStdString(Cp932::ToUtf8(cp932)); }

std::string FromQt(const QString& text) { return Cp932::FromUtf8(text.toStdString()); }

QString ToQtMultiline(std::string_view cp932) {
    QString text = ToQt(cp932);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

std::string FromQtMultiline(const QString& text) {
    QString windows = text;
    windows.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    windows.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return FromQt(windows);
}

} // namespace Cp932Qt
