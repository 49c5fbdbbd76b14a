#include "admanager/htmlgen/AdBlockGenerator.h"
#include "admanager/library/LibraryFile.h"
#include "common/FileOps.h"
#include "common/ModuleDir.h"

#include "TestUtil.h"
#include "tests/cli/CliRunner.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using testutil::J;
using testutil::TempDir;

class GenerateCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitEmptyLibrary(lib);
        LibraryNode folder;
        folder.flags = NODE_FOLDER;
        folder.title = J("旅行/ホテル"); // a slash inside a title
        LibraryNode& f = AddChildCopy(lib.root, folder);
        LibraryNode item;
        item.title = J("記事下");
        item.tagClass = "ad";
        item.columnIndex = 1; // two columns
        item.rowLimit = 1;
        item.rowCount = 2;
        item.multiPage = 1;
        item.outputPath = dir / "out/ad.html";
        for (int i = 0; i < 9; ++i) {
            Banner& b = AppendBanner(item);
            b.name = "B" + std::to_string(i);
            b.tag = J("<a>表") + std::to_string(i) + "</a>";
        }
        itemNode = &AddChildCopy(f, item);
        LibraryNode empty;
        empty.title = "empty";
        empty.tagClass = "e";
        empty.rowLimit = 1;
        empty.multiPage = 1;
        empty.outputPath = dir / "out/e.html";
        AddChildCopy(lib.root, empty);
        ASSERT_TRUE(FileOps::MakeDirRetry(dir / "out"));
        Save();
    }
    void TearDown() override { ModuleDir::SetOverride(""); }

    void Save() {
        ModuleDir::SetOverride(module.path());
        ASSERT_TRUE(SaveLibrary(lib, zva));
        ModuleDir::SetOverride("");
    }

    testutil::CliResult Zova(std::vector<std::string> args) {
        args.insert(args.begin(), {"generate", zva});
        return testutil::RunCli(module.path(), std::move(args));
    }

    std::string Read(const std::string& path) {
        std::string text;
        EXPECT_TRUE(FileOps::ReadWholeFile(path, text)) << path;
        return text;
    }

    AdBlockResult Expected(const AdBlockOptions& options) {
        return GenerateAdBlock(options, BannersInListOrder(*itemNode));
    }

    TempDir module;
    TempDir dir;
    std::string zva = dir / "lib.zva";
    AdLibrary lib;
    LibraryNode* itemNode = nullptr;
};

TEST_F(GenerateCommandsTest, StoredSettingsWriteEveryPage) {
    testutil::CliResult r = Zova({"旅行/ホテル/記事下"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, dir / "out/ad.html\n" + dir / "out/ad_001.html\n" + dir / "out/ad_002.html\n" +
                         dir / "out/ad_003.html\n");
    AdBlockResult expected = Expected(OptionsFromItem(*itemNode));
    ASSERT_EQ(expected.pages.size(), 3u);
    EXPECT_EQ(Read(dir / "out/ad.html"), expected.pages[0]);
    EXPECT_EQ(Read(dir / "out/ad_003.html"), expected.pages[2]);
}

TEST_F(GenerateCommandsTest, StdoutPrintsOnePageWithOverrides) {
    // By identifier, with every override.
    testutil::CliResult r = Zova({itemNode->id, "--stdout", "--page", "2", "--columns", "3", "--rows", "1", "--class",
                                  "zz", "--layout", "3,0,1", "--mode", "pages"});
    ASSERT_EQ(r.code, 0) << r.err;
    AdBlockOptions o = OptionsFromItem(*itemNode);
    o.columns = 3;
    o.rows = 1;
    o.tagClass = "zz";
    o.layout[0] = 3;
    o.layout[1] = 0;
    o.layout[2] = 1;
    EXPECT_EQ(r.out, Expected(o).pages.at(1));

    testutil::CliResult random = Zova({itemNode->id, "--stdout", "--mode", "random"});
    ASSERT_EQ(random.code, 0) << random.err;
    EXPECT_EQ(random.out.rfind("<script language=\"JavaScript\">", 0), 0u);

    testutil::CliResult table = Zova({itemNode->id, "--stdout", "--no-row-limit"});
    ASSERT_EQ(table.code, 0) << table.err;
    o = OptionsFromItem(*itemNode);
    o.rowLimit = 0;
    EXPECT_EQ(table.out, Expected(o).pages.at(0));

    testutil::CliResult beyond = Zova({itemNode->id, "--stdout", "--page", "4"});
    EXPECT_EQ(beyond.code, 1);
    EXPECT_TRUE(beyond.out.empty());
}

TEST_F(GenerateCommandsTest, OutReplacesTheStoredPath) {
    testutil::CliResult r = Zova({itemNode->id, "--no-row-limit", "--out", dir / "x.html"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, dir / "x.html\n");
    EXPECT_FALSE(FileOps::FileExists(dir / "out/ad.html"));
}

TEST_F(GenerateCommandsTest, FailuresExitOneWithTheMessage) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"旅行/ホテル"}, "is a folder"},
        {{"旅行/ホテル/記事"}, "no ad item"},
        {{"旅行/ホテル/記事下", "--class", ""}, "タグClass名を入力してください。"},
        {{"empty"}, "no pages"},
        {{"empty", "--stdout"}, "no pages"},
        {{"旅行/ホテル/記事下", "--out", dir / "missing/ad.html"},
         "ファイルを開けませんでした。\n■HTML出力先■の「ローカル」を確認してください。"},
    };
    for (const Case& c : cases) {
        testutil::CliResult r = Zova(c.args);
        EXPECT_EQ(r.code, 1) << c.args[0];
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(FileOps::FileExists(dir / "out/e.html"));
}

