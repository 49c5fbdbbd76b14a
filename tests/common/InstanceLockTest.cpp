#include "common/InstanceLock.h"

#include "TestUtil.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testutil::TempDir;

// Points the XDG variables at a temporary home for one test.
class InstanceLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_runtime = m_home / "runtime";
        ::mkdir(m_runtime.c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", m_runtime.c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (m_home / "cache").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("XDG_RUNTIME_DIR");
        ::unsetenv("XDG_CACHE_HOME");
    }

    TempDir m_home;
    std::string m_runtime;
};

TEST_F(InstanceLockTest, SecondHolderIsRefusedUntilReleased) {
    InstanceLock first;
    InstanceLock second;
    ASSERT_EQ(first.Acquire("ZOVA_AF_MUTEX"), InstanceLock::Result::Acquired);
    EXPECT_EQ(second.Acquire("ZOVA_AF_MUTEX"), InstanceLock::Result::AlreadyHeld);
    EXPECT_EQ(second.Acquire("OTHER"), InstanceLock::Result::Acquired);
    first.Release();
    EXPECT_EQ(second.Acquire("ZOVA_AF_MUTEX"), InstanceLock::Result::Acquired);
    EXPECT_EQ(InstanceLock::LockDirectory(), m_runtime);
}

// A runtime folder others could write, or a link, is not used: the lock goes to
// the user's own cache folder, made private.
TEST_F(InstanceLockTest, UnsafeRuntimeFolderFallsBackToPrivateCache) {
    const std::string cacheLock = m_home / "cache/zelvor";
    const std::string target = m_home / "elsewhere";
    ::mkdir(target.c_str(), 0700);
    const std::string link = m_home / "link";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    struct Case {
        const char* what;
        std::string runtime;
        mode_t mode;
    } cases[] = {
        {"world-writable", m_runtime, 0777},
        {"group-writable", m_runtime, 0770},
        {"a link", link, 0700},
        {"missing", m_home / "none", 0700},
        {"unset", "", 0700},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::chmod(m_runtime.c_str(), c.mode);
        ::setenv("XDG_RUNTIME_DIR", c.runtime.c_str(), 1);
        EXPECT_EQ(InstanceLock::LockDirectory(), cacheLock);
        struct stat st {};
        ASSERT_EQ(::lstat(cacheLock.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        InstanceLock lock;
        EXPECT_EQ(lock.Acquire("ZOVA_AF_MUTEX"), InstanceLock::Result::Acquired);
    }
}

// A fallback folder someone else made first, or opened to others, is refused.
TEST_F(InstanceLockTest, ForeignOrOpenFallbackIsRefused) {
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string dir = m_home / "cache/zelvor";
    ::mkdir((m_home / "cache").c_str(), 0700);
    ::mkdir(dir.c_str(), 0777);
    ::chmod(dir.c_str(), 0777);
    InstanceLock lock;
    EXPECT_EQ(lock.Acquire("ZOVA_AF_MUTEX"), InstanceLock::Result::Failed);
    if (::geteuid() == 0) {
        ::chmod(dir.c_str(), 0700);
        ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
        EXPECT_EQ(lock.Acquire("ZOVA_AF_MUTEX"), InstanceLock::Result::Failed);
        EXPECT_FALSE(InstanceLock::IsPrivateDirectory(dir));
    }
}

} // namespace
