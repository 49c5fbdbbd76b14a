#pragma once

#include "admanager/library/LibraryNode.h"

#include <string>

// Finding an ad item named on the command line: by its identifier, or by the
// path of titles from the root ("Folder/Sub/Item").
struct ItemLookup {
    const LibraryNode* item = nullptr;
    std::string error; // the user's message when item is null
};

ItemLookup FindAdItem(const AdLibrary& library, const std::string& name, const std::string& libraryPath);
