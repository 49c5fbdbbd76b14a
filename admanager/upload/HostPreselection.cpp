#include "admanager/upload/HostPreselection.h"

#include "common/Cp932.h"

namespace {

unsigned char FoldAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c;
}

} // namespace

bool HostNameStartsWith(std::string_view name, std::string_view prefix) {
    if (prefix.size() > name.size())
        return false;
    std::size_t pos = 0;
    while (pos < prefix.size()) {
        std::size_t len = Cp932::CharLength(prefix, pos);
        if (len == 1) {
            if (FoldAscii(static_cast<unsigned char>(prefix[pos])) != FoldAscii(static_cast<unsigned char>(name[pos])))
                return false;
        } else if (prefix.substr(pos, len) != name.substr(pos, len)) {
            return false;
        }
        // The name must not split a character where the prefix does not.
        if (Cp932::CharLength(name, pos) != len)
            return false;
        pos += len;
    }
    return true;
}

int PreselectHost(const FtpHostList& list, std::string_view storedName) {
    if (list.entries.empty())
        return -1;
    for (std::size_t i = 0; i < list.entries.size(); ++i)
        if (HostNameStartsWith(list.entries[i].name, storedName))
            return static_cast<int>(i);
    return 0;
}

int FindHostByName(const FtpHostList& list, std::string_view storedName) {
    for (std::size_t i = 0; i < list.entries.size(); ++i)
        if (list.entries[i].name.size() == storedName.size() && HostNameStartsWith(list.entries[i].name, storedName))
            return static_cast<int>(i);
    return -1;
}
