#pragma once

#include "admanager/library/LibraryNode.h"

#include <string>
#include <string_view>

// Whole HTML pages around a block or a single tag, for the embedded browsers.
// Paths are file-system paths; the page texts are CP932 bytes written as they are.

// The preview page of a block. The style sheet path is linked exactly as given,
// and not at all when empty.
bool WritePreviewPage(std::string_view block, std::string_view styleSheetPath, const std::string& filePath);

// A page titled with the banner's name that shows its tag; false without a banner.
bool WriteWorkPage(const std::string& filePath, const Banner* banner);
