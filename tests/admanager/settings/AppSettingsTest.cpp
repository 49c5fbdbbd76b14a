#include "admanager/settings/AccountLists.h"
#include "admanager/settings/AppSettings.h"

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

class AppSettingsTest : public ::testing::Test {
protected:
    std::string Module() const { return dir.path() + "/"; }
    std::string Ini() const { return SettingsFile::PathIn(Module()); }
    TempDir dir;
};

TEST_F(AppSettingsTest, MissingFileGivesDefaults) {
    AppSettings s;
    s.preview = 7;
    s.lastFile = "x";
    EXPECT_TRUE(LoadSettings(s, Module()));
    EXPECT_EQ(s, AppSettings{});
    EXPECT_EQ(s.useLastFile, 1);
    EXPECT_EQ(s.checkVersion, 1);
    EXPECT_EQ(s.registMessage, 1);
    EXPECT_EQ(s.xPos, -1);
    EXPECT_FALSE(FileOps::FileExists(Ini()));
}

TEST_F(AppSettingsTest, NewFileHasEveryKeyInOrder) {
    AppSettings s;
    s.lastIndex = 42;
    s.lastFile = J("C:\\データ\\広告.zva");
    s.xPos = -8;
    s.bottomH = 300;
    ASSERT_TRUE(SaveSettings(s, Module()));
    EXPECT_EQ(Read(Ini()), "[ZOVA_AF_SETTING]\r\nlast_index=42\r\npreview=0\r\nuse_last_file=1\r\nlast_file=" +
                               J("C:\\データ\\広告.zva") +
                               "\r\ncheck_version=1\r\nregist_message=1\r\nx_pos=-8\r\ny_pos=-1\r\nwidth=-1\r\n"
                               "height=-1\r\nleft_w=-1\r\nright_w=-1\r\ntop_h=-1\r\nbottom_h=300\r\n");
    AppSettings back;
    ASSERT_TRUE(LoadSettings(back, Module()));
    EXPECT_EQ(back, s);
}

TEST_F(AppSettingsTest, SaveReplacesInPlaceAndKeepsEverythingElse) {
    const std::string before = "; written by hand\r\n"
                               "[Other]\r\nlast_index=999\r\n"
                               "[zova_af_setting]\r\n"
                               "LAST_INDEX = 5\r\n"
                               "unknown=keep me\r\n"
                               "x_pos=10\r\n"
                               "\r\n"
                               "[ZOVA_AF_ASPLIST]\r\nasp_num=0\r\n";
    ASSERT_TRUE(FileOps::WriteWholeFile(Ini(), before));
    AppSettings s;
    ASSERT_TRUE(LoadSettings(s, Module()));
    EXPECT_EQ(s.lastIndex, 5);
    EXPECT_EQ(s.xPos, 10);
    s.lastIndex = 6;
    ASSERT_TRUE(SaveSettings(s, Module()));
    EXPECT_EQ(Read(Ini()), "; written by hand\r\n"
                           "[Other]\r\nlast_index=999\r\n"
                           "[zova_af_setting]\r\n"
                           "LAST_INDEX=6\r\n"
                           "unknown=keep me\r\n"
                           "x_pos=10\r\n"
                           "preview=0\r\nuse_last_file=1\r\nlast_file=\r\ncheck_version=1\r\nregist_message=1\r\n"
                           "y_pos=-1\r\nwidth=-1\r\nheight=-1\r\nleft_w=-1\r\nright_w=-1\r\ntop_h=-1\r\nbottom_h=-1\r\n"
                           "\r\n"
                           "[ZOVA_AF_ASPLIST]\r\nasp_num=0\r\n");
}

TEST_F(AppSettingsTest, GeometryAndProfileIntegers) {
    struct Case {
        const char* stored;
        std::int32_t geometry; // ReadProfileInt, default -1
        std::int32_t profile;  // GetPrivateProfileInt rule, default 1
    } cases[] = {
        {"-20", -20, -20},        {"+7", 7, 7},         {"12px", 12, 12},       {"px", 0, 0},
        {"", -1, 1},              {"  -3", -3, -3},     {"99999999999", 2147483647, 1215752191},
        {"-99999999999", -2147483647 - 1, -1215752191}, {"\"-4\"", -4, -4},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(FileOps::WriteWholeFile(Ini(), std::string("[ZOVA_AF_SETTING]\r\nx_pos=") + c.stored +
                                                       "\r\nuse_last_file=" + c.stored + "\r\n"));
        AppSettings s;
        LoadSettings(s, Module());
        EXPECT_EQ(s.xPos, c.geometry) << c.stored;
        EXPECT_EQ(ReadProfileInt("ZOVA_AF_SETTING", "x_pos", -1, Ini()), c.geometry) << c.stored;
        EXPECT_EQ(s.useLastFile, c.profile) << c.stored;
    }
    EXPECT_EQ(ReadProfileInt("ZOVA_AF_SETTING", "missing", -1, Ini()), -1);
    ASSERT_TRUE(WriteProfileInt("ZOVA_AF_SETTING", "x_pos", -2147483647 - 1, Ini()));
    EXPECT_EQ(ReadProfileInt("ZOVA_AF_SETTING", "x_pos", -1, Ini()), -2147483647 - 1);
}

