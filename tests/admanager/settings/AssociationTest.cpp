#include "admanager/settings/Association.h"

#include "TestUtil.h"
#include "common/FileOps.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using testutil::TempDir;

// The package registers the type for the whole system: the program sees it and
// does not ask to associate, as long as the entry starts its own zova_af.
TEST(AssociationTest, PackageRegistrationCountsForItsProgramFolder) {
    TempDir root;
    const std::string program = root / "usr/lib/zelvor/";
    const std::string share = root / "usr/share";
    const std::string bin = root / "usr/bin";
    const std::string desktop = std::string(ZOVA_TEST_DATA_DIR) + "/../../resources/desktop/";
    ASSERT_TRUE(FileOps::MakeDirs(program, 0755) && FileOps::MakeDirs(bin, 0755));
    ASSERT_TRUE(FileOps::WriteWholeFile(program + "zova_af", "#!/bin/sh\n"));
    std::filesystem::create_symlink("../lib/zelvor/zova_af", bin + "/zova_af");
    ASSERT_TRUE(FileOps::MakeDirs(share + "/mime/packages", 0755) && FileOps::MakeDirs(share + "/applications", 0755));
    std::filesystem::copy_file(desktop + "jp.zelvor.xml", share + "/mime/packages/jp.zelvor.xml");
    std::filesystem::copy_file(desktop + "jp.zelvor.zova_af.desktop", share + "/applications/jp.zelvor.zova_af.desktop");

    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("XDG_DATA_HOME", (root / "home-data").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (root / "nothing-here:" + share).c_str(), 1);
    ::setenv("PATH", (bin + ":" + oldPath).c_str(), 1);
    EXPECT_TRUE(Association::IsAssociated(program));
    // Another copy of the programs is not what the entry starts.
    const std::string other = root / "portable/";
    ASSERT_TRUE(FileOps::MakeDirs(other, 0755) && FileOps::WriteWholeFile(other + "zova_af", "x"));
    EXPECT_FALSE(Association::IsAssociated(other));
    // Without the launcher on the PATH the entry starts nothing of ours.
    ::setenv("PATH", oldPath.c_str(), 1);
    EXPECT_FALSE(Association::IsAssociated(program));
    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("XDG_DATA_DIRS");
}

} // namespace
