#pragma once

#include "stylemaker/style/StyleSettings.h"

#include <string>
#include <string_view>

namespace vessilo {

// The style sheet of a record for one tag class name: six rules, five more for the
// credit line unless it is switched off; LF line ends; values and the class name
// go in byte for byte.
std::string BuildCss(const CStyleSettings& settings, std::string_view tagClass);

// Writes BuildCss to path, replacing the file's content. True only when every
// byte was written.
bool WriteCss(const CStyleSettings& settings, const std::string& path, std::string_view tagClass);

} // namespace vessilo
