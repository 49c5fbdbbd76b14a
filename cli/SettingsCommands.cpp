#include "admanager/settings/AccountLists.h"
#include "admanager/settings/AppSettings.h"
#include "cli/Commands.h"
#include "common/Cp932.h"
#include "common/FileOps.h"
#include "common/IniProfile.h"
#include "common/AppPaths.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <ostream>
#include <set>

using nlohmann::json;
using nlohmann::ordered_json;

namespace {

constexpr char kMaskedPassword[] = "********";

std::string Utf8(const std::string& cp932) { return Cp932::ToUtf8(cp932); }

ordered_json SettingsToJson(const AppSettings& s, const AspList& asp, const FtpHostList& ftp, bool reveal) {
    auto password = [reveal](const std::string& p) { return reveal || p.empty() ? Utf8(p) : kMaskedPassword; };
    ordered_json settings = ordered_json::object();
    for (const SettingsKey& key : SettingsKeys()) {
        if (key.kind == SettingsKey::Kind::Text)
            settings[key.name] = Utf8(s.lastFile);
        else
            settings[key.name] = s.*key.field;
    }
    // The later keys as the file has them: only once they are set.
    for (const OptionalSettingsKey& key : OptionalSettingsKeys()) {
        if (key.field && s.*key.field != key.def)
            settings[key.name] = s.*key.field;
        else if (!key.field && s.adLabelText != AppSettings::DefaultLabelText())
            settings[key.name] = Utf8(s.adLabelText);
    }
    ordered_json aspList = ordered_json::array();
    for (const AspEntry& e : asp.entries) {
        ordered_json j;
        j["name"] = Utf8(e.name);
        j["url"] = Utf8(e.url);
        j["userId"] = Utf8(e.userId);
        j["password"] = password(e.password);
        aspList.push_back(std::move(j));
    }
    ordered_json ftpHosts = ordered_json::array();
    for (const FtpHostEntry& e : ftp.entries) {
        ordered_json j;
        j["name"] = Utf8(e.name);
        j["host"] = Utf8(e.host);
        j["port"] = e.port;
        j["user"] = Utf8(e.user);
        j["password"] = password(e.password);
        j["directory"] = Utf8(e.directory);
        j["protocol"] = ProtocolName(e.protocol);
        j["passive"] = e.passive;
        if (!e.certificateSha256.empty())
            j["certificateSha256"] = e.certificateSha256;
        if (!e.hostKeySha256.empty())
            j["hostKeySha256"] = e.hostKeySha256;
        if (!e.keyFile.empty())
            j["keyFile"] = Utf8(e.keyFile);
        ftpHosts.push_back(std::move(j));
    }
    ordered_json out;
    out["settings"] = std::move(settings);
    out["aspList"] = std::move(aspList);
    out["ftpHosts"] = std::move(ftpHosts);
    return out;
}

// Reads the JSON of 'settings import'; the first problem ends it.
class SettingsJsonReader {
public:
    std::string error;

    bool Settings(const json& j, AppSettings& s) {
        if (!j.is_object())
            return Fail("\"settings\" must be an object");
        for (auto it = j.begin(); it != j.end(); ++it) {
            std::string where = "\"settings\".\"" + it.key() + "\"";
            if (const OptionalSettingsKey* optional = FindOptionalKey(it.key())) {
                if (!optional->field) {
                    if (!OneLineText(*it, s.adLabelText, where))
                        return false;
                    if (s.adLabelText.size() > AppSettings::kLabelTextBytes)
                        return Fail(where + " is longer than " + std::to_string(AppSettings::kLabelTextBytes) +
                                    " bytes");
                } else if (!Int(*it, s.*optional->field, where)) {
                    return false;
                }
                continue;
            }
            const SettingsKey* key = FindKey(it.key());
            if (!key)
                return Fail("\"settings\": unknown key \"" + it.key() + "\"");
            if (key->kind == SettingsKey::Kind::Text) {
                if (!OneLineText(*it, s.lastFile, where))
                    return false;
                if (s.lastFile.size() > AppSettings::kLastFileBytes)
                    return Fail(where + " is longer than " + std::to_string(AppSettings::kLastFileBytes) + " bytes");
            } else if (!Int(*it, s.*key->field, where)) {
                return false;
            }
        }
        return true;
    }

    bool Asp(const json& j, AspList& list) {
        if (!j.is_array())
            return Fail("\"aspList\" must be an array");
        list.entries.clear();
        for (std::size_t i = 0; i < j.size(); ++i) {
            std::string where = "aspList[" + std::to_string(i) + "]";
            const json& e = j[i];
            AspEntry entry = AspEntry::New();
            if (!Fields(e, where, {"name", "url", "userId", "password"}) ||
                !Text(e, "name", entry.name, where) || !Text(e, "url", entry.url, where) ||
                !Text(e, "userId", entry.userId, where) || !PasswordText(e, entry.password, where))
                return false;
            entry.CutTexts();
            if (!AppendEntry(list, entry))
                return Fail("out of memory");
        }
        return Bounded(list.Count(), "aspList");
    }

