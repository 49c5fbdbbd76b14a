#pragma once

#include <QString>
#include <string>
#include <string_view>

// Conversion between the model's CP932 bytes and Qt's strings, at the widget edge.
namespace Cp932Qt {

QString ToQt(std::string_view cp932);
std::string FromQt(const QString& text);

// Multi-line fields keep Windows line breaks in the model; Qt's editors use LF.
QString ToQtMultiline(std::string_view cp932);
std::string FromQtMultiline(const QString& text);

} // namespace Cp932Qt
