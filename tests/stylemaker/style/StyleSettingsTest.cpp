#include "stylemaker/style/StyleSettings.h"

#include "common/FileOps.h"
#include "common/IniProfile.h"

#include "TestUtil.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace {

using testutil::DataFile;
using testutil::J;
using testutil::TempDir;
using vessilo::StyleKey;

std::string Read(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(FileOps::ReadWholeFile(path, bytes));
    return bytes;
}

std::string Head() {
    return "[ZOVAAF_CSS_HEAD]\r\nHead=ZovaVessilorFile\r\nVer=1\r\n";
}

// Names of the keys whose fields differ between a and b.
std::set<std::string> Differences(const CStyleSettings& a, const CStyleSettings& b) {
    std::set<std::string> names;
    for (const StyleKey& key : vessilo::StyleKeys()) {
        bool same = key.textField ? a.*key.textField == b.*key.textField : a.*key.intField == b.*key.intField;
        if (!same)
            names.insert(std::string(key.name));
    }
    return names;
}

// Loads a style file made of the header and the given data lines.
CStyleSettings LoadData(const std::string& dataLines) {
    TempDir dir;
    std::string f = dir / "s.zvc";
    EXPECT_TRUE(FileOps::WriteWholeFile(f, Head() + "[ZOVAAF_CSS_DATA]\r\n" + dataLines));
    CStyleSettings s;
    EXPECT_TRUE(s.LoadFromFile(f));
    return s;
}

TEST(StyleSettingsTest, KeyTableIsInFileOrderWithUniqueNames) {
    auto keys = vessilo::StyleKeys();
    ASSERT_EQ(keys.size(), 121u);
    EXPECT_EQ(keys[0].name, "szName");
    EXPECT_EQ(keys[1].name, "szComment");
    EXPECT_EQ(keys[18].name, "bFrameFontBorld");
    EXPECT_EQ(keys[91].name, "bUnUsePrLink");
    EXPECT_EQ(keys[120].name, "nAdv3");
    std::set<std::string> names;
    for (const StyleKey& key : keys)
        names.insert(std::string(key.name));
    EXPECT_EQ(names.size(), keys.size());
}

TEST(StyleSettingsTest, HeaderOnlyFileDiffersFromNewDocumentInFourFields) {
    CStyleSettings loaded;
    ASSERT_TRUE(loaded.LoadFromFile(DataFile("style_header_only.zvc")));
    CStyleSettings fresh;
    EXPECT_EQ(Differences(loaded, fresh),
              (std::set<std::string>{"nFrameWidth", "szCommentFontSizeUnit", "szBannerFontSizeUnit", "bUnUsePrLink"}));
    EXPECT_EQ(loaded.nFrameWidth, 0);
    EXPECT_EQ(loaded.szCommentFontSizeUnit, "pc");
    EXPECT_EQ(loaded.szBannerFontSizeUnit, "pc");
    EXPECT_EQ(loaded.bUnUsePrLink, 0);

    // Reset brings a loaded record back to a new document.
    loaded.Reset();
    EXPECT_TRUE(loaded.Equals(fresh));
}

TEST(StyleSettingsTest, WrongSignatureFailsAndLeavesRecordAlone) {
    const std::vector<std::string> files = {
        "[ZOVAAF_CSS_HEAD]\r\nHead=zovavessilorfile\r\n",
        "[ZOVAAF_CSS_HEAD]\r\nHead=ZovaVessilorFileX\r\n",
        "[ZOVAAF_CSS_HEAD]\r\nHead=\r\n",
        "[OTHER]\r\nHead=ZovaVessilorFile\r\n",
        "",
    };
    TempDir dir;
    for (const std::string& content : files) {
        std::string f = dir / "bad.zvc";
        ASSERT_TRUE(FileOps::WriteWholeFile(f, content + "[ZOVAAF_CSS_DATA]\r\nszName=loaded\r\n"));
        CStyleSettings s;
        s.szName = "kept";
        EXPECT_FALSE(s.LoadFromFile(f)) << content;
        EXPECT_EQ(s.szName, "kept");
    }
    CStyleSettings s;
    EXPECT_FALSE(s.LoadFromFile(dir / "missing.zvc"));
    EXPECT_FALSE(s.LoadFromFile(DataFile("style_bad_signature.zvc")));
    EXPECT_TRUE(s.Equals(CStyleSettings()));
}

