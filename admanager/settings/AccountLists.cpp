#include "admanager/settings/AccountLists.h"

#include "admanager/settings/AppSettings.h"
#include "admanager/settings/PasswordScrambler.h"
#include "common/Cp932.h"
#include "common/IniProfile.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

namespace SettingsTexts {

#define ZOVA_TEXT(name, utf8)                                                                                          \
    const std::string& name() {                                                                                        \
        static const std::string text = Cp932::FromUtf8(utf8);                                                         \
        return text;                                                                                                   \
    }

ZOVA_TEXT(ReadFailedName, "読み込み失敗")
ZOVA_TEXT(NewAspName, "新しいASP")
ZOVA_TEXT(NewFtpHostName, "新しいホスト設定")

#undef ZOVA_TEXT

} // namespace SettingsTexts

namespace {

// Read capacities (with the terminating zero) of the list keys.
constexpr std::size_t kTextCapacity = 255;
constexpr std::size_t kLongTextCapacity = 511;
// Room for the stored form of any 255-byte password, so every password that
// fits an entry survives a save and load.
constexpr std::size_t kStoredCapacity = 8192;

std::string Key(const char* name, int index) { return name + std::to_string(index); }

std::string Line(const std::string& key, std::string_view value) { return key + "=" + std::string(value); }

std::string Text(const IniSection& section, const std::string& key, std::string_view def, std::size_t capacity) {
    std::string value;
    section.GetString(key, def, value, capacity);
    return Cp932::Kept(value, capacity - 1);
}

std::string Password(const IniSection& section, const std::string& key, std::size_t keptBytes) {
    return Cp932::Kept(UnscramblePassword(Text(section, key, "", kStoredCapacity)), keptBytes);
}

int BoundedCount(const IniSection& section, const char* key) {
    return std::clamp(section.GetInt(key, 0), 0, kMaxListEntries);
}

template <typename List, typename Entry> bool Append(List& list, const Entry& entry) {
    try {
        list.entries.push_back(entry);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

template <typename List> bool Remove(List& list, int index) {
    if (index < 0 || index >= list.Count())
        return false;
    list.entries.erase(list.entries.begin() + index);
    if (list.entries.empty())
        list.entries.shrink_to_fit();
    return true;
}

template <typename List> bool Swap(List& list, int first, int second) {
    if (first == second || first < 0 || second < 0 || first >= list.Count() || second >= list.Count())
        return false;
    std::swap(list.entries[first], list.entries[second]);
    return true;
}

} // namespace

AspEntry AspEntry::New() {
    AspEntry e;
    e.name = SettingsTexts::NewAspName();
    return e;
}

void AspEntry::CutTexts() {
    name = Cp932::Kept(name, kTextBytes);
    url = Cp932::Kept(url, kTextBytes);
    userId = Cp932::Kept(userId, kTextBytes);
    password = Cp932::Kept(password, kPasswordBytes);
}

std::int32_t DefaultPort(FtpProtocol protocol) { return protocol == FtpProtocol::Sftp ? 22 : 21; }

const char* ProtocolName(FtpProtocol protocol) {
    switch (protocol) {
    case FtpProtocol::Ftps:
        return "ftps";
    case FtpProtocol::Sftp:
        return "sftp";
    case FtpProtocol::Ftp:
        break;
    }
    return "ftp";
}

bool ProtocolFromName(std::string_view name, FtpProtocol& protocol) {
    for (FtpProtocol p : {FtpProtocol::Ftp, FtpProtocol::Ftps, FtpProtocol::Sftp}) {
        if (name == ProtocolName(p)) {
            protocol = p;
            return true;
        }
    }
    return false;
}

bool IsSha256Hex(std::string_view text) {
    return text.size() == 64 &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

FtpHostEntry FtpHostEntry::New() {
    FtpHostEntry e;
    e.name = SettingsTexts::NewFtpHostName();
    e.protocol = FtpProtocol::Ftps;
    e.passive = true;
    return e;
}

void FtpHostEntry::CutTexts() {
    name = Cp932::Kept(name, kNameBytes);
    host = Cp932::Kept(host, kHostBytes);
    user = Cp932::Kept(user, kUserBytes);
    password = Cp932::Kept(password, kPasswordBytes);
    directory = Cp932::Kept(directory, kDirectoryBytes);
    keyFile = Cp932::Kept(keyFile, kKeyFileBytes);
    if (!IsSha256Hex(certificateSha256))
        certificateSha256.clear();
    if (!IsSha256Hex(hostKeySha256))
        hostKeySha256.clear();
}

bool AppendEntry(AspList& list, const AspEntry& entry) { return Append(list, entry); }
bool RemoveEntry(AspList& list, int index) { return Remove(list, index); }
bool SwapEntries(AspList& list, int first, int second) { return Swap(list, first, second); }
void CopyList(const AspList& source, AspList& target) { target.entries = source.entries; }

bool AppendEntry(FtpHostList& list, const FtpHostEntry& entry) { return Append(list, entry); }
bool RemoveEntry(FtpHostList& list, int index) { return Remove(list, index); }
bool SwapEntries(FtpHostList& list, int first, int second) { return Swap(list, first, second); }
void CopyList(const FtpHostList& source, FtpHostList& target) { target.entries = source.entries; }

void ReadAspList(const IniDocument& doc, AspList& list) {
    IniSection section = doc.Section(SettingsFile::kAspSection);
    int count = BoundedCount(section, "asp_num");
    list.entries.clear();
    list.entries.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        AspEntry e;
        e.name = Text(section, Key("asp_name", i), SettingsTexts::ReadFailedName(), kTextCapacity);
        e.userId = Text(section, Key("id", i), "", kTextCapacity);
        e.password = Password(section, Key("pass", i), AspEntry::kPasswordBytes);
        e.url = Text(section, Key("url", i), "", kTextCapacity);
        list.entries.push_back(std::move(e));
    }
}

void StoreAspList(IniDocument& doc, const AspList& list) {
    using SettingsFile::LineValue;
    std::vector<std::string> lines;
    lines.reserve(1 + list.entries.size() * 4);
    lines.push_back(Line("asp_num", std::to_string(list.Count())));
    for (int i = 0; i < list.Count(); ++i) {
        AspEntry e = list.entries[i];
        e.CutTexts();
        lines.push_back(Line(Key("asp_name", i), LineValue(e.name)));
        lines.push_back(Line(Key("id", i), LineValue(e.userId)));
        lines.push_back(Line(Key("pass", i), ScramblePassword(e.password)));
        lines.push_back(Line(Key("url", i), LineValue(e.url)));
    }
    doc.SetSection(SettingsFile::kAspSection, lines);
}

void ReadFtpHostList(const IniDocument& doc, FtpHostList& list) {
    IniSection section = doc.Section(SettingsFile::kFtpSection);
    int count = BoundedCount(section, "ftphost_num");
    list.entries.clear();
    list.entries.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        FtpHostEntry e;
        e.name = Text(section, Key("ftphost", i), "", kTextCapacity);
        e.host = Text(section, Key("hostname", i), "", kLongTextCapacity);
        e.port = section.GetInt(Key("port", i), 21);
        e.user = Text(section, Key("username", i), "", kTextCapacity);
        e.password = Password(section, Key("password", i), FtpHostEntry::kPasswordBytes);
        e.directory = Text(section, Key("current", i), "", kLongTextCapacity);
        std::int32_t protocol = section.GetInt(Key("protocol", i), 0);
        e.protocol = protocol == 1 ? FtpProtocol::Ftps : protocol == 2 ? FtpProtocol::Sftp : FtpProtocol::Ftp;
        e.passive = section.GetInt(Key("passive", i), 0) != 0;
        e.certificateSha256 = Text(section, Key("certsha256_", i), "", kTextCapacity);
        e.hostKeySha256 = Text(section, Key("hostkeysha256_", i), "", kTextCapacity);
        e.keyFile = Text(section, Key("keyfile", i), "", kLongTextCapacity);
        // A damaged fingerprint pins nothing rather than something never seen.
        if (!IsSha256Hex(e.certificateSha256))
            e.certificateSha256.clear();
        if (!IsSha256Hex(e.hostKeySha256))
            e.hostKeySha256.clear();
        list.entries.push_back(std::move(e));
    }
}

void StoreFtpHostList(IniDocument& doc, const FtpHostList& list) {
    using SettingsFile::LineValue;
    std::vector<std::string> lines;
    lines.reserve(1 + list.entries.size() * 6);
    lines.push_back(Line("ftphost_num", std::to_string(list.Count())));
    for (int i = 0; i < list.Count(); ++i) {
        FtpHostEntry e = list.entries[i];
        e.CutTexts();
        lines.push_back(Line(Key("ftphost", i), LineValue(e.name)));
        lines.push_back(Line(Key("hostname", i), LineValue(e.host)));
        lines.push_back(Line(Key("port", i), std::to_string(e.port)));
        lines.push_back(Line(Key("username", i), LineValue(e.user)));
        lines.push_back(Line(Key("password", i), ScramblePassword(e.password)));
        lines.push_back(Line(Key("current", i), LineValue(e.directory)));
        // Written only when they say more than "plain FTP, active", so a file
        // of such hosts keeps its bytes and older programs lose nothing.
        if (e.protocol != FtpProtocol::Ftp)
            lines.push_back(Line(Key("protocol", i), std::to_string(static_cast<std::int32_t>(e.protocol))));
        if (e.passive)
            lines.push_back(Line(Key("passive", i), "1"));
        if (!e.certificateSha256.empty())
            lines.push_back(Line(Key("certsha256_", i), e.certificateSha256));
        if (!e.hostKeySha256.empty())
            lines.push_back(Line(Key("hostkeysha256_", i), e.hostKeySha256));
        if (!e.keyFile.empty())
            lines.push_back(Line(Key("keyfile", i), LineValue(e.keyFile)));
    }
    doc.SetSection(SettingsFile::kFtpSection, lines);
}

namespace {

template <typename List> bool LoadList(List& list, const std::string& moduleDir, void (*read)(const IniDocument&, List&)) {
    IniDocument doc;
    bool ok = doc.LoadForEdit(SettingsFile::PathIn(moduleDir));
    read(doc, list);
    return ok;
}

template <typename List>
bool SaveList(const List& list, const std::string& moduleDir, void (*store)(IniDocument&, const List&)) {
    const std::string path = SettingsFile::PathIn(moduleDir);
    IniDocument doc;
    if (!doc.LoadForEdit(path))
        return false;
    store(doc, list);
    return doc.Save(path, true);
}

} // namespace

bool LoadAspList(AspList& list, const std::string& moduleDir) { return LoadList(list, moduleDir, &ReadAspList); }
bool SaveAspList(const AspList& list, const std::string& moduleDir) { return SaveList(list, moduleDir, &StoreAspList); }
bool LoadFtpHostList(FtpHostList& list, const std::string& moduleDir) {
    return LoadList(list, moduleDir, &ReadFtpHostList);
}
bool SaveFtpHostList(const FtpHostList& list, const std::string& moduleDir) {
    return SaveList(list, moduleDir, &StoreFtpHostList);
}