TEST_F(GenerateCommandsTest, StoredSettingsAreChecked) {
    itemNode->outputPath.clear();
    Save();
    testutil::CliResult r = Zova({itemNode->id});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("■HTML出力先■の「ローカル」を設定してください。"), std::string::npos) << r.err;
    // Printing needs no output path.
    EXPECT_EQ(Zova({itemNode->id, "--stdout"}).code, 0);

    itemNode->columnIndex = 6;
    Save();
    EXPECT_NE(Zova({itemNode->id, "--stdout"}).err.find("基本レイアウトを選択してください。"), std::string::npos);
    EXPECT_EQ(Zova({itemNode->id, "--stdout", "--columns", "1"}).code, 0);
}

TEST_F(GenerateCommandsTest, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {itemNode->id, "--columns", "7"},
        {itemNode->id, "--layout", "1,2"},
        {itemNode->id, "--layout", "1,2,4"},
        {itemNode->id, "--mode", "all"},
        {itemNode->id, "--page", "2"},
        {itemNode->id, "--rows", "0"},
        {itemNode->id, "--row-limit", "--no-row-limit"},
        {itemNode->id, "--stdout", "--out", "x"},
    };
    for (const auto& args : cases)
        EXPECT_EQ(Zova(args).code, 2) << args[1];
}

// The ad manager's label setting reaches the command line's block too.
TEST_F(GenerateCommandsTest, LabelSettingOfTheSettingsFile) {
    const std::string json = dir / "s.json";
    ASSERT_TRUE(FileOps::WriteWholeFile(json, "{\"settings\": {\"ad_label\": 1, \"ad_label_text\": \"PR\"}}"));
    testutil::CliResult r = testutil::RunCli(module.path(), {"settings", "import", json});
    ASSERT_EQ(r.code, 0) << r.err;
    r = testutil::RunCli(module.path(), {"settings", "export"});
    EXPECT_NE(r.out.find("\"ad_label_text\": \"PR\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("lazy_images"), std::string::npos) << "unset keys stay out";
    r = Zova({"旅行/ホテル/記事下", "--stdout"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("<div class=\"ad_label\">PR</div><table class=\"ad_frame\">")) << r.out;
}

TEST_F(GenerateCommandsTest, CheckReportsAndFailsOnErrors) {
    // Clean tags: exit 0.
    testutil::CliResult r = testutil::RunCli(module.path(), {"check", zva});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "9 banner(s) checked: 0 error(s), 0 warning(s)\n");

    itemNode->banners[2]->tag = "<img src=\"http://a8.example/b.gif\" width=\"1\" height=\"1\">";
    Save();
    r = testutil::RunCli(module.path(), {"check", zva});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out,
              "旅行/ホテル/記事下 #3 B2: エラー: http:// の読み込み (HTTPSのページではブロックされます): "
              "http://a8.example/b.gif\n旅行/ホテル/記事下 #3 B2: 警告: alt のない画像: http://a8.example/b.gif\n"
              "9 banner(s) checked: 1 error(s), 1 warning(s)\n");

    r = testutil::RunCli(module.path(), {"check", zva, itemNode->id, "--json"});
    EXPECT_EQ(r.code, 1);
    nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["errors"], 1);
    EXPECT_EQ(j["banners"][0]["item"], "旅行/ホテル/記事下");
    EXPECT_EQ(j["banners"][0]["banner"], 3);
    EXPECT_EQ(j["banners"][0]["findings"][0]["id"], "insecure-resource");

    r = testutil::RunCli(module.path(), {"check", zva, "empty"});
    EXPECT_EQ(r.code, 0) << r.err;
    r = testutil::RunCli(module.path(), {"check", zva, "nothing/here"});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.err.empty());
    r = testutil::RunCli(module.path(), {"check", dir / "missing.zva"});
    EXPECT_EQ(r.code, 1);
}

// A port on this machine that nobody listens on: the online check's answer
// is "refused" without any request leaving the machine.
int ClosedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

TEST_F(GenerateCommandsTest, OnlineCheckReportsDeadLinksAndKeepsTheAnswers) {
    const std::string dead = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/ad";
    for (auto& banner : itemNode->banners)
        banner->tag = "<a href=\"" + dead + "\" rel=\"nofollow\">x</a><a href=\"/local\" rel=\"nofollow\">y</a>";
    Save();
    testutil::CliResult r = testutil::RunCli(module.path(), {"check", zva, itemNode->id, "--online", "--json"});
    EXPECT_EQ(r.code, 1) << r.err;
    nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["errors"], itemNode->banners.size());
    EXPECT_EQ(j["infos"], itemNode->banners.size());
    const nlohmann::json& finding = j["banners"][0]["findings"][0];
    EXPECT_EQ(finding["id"], "link-dead");
    EXPECT_EQ(finding["severity"], "error");
    EXPECT_EQ(finding["detail"], dead);
    EXPECT_EQ(finding["status"], 0);
    EXPECT_EQ(finding["finalUrl"], dead);
    EXPECT_EQ(j["banners"][0]["findings"][1]["id"], "link-not-checked");
    // The answers are kept beside the settings, private to the user, and used again.
    std::string kept;
    ASSERT_TRUE(FileOps::ReadWholeFile(module / "linkcheck.json", kept));
    EXPECT_NE(kept.find("\"refused\""), std::string::npos) << kept;
    // Without --online nothing is fetched and the summary keeps its old form.
    r = testutil::RunCli(module.path(), {"check", zva, itemNode->id});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out.find("note"), std::string::npos) << r.out;
}

} // namespace
