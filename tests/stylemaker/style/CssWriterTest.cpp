#include "stylemaker/style/CssWriter.h"

#include "common/FileOps.h"

#include "TestUtil.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

using testutil::DataFile;
using testutil::J;
using testutil::TempDir;

std::string EmptyRules(const std::string& tag) {
    return "table." + tag + "_frame {\n}\ntd." + tag + "_data {\n}\ndiv." + tag + "_adv {\n}\ndiv." + tag +
           "_title {\n}\ndiv." + tag + "_comment {\n}\ndiv." + tag + "_banner {\n}\n";
}

std::string EmptyCreditRules(const std::string& tag) {
    return "div." + tag + "_copyright {\n}\na." + tag + "_copylink {\n}\na:visited." + tag +
           "_copylink {\n}\na:hover." + tag + "_copylink {\n}\na:active." + tag + "_copylink {\n}\n";
}

TEST(CssWriterTest, NewDocumentGivesSixEmptyRules) {
    CStyleSettings s;
    EXPECT_EQ(vessilo::BuildCss(s, "ad"), EmptyRules("ad"));
    s.bUnUsePrLink = 0;
    EXPECT_EQ(vessilo::BuildCss(s, "ad"), EmptyRules("ad") + EmptyCreditRules("ad"));
    // Any non-zero value is on.
    s.bUnUsePrLink = -1;
    EXPECT_EQ(vessilo::BuildCss(s, "ad"), EmptyRules("ad"));
}

TEST(CssWriterTest, EveryDeclarationInOrder) {
    CStyleSettings s;
    ASSERT_TRUE(s.LoadFromFile(DataFile("style_all_on.zvc")));
    const std::string expected = "table.zv_frame {\n"
                                 "    width: 600%;\n"
                                 "    border: dashed 2px #112233;\n"
                                 "    color: #010203;\n"
                                 "    background-color: #F0F0F0;\n"
                                 "    font-size: 12pt;\n"
                                 "    font-weight: bold;\n"
                                 "    font-style: italic;\n"
                                 "    margin: 3px 2px 4px 1px;\n"
                                 "}\n"
                                 "td.zv_data {\n"
                                 "    text-align: center;\n"
                                 "    vertical-align: middle;\n"
                                 "}\n"
                                 "div.zv_adv {\n"
                                 "    width: 150px;\n"
                                 "    height: 90%;\n"
                                 "    border: dotted 3px #445566;\n"
                                 "    color: #111111;\n"
                                 "    background-color: #222222;\n"
                                 "    font-size: 13em;\n"
                                 "    font-weight: bold;\n"
                                 "    font-style: italic;\n"
                                 "    padding: 7px 6px 8px 5px;\n"
                                 "    margin: 11px 10px 12px 9px;\n"
                                 "}\n"
                                 "div.zv_title {\n"
                                 "    text-align: right;\n"
                                 "    color: #333333;\n"
                                 "    background-color: #444444;\n"
                                 "    font-size: 14ex;\n"
                                 "    font-weight: bold;\n"
                                 "    font-style: italic;\n"
                                 "}\n"
                                 "div.zv_comment {\n"
                                 "    text-align: center;\n"
                                 "    color: #555555;\n"
                                 "    background-color: #666666;\n"
                                 "    font-size: 15px;\n"
                                 "    font-weight: bold;\n"
                                 "    font-style: italic;\n"
                                 "}\n"
                                 "div.zv_banner {\n"
                                 "    text-align: right;\n"
                                 "    color: #777777;\n"
                                 "    background-color: #888888;\n"
                                 "    font-size: 16%;\n"
                                 "    font-weight: bold;\n"
                                 "    font-style: italic;\n"
                                 "}\n"
                                 "div.zv_copyright {\n"
                                 "    text-align: center;\n"
                                 "    background-color: #999999;\n"
                                 "    font-size: 10px;\n"
                                 "}\n"
                                 "a.zv_copylink {\n"
                                 "    color: #AAAAAA;\n"
                                 "    font-weight: bold;\n"
                                 "    font-style: italic;\n"
                                 "}\n"
                                 "a:visited.zv_copylink {\n"
                                 "    color: #BBBBBB;\n"
                                 "    font-weight: bold;\n"
                                 "    font-style: italic;\n"
                                 "}\n"
                                 "a:hover.zv_copylink {\n"
                                 "    color: #CCCCCC;\n"
                                 "    font-weight: bold;\n"
                                 "    font-style: italic;\n"
                                 "}\n"
                                 "a:active.zv_copylink {\n"
                                 "    color: #DDDDDD;\n"
                                 "    font-weight: bold;\n"
                                 "    font-style: italic;\n"
                                 "}\n";
    EXPECT_EQ(vessilo::BuildCss(s, s.szTagID), expected);
}