TEST(StyleSettingsTest, LineBreakEncoding) {
    struct Case {
        std::string plain;
        std::string encoded;
    };
    const std::vector<Case> cases = {
        {"a\r\nb", "a\t[CRLF]\tb"},
        {"\r\n\r\n", "\t[CRLF]\t\t[CRLF]\t"},
        {"a\rb\nc", "a\rb\nc"},
        {"\r\r\n\n", "\r\t[CRLF]\t\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CStyleSettings::EncodeLineBreaks(c.plain), c.encoded);
        EXPECT_EQ(CStyleSettings::DecodeLineBreaks(c.encoded), c.plain);
    }
    // Only the whole marker decodes.
    EXPECT_EQ(CStyleSettings::DecodeLineBreaks("\t[CRLF]x\t[CRLF"), "\t[CRLF]x\t[CRLF");
}

TEST(StyleSettingsTest, CommentIsCutBeforeItIsDecoded) {
    // 505 bytes of text, then a marker that the 511-byte cut leaves half of.
    std::string text(505, 'x');
    CStyleSettings s = LoadData("szComment=" + text + "\t[CRLF]\tyyy\r\n");
    EXPECT_EQ(s.szComment, text + "\t[CRLF");

    // A marker written as text reads back as a line break.
    EXPECT_EQ(LoadData("szComment=a\t[CRLF]\tb\r\n").szComment, "a\r\nb");

    // A long comment of many line breaks loses its end.
    std::string many;
    for (int i = 0; i < 100; ++i)
        many += "ab\r\n";
    TempDir dir;
    CStyleSettings saved;
    saved.szComment = many;
    ASSERT_TRUE(saved.SaveToFile(dir / "m.zvc"));
    CStyleSettings loaded;
    ASSERT_TRUE(loaded.LoadFromFile(dir / "m.zvc"));
    // 511 encoded bytes hold 51 whole "ab" + marker pieces (10 bytes each) and one more "a".
    std::string expected;
    for (int i = 0; i < 51; ++i)
        expected += "ab\r\n";
    EXPECT_EQ(loaded.szComment, expected + "a");
}

TEST(StyleSettingsTest, TextsAreCutToTheirFields) {
    CStyleSettings s = LoadData("szFrameTextColor=#1234567\r\n"
                                "szName=" +
                                std::string(254, 'n') + J("あ") +
                                "\r\n"
                                "szLastCss=" +
                                std::string(300, 'p') +
                                "\r\n"
                                "szDataHori=" +
                                std::string(20, 'h') + "\r\n");
    EXPECT_EQ(s.szFrameTextColor, "#123456");
    // A double-byte character that does not fit whole is dropped, not split.
    EXPECT_EQ(s.szName, std::string(254, 'n'));
    EXPECT_EQ(s.szLastCss, std::string(259, 'p'));
    EXPECT_EQ(s.szDataHori, std::string(15, 'h'));
}

TEST(StyleSettingsTest, IntegersFollowTheProfileReader) {
    CStyleSettings s = LoadData("nFrameWidth=-20\r\nnAdvWidth=42px\r\nnAdvHeight=\r\nnCols=x3\r\n");
    EXPECT_EQ(s.nFrameWidth, -20);
    EXPECT_EQ(s.nAdvWidth, 42);
    EXPECT_EQ(s.nAdvHeight, 100); // empty: the default
    EXPECT_EQ(s.nCols, 0);        // no digits: zero, not the default
}

// A record with every field set away from its new-document value.
CStyleSettings Everything() {
    CStyleSettings s;
    int i = 0;
    for (const StyleKey& key : vessilo::StyleKeys()) {
        ++i;
        if (key.kind == vessilo::StyleKeyKind::Comment)
            s.*key.textField = J("一行目\r\n\r\n三行目 \"引用\"");
        else if (key.kind == vessilo::StyleKeyKind::Color)
            s.*key.textField = "#A0B0" + std::to_string(i % 10) + "0";
        else if (key.textField)
            s.*key.textField = J("値") + std::to_string(i);
        else
            s.*key.intField = (i % 2) ? -i * 1000 : i;
    }
    return s;
}

TEST(StyleSettingsTest, SaveAndLoadRoundTrip) {
    TempDir dir;
    for (const CStyleSettings& saved : {CStyleSettings(), Everything()}) {
        ASSERT_TRUE(saved.SaveToFile(dir / "r.zvc"));
        CStyleSettings loaded;
        loaded.szName = "other";
        ASSERT_TRUE(loaded.LoadFromFile(dir / "r.zvc"));
        EXPECT_TRUE(loaded.Equals(saved)) << *Differences(loaded, saved).begin();
    }
}

TEST(StyleSettingsTest, CommentWithOuterLineBreaksRoundTrips) {
    // The INI reader trims the marker's outer tabs at either end of the value.
    TempDir dir;
    for (const char* comment : {"a\r\n", "\r\nb", "\r\n", "\r\n\r\n", "x\r\n\r\n"}) {
        CStyleSettings saved;
        saved.szComment = comment;
        ASSERT_TRUE(saved.SaveToFile(dir / "c.zvc"));
        CStyleSettings loaded;
        ASSERT_TRUE(loaded.LoadFromFile(dir / "c.zvc"));
        EXPECT_EQ(loaded.szComment, comment);
    }
}

TEST(StyleSettingsTest, SavedNewDocumentHasHeaderThenKeysInTableOrder) {
    TempDir dir;
    ASSERT_TRUE(CStyleSettings().SaveToFile(dir / "n.zvc"));
    std::string bytes = Read(dir / "n.zvc");
    std::string expected = Head() + "[ZOVAAF_CSS_DATA]\r\n";
    for (const StyleKey& key : vessilo::StyleKeys()) {
        expected += std::string(key.name) + "=";
        expected += key.textField ? std::string(key.newText) : std::to_string(key.newInt);
        expected += "\r\n";
    }
    EXPECT_EQ(bytes, expected);
    EXPECT_NE(bytes.find("\r\nnFrameWidth=640\r\nszFrameWidthUnit=px\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nbUnUsePrLink=1\r\n"), std::string::npos);
}

TEST(StyleSettingsTest, SavingOverAnotherIniFileKeepsItsContent) {
    TempDir dir;
    std::string f = dir / "other.ini";
    const std::string other = "; settings\r\n[OTHER]\r\nx=1\r\n\r\n";
    ASSERT_TRUE(FileOps::WriteWholeFile(f, other + "[zovaaf_css_data]\r\nUnknown=keep\r\nSZNAME=old\r\n"));
    CStyleSettings s;
    s.szName = "new";
    ASSERT_TRUE(s.SaveToFile(f));
    std::string bytes = Read(f);
    // Replaced in place with the file's spelling; unknown keys stay; new keys follow.
    const std::string start = other + "[zovaaf_css_data]\r\nUnknown=keep\r\nSZNAME=new\r\nszComment=\r\nszTagID=\r\n";
    EXPECT_EQ(bytes.substr(0, start.size()), start);
    EXPECT_TRUE(bytes.ends_with("nAdv3=3\r\n" + Head()));
    CStyleSettings loaded;
    ASSERT_TRUE(loaded.LoadFromFile(f));
    EXPECT_TRUE(loaded.Equals(s));
}

TEST(StyleSettingsTest, FailedSaveReportsFalseAndKeepsTheFile) {
    TempDir dir;
    EXPECT_FALSE(CStyleSettings().SaveToFile(dir / "missing/s.zvc"));
    EXPECT_FALSE(CStyleSettings().SaveToFile(dir.path()));
    EXPECT_FALSE(CStyleSettings().SaveToFile(""));
}

TEST(StyleSettingsTest, EqualsAndCopyFromCoverEveryField) {
    const CStyleSettings base;
    const CStyleSettings changed = Everything();
    for (const StyleKey& key : vessilo::StyleKeys()) {
        CStyleSettings s;
        if (key.textField)
            s.*key.textField = changed.*key.textField;
        else
            s.*key.intField = changed.*key.intField;
        EXPECT_FALSE(s.Equals(base)) << key.name;
        EXPECT_FALSE(base.Equals(s)) << key.name;
    }
    CStyleSettings copy;
    copy.CopyFrom(changed);
    EXPECT_TRUE(copy.Equals(changed));
}

TEST(StyleSettingsTest, WriteProfileIntWritesDecimal) {
    TempDir dir;
    std::string f = dir / "i.ini";
    ASSERT_TRUE(CStyleSettings::WriteProfileInt("S", "a", -7, f));
    ASSERT_TRUE(CStyleSettings::WriteProfileInt("S", "b", 2147483647, f));
    EXPECT_EQ(Read(f), "[S]\r\na=-7\r\nb=2147483647\r\n");
    EXPECT_FALSE(CStyleSettings::WriteProfileInt("S", "a", 1, dir / "missing/i.ini"));
}

} // namespace

