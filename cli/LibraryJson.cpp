#include "cli/LibraryJson.h"

#include "admanager/library/LibraryFile.h"
#include "common/Cp932.h"

#include <limits>
#include <ostream>
#include <unordered_set>

using nlohmann::json;

namespace {

// Writes the JSON text of a library as it goes, laid out as a two-space
// indented dump: a large library never exists a second time as a JSON tree.
class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : m_out(out) {}

    void Node(const LibraryNode& n, int depth) {
        m_out << '{';
        Text(depth, "id", n.id, true);
        Int(depth, "flags", n.flags);
        Text(depth, "title", n.title);
        Text(depth, "comment", n.comment);
        Text(depth, "outputPath", n.outputPath);
        Int(depth, "ftpUpload", n.ftpUpload);
        Text(depth, "remoteFile", n.remoteFile);
        Text(depth, "styleSheet", n.styleSheet);
        Text(depth, "tagClass", n.tagClass);
        Int(depth, "columnIndex", n.columnIndex);
        Int(depth, "rowLimit", n.rowLimit);
        Int(depth, "rowCount", n.rowCount);
        Int(depth, "multiPage", n.multiPage);
        Key(depth, "layout");
        m_out << '[';
        for (int i = 0; i < 3; ++i) {
            m_out << (i ? "," : "");
            Line(depth + 2);
            m_out << n.layout[i];
        }
        Line(depth + 1);
        m_out << ']';
        Text(depth, "ftpHost", n.ftpHost);
        Key(depth, "children");
        List(depth, n.children, [](const auto& c) { return !c->IsDeleted(); },
             [this, depth](const LibraryNode& c) { Node(c, depth + 2); });
        Key(depth, "banners");
        List(depth, n.banners, [](const auto& b) { return b->IsLive(); },
             [this, depth](const Banner& b) { BannerObject(b, depth + 2); });
        Line(depth);
        m_out << '}';
    }

private:
    void BannerObject(const Banner& b, int depth) {
        m_out << '{';
        Text(depth, "asp", b.asp, true);
        Text(depth, "advertiser", b.advertiser);
        Text(depth, "name", b.name);
        Int(depth, "cpm", b.cpm);
        Int(depth, "cpc", b.cpc);
        Int(depth, "fixedRate", b.fixedRate);
        Int(depth, "fixedFee", b.fixedFee);
        Text(depth, "comment", b.comment);
        Text(depth, "tag", b.tag);
        Line(depth);
        m_out << '}';
    }

    template <typename Items, typename Keep, typename Write>
    void List(int depth, const Items& items, Keep keep, Write write) {
        bool any = false;
        m_out << '[';
        for (const auto& item : items) {
            if (!keep(item))
                continue;
            m_out << (any ? "," : "");
            Line(depth + 2);
            write(*item);
            any = true;
        }
        if (any)
            Line(depth + 1);
        m_out << ']';
    }

    void Line(int depth) { m_out << '\n' << std::string(static_cast<std::size_t>(depth) * 2, ' '); }
    void Key(int depth, const char* key, bool first = false) {
        m_out << (first ? "" : ",");
        Line(depth + 1);
        m_out << '"' << key << "\": ";
    }
    void Text(int depth, const char* key, const std::string& cp932, bool first = false) {
        Key(depth, key, first);
        // Escaped as the JSON library does; bytes that are no UTF-8 become U+FFFD.
        m_out << json(Cp932::ToUtf8(cp932)).dump(-1, ' ', false, json::error_handler_t::replace);
    }
    void Int(int depth, const char* key, std::int32_t value) {
        Key(depth, key);
        m_out << value;
    }

    std::ostream& m_out;
};

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

void WriteLibraryJson(const AdLibrary& library, std::ostream& out) {
    JsonWriter(out).Node(library.root, 0);
    out << '\n';
}

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
