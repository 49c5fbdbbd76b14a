#include "cli/LibraryJson.h"

#include "admanager/library/LibraryFile.h"
#include "common/Cp932.h"

#include <limits>
#include <unordered_set>

using nlohmann::json;
using nlohmann::ordered_json;

namespace {

ordered_json BannerToJson(const Banner& b) {
    ordered_json j;
    j["asp"] = Cp932::ToUtf8(b.asp);
    j["advertiser"] = Cp932::ToUtf8(b.advertiser);
    j["name"] = Cp932::ToUtf8(b.name);
    j["cpm"] = b.cpm;
    j["cpc"] = b.cpc;
    j["fixedRate"] = b.fixedRate;
    j["fixedFee"] = b.fixedFee;
    j["comment"] = Cp932::ToUtf8(b.comment);
    j["tag"] = Cp932::ToUtf8(b.tag);
    return j;
}

ordered_json NodeToJson(const LibraryNode& n) {
    ordered_json j;
    j["id"] = Cp932::ToUtf8(n.id);
    j["flags"] = n.flags;
    j["title"] = Cp932::ToUtf8(n.title);
    j["comment"] = Cp932::ToUtf8(n.comment);
    j["outputPath"] = Cp932::ToUtf8(n.outputPath);
    j["ftpUpload"] = n.ftpUpload;
    j["remoteFile"] = Cp932::ToUtf8(n.remoteFile);
    j["styleSheet"] = Cp932::ToUtf8(n.styleSheet);
    j["tagClass"] = Cp932::ToUtf8(n.tagClass);
    j["columnIndex"] = n.columnIndex;
    j["rowLimit"] = n.rowLimit;
    j["rowCount"] = n.rowCount;
    j["multiPage"] = n.multiPage;
    j["layout"] = {n.layout[0], n.layout[1], n.layout[2]};
    j["ftpHost"] = Cp932::ToUtf8(n.ftpHost);
    ordered_json children = ordered_json::array();
    for (const auto& child : n.children)
        if (!child->IsDeleted())
            children.push_back(NodeToJson(*child));
    j["children"] = std::move(children);
    ordered_json banners = ordered_json::array();
    for (const auto& b : n.banners)
        if (b->IsLive())
            banners.push_back(BannerToJson(*b));
    j["banners"] = std::move(banners);
    return j;
}

class JsonReader {
public:
    std::string error;
    std::unordered_set<std::string> ids;

    bool Text(const json& obj, const char* key, std::string& out, const std::string& where) {
        auto it = obj.find(key);
        if (it == obj.end() || it->is_null())
            return true;
        if (!it->is_string())
            return Fail(where + ": \"" + key + "\" must be a string");
        out = Cp932::FromUtf8(it->get_ref<const std::string&>());
        return true;
    }

    bool Int(const json& obj, const char* key, std::int32_t& out, const std::string& where) {
        auto it = obj.find(key);
        if (it == obj.end() || it->is_null())
            return true;
        return IntValue(*it, out, where + ": \"" + key + "\"");
    }

    bool IntValue(const json& v, std::int32_t& out, const std::string& what) {
        if (v.is_boolean()) {
            out = v.get<bool>() ? 1 : 0;
            return true;
        }
        if (v.is_number_integer()) {
            if (v.is_number_unsigned()) {
                auto u = v.get<std::uint64_t>();
                if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
                    return Fail(what + " is out of range");
                out = static_cast<std::int32_t>(u);
                return true;
            }
            auto s = v.get<std::int64_t>();
            if (s < std::numeric_limits<std::int32_t>::min() || s > std::numeric_limits<std::int32_t>::max())
                return Fail(what + " is out of range");
            out = static_cast<std::int32_t>(s);
            return true;
        }
        return Fail(what + " must be an integer");
    }

    bool Banner_(const json& j, Banner& b, const std::string& where) {
        if (!j.is_object())
            return Fail(where + " must be an object");
        bool ok = Text(j, "asp", b.asp, where) && Text(j, "advertiser", b.advertiser, where) &&
                  Text(j, "name", b.name, where) && Int(j, "cpm", b.cpm, where) && Int(j, "cpc", b.cpc, where) &&
                  Int(j, "fixedRate", b.fixedRate, where) && Int(j, "fixedFee", b.fixedFee, where) &&
                  Text(j, "comment", b.comment, where) && Text(j, "tag", b.tag, where);
        b.CutTexts();
        return ok;
    }

