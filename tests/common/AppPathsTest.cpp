#include "common/AppPaths.h"

#include "TestUtil.h"
#include "common/FileOps.h"
#include "common/ModuleDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testutil::TempDir;

class AppPathsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (home / "cache").c_str(), 1);
        ModuleDir::SetOverride(program.path());
    }
    void TearDown() override {
        ModuleDir::SetOverride("");
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("XDG_CACHE_HOME");
    }
    static unsigned Mode(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
    }

    TempDir home;
    TempDir program;
};

// A folder the user can write keeps everything, as on Windows.
TEST_F(AppPathsTest, WritableProgramFolderIsPortable) {
    EXPECT_FALSE(AppPaths::IsInstalled());
    EXPECT_EQ(AppPaths::SettingsDir(), program.path() + "/");
    EXPECT_EQ(AppPaths::PageBaseDir(), program.path() + "/");
    EXPECT_FALSE(FileOps::FileExists(home / "config")); // nothing made per user
    EXPECT_TRUE(std::filesystem::is_empty(program.path())); // the probe leaves nothing behind
}

// An installed copy keeps what the programs write per user, in private folders.
TEST_F(AppPathsTest, InstalledProgramFolderKeepsStatePerUser) {
    ASSERT_TRUE(FileOps::WriteWholeFile(program / AppPaths::kInstalledMarker, "package"));
    const std::string other = program / "other";
    ASSERT_TRUE(FileOps::MakeDirs(other, 0755));
    ModuleDir::SetOverride(other); // decided for each program folder
    EXPECT_FALSE(AppPaths::IsInstalled());
    ModuleDir::SetOverride(program.path());
    EXPECT_TRUE(AppPaths::IsInstalled());
    EXPECT_EQ(AppPaths::SettingsDir(), home / "config/zelvor/");
    EXPECT_EQ(AppPaths::PageBaseDir(), home / "cache/zelvor/");
    EXPECT_EQ(Mode(home / "config/zelvor"), 0700u);
    EXPECT_EQ(Mode(home / "cache/zelvor/html"), 0700u);
    EXPECT_EQ(AppPaths::ProgramDir(), program.path() + "/");
    // Without the variables, the folders below the home folder.
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", home.path().c_str(), 1);
    EXPECT_EQ(AppPaths::SettingsDir(), home / ".config/zelvor/");
    ::setenv("HOME", oldHome.c_str(), 1);
}

// A per-user folder that others may write, or that is a link, is never used:
// the settings and the history go to a private folder of this process instead.
TEST_F(AppPathsTest, FoldersOthersCanWriteAreNotUsed) {
    ASSERT_TRUE(FileOps::WriteWholeFile(program / AppPaths::kInstalledMarker, "package"));
    ASSERT_TRUE(FileOps::MakeDirs(home / "config/zelvor", 0700));
    ::chmod((home / "config/zelvor").c_str(), 0777);
    const std::string dir = AppPaths::SettingsDir();
    EXPECT_NE(dir, home / "config/zelvor/");
    EXPECT_EQ(Mode(dir), 0700u) << dir;
    ASSERT_TRUE(FileOps::MakeDirs(home / "elsewhere", 0700));
    ASSERT_TRUE(FileOps::MakeDirs(home / "cache", 0700));
    ASSERT_EQ(::symlink((home / "elsewhere").c_str(), (home / "cache/zelvor").c_str()), 0);
    EXPECT_NE(AppPaths::PageBaseDir(), home / "cache/zelvor/");
}

// A folder nobody may write (as an installed program's is) is installed even unmarked.
TEST_F(AppPathsTest, UnwritableProgramFolderIsInstalled) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes any folder; the package's marker covers that case";
    ::chmod(program.path().c_str(), 0555);
    EXPECT_TRUE(AppPaths::IsInstalled());
    ::chmod(program.path().c_str(), 0755);
}

} // namespace
