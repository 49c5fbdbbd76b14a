#include "admanager/upload/KnownHosts.h"

#include "common/FileOps.h"

#include <vector>

namespace KnownHosts {

namespace {

struct Entry {
    std::string_view hosts, type, key;
};

// A line's host list, key type and key; false for comments, markers and junk.
bool Parse(std::string_view line, Entry& entry) {
    auto next = [&line]() {
        std::size_t start = line.find_first_not_of(" \t");
        if (start == line.npos) {
            line = {};
            return std::string_view();
        }
        line.remove_prefix(start);
        std::size_t end = line.find_first_of(" \t");
        std::string_view field = line.substr(0, end);
        line.remove_prefix(end == line.npos ? line.size() : end);
        return field;
    };
    entry.hosts = next();
    if (entry.hosts.empty() || entry.hosts[0] == '#' || entry.hosts[0] == '@')
        return false;
    entry.type = next();
    entry.key = next();
    return !entry.type.empty() && !entry.key.empty();
}

bool ListsHost(std::string_view hosts, std::string_view pattern) {
    while (!hosts.empty()) {
        std::size_t comma = hosts.find(',');
        if (hosts.substr(0, comma) == pattern)
            return true;
        hosts.remove_prefix(comma == hosts.npos ? hosts.size() : comma + 1);
    }
    return false;
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        text.remove_prefix(end == text.npos ? text.size() : end + 1);
    }
    return lines;
}

} // namespace

std::string HostPattern(std::string_view host, int port) {
    if (port == 22)
        return std::string(host);
    return "[" + std::string(host) + "]:" + std::to_string(port);
}

Match Check(const std::string& path, std::string_view pattern, std::string_view keyType, std::string_view keyBase64) {
    std::string text;
    if (!FileOps::ReadWholeFile(path, text))
        return Match::Missing;
    Match match = Match::Missing;
    for (std::string_view line : Lines(text)) {
        Entry e;
        if (!Parse(line, e) || e.type != keyType || !ListsHost(e.hosts, pattern))
            continue;
        if (e.key == keyBase64)
            return Match::Found;
        match = Match::Different;
    }
    return match;
}

bool Remember(const std::string& path, std::string_view pattern, std::string_view keyType,
              std::string_view keyBase64) {
    std::string text;
    FileOps::ReadWholeFile(path, text);
    std::string out;
    for (std::string_view line : Lines(text)) {
        Entry e;
        // Only our own single-host lines are replaced; anything else stays.
        if (Parse(line, e) && e.type == keyType && e.hosts == pattern)
            continue;
        out.append(line).append("\n");
    }
    out.append(pattern).append(" ").append(keyType).append(" ").append(keyBase64).append("\n");
    return FileOps::ReplaceFileAtomic(path, out, true);
}

} // namespace KnownHosts
