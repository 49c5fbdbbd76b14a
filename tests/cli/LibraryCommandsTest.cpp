#include "admanager/library/LibraryFile.h"
#include "common/FileOps.h"
#include "common/ModuleDir.h"

#include "TestUtil.h"
#include "tests/cli/CliRunner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <vector>

namespace {

using nlohmann::json;
using testutil::DataFile;
using testutil::TempDir;

class LibraryCommandsTest : public ::testing::Test {
protected:
    void TearDown() override { ModuleDir::SetOverride(""); }

    testutil::CliResult Zova(std::vector<std::string> args) { return testutil::RunCli(module.path(), std::move(args)); }

    std::string WriteJson(const std::string& text) {
        std::string path = dir / "in.json";
        EXPECT_TRUE(FileOps::WriteWholeFile(path, text));
        return path;
    }

    TempDir module;
    TempDir dir;
};

TEST_F(LibraryCommandsTest, DumpPrintsTheLibrary) {
    testutil::CliResult r = Zova({"dump", DataFile("small.zva")});
    ASSERT_EQ(r.code, 0) << r.err;
    json j = json::parse(r.out);
    EXPECT_EQ(j["id"], "RootNode");
    EXPECT_EQ(j["flags"], 6);
    EXPECT_EQ(j["title"], "Zelvor管理");
    const json& item = j["children"][0]["children"][0];
    EXPECT_EQ(item["title"], "広告項目");
    EXPECT_EQ(item["layout"], json::array({1, 2, 3}));
    ASSERT_EQ(item["banners"].size(), 3u);
    EXPECT_EQ(item["banners"][0]["advertiser"], "広告主");
    EXPECT_EQ(item["banners"][0]["fixedFee"], 4);
}

// An installed program folder cannot be written: a library in the user's own
// folders still reads.
TEST_F(LibraryCommandsTest, ReadOnlyProgramFolderStillDumps) {
    const std::string plain = dir / "plain";
    ASSERT_TRUE(FileOps::WriteWholeFile(plain, "x"));
    testutil::CliResult r = testutil::RunCli(plain + "/program", {"dump", DataFile("small.zva")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(json::parse(r.out)["children"][0]["title"], "フォルダ");
}

TEST_F(LibraryCommandsTest, FailedLoadPrintsNothingOnStdout) {
    for (const char* file : {"bad_signature.zva", "missing.zva"}) {
        testutil::CliResult r = Zova({"dump", DataFile(file)});
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("ファイルの読み込みに失敗しました。"), std::string::npos);
    }
}

TEST_F(LibraryCommandsTest, ImportThenDumpRoundTrips) {
    std::string zva = dir / "sample.zva";
    testutil::CliResult imp = Zova({"import", std::string(ZOVA_TEST_DATA_DIR) + "/../../resources/sample/sample.json", zva});
    ASSERT_EQ(imp.code, 0) << imp.err;
    testutil::CliResult first = Zova({"dump", zva});
    ASSERT_EQ(first.code, 0);
    // Dumped JSON imports to the same file.
    std::string zva2 = dir / "again.zva";
    ASSERT_EQ(Zova({"import", WriteJson(first.out), zva2}).code, 0);
    std::string a, b;
    ASSERT_TRUE(FileOps::ReadWholeFile(zva, a));
    ASSERT_TRUE(FileOps::ReadWholeFile(zva2, b));
    EXPECT_EQ(a, b);
}

TEST_F(LibraryCommandsTest, ImportFillsDefaults) {
    std::string zva = dir / "d.zva";
    testutil::CliResult r = Zova({"import", WriteJson(R"({"title":"ignored root","flags":1,"children":[
        {"title":"フォルダ","children":[{"title":"項目","banners":[{"tag":"<b>x</b>"}]}]}]})"),
                  zva});
    ASSERT_EQ(r.code, 0) << r.err;
    json j = json::parse(Zova({"dump", zva}).out);
    EXPECT_EQ(j["flags"], 6);
    EXPECT_EQ(j["title"], "Zelvor管理");
    const json& folder = j["children"][0];
    EXPECT_EQ(folder["flags"], 2);
    EXPECT_EQ(folder["id"].get<std::string>().size(), 20u);
    const json& item = folder["children"][0];
    EXPECT_EQ(item["flags"], 1);
    EXPECT_EQ(item["rowCount"], 5);
    EXPECT_EQ(item["layout"], json::array({1, 2, 3}));
    EXPECT_EQ(item["banners"][0]["asp"], "その他");
    EXPECT_EQ(item["banners"][0]["name"], "新しい広告データ");
    EXPECT_NE(folder["id"], item["id"]);
}