    bool Ftp(const json& j, FtpHostList& list) {
        if (!j.is_array())
            return Fail("\"ftpHosts\" must be an array");
        list.entries.clear();
        for (std::size_t i = 0; i < j.size(); ++i) {
            std::string where = "ftpHosts[" + std::to_string(i) + "]";
            const json& e = j[i];
            FtpHostEntry entry = FtpHostEntry::New();
            // Without the fields a host is what the settings file means without
            // its keys: plain FTP, active mode.
            entry.protocol = FtpProtocol::Ftp;
            entry.passive = false;
            bool portGiven = e.is_object() && e.contains("port");
            if (!Fields(e, where,
                        {"name", "host", "port", "user", "password", "directory", "protocol", "passive",
                         "certificateSha256", "hostKeySha256", "keyFile"}) ||
                !Text(e, "name", entry.name, where) || !Text(e, "host", entry.host, where) ||
                !OptionalInt(e, "port", entry.port, where) || !Text(e, "user", entry.user, where) ||
                !PasswordText(e, entry.password, where) || !Text(e, "directory", entry.directory, where) ||
                !Protocol(e, entry, portGiven, where) || !Bool(e, "passive", entry.passive, where) ||
                !Fingerprint(e, "certificateSha256", entry.certificateSha256, where) ||
                !Fingerprint(e, "hostKeySha256", entry.hostKeySha256, where) ||
                !Text(e, "keyFile", entry.keyFile, where))
                return false;
            entry.CutTexts();
            if (!AppendEntry(list, entry))
                return Fail("out of memory");
        }
        return Bounded(list.Count(), "ftpHosts");
    }

    bool Fail(std::string message) {
        error = std::move(message);
        return false;
    }

private:
    static const OptionalSettingsKey* FindOptionalKey(const std::string& name) {
        for (const OptionalSettingsKey& key : OptionalSettingsKeys())
            if (name == key.name)
                return &key;
        return nullptr;
    }

    static const SettingsKey* FindKey(const std::string& name) {
        for (const SettingsKey& key : SettingsKeys())
            if (name == key.name)
                return &key;
        return nullptr;
    }

    bool Fields(const json& e, const std::string& where, std::set<std::string> known) {
        if (!e.is_object())
            return Fail(where + " must be an object");
        for (auto it = e.begin(); it != e.end(); ++it)
            if (!known.count(it.key()))
                return Fail(where + ": unknown field \"" + it.key() + "\"");
        return true;
    }

    // An INI value is one line: a line break would split it and lose the rest.
    bool OneLineText(const json& v, std::string& out, const std::string& where) {
        if (!v.is_string())
            return Fail(where + " must be a string");
        const std::string& text = v.get_ref<const std::string&>();
        if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
            return Fail(where + " must not contain line breaks or NUL characters");
        out = Cp932::FromUtf8(text);
        return true;
    }

    bool Text(const json& e, const char* key, std::string& out, const std::string& where) {
        auto it = e.find(key);
        if (it == e.end() || it->is_null())
            return true;
        return OneLineText(*it, out, where + ".\"" + key + "\"");
    }

    bool PasswordText(const json& e, std::string& out, const std::string& where) {
        auto it = e.find("password");
        if (it != e.end() && it->is_string() && it->get_ref<const std::string&>() == kMaskedPassword)
            return Fail(where + ".\"password\" is the masked \"" + kMaskedPassword +
                        "\" of an export; export with --reveal-passwords to import passwords");
        return Text(e, "password", out, where);
    }

    bool Protocol(const json& e, FtpHostEntry& entry, bool portGiven, const std::string& where) {
        auto it = e.find("protocol");
        if (it == e.end() || it->is_null())
            return true;
        FtpProtocol protocol{};
        if (!it->is_string() || !ProtocolFromName(it->get_ref<const std::string&>(), protocol))
            return Fail(where + ".\"protocol\" must be \"ftp\", \"ftps\" or \"sftp\"");
        entry.protocol = protocol;
        if (!portGiven)
            entry.port = DefaultPort(protocol);
        return true;
    }

    bool Bool(const json& e, const char* key, bool& out, const std::string& where) {
        auto it = e.find(key);
        if (it == e.end() || it->is_null())
            return true;
        if (!it->is_boolean())
            return Fail(where + ".\"" + key + "\" must be true or false");
        out = it->get<bool>();
        return true;
    }

    bool Fingerprint(const json& e, const char* key, std::string& out, const std::string& where) {
        auto it = e.find(key);
        if (it == e.end() || it->is_null())
            return true;
        if (!it->is_string() || !IsSha256Hex(it->get_ref<const std::string&>()))
            return Fail(where + ".\"" + key + "\" must be a SHA-256 fingerprint: 64 lower-case hex digits");
        out = it->get<std::string>();
        return true;
    }

