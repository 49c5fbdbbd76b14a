#include "common/IniProfile.h"

#include "TestUtil.h"
#include "common/FileOps.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testutil::J;
using testutil::TempDir;

std::string Read(const std::string& path) {
    std::string s;
    FileOps::ReadWholeFile(path, s);
    return s;
}

TEST(IniProfileTest, NewFileBytes) {
    TempDir dir;
    std::string f = dir / "new.ini";
    ASSERT_TRUE(Profile::WriteString(f, "App1", "key1", "string1"));
    ASSERT_TRUE(Profile::WriteString(f, "App1", "key2", "string2"));
    ASSERT_TRUE(Profile::WriteString(f, "App1", "key3", "string3"));
    ASSERT_TRUE(Profile::WriteString(f, "App2", "key4", "string4"));
    ASSERT_TRUE(Profile::WriteString(f, "App3", "key5", "string5"));
    EXPECT_EQ(Read(f), "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n"
                       "[App3]\r\nkey5=string5\r\n");
}

TEST(IniProfileTest, EditsKeepUntouchedLinesByteForByte) {
    IniDocument doc;
    doc.Parse("; comment\n[ Main ]\nKey = old value \n\n; inside\nOther=1\r\n[next]\rz=9");
    doc.SetString("main", "KEY", "new");
    doc.SetString("MAIN", "added", "a");
    doc.SetString("next", "y", "8");
    doc.SetString("third", "k", "v");
    EXPECT_EQ(doc.Bytes(), "; comment\n[ Main ]\nKey=new\n\n; inside\nOther=1\r\nadded=a\r\n[next]\rz=9\r\ny=8\r\n"
                           "[third]\r\nk=v\r\n");
    doc.DeleteKey("main", "other");
    doc.DeleteSection("NEXT");
    EXPECT_EQ(doc.Bytes(), "; comment\n[ Main ]\nKey=new\n\n; inside\nadded=a\r\n[third]\r\nk=v\r\n");
}

TEST(IniProfileTest, LookupRules) {
    IniDocument doc;
    doc.Parse("[s]\r\n"
              "  spaced  =  value with spaces  \r\n"
              "quoted=\"in quotes\"\r\n"
              "single='x'\r\n"
              "unmatched=\"open\r\n"
              "empty=\r\n"
              "inline=v ;x\r\n"
              "nokey\r\n"
              ";commented=1\r\n"
              "dup=first\r\n"
              "dup=second\r\n"
              "[broken\r\n"
              "k=inside broken\r\n"
              "[s]\r\n"
              "later=1\r\n");
    struct Case {
        const char* key;
        bool found;
        const char* value;
    } cases[] = {
        {"spaced", true, "value with spaces"}, {"QUOTED", true, "in quotes"}, {"single", true, "x"},
        {"unmatched", true, "\"open"},        {"empty", true, ""},            {"inline", true, "v ;x"},
        {"nokey", false, ""},                 {";commented", false, ""},      {"commented", false, ""},
        {"dup", true, "first"},               {"later", false, ""},           {"k", true, "inside broken"},
    };
    for (const auto& c : cases) {
        std::string v;
        EXPECT_EQ(doc.Find("S", c.key, v), c.found) << c.key;
        if (c.found) {
            EXPECT_EQ(v, c.value) << c.key;
        }
    }
}

TEST(IniProfileTest, DoubleByteNamesFoldOnlyAsciiCharacters) {
    IniDocument doc;
    doc.Parse(J("[設定ア]\r\nキーa=1\r\n"));
    std::string v;
    EXPECT_TRUE(doc.Find(J("設定ア"), J("キーA"), v));
    EXPECT_FALSE(doc.Find(J("設定ヂ"), J("キーa"), v)); // ア is 83 41, ヂ is 83 61
    EXPECT_TRUE(IniDocument::NamesEqual("ZOVA_af_Setting", "zova_AF_SETTING"));
    EXPECT_FALSE(IniDocument::NamesEqual(J("ア"), J("ヂ")));
}

TEST(IniProfileTest, SectionHeaderEndsAtASingleByteBracket) {
    // ゾ is 83 5D: its trail byte is no closing bracket.
    IniDocument doc;
    doc.Parse(J("[ゾ]\r\na=1\r\n[名前ゾ\r\nb=2\r\n[x]ゾ]\r\nc=3\r\n"));
    std::string v;
    EXPECT_TRUE(doc.Find(J("ゾ"), "a", v));
    EXPECT_TRUE(doc.Find(J("ゾ"), "b", v)); // "[名前ゾ" is no header
    EXPECT_TRUE(doc.Find(J("x]ゾ"), "c", v));
    EXPECT_FALSE(doc.HasSection(J("名前")));
}

TEST(IniProfileTest, SectionSnapshotLooksUpLikeTheDocument) {
    IniDocument doc;
    doc.Parse(J("[s]\r\nKey=\"q\"\r\nkey=second\r\nキーa= 12x\r\nempty=\r\n[t]\r\nother=1\r\n"));
    IniSection section = doc.Section("S");
    for (const char* key : {"KEY", "キーA", "empty", "other", "missing"}) {
        std::string a, b;
        std::string k = J(key);
        EXPECT_EQ(section.Find(k, a), doc.Find("s", k, b)) << key;
        EXPECT_EQ(a, b) << key;
        EXPECT_EQ(section.GetInt(k, -9), doc.GetInt("s", k, -9)) << key;
        EXPECT_EQ(section.GetString(k, "def  ", a, 2), doc.GetString("s", k, "def  ", b, 2)) << key;
        EXPECT_EQ(a, b) << key;
    }
    EXPECT_EQ(section.GetInt(J("キーA"), 0), 12);
}