TEST_F(LibraryCommandsTest, ImportRejectsBadInput) {
    const char* inputs[] = {
        "{not json",
        R"([1,2])",
        R"({"children":[{"id":"../evil","title":"x"}]})",
        R"({"children":[{"id":"A"},{"id":"A"}]})",
        R"({"children":[{"flags":1,"children":[{"title":"x"}]}]})",
        R"({"children":[{"flags":2,"banners":[{"name":"x"}]}]})",
        R"({"children":[{"flags":3}]})",
        R"({"children":[{"flags":65537}]})",
        R"({"children":[{"title":5}]})",
        R"({"children":[{"rowCount":99999999999}]})",
        R"({"children":[{"layout":[1,2]}]})",
    };
    for (const char* input : inputs) {
        std::string zva = dir / "bad.zva";
        testutil::CliResult r = Zova({"import", WriteJson(input), zva});
        EXPECT_EQ(r.code, 1) << input;
        EXPECT_FALSE(r.err.empty()) << input;
        EXPECT_FALSE(FileOps::FileExists(zva)) << input;
    }
}

TEST_F(LibraryCommandsTest, ImportCutsLongTexts) {
    std::string zva = dir / "long.zva";
    std::string title(300, 'x');
    ASSERT_EQ(Zova({"import", WriteJson(R"({"children":[{"title":")" + title + R"("}]})"), zva}).code, 0);
    json j = json::parse(Zova({"dump", zva}).out);
    EXPECT_EQ(j["children"][0]["title"].get<std::string>().size(), 255u);
}

TEST_F(LibraryCommandsTest, BytesThatAreNotCp932DumpAsReplacementCharacters) {
    ModuleDir::SetOverride(module.path());
    AdLibrary lib;
    InitEmptyLibrary(lib);
    lib.root.children.push_back(std::make_unique<LibraryNode>());
    lib.root.children[0]->id = "X";
    lib.root.children[0]->title = "a\x81";
    std::string zva = dir / "bad_bytes.zva";
    ASSERT_TRUE(SaveLibrary(lib, zva));
    testutil::CliResult r = Zova({"dump", zva});
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(json::parse(r.out)["children"][0]["title"], "a\xEF\xBF\xBD");
}

TEST_F(LibraryCommandsTest, UsageErrorsExitWithTwo) {
    EXPECT_EQ(Zova({}).code, 2);
    EXPECT_EQ(Zova({"dump"}).code, 2);
    EXPECT_EQ(Zova({"import", "only-one"}).code, 2);
    EXPECT_EQ(Zova({"frobnicate"}).code, 2);
    EXPECT_EQ(Zova({"--help"}).code, 0);
}

} // namespace

namespace {

TEST(ZovaCommandLine, VersionAndHelpSayWhatIsTrue) {
    testutil::TempDir module;
    testutil::CliResult version = testutil::RunCli(module.path(), {"--version"});
    EXPECT_EQ(version.code, 0) << version.err;
    EXPECT_EQ(version.out, "zova 1.0.0\n");
    testutil::CliResult help = testutil::RunCli(module.path(), {"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.out.find("default: this program's folder)"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("$XDG_CONFIG_HOME/zelvor/"), std::string::npos) << help.out;
}

} // namespace