namespace {

// Saving reads and writes the file once; the bytes must be those of one profile
// write per key in table order, whatever shape the file had.
TEST(StyleSettingsTest, SaveGivesTheBytesOfOneProfileWritePerKey) {
    const std::string start = "[ZOVAAF_CSS_DATA]\nnCols=4\n\n[zovaaf_css_head]\r\nVer=0\r\n[ZOVAAF_CSS_DATA]\r\n"
                              "szName=second section\r\n; note\r\n[X]\r\ny=2";
    CStyleSettings s = Everything();
    TempDir dir;
    std::string one = dir / "one.zvc";
    std::string each = dir / "each.zvc";
    ASSERT_TRUE(FileOps::WriteWholeFile(one, start));
    ASSERT_TRUE(FileOps::WriteWholeFile(each, start));
    ASSERT_TRUE(s.SaveToFile(one));

    ASSERT_TRUE(Profile::WriteString(each, "ZOVAAF_CSS_HEAD", "Head", "ZovaVessilorFile"));
    ASSERT_TRUE(Profile::WriteString(each, "ZOVAAF_CSS_HEAD", "Ver", "1"));
    for (const StyleKey& key : vessilo::StyleKeys()) {
        if (key.kind == vessilo::StyleKeyKind::Comment)
            ASSERT_TRUE(Profile::WriteString(each, "ZOVAAF_CSS_DATA", key.name,
                                             CStyleSettings::EncodeLineBreaks(s.*key.textField)));
        else if (key.textField)
            ASSERT_TRUE(Profile::WriteString(each, "ZOVAAF_CSS_DATA", key.name, s.*key.textField));
        else
            ASSERT_TRUE(CStyleSettings::WriteProfileInt("ZOVAAF_CSS_DATA", key.name, s.*key.intField, each));
    }
    EXPECT_EQ(Read(one), Read(each));
}

// The later keys: absent from files that never set them, read with their
// defaults from such files, written once set and kept in step after that.
TEST(StyleSettingsTest, LaterKeysAreWrittenOnlyOnceSet) {
    TempDir dir;
    const std::string f = dir / "s.zvc";
    ASSERT_TRUE(CStyleSettings().SaveToFile(f));
    const std::string plain = Read(f);
    EXPECT_EQ(plain.find("Label"), std::string::npos);
    EXPECT_EQ(plain.find("bResponsive"), std::string::npos);

    CStyleSettings set;
    set.bResponsive = 1;
    set.nPhoneCols = 2;
    set.bLabelTextColor = 1;
    set.szLabelTextColor = "#CC0000";
    ASSERT_TRUE(set.SaveToFile(f));
    const std::string bytes = Read(f);
    EXPECT_TRUE(bytes.starts_with(plain)) << "the 121 keys keep their place";
    EXPECT_EQ(bytes.substr(plain.size()),
              "bLabelTextColor=1\r\nszLabelTextColor=#CC0000\r\nbResponsive=1\r\nnPhoneCols=2\r\n");
    CStyleSettings loaded;
    ASSERT_TRUE(loaded.LoadFromFile(f));
    EXPECT_TRUE(loaded.Equals(set));

    // Switched back off, the value in the file follows instead of going stale.
    set.bResponsive = 0;
    ASSERT_TRUE(set.SaveToFile(f));
    ASSERT_TRUE(loaded.LoadFromFile(f));
    EXPECT_EQ(loaded.bResponsive, 0);
    EXPECT_TRUE(loaded.Equals(set));

    // A file of the older shape reads the new-document values.
    CStyleSettings old;
    old.bResponsive = 1;
    old.nBreakpoint = 1;
    ASSERT_TRUE(FileOps::WriteWholeFile(f, plain));
    ASSERT_TRUE(old.LoadFromFile(f));
    EXPECT_EQ(old.bResponsive, 0);
    EXPECT_EQ(old.nBreakpoint, 600);
    EXPECT_TRUE(old.Equals(CStyleSettings()));
}

} // namespace