    bool Node(const json& j, LibraryNode& n, bool isRoot, int depth, const std::string& where) {
        if (!j.is_object())
            return Fail(where + " must be an object");
        if (depth > LibraryFormat::kMaxDepth)
            return Fail(where + ": folders are nested too deeply");
        auto children = j.find("children");
        bool hasChildren = children != j.end() && !children->is_null();

        if (isRoot) {
            n.id = "RootNode";
        } else if (auto id = j.find("id"); id != j.end() && !id->is_null()) {
            if (!id->is_string())
                return Fail(where + ": \"id\" must be a string");
            n.id = Cp932::FromUtf8(id->get_ref<const std::string&>());
            if (!IsSafeNodeId(n.id))
                return Fail(where + ": id \"" + id->get<std::string>() +
                            "\" is not usable (1 to 20 characters, no '/' or '\\')");
        } else {
            n.id = MakeNodeId();
        }
        if (!ids.insert(n.id).second)
            return Fail(where + ": id \"" + Cp932::ToUtf8(n.id) + "\" is used twice");

        n.flags = hasChildren ? NODE_FOLDER : NODE_AD_ITEM;
        if (isRoot)
            n.title = LibraryTexts::RootTitle();
        bool ok = Int(j, "flags", n.flags, where) && Text(j, "title", n.title, where) &&
                  Text(j, "comment", n.comment, where) && Text(j, "outputPath", n.outputPath, where) &&
                  Int(j, "ftpUpload", n.ftpUpload, where) && Text(j, "remoteFile", n.remoteFile, where) &&
                  Text(j, "styleSheet", n.styleSheet, where) && Text(j, "tagClass", n.tagClass, where) &&
                  Int(j, "columnIndex", n.columnIndex, where) && Int(j, "rowLimit", n.rowLimit, where) &&
                  Int(j, "rowCount", n.rowCount, where) && Int(j, "multiPage", n.multiPage, where) &&
                  Text(j, "ftpHost", n.ftpHost, where);
        if (!ok)
            return false;
        if (auto layout = j.find("layout"); layout != j.end() && !layout->is_null()) {
            if (!layout->is_array() || layout->size() != 3)
                return Fail(where + ": \"layout\" must be an array of three codes");
            for (int i = 0; i < 3; ++i)
                if (!IntValue((*layout)[static_cast<std::size_t>(i)], n.layout[i], where + ": \"layout\""))
                    return false;
        }
        n.CutTexts();

        if (isRoot) {
            n.flags = kRootFlags;
        } else {
            int kind = n.flags & (NODE_AD_ITEM | NODE_FOLDER);
            if (kind != NODE_AD_ITEM && kind != NODE_FOLDER)
                return Fail(where + ": \"flags\" must mark either an ad item (1) or a folder (2)");
            if (n.flags & (NODE_ROOT | NODE_DELETED))
                return Fail(where + ": \"flags\" may not mark a root or a deleted node");
        }

        if (hasChildren) {
            if (!children->is_array())
                return Fail(where + ": \"children\" must be an array");
            if (!n.IsFolder() && !children->empty())
                return Fail(where + ": an ad item cannot hold children");
            std::size_t i = 0;
            for (const auto& c : *children) {
                auto child = std::make_unique<LibraryNode>();
                if (!Node(c, *child, false, depth + 1, where + "/children[" + std::to_string(i++) + "]"))
                    return false;
                n.children.push_back(std::move(child));
            }
        }
        if (auto banners = j.find("banners"); banners != j.end() && !banners->is_null()) {
            if (!banners->is_array())
                return Fail(where + ": \"banners\" must be an array");
            if (!n.IsAdItem() && !banners->empty())
                return Fail(where + ": a folder cannot hold banners");
            std::size_t i = 0;
            for (const auto& bj : *banners) {
                auto banner = std::make_unique<Banner>();
                if (!Banner_(bj, *banner, where + "/banners[" + std::to_string(i++) + "]"))
                    return false;
                n.banners.push_back(std::move(banner));
            }
        }
        return true;
    }

private:
    bool Fail(std::string message) {
        error = std::move(message);
        return false;
    }
};

} // namespace

ordered_json LibraryToJson(const AdLibrary& library) { return NodeToJson(library.root); }

bool LibraryFromJson(const json& j, AdLibrary& library, std::string& error) {
    ResetLibrary(library);
    InitEmptyLibrary(library);
    JsonReader reader;
    if (!reader.Node(j, library.root, true, 0, "root")) {
        error = reader.error;
        ResetLibrary(library);
        InitEmptyLibrary(library);
        return false;
    }
    return true;
}
