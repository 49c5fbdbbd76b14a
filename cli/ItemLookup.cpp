#include "cli/ItemLookup.h"

#include "common/Cp932.h"

#include <string_view>
#include <vector>

namespace {

const LibraryNode* FindById(const LibraryNode& node, const std::string& id) {
    for (const auto& child : node.children) {
        if (child->IsDeleted())
            continue;
        if (child->id == id)
            return child.get();
        if (const LibraryNode* found = FindById(*child, id))
            return found;
    }
    return nullptr;
}

// Titles may hold '/' themselves, so every way of splitting the path is tried.
void FindByPath(const LibraryNode& node, std::string_view path, std::vector<const LibraryNode*>& found) {
    for (const auto& child : node.children) {
        if (child->IsDeleted() || found.size() > 1)
            continue;
        const std::string& title = child->title;
        if (path.substr(0, title.size()) != title)
            continue;
        if (path.size() == title.size())
            found.push_back(child.get());
        else if (path[title.size()] == '/')
            FindByPath(*child, path.substr(title.size() + 1), found);
    }
}

} // namespace

ItemLookup FindAdItem(const AdLibrary& library, const std::string& name, const std::string& libraryPath) {
    ItemLookup lookup;
    const LibraryNode* item = FindById(library.root, name);
    if (!item) {
        std::vector<const LibraryNode*> found;
        FindByPath(library.root, Cp932::FromUtf8(name), found);
        if (found.size() > 1) {
            lookup.error = "'" + name + "' names more than one node; give its identifier instead";
            return lookup;
        }
        if (found.empty()) {
            lookup.error = "no ad item '" + name + "' in " + libraryPath;
            return lookup;
        }
        item = found.front();
    }
    if (!item->IsAdItem())
        lookup.error = "'" + name + "' is a folder, not an ad item";
    else if (item->HasReadError())
        lookup.error = "'" + name + "' could not be read from the library";
    else
        lookup.item = item;
    return lookup;
}
