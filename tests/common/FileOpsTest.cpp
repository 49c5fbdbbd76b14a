#include "common/FileOps.h"

#include "TestUtil.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using testutil::TempDir;

int CountEntries(const std::string& dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

TEST(FileOpsTest, AtomicReplaceKeepsOldFileUntilCommit) {
    TempDir dir;
    std::string target = dir / "lib.zva";
    ASSERT_TRUE(FileOps::WriteWholeFile(target, "old"));
    ::chmod(target.c_str(), 0640);
    {
        FileOps::AtomicWriter w;
        ASSERT_TRUE(w.Open(target));
        ASSERT_TRUE(w.Write("half of the new"));
        std::string now;
        ASSERT_TRUE(FileOps::ReadWholeFile(target, now));
        EXPECT_EQ(now, "old");
        // Destroyed without a commit: the target stays and the temp file goes.
    }
    std::string now;
    ASSERT_TRUE(FileOps::ReadWholeFile(target, now));
    EXPECT_EQ(now, "old");
    EXPECT_EQ(CountEntries(dir.path()), 1);

    ASSERT_TRUE(FileOps::ReplaceFileAtomic(target, "new"));
    ASSERT_TRUE(FileOps::ReadWholeFile(target, now));
    EXPECT_EQ(now, "new");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(CountEntries(dir.path()), 1);
}

TEST(FileOpsTest, ReplacingThroughALinkKeepsTheLinkAndReplacesItsTarget) {
    TempDir synced, work;
    ASSERT_TRUE(FileOps::WriteWholeFile(synced / "lib.zva", "old"));
    const std::string link = work / "lib.zva";
    ASSERT_EQ(::symlink((synced / "lib.zva").c_str(), link.c_str()), 0);
    ASSERT_TRUE(FileOps::ReplaceFileAtomic(link, "new"));
    EXPECT_TRUE(std::filesystem::is_symlink(link)) << "still a link";
    std::string bytes;
    ASSERT_TRUE(FileOps::ReadWholeFile(synced / "lib.zva", bytes));
    EXPECT_EQ(bytes, "new");
    EXPECT_EQ(CountEntries(work.path()), 1);
    EXPECT_EQ(CountEntries(synced.path()), 1) << "no temporary file left beside the target";
    // A private file is private whatever it was before.
    ::chmod((synced / "lib.zva").c_str(), 0644);
    ASSERT_TRUE(FileOps::ReplaceFileAtomic(link, "secret", true));
    struct stat st {};
    ASSERT_EQ(::stat((synced / "lib.zva").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(FileOpsTest, WritesIntoMissingPlacesFail) {
    TempDir dir;
    EXPECT_FALSE(FileOps::ReplaceFileAtomic(dir / "no/such/dir/file", "x"));
    EXPECT_FALSE(FileOps::ReplaceFileAtomic("", "x"));
    EXPECT_FALSE(FileOps::ReplaceFileAtomic(dir.path(), "x")); // a directory
    EXPECT_FALSE(FileOps::WriteWholeFile(dir / "no/file", "x"));
    std::string out;
    EXPECT_FALSE(FileOps::ReadWholeFile(dir / "missing", out));
    EXPECT_FALSE(FileOps::ReadWholeFile(dir.path(), out));
}

TEST(FileOpsTest, FullDiskIsReported) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    EXPECT_FALSE(FileOps::WriteWholeFile("/dev/full", "data"));
}

TEST(FileOpsTest, RemoveDirRemovesFilesAndDirectory) {
    TempDir dir;
    std::string work = dir / "zva1.tmp";
    ASSERT_TRUE(FileOps::MakeDirRetry(work));
    ASSERT_TRUE(FileOps::WriteWholeFile(work + "/a.dat", "a"));
    ASSERT_TRUE(FileOps::WriteWholeFile(work + "/b.txt", "b"));
    EXPECT_TRUE(FileOps::RemoveDirRetry(work));
    EXPECT_FALSE(FileOps::IsDirectory(work));
}

} // namespace

namespace {

TEST(FileOpsTest, APrivateFileOthersCouldReadIsMadePrivateAndSaidOnce) {
    TempDir dir;
    const std::string path = dir / "zova_af.ini";
    std::vector<std::string> told;
    FileOps::SetPrivateFileNotice([&told](const std::string& p) { told.push_back(p); });
    ASSERT_TRUE(FileOps::WriteWholeFile(path, "old"));
    ::chmod(path.c_str(), 0644);
    ASSERT_TRUE(FileOps::ReplaceFileAtomic(path, "a", true));
    ASSERT_TRUE(FileOps::ReplaceFileAtomic(path, "b", true));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(told, std::vector<std::string>{path}) << "said once";
    // Narrower stays narrower.
    const std::string mine = dir / "known_hosts";
    ASSERT_TRUE(FileOps::WriteWholeFile(mine, "x"));
    ::chmod(mine.c_str(), 0200);
    ASSERT_TRUE(FileOps::ReplaceFileAtomic(mine, "y", true));
    ASSERT_EQ(::stat(mine.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0200u);
    EXPECT_EQ(told.size(), 1u);
    FileOps::SetPrivateFileNotice({});
}

} // namespace
