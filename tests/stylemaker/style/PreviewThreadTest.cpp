#include "stylemaker/style/PreviewThread.h"

#include "common/FileOps.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using testutil::TempDir;
using vessilo::CPreviewThread;
using vessilo::GuardedSettings;
using vessilo::PreviewEvents;

// Counts navigations and lets the test wait for them without sleeping blindly.
struct NavigationLog {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
    std::string lastPath;

    void Add(const std::string& path) {
        {
            std::lock_guard lock(mutex);
            ++count;
            lastPath = path;
        }
        changed.notify_all();
    }
    bool WaitFor(int n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 30s, [&] { return count >= n; });
    }
    int Count() {
        std::lock_guard lock(mutex);
        return count;
    }
};

class PreviewThreadTest : public ::testing::Test {
protected:
    TempDir m_dir;
    std::shared_ptr<PreviewEvents> m_events = std::make_shared<PreviewEvents>();
    std::shared_ptr<GuardedSettings> m_doc = std::make_shared<GuardedSettings>();
    NavigationLog m_log;
    std::unique_ptr<CPreviewThread> m_thread;

    void Start(std::chrono::milliseconds settle = 250ms) {
        vessilo::PreviewThreadConfig config;
        config.events = m_events;
        config.source = m_doc;
        config.htmlPath = m_dir / "css1.html";
        config.cssPath = m_dir / "css1.css";
        config.navigate = [this](const std::string& path) { m_log.Add(path); };
        config.settle = settle;
        m_thread = std::make_unique<CPreviewThread>(config);
        ASSERT_TRUE(m_thread->Start());
    }
    void Change(int cols) {
        std::lock_guard lock(m_doc->mutex);
        m_doc->settings.nCols = cols;
    }
    // The thread has taken the last signal once it reset the event.
    bool WaitSignalTaken() {
        for (int i = 0; i < 3000; ++i) {
            if (!m_events->IsPreviewSet())
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    void TearDown() override {
        if (m_thread) {
            EXPECT_TRUE(m_thread->Stop());
        }
    }
};

TEST_F(PreviewThreadTest, FirstSignalRendersEvenAnUnchangedRecord) {
    Start();
    m_events->SetPreview();
    ASSERT_TRUE(m_log.WaitFor(1));
    std::string css, html;
    ASSERT_TRUE(FileOps::ReadWholeFile(m_dir / "css1.css", css));
    ASSERT_TRUE(FileOps::ReadWholeFile(m_dir / "css1.html", html));
    EXPECT_NE(css.find("table.cssprev_frame {"), std::string::npos);
    EXPECT_NE(html.find(m_dir / "css1.css"), std::string::npos);
    EXPECT_EQ(m_log.lastPath, m_dir / "css1.html");
}

TEST_F(PreviewThreadTest, UnchangedRecordRendersNothingAndDoesNotSpin) {
    Start(0ms);
    m_events->SetPreview();
    ASSERT_TRUE(m_log.WaitFor(1));
    ASSERT_TRUE(WaitSignalTaken());
    m_events->SetPreview();
    // The thread resets the event and waits instead of comparing in a loop.
    EXPECT_TRUE(WaitSignalTaken());
    EXPECT_EQ(m_log.Count(), 1);
}

TEST_F(PreviewThreadTest, TwoQuickChangesGiveAtMostTwoRenders) {
    Start();
    m_events->SetPreview();
    ASSERT_TRUE(m_log.WaitFor(1));
    Change(2);
    m_events->SetPreview();
    Change(3);
    m_events->SetPreview();
    ASSERT_TRUE(m_log.WaitFor(2));
    ASSERT_TRUE(WaitSignalTaken());
    EXPECT_LE(m_log.Count(), 3);
    std::string html;
    ASSERT_TRUE(FileOps::ReadWholeFile(m_dir / "css1.html", html));
    // The last change is on the page: three cells in the first row.
    EXPECT_NE(html.find("</td><td class=\"cssprev_data\"><div class=\"cssprev_adv\"><div class=\"cssprev_title\">"),
              std::string::npos);
}

TEST_F(PreviewThreadTest, ChangeDuringThePauseIsRenderedWithoutAnotherSignal) {
    Start(300ms);
    m_events->SetPreview();
    ASSERT_TRUE(m_log.WaitFor(1));
    // Signalled while the thread still waits out its pause after the first page.
    Change(4);
    m_events->SetPreview();
    EXPECT_TRUE(m_log.WaitFor(2));
}

TEST_F(PreviewThreadTest, ExitWinsOverAPendingPreview) {
    m_events->SetExit();
    m_events->SetPreview();
    vessilo::PreviewThreadConfig config;
    config.events = m_events;
    config.source = m_doc;
    config.htmlPath = m_dir / "x.html";
    config.cssPath = m_dir / "x.css";
    EXPECT_EQ(vessilo::PreviewThreadProc(config), 0);
    EXPECT_FALSE(FileOps::FileExists(m_dir / "x.html"));
}

TEST_F(PreviewThreadTest, StopEndsTheThreadAndResetsExit) {
    Start(5000ms);
    m_events->SetPreview();
    ASSERT_TRUE(m_log.WaitFor(1));
    // Exit cuts the pause short, well inside the 10 s allowed.
    EXPECT_TRUE(m_thread->Stop());
    EXPECT_FALSE(m_thread->IsRunning());
    EXPECT_FALSE(m_events->IsExitSet());
}

TEST_F(PreviewThreadTest, MissingDirectoryIsNotFatal) {
    vessilo::PreviewThreadConfig config;
    config.events = m_events;
    config.source = m_doc;
    config.htmlPath = m_dir / "missing/a.html";
    config.cssPath = m_dir / "missing/a.css";
    config.settle = 0ms;
    std::atomic<int> navigations = 0;
    config.navigate = [&](const std::string&) {
        ++navigations;
        m_events->SetExit();
    };
    m_events->SetPreview();
    EXPECT_EQ(vessilo::PreviewThreadProc(config), 1);
    EXPECT_EQ(navigations, 1);
}

TEST(PreviewEventsTest, EachPairIsItsOwn) {
    PreviewEvents a, b;
    a.SetExit();
    a.SetPreview();
    EXPECT_FALSE(b.IsExitSet());
    EXPECT_FALSE(b.IsPreviewSet());
    a.ResetPreview();
    EXPECT_EQ(a.Wait(), PreviewEvents::Signal::Exit);
}

} // namespace
