#include "admanager/settings/AccountLists.h"
#include "admanager/settings/AppSettings.h"
#include "common/AppPaths.h"
#include "common/FileOps.h"
#include "common/ModuleDir.h"

#include "TestUtil.h"
#include "tests/cli/CliRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

namespace {

using nlohmann::json;
using testutil::J;
using testutil::TempDir;

class SettingsCommandsTest : public ::testing::Test {
protected:
    void TearDown() override { ModuleDir::SetOverride(""); }

    testutil::CliResult Zova(std::vector<std::string> args) { return testutil::RunCli(module.path(), std::move(args)); }

    std::string WriteJson(const std::string& text) {
        std::string path = dir / "in.json";
        EXPECT_TRUE(FileOps::WriteWholeFile(path, text));
        return path;
    }

    std::string Ini() const { return SettingsFile::PathIn(module.path() + "/"); }
    std::string IniBytes() const {
        std::string s;
        FileOps::ReadWholeFile(Ini(), s);
        return s;
    }

    TempDir module;
    TempDir dir;
};

TEST_F(SettingsCommandsTest, ExportWithoutFileGivesDefaults) {
    testutil::CliResult r = Zova({"settings", "export"});
    ASSERT_EQ(r.code, 0) << r.err;
    json j = json::parse(r.out);
    std::vector<std::string> keys;
    for (auto it = j["settings"].begin(); it != j["settings"].end(); ++it)
        keys.push_back(it.key());
    // nlohmann::json sorts keys; the order on screen is checked on the text.
    EXPECT_LT(r.out.find("\"last_index\""), r.out.find("\"bottom_h\""));
    EXPECT_EQ(keys.size(), 14u);
    EXPECT_EQ(j["settings"]["use_last_file"], 1);
    EXPECT_EQ(j["settings"]["x_pos"], -1);
    EXPECT_EQ(j["settings"]["last_file"], "");
    EXPECT_EQ(j["aspList"], json::array());
    EXPECT_EQ(j["ftpHosts"], json::array());
    EXPECT_FALSE(FileOps::FileExists(Ini()));
}

TEST_F(SettingsCommandsTest, ImportThenExport) {
    const std::string input = R"({
        "settings": {"last_file": "C:\\データ\\a.zva", "x_pos": -10, "preview": 1},
        "aspList": [{"name": "ＡＳＰ", "url": "https://asp.example/", "userId": "me", "password": "秘密"},
                    {"url": "https://b.example/"}],
        "ftpHosts": [{"name": "自宅", "host": "127.0.0.1", "port": 2121, "user": "u", "password": "p=1",
                      "directory": "/www"}, {}]})";
    testutil::CliResult imp = Zova({"settings", "import", WriteJson(input)});
    ASSERT_EQ(imp.code, 0) << imp.err;

    json masked = json::parse(Zova({"settings", "export"}).out);
    EXPECT_EQ(masked["aspList"][0]["password"], "********");
    EXPECT_EQ(masked["aspList"][1]["password"], ""); // nothing to hide
    EXPECT_EQ(masked["ftpHosts"][0]["password"], "********");

    json j = json::parse(Zova({"settings", "export", "--reveal-passwords"}).out);
    EXPECT_EQ(j["settings"]["last_file"], "C:\\データ\\a.zva");
    EXPECT_EQ(j["settings"]["x_pos"], -10);
    EXPECT_EQ(j["settings"]["preview"], 1);
    EXPECT_EQ(j["settings"]["check_version"], 1);
    EXPECT_EQ(j["aspList"][0], (json{{"name", "ＡＳＰ"}, {"url", "https://asp.example/"}, {"userId", "me"},
                                     {"password", "秘密"}}));
    EXPECT_EQ(j["aspList"][1]["name"], "新しいASP");
    EXPECT_EQ(j["ftpHosts"][0], (json{{"name", "自宅"},
                                      {"host", "127.0.0.1"},
                                      {"port", 2121},
                                      {"user", "u"},
                                      {"password", "p=1"},
                                      {"directory", "/www"}}));
    EXPECT_EQ(j["ftpHosts"][1]["name"], "新しいホスト設定");
    EXPECT_EQ(j["ftpHosts"][1]["port"], 21);
    // The stored password is scrambled.
    EXPECT_EQ(IniBytes().find(J("秘密")), std::string::npos);

    // The exported JSON imports to the same file.
    std::string before = IniBytes();
    ASSERT_EQ(Zova({"settings", "import", WriteJson(j.dump())}).code, 0);
    EXPECT_EQ(IniBytes(), before);
}

