#include "common/FileOps.h"
#include "common/ModuleDir.h"
#include "stylemaker/style/CssWriter.h"
#include "stylemaker/style/PreviewPage.h"
#include "stylemaker/style/StyleSettings.h"

#include "TestUtil.h"
#include "tests/cli/CliRunner.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using testutil::DataFile;
using testutil::J;
using testutil::TempDir;

class CssCommandsTest : public ::testing::Test {
protected:
    void TearDown() override { ModuleDir::SetOverride(""); }

    testutil::CliResult Zova(std::vector<std::string> args) { return testutil::RunCli(module.path(), std::move(args)); }

    std::string Read(const std::string& path) {
        std::string bytes;
        EXPECT_TRUE(FileOps::ReadWholeFile(path, bytes)) << path;
        return bytes;
    }

    // A style file remembering tag and css as its last export.
    std::string StyleFile(const std::string& tag, const std::string& css) {
        CStyleSettings s;
        s.bFrameBorder = 1;
        s.szTagID = tag;
        s.szLastCss = css;
        std::string path = dir / "style.zvc";
        EXPECT_TRUE(s.SaveToFile(path));
        return path;
    }

    TempDir module;
    TempDir dir;
};

TEST_F(CssCommandsTest, WritesWithTheStoredNameAndPath) {
    std::string css = dir / "last.css";
    testutil::CliResult r = Zova({"css", StyleFile("myad", css)});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    CStyleSettings expected;
    expected.bFrameBorder = 1;
    EXPECT_EQ(Read(css), vessilo::BuildCss(expected, "myad"));
    EXPECT_NE(Read(css).find("table.myad_frame {\n    border: solid 1px #000000;\n}\n"), std::string::npos);
}

TEST_F(CssCommandsTest, OptionsOverrideTheStoredValues) {
    std::string style = StyleFile("myad", dir / "last.css");
    std::string out = dir / "other.css";
    testutil::CliResult r = Zova({"css", style, "--tag", "広告", "--out", out});
    ASSERT_EQ(r.code, 0) << r.err;
    // The name typed in UTF-8 goes into the file as CP932.
    EXPECT_TRUE(Read(out).starts_with("table." + J("広告") + "_frame {\n"));
    EXPECT_FALSE(FileOps::FileExists(dir / "last.css"));

    // The whole file of a Windows user, every declaration on.
    r = Zova({"css", DataFile("style_all_on.zvc"), "--out", out});
    ASSERT_EQ(r.code, 0) << r.err;
    CStyleSettings s;
    ASSERT_TRUE(s.LoadFromFile(DataFile("style_all_on.zvc")));
    EXPECT_EQ(Read(out), vessilo::BuildCss(s, "zv"));
}

// A hand-edited style file whose values would end their declaration or rule:
// those declarations are left out, named on stderr, and the rest is written.
TEST_F(CssCommandsTest, HostileValuesAreLeftOutAndNamed) {
    CStyleSettings s;
    s.bFrameBorder = 1;
    s.szFrameBorderColor = "red;}x";
    s.bFrameWidth = 1;
    s.szFrameWidthUnit = "px}a{";
    s.bAdvTextColor = 1;
    s.szAdvTextColor = "#123456";
    s.bTitleBackColor = 1;
    s.szTitleBackColor = "\"<b>";
    s.szTagID = "myad";
    const std::string style = dir / "hostile.zvc";
    ASSERT_TRUE(s.SaveToFile(style));
    const std::string out = dir / "out.css";
    testutil::CliResult r = Zova({"css", style, "--out", out});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string css = Read(out);
    for (const char* bad : {"red;", "}a{", "<b>", "\""})
        EXPECT_EQ(css.find(bad), std::string::npos) << bad;
    EXPECT_NE(css.find("div.myad_adv {\n    color: #123456;\n}\n"), std::string::npos) << css;
    for (const char* named : {"table.myad_frame width", "table.myad_frame border", "div.myad_title background-color"})
        EXPECT_NE(r.err.find(named), std::string::npos) << named << "\n" << r.err;
    // Every rule still opens and closes.
    EXPECT_EQ(std::count(css.begin(), css.end(), '{'), std::count(css.begin(), css.end(), '}'));
}

TEST_F(CssCommandsTest, FailuresGoToStderrWithExitOne) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const std::string good = StyleFile("myad", dir / "last.css");
    const std::vector<Case> cases = {
        {{"css", DataFile("style_header_only.zvc"), "--out", dir / "x.css"}, "タグClass名を入力してください。"},
        {{"css", good, "--tag", ""}, "タグClass名を入力してください。"},
        {{"css", DataFile("style_bad_signature.zvc")}, "ファイルの読み込みに失敗しました。"},
        {{"css", DataFile("small.zva")}, "ファイルの読み込みに失敗しました。"},
        {{"css", dir / "missing.zvc"}, "ファイルの読み込みに失敗しました。"},
        {{"css", good, "--out", dir / "missing/x.css"}, "CSSファイルの保存に失敗しました。"},
        {{"css", StyleFile("myad", "")}, "CSSファイルの保存に失敗しました。"},
    };
    for (const Case& c : cases) {
        testutil::CliResult r = Zova(c.args);
        EXPECT_EQ(r.code, 1) << c.message;
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(FileOps::FileExists(dir / "x.css"));
    EXPECT_EQ(Zova({"css"}).code, 2);
}

TEST_F(CssCommandsTest, PreviewPageLinksTheStyleSheet) {
    ASSERT_TRUE(FileOps::MakeDirRetry(dir / "css"));
    ASSERT_TRUE(FileOps::MakeDirRetry(dir / "page"));
    std::string style = StyleFile("myad", dir / "css/a.css");
    testutil::CliResult r = Zova({"css", style, "--preview-html", dir / "page/p.html"});
    ASSERT_EQ(r.code, 0) << r.err;
    CStyleSettings s;
    ASSERT_TRUE(s.LoadFromFile(style));
    EXPECT_EQ(Read(dir / "page/p.html"), vessilo::BuildPreviewPage(s, "../css/a.css", "myad"));

    r = Zova({"css", style, "--preview-html", dir / "missing/p.html"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("preview"), std::string::npos);
}

} // namespace
