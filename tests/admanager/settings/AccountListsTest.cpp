#include "admanager/settings/AccountLists.h"

#include "admanager/settings/AppSettings.h"
#include "admanager/settings/PasswordScrambler.h"
#include "TestUtil.h"
#include "common/FileOps.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

// A host as stored before protocols were chosen: plain FTP, active mode.
[[maybe_unused]] static FtpHostEntry PlainFtpHost(std::string name, std::string host, std::int32_t port, std::string user,
                                                  std::string password, std::string directory) {
    FtpHostEntry e;
    e.name = std::move(name);
    e.host = std::move(host);
    e.port = port;
    e.user = std::move(user);
    e.password = std::move(password);
    e.directory = std::move(directory);
    return e;
}

namespace {

using testutil::DataFile;
using testutil::J;
using testutil::TempDir;

std::string Read(const std::string& path) {
    std::string s;
    FileOps::ReadWholeFile(path, s);
    return s;
}

AspEntry Asp(const std::string& name, const std::string& url = "", const std::string& id = "",
             const std::string& password = "") {
    return AspEntry{name, url, id, password};
}

class AccountListsTest : public ::testing::Test {
protected:
    std::string Module() const { return dir.path() + "/"; }
    std::string Ini() const { return SettingsFile::PathIn(Module()); }
    TempDir dir;
};

TEST(ListOperationsTest, AppendRemoveSwapCopy) {
    AspList list;
    EXPECT_FALSE(RemoveEntry(list, 0));
    EXPECT_FALSE(SwapEntries(list, 0, 0));
    for (const char* n : {"a", "b", "c", "d"})
        ASSERT_TRUE(AppendEntry(list, Asp(n)));
    auto names = [&list] {
        std::string s;
        for (const auto& e : list.entries)
            s += e.name;
        return s;
    };
    EXPECT_TRUE(SwapEntries(list, 0, 3));
    EXPECT_EQ(names(), "dbca");
    for (auto [a, b] : {std::pair{1, 1}, {-1, 0}, {0, 4}})
        EXPECT_FALSE(SwapEntries(list, a, b));
    EXPECT_TRUE(RemoveEntry(list, 1));
    EXPECT_EQ(names(), "dca");
    EXPECT_FALSE(RemoveEntry(list, 3));
    EXPECT_FALSE(RemoveEntry(list, -1));

    FtpHostList hosts, copy;
    AppendEntry(hosts, FtpHostEntry::New());
    AppendEntry(copy, FtpHostEntry{});
    AppendEntry(copy, FtpHostEntry{});
    CopyList(hosts, copy);
    EXPECT_EQ(copy, hosts);
    EXPECT_EQ(copy.entries[0].name, J("新しいホスト設定"));
    EXPECT_EQ(copy.entries[0].port, 21);
    CopyList(FtpHostList{}, copy);
    EXPECT_EQ(copy.Count(), 0);
}

TEST_F(AccountListsTest, AspSectionBytesAndRoundTrip) {
    AspList list;
    AppendEntry(list, Asp(J("エーハチ"), "http://a8.example/", "me", "pw"));
    AppendEntry(list, Asp("B", "", "", ""));
    ASSERT_TRUE(SaveAspList(list, Module()));
    EXPECT_EQ(Read(Ini()), "[ZOVA_AF_ASPLIST]\r\nasp_num=2\r\nasp_name0=" + J("エーハチ") +
                               "\r\nid0=me\r\npass0=" + ScramblePassword("pw") +
                               "\r\nurl0=http://a8.example/\r\nasp_name1=B\r\nid1=\r\npass1=\r\nurl1=\r\n");
    AspList back;
    ASSERT_TRUE(LoadAspList(back, Module()));
    EXPECT_EQ(back, list);
}

TEST_F(AccountListsTest, ShrinkingListLeavesNoStaleKeys) {
    ASSERT_TRUE(FileOps::WriteWholeFile(Ini(), "[ZOVA_AF_SETTING]\r\nlast_index=3\r\n"
                                               "[ZOVA_AF_FTPSETTING]\r\n; note\r\nunknown=1\r\n"
                                               "[Tail]\r\nk=v\r\n"));
    FtpHostList list;
    for (int i = 0; i < 3; ++i)
        AppendEntry(list, PlainFtpHost("h" + std::to_string(i), "host", 2100 + i, "u", "p", "/www"));
    ASSERT_TRUE(SaveFtpHostList(list, Module()));
    RemoveEntry(list, 2);
    RemoveEntry(list, 1);
    ASSERT_TRUE(SaveFtpHostList(list, Module()));
    EXPECT_EQ(Read(Ini()), "[ZOVA_AF_SETTING]\r\nlast_index=3\r\n"
                           "[ZOVA_AF_FTPSETTING]\r\nftphost_num=1\r\nftphost0=h0\r\nhostname0=host\r\nport0=2100\r\n"
                           "username0=u\r\npassword0=" +
                               ScramblePassword("p") + "\r\ncurrent0=/www\r\n[Tail]\r\nk=v\r\n");
    RemoveEntry(list, 0);
    ASSERT_TRUE(SaveFtpHostList(list, Module()));
    FtpHostList back;
    LoadFtpHostList(back, Module());
    EXPECT_EQ(back.Count(), 0);
    EXPECT_NE(Read(Ini()).find("[ZOVA_AF_FTPSETTING]\r\nftphost_num=0\r\n[Tail]"), std::string::npos);
}

TEST_F(AccountListsTest, TransportKeysAreWrittenOnlyWhenTheySayMore) {
    const std::string pin(64, 'a'), key(64, '0');
    FtpHostList list;
    AppendEntry(list, PlainFtpHost("old", "h", 21, "u", "", "/"));
    FtpHostEntry tls = FtpHostEntry::New();
    tls.certificateSha256 = pin;
    AppendEntry(list, tls);
    FtpHostEntry ssh = PlainFtpHost("ssh", "h", 22, "u", "", "");
    ssh.protocol = FtpProtocol::Sftp;
    ssh.hostKeySha256 = key;
    ssh.keyFile = J("/鍵/id");
    AppendEntry(list, ssh);
    ASSERT_TRUE(SaveFtpHostList(list, Module()));
    const std::string ini = Read(Ini());
    EXPECT_NE(ini.find("current0=/\r\nftphost1="), std::string::npos) << "a plain FTP entry keeps its old lines";
    EXPECT_NE(ini.find("current1=\r\nprotocol1=1\r\npassive1=1\r\ncertsha256_1=" + pin + "\r\n"), std::string::npos);
    EXPECT_NE(ini.find("current2=\r\nprotocol2=2\r\nhostkeysha256_2=" + key + "\r\nkeyfile2=" + J("/鍵/id") + "\r\n"),
              std::string::npos);
    FtpHostList back;
    ASSERT_TRUE(LoadFtpHostList(back, Module()));
    EXPECT_EQ(back, list);

    // A damaged fingerprint pins nothing; an unknown protocol number is plain FTP.
    ASSERT_TRUE(FileOps::WriteWholeFile(Ini(), "[ZOVA_AF_FTPSETTING]\r\nftphost_num=1\r\nprotocol0=7\r\n"
                                               "passive0=1\r\ncertsha256_0=XYZ\r\nhostkeysha256_0=" + pin + "0\r\n"));
    ASSERT_TRUE(LoadFtpHostList(back, Module()));
    EXPECT_EQ(back.entries[0].protocol, FtpProtocol::Ftp);
    EXPECT_TRUE(back.entries[0].passive);
    EXPECT_EQ(back.entries[0].certificateSha256, "");
    EXPECT_EQ(back.entries[0].hostKeySha256, "");
}

TEST_F(AccountListsTest, MissingKeysAndWindowsFile) {
    // Written by hand the way Windows leaves it: other case, blanks, a second
    // section of the same name, CP932 texts.
    AspList asp;
    FtpHostList ftp;
    ASSERT_TRUE(FileOps::WriteWholeFile(Ini(), Read(DataFile("settings_windows.ini"))));
    ASSERT_TRUE(LoadAspList(asp, Module()));
    ASSERT_TRUE(LoadFtpHostList(ftp, Module()));
    ASSERT_EQ(asp.Count(), 2);
    EXPECT_EQ(asp.entries[0], Asp(J("ＡＳＰ一号"), "https://asp.example/login", "user01", J("秘密pass")));
    EXPECT_EQ(asp.entries[1], Asp(J("読み込み失敗"), "", "only-id", ""));
    ASSERT_EQ(ftp.Count(), 2);
    EXPECT_EQ(ftp.entries[0], PlainFtpHost(J("自宅"), "ftp.example.jp", 2121, "web", "x=y", J("/public_html/広告")));
    EXPECT_EQ(ftp.entries[1], PlainFtpHost("", "", 21, "", "", ""));
    AppSettings s;
    ASSERT_TRUE(LoadSettings(s, Module()));
    EXPECT_EQ(s.lastIndex, 77);
    EXPECT_EQ(s.xPos, -4);
    EXPECT_EQ(s.lastFile, J("C:\\Users\\me\\広告.zva"));

    // Saving what was read and reading again gives the same lists.
    ASSERT_TRUE(SaveAspList(asp, Module()));
    ASSERT_TRUE(SaveFtpHostList(ftp, Module()));
    ASSERT_TRUE(SaveSettings(s, Module()));
    AspList asp2;
    FtpHostList ftp2;
    AppSettings s2;
    LoadAspList(asp2, Module());
    LoadFtpHostList(ftp2, Module());
    LoadSettings(s2, Module());
    EXPECT_EQ(asp2, asp);
    EXPECT_EQ(ftp2, ftp);
    EXPECT_EQ(s2, s);
    EXPECT_NE(Read(Ini()).find("; a comment the program never wrote\r\n"), std::string::npos);
}

TEST_F(AccountListsTest, DamagedCounts) {
    struct Case {
        const char* count;
        int entries;
    } cases[] = {{"-1", 0}, {"0", 0}, {"abc", 0}, {"3", 3}, {"2147483647", kMaxListEntries}, {"4294967296", 0}};
    for (const auto& c : cases) {
        ASSERT_TRUE(FileOps::WriteWholeFile(Ini(), std::string("[ZOVA_AF_ASPLIST]\r\nasp_num=") + c.count +
                                                       "\r\n[ZOVA_AF_FTPSETTING]\r\nftphost_num=" + c.count + "\r\n"));
        AspList asp;
        FtpHostList ftp;
        LoadAspList(asp, Module());
        LoadFtpHostList(ftp, Module());
        EXPECT_EQ(asp.Count(), c.entries) << c.count;
        EXPECT_EQ(ftp.Count(), c.entries) << c.count;
    }
}

TEST_F(AccountListsTest, TextsKeepTheirShapeAndLength) {
    AspList list;
    std::string longPassword;
    while (longPassword.size() + 2 <= AspEntry::kPasswordBytes)
        longPassword += J("鍵");
    longPassword += "!";
    AppendEntry(list, Asp(" padded ", "\"quoted\"", "'q'", longPassword));
    AppendEntry(list, Asp(std::string(400, 'n'), J("ア") + std::string(253, 'u'), "a\r\nb", "tab\there"));
    ASSERT_TRUE(SaveAspList(list, Module()));
    AspList back;
    LoadAspList(back, Module());
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.entries[0], list.entries[0]);
    EXPECT_EQ(back.entries[1].name, std::string(254, 'n'));
    EXPECT_EQ(back.entries[1].url, J("ア") + std::string(252, 'u')); // never half a character
    EXPECT_EQ(back.entries[1].userId, "a  b");                      // one line in the file
    EXPECT_EQ(back.entries[1].password, "tab\there");
}

TEST_F(AccountListsTest, FailedWritesReturnFalse) {
    AspList list;
    AppendEntry(list, AspEntry::New());
    EXPECT_FALSE(SaveAspList(list, dir.path() + "/missing/"));
    EXPECT_FALSE(SaveFtpHostList(FtpHostList{}, dir.path() + "/missing/"));
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only directories";
    ::chmod(dir.path().c_str(), 0555);
    EXPECT_FALSE(SaveAspList(list, Module()));
    ::chmod(dir.path().c_str(), 0755);
}

} // namespace