    bool Int(const json& v, std::int32_t& out, const std::string& where) {
        if (!v.is_number_integer())
            return Fail(where + " must be an integer");
        if (v.is_number_unsigned() ? v.get<std::uint64_t>() > std::numeric_limits<std::int32_t>::max()
                                   : (v.get<std::int64_t>() < std::numeric_limits<std::int32_t>::min() ||
                                      v.get<std::int64_t>() > std::numeric_limits<std::int32_t>::max()))
            return Fail(where + " is out of range");
        out = static_cast<std::int32_t>(v.get<std::int64_t>());
        return true;
    }

    bool OptionalInt(const json& e, const char* key, std::int32_t& out, const std::string& where) {
        auto it = e.find(key);
        if (it == e.end() || it->is_null())
            return true;
        return Int(*it, out, where + ".\"" + key + "\"");
    }

    bool Bounded(int count, const char* what) {
        if (count > kMaxListEntries)
            return Fail(std::string("\"") + what + "\" has more than " + std::to_string(kMaxListEntries) + " entries");
        return true;
    }
};

int Export(CommandContext& ctx, bool reveal) {
    const std::string path = SettingsFile::PathIn(AppPaths::SettingsDir());
    IniDocument doc;
    if (!doc.LoadForEdit(path))
        return ctx.Fail("cannot read " + path);
    AppSettings settings;
    AspList asp;
    FtpHostList ftp;
    ReadSettings(doc, settings);
    ReadAspList(doc, asp);
    ReadFtpHostList(doc, ftp);
    ctx.out << SettingsToJson(settings, asp, ftp, reveal).dump(2, ' ', false, json::error_handler_t::replace) << '\n';
    return 0;
}

int Import(CommandContext& ctx, const std::string& jsonPath) {
    std::string text;
    if (!FileOps::ReadWholeFile(jsonPath, text))
        return ctx.Fail("cannot read " + jsonPath);
    json j;
    try {
        j = json::parse(text);
    } catch (const json::exception& e) {
        return ctx.Fail(jsonPath + " is not valid JSON: " + e.what());
    }
    if (!j.is_object())
        return ctx.Fail(jsonPath + ": the top level must be an object");
    for (auto it = j.begin(); it != j.end(); ++it)
        if (it.key() != "settings" && it.key() != "aspList" && it.key() != "ftpHosts")
            return ctx.Fail(jsonPath + ": unknown key \"" + it.key() + "\"");

    const std::string path = SettingsFile::PathIn(AppPaths::SettingsDir());
    IniDocument doc;
    if (!doc.LoadForEdit(path))
        return ctx.Fail("cannot read " + path);

    // Everything is checked before anything is written, and the file is
    // written once, so a bad entry or a failed write leaves it as it was.
    SettingsJsonReader reader;
    auto settings = j.find("settings");
    auto asp = j.find("aspList");
    auto ftp = j.find("ftpHosts");
    AppSettings s;
    AspList aspList;
    FtpHostList ftpList;
    ReadSettings(doc, s);
    if ((settings != j.end() && !reader.Settings(*settings, s)) || (asp != j.end() && !reader.Asp(*asp, aspList)) ||
        (ftp != j.end() && !reader.Ftp(*ftp, ftpList)))
        return ctx.Fail(jsonPath + ": " + reader.error);
    if (settings == j.end() && asp == j.end() && ftp == j.end())
        return 0;

    if (settings != j.end())
        StoreSettings(doc, s);
    if (asp != j.end())
        StoreAspList(doc, aspList);
    if (ftp != j.end())
        StoreFtpHostList(doc, ftpList);
    if (!doc.Save(path, true))
        return ctx.Fail("cannot write " + path + "; the settings file was not changed");
    return 0;
}

} // namespace

void AddSettingsCommands(CLI::App& app, CommandContext& ctx) {
    auto* settings = app.add_subcommand("settings", "Settings and account lists of zova_af.ini in the module directory");
    settings->require_subcommand(1);

    auto* exp = settings->add_subcommand("export", "Print the settings and both account lists as JSON");
    auto* reveal = exp->add_flag("--reveal-passwords")
                       ->description(std::string("Show passwords in plain text instead of ") + kMaskedPassword);
    exp->callback([&ctx, reveal] { Export(ctx, reveal->count() > 0); });

    auto* imp = settings->add_subcommand(
        "import", "Write settings keys and account lists from JSON in the form 'settings export' prints; keys and "
                  "lists absent from the JSON stay as they are");
    imp->add_option("JSON", "JSON file")->required();
    imp->callback([&ctx, imp] { Import(ctx, imp->get_option("JSON")->as<std::string>()); });
}