TEST(IniProfileTest, ProtectedValuesReadBackUnchanged) {
    for (const char* value : {"plain", " lead", "trail\t", "\"both\"", "'x'", "\"", "\"open", "a\"b\"", "", "''"}) {
        IniDocument doc;
        doc.SetString("s", "k", IniDocument::ProtectValue(value));
        IniDocument back;
        back.Parse(doc.Bytes());
        std::string v;
        ASSERT_TRUE(back.Find("s", "k", v));
        EXPECT_EQ(v, value);
    }
    EXPECT_EQ(IniDocument::ProtectValue("plain"), "plain");
}

TEST(IniProfileTest, IntegerParsing) {
    struct Case {
        const char* stored;
        std::int32_t expected;
    } cases[] = {
        {"1", 1}, {"+1", 1}, {"-1", -1}, {"42A9", 42}, {"B42", 0}, {"4294967297", 1}, {"  7", 7}, {"\"5\"", 5},
    };
    for (const auto& c : cases) {
        IniDocument doc;
        doc.Parse(std::string("[s]\nk=") + c.stored + "\n");
        EXPECT_EQ(doc.GetInt("s", "k", 77), c.expected) << c.stored;
    }
    IniDocument doc;
    doc.Parse("[s]\nempty=\n");
    EXPECT_EQ(doc.GetInt("s", "empty", 77), 77);
    EXPECT_EQ(doc.GetInt("s", "missing", -3), -3);
}

TEST(IniProfileTest, StringCapacityAndDefaults) {
    IniDocument doc;
    doc.Parse(J("[s]\r\nk=あいう\r\n"));
    std::string out;
    EXPECT_EQ(doc.GetString("s", "k", "", out, 6), 4u); // 5 bytes fit, the third character does not
    EXPECT_EQ(out, J("あい"));
    EXPECT_EQ(doc.GetString("s", "missing", "one two  ", out, 255), 7u);
    EXPECT_EQ(out, "one two");
}

TEST(IniProfileTest, SectionBlockReplacesWholeSection) {
    TempDir dir;
    std::string f = dir / "list.ini";
    ASSERT_TRUE(FileOps::WriteWholeFile(f, "[A]\r\nn=3\r\nx0=a\r\nx1=b\r\nx2=c\r\n[B]\r\nkeep=1\r\n"));
    ASSERT_TRUE(Profile::WriteSection(f, "a", {"n=1", "x0=z"}));
    EXPECT_EQ(Read(f), "[A]\r\nn=1\r\nx0=z\r\n[B]\r\nkeep=1\r\n");
    ASSERT_TRUE(Profile::WriteSection(f, "C", {"n=0"}));
    EXPECT_EQ(Read(f), "[A]\r\nn=1\r\nx0=z\r\n[B]\r\nkeep=1\r\n[C]\r\nn=0\r\n");
}

TEST(IniProfileTest, FailedWritesReportFalseAndChangeNothing) {
    TempDir dir;
    EXPECT_FALSE(Profile::WriteString(dir / "missing/x.ini", "s", "k", "v"));
    std::string f = dir / "ro.ini";
    ASSERT_TRUE(FileOps::WriteWholeFile(f, "[s]\r\nk=1\r\n"));
    if (::geteuid() != 0) {
        ::chmod(f.c_str(), 0444);
        EXPECT_FALSE(Profile::WriteString(f, "s", "k", "2"));
        EXPECT_EQ(Read(f), "[s]\r\nk=1\r\n");
        // A file that cannot be read is not replaced by the one key being written.
        ::chmod(f.c_str(), 0200);
        EXPECT_FALSE(Profile::WriteString(f, "s", "other", "2"));
        EXPECT_FALSE(Profile::WriteSection(f, "s", {"k=3"}));
        ::chmod(f.c_str(), 0644);
        EXPECT_EQ(Read(f), "[s]\r\nk=1\r\n");
    }
    std::string out;
    EXPECT_EQ(Profile::GetString(dir / "nothing.ini", "s", "k", "def", out, 255), 3u);
}

TEST(IniProfileTest, UnreadableFileIsNotReplaced) {
    TempDir dir;
    // A directory where the file should be can be neither read nor replaced.
    IniDocument doc;
    EXPECT_FALSE(doc.LoadForEdit(dir.path()));
    EXPECT_TRUE(doc.LoadForEdit(dir / "new.ini"));
    std::string f = dir / "secret.ini";
    ASSERT_TRUE(FileOps::WriteWholeFile(f, "[s]\r\nk=1\r\n"));
    if (::geteuid() != 0) {
        // Writing what little is known would drop every other key of the file.
        ::chmod(f.c_str(), 0200);
        EXPECT_FALSE(doc.LoadForEdit(f));
        EXPECT_FALSE(Profile::WriteString(f, "s", "other", "2"));
        EXPECT_FALSE(Profile::WriteSection(f, "t", {"a=1"}));
        ::chmod(f.c_str(), 0600);
        EXPECT_EQ(Read(f), "[s]\r\nk=1\r\n");
    }
}

} // namespace