TEST(CssWriterTest, SingleDeclarations) {
    struct Case {
        void (*set)(CStyleSettings&);
        std::string frameBody;
    };
    const Case cases[] = {
        {[](CStyleSettings& s) { s.bFrameBorder = 1; }, "    border: solid 1px #000000;\n"},
        {[](CStyleSettings& s) {
             s.bFrameMargin = 1;
             s.nFrameMarginLeft = 1;
             s.nFrameMarginRight = 2;
             s.nFrameMarginTop = 3;
             s.nFrameMarginBottom = 4;
         },
         "    margin: 3px 2px 4px 1px;\n"},
        {[](CStyleSettings& s) {
             s.bFrameWidth = 1;
             s.nFrameWidth = -5;
             s.szFrameWidthUnit = "zz";
         },
         "    width: -5zz;\n"},
        {[](CStyleSettings& s) {
             s.bFrameTextColor = 1;
             s.szFrameTextColor = "red;x";
         },
         ""}, // a value that would end its declaration is left out
        {[](CStyleSettings& s) {
             s.bFrameTextColor = 1;
             s.szFrameTextColor = "redx";
         },
         "    color: redx;\n"}, // anything else goes in as it stands
    };
    for (const Case& c : cases) {
        CStyleSettings s;
        c.set(s);
        EXPECT_EQ(vessilo::BuildCss(s, "t"),
                  "table.t_frame {\n" + c.frameBody + "}\n" + EmptyRules("t").substr(EmptyRules("t").find("td.")));
    }
}

TEST(CssWriterTest, TagClassNameGoesInUnchanged) {
    const std::string tag = "a b.c{" + J("広告");
    EXPECT_EQ(vessilo::BuildCss(CStyleSettings(), tag), EmptyRules(tag));
    // A long name is not cut to a line buffer.
    const std::string longTag(5000, 'k');
    EXPECT_EQ(vessilo::BuildCss(CStyleSettings(), longTag), EmptyRules(longTag));
}

TEST(CssWriterTest, WriteReplacesTheFileAndReportsFailure) {
    TempDir dir;
    std::string f = dir / "out.css";
    ASSERT_TRUE(FileOps::WriteWholeFile(f, std::string(1000, 'o')));
    ASSERT_TRUE(vessilo::WriteCss(CStyleSettings(), f, "x"));
    std::string bytes;
    ASSERT_TRUE(FileOps::ReadWholeFile(f, bytes));
    EXPECT_EQ(bytes, EmptyRules("x"));

    EXPECT_FALSE(vessilo::WriteCss(CStyleSettings(), "", "x"));
    EXPECT_FALSE(vessilo::WriteCss(CStyleSettings(), dir / "missing/out.css", "x"));
    EXPECT_FALSE(vessilo::WriteCss(CStyleSettings(), dir.path(), "x"));
    if (std::filesystem::is_character_file("/dev/full")) {
        EXPECT_FALSE(vessilo::WriteCss(CStyleSettings(), "/dev/full", "x"));
    }
}

TEST(CssWriterTest, LabelRuleOnlyWhenStyled) {
    CStyleSettings s;
    s.bUnUsePrLink = 0;
    s.nLabelFontSize = 12; // values alone write nothing
    EXPECT_EQ(vessilo::BuildCss(s, "ad"), EmptyRules("ad") + EmptyCreditRules("ad"));
    s.bLabelHori = s.bLabelTextColor = s.bLabelBackColor = s.bLabelFontSize = s.bLabelMargin = 1;
    s.szLabelHori = "right";
    s.nLabelMarginLeft = 1;
    s.nLabelMarginRight = 2;
    s.nLabelMarginTop = 3;
    s.nLabelMarginBottom = 4;
    EXPECT_EQ(vessilo::BuildCss(s, "ad"), EmptyRules("ad") + EmptyCreditRules("ad") +
                                              "div.ad_label {\n    text-align: right;\n    color: #000000;\n"
                                              "    background-color: #FFFFFF;\n    font-size: 12px;\n"
                                              "    margin: 3px 2px 4px 1px;\n}\n");
}

TEST(CssWriterTest, PhoneRulesAreOneMediaQueryAtTheEnd) {
    CStyleSettings s;
    s.nBreakpoint = 480;
    EXPECT_EQ(vessilo::BuildCss(s, "ad"), EmptyRules("ad"));
    s.bResponsive = 1;
    const std::string css = vessilo::BuildCss(s, "ad");
    ASSERT_TRUE(css.starts_with(EmptyRules("ad") + "@media screen and (max-width: 480px) {\n")) << css;
    EXPECT_TRUE(css.ends_with("    }\n}\n"));
    EXPECT_NE(css.find("table.ad_frame > tbody > tr > td {\n        display: block;\n"), std::string::npos);
    EXPECT_NE(css.find("flex: 0 0 100%;"), std::string::npos);
    s.nPhoneCols = 2;
    EXPECT_NE(vessilo::BuildCss(s, "ad").find("flex: 0 0 50%;"), std::string::npos);
    s.nBreakpoint = -5; // from a hand-edited file
    EXPECT_NE(vessilo::BuildCss(s, "ad").find("(max-width: 200px)"), std::string::npos);
}

} // namespace