TEST_F(SettingsCommandsTest, ImportChangesOnlyWhatTheJsonHolds) {
    const std::string before = "[ZOVA_AF_SETTING]\r\nlast_index=5\r\nx_pos=3\r\n"
                               "[ZOVA_AF_ASPLIST]\r\nasp_num=1\r\nasp_name0=keep\r\n"
                               "[ZOVA_AF_FTPSETTING]\r\nftphost_num=0\r\n";
    ASSERT_TRUE(FileOps::WriteWholeFile(Ini(), before));
    ASSERT_EQ(Zova({"settings", "import", WriteJson(R"({"ftpHosts":[{"name":"n"}]})")}).code, 0);
    std::string after = IniBytes();
    EXPECT_EQ(after.substr(0, after.find("[ZOVA_AF_FTPSETTING]")), before.substr(0, before.find("[ZOVA_AF_FTP")));
    EXPECT_NE(after.find("ftphost_num=1\r\nftphost0=n\r\n"), std::string::npos);

    ASSERT_EQ(Zova({"settings", "import", WriteJson(R"({"settings":{"width":800}})")}).code, 0);
    json j = json::parse(Zova({"settings", "export"}).out);
    EXPECT_EQ(j["settings"]["width"], 800);
    EXPECT_EQ(j["settings"]["x_pos"], 3);
    EXPECT_EQ(j["settings"]["last_index"], 5);
    EXPECT_EQ(j["aspList"][0]["name"], "keep");
}

TEST_F(SettingsCommandsTest, BadInputChangesNothing) {
    const std::string before = "[ZOVA_AF_SETTING]\r\nlast_index=5\r\n";
    ASSERT_TRUE(FileOps::WriteWholeFile(Ini(), before));
    const char* inputs[] = {
        "{not json",
        "[]",
        R"({"setings":{}})",
        R"({"settings":{"no_such_key":1}})",
        R"({"settings":{"x_pos":"12"}})",
        R"({"settings":{"x_pos":4294967296}})",
        R"({"settings":{"last_file":"a\nb"}})",
        R"({"settings":{"preview":1},"aspList":[{"name":"x","password":"********"}]})",
        R"({"aspList":[{"name":"two\r\nlines"}]})",
        R"({"aspList":[{"nmae":"typo"}]})",
        R"({"aspList":{}})",
        R"({"ftpHosts":[{"port":"21"}]})",
        R"({"ftpHosts":[5]})",
    };
    for (const char* input : inputs) {
        testutil::CliResult r = Zova({"settings", "import", WriteJson(input)});
        EXPECT_EQ(r.code, 1) << input;
        EXPECT_FALSE(r.err.empty()) << input;
        EXPECT_EQ(IniBytes(), before) << input;
    }
}

// An installed copy (marked by its package) keeps the settings file per user,
// where zova_af finds it too; --module-dir still names the folder to use.
TEST_F(SettingsCommandsTest, InstalledCopyKeepsSettingsPerUser) {
    ASSERT_TRUE(FileOps::WriteWholeFile(module / AppPaths::kInstalledMarker, "package"));
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    ModuleDir::SetOverride(module.path());
    const std::string json = WriteJson(R"({"settings":{"preview":1}})");
    std::vector<const char*> argv = {"zova", "settings", "import", json.c_str()};
    std::ostringstream out, err;
    EXPECT_EQ(RunZova(static_cast<int>(argv.size()), argv.data(), out, err), 0) << err.str();
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(FileOps::FileExists(dir / "config/zelvor/zova_af.ini"));
    EXPECT_FALSE(FileOps::FileExists(Ini()));
    EXPECT_EQ(Zova({"settings", "import", json}).code, 0);
    EXPECT_TRUE(FileOps::FileExists(Ini()));
}

TEST_F(SettingsCommandsTest, FailedWriteExitsWithOne) {
    testutil::CliResult r = testutil::RunCli(module.path() + "/missing",
                                             {"settings", "import", WriteJson(R"({"settings":{"preview":1}})")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos);
}

TEST_F(SettingsCommandsTest, LibraryImportContinuesTheCounter) {
    const std::string rest = "\r\n[ZOVA_AF_ASPLIST]\r\n; kept\r\nasp_num=0\r\n";
    ASSERT_TRUE(FileOps::WriteWholeFile(Ini(), "[ZOVA_AF_SETTING]\r\nLast_Index = 41\r\npreview=1" + rest));
    std::string zva = dir / "lib.zva";
    testutil::CliResult r =
        Zova({"import", WriteJson(R"({"children":[{"title":"a"},{"title":"b","id":"given"}]})"), zva});
    ASSERT_EQ(r.code, 0) << r.err;
    json j = json::parse(Zova({"dump", zva}).out);
    EXPECT_EQ(j["children"][0]["id"].get<std::string>().substr(12), "00000029");
    EXPECT_EQ(IniBytes(), "[ZOVA_AF_SETTING]\r\nLast_Index=42\r\npreview=1" + rest);

    // Without a settings file the counter starts at 0 and is recorded.
    ASSERT_TRUE(FileOps::RemoveFileRetry(Ini()));
    ASSERT_EQ(Zova({"import", WriteJson(R"({"children":[{"title":"a"}]})"), zva}).code, 0);
    EXPECT_EQ(IniBytes(), "[ZOVA_AF_SETTING]\r\nlast_index=1\r\n");
}

} // namespace
