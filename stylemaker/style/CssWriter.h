#pragma once

#include "stylemaker/style/StyleSettings.h"

#include <string>
#include <string_view>
#include <vector>

namespace vessilo {

// The style sheet of a record for one tag class name: six rules, five more for the
// credit line unless it is switched off; LF line ends; values and the class name
// go in byte for byte. A value that would end its declaration or rule (; { } < >
// " ' \ or a line break, from a hand-edited file) leaves its declaration out;
// dropped, when given, gets "selector property" of each.
std::string BuildCss(const CStyleSettings& settings, std::string_view tagClass,
                     std::vector<std::string>* dropped = nullptr);

// Writes BuildCss to path, replacing the file's content. True only when every
// byte was written.
bool WriteCss(const CStyleSettings& settings, const std::string& path, std::string_view tagClass,
              std::vector<std::string>* dropped = nullptr);

} // namespace vessilo