TEST_F(AppSettingsTest, LastFileSurvivesItsOwnShape) {
    const std::string cases[] = {
        " leading and trailing spaces ", "\"quoted\"", "'single'", std::string(300, 'p'), J("表ゾ]") + "=x;y",
    };
    for (const auto& path : cases) {
        AppSettings s;
        s.lastFile = path;
        ASSERT_TRUE(SaveSettings(s, Module()));
        AppSettings back;
        LoadSettings(back, Module());
        EXPECT_EQ(back.lastFile, path.substr(0, AppSettings::kLastFileBytes)) << path;
    }
    // A path with a line break cannot be written; it is forgotten, not split.
    AppSettings s;
    s.lastFile = "/tmp/a\n[ZOVA_AF_ASPLIST]\nasp_num=3";
    ASSERT_TRUE(SaveSettings(s, Module()));
    EXPECT_EQ(Read(Ini()).find("asp_num"), std::string::npos);
    AppSettings back;
    LoadSettings(back, Module());
    EXPECT_EQ(back.lastFile, "");
}

TEST_F(AppSettingsTest, FailedWritesReturnFalse) {
    AppSettings s;
    EXPECT_FALSE(SaveSettings(s, dir.path() + "/missing/"));
    EXPECT_FALSE(WriteProfileInt("S", "k", 1, dir.path() + "/missing/zova_af.ini"));
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only directories";
    ASSERT_TRUE(FileOps::WriteWholeFile(Ini(), "[ZOVA_AF_SETTING]\r\nlast_index=1\r\n"));
    ::chmod(dir.path().c_str(), 0555);
    s.lastIndex = 2;
    EXPECT_FALSE(SaveSettings(s, Module()));
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(Ini().c_str(), 0200); // exists but cannot be read: never overwrite it blindly
    EXPECT_FALSE(LoadSettings(s, Module()));
    EXPECT_FALSE(SaveSettings(s, Module()));
    ::chmod(Ini().c_str(), 0644);
    EXPECT_EQ(Read(Ini()), "[ZOVA_AF_SETTING]\r\nlast_index=1\r\n");
}

// The output settings came later: absent until set, then kept in step.
TEST_F(AppSettingsTest, OutputSettingsAreWrittenOnlyOnceSet) {
    ASSERT_TRUE(SaveSettings(AppSettings{}, Module()));
    const std::string plain = Read(Ini());
    EXPECT_TRUE(plain.ends_with("bottom_h=-1\r\n"));
    EXPECT_EQ(AppSettings{}.adLabelText, J("広告"));

    AppSettings s;
    s.adLabel = 1;
    s.adLabelText = J("プロモーション");
    s.lazyImages = 1;
    ASSERT_TRUE(SaveSettings(s, Module()));
    EXPECT_EQ(Read(Ini()), plain + "ad_label=1\r\nad_label_text=" + J("プロモーション") + "\r\nlazy_images=1\r\n");
    AppSettings back;
    ASSERT_TRUE(LoadSettings(back, Module()));
    EXPECT_EQ(back, s);

    // Back at the defaults, the keys stay and say so.
    ASSERT_TRUE(SaveSettings(AppSettings{}, Module()));
    ASSERT_TRUE(LoadSettings(back, Module()));
    EXPECT_EQ(back, AppSettings{});

    // An emptied label word reads as the default: a label needs a word.
    ASSERT_TRUE(FileOps::WriteWholeFile(Ini(), "[ZOVA_AF_SETTING]\r\nad_label=1\r\nad_label_text=\r\n"));
    ASSERT_TRUE(LoadSettings(back, Module()));
    EXPECT_EQ(back.adLabelText, J("広告"));
}

} // namespace

namespace {

TEST_F(AppSettingsTest, TheSettingsFileIsReadableByTheUserAlone) {
    // It holds the FTP and ASP passwords, only scrambled.
    AppSettings s;
    ASSERT_TRUE(SaveSettings(s, Module()));
    FtpHostList hosts;
    hosts.entries.push_back(FtpHostEntry::New());
    ASSERT_TRUE(::chmod(Ini().c_str(), 0644) == 0);
    ASSERT_TRUE(SaveFtpHostList(hosts, Module()));
    struct stat st {};
    ASSERT_EQ(::stat(Ini().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

} // namespace
