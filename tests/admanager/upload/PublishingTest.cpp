#include "admanager/library/LibraryNode.h"
#include "admanager/upload/Publishing.h"

#include "common/FileOps.h"

#include "FtpTestServer.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using testutil::TempDir;
using State = PublishItem::State;

class PublishingTest : public ::testing::Test {
protected:
    static void Fill(LibraryNode& item, const std::string& id, bool upload, const std::string& dir) {
        item.id = id;
        item.title = "item";
        item.tagClass = "ad";
        item.outputPath = dir + "/" + id + ".html";
        item.ftpUpload = upload ? 1 : 0;
        item.remoteFile = id + ".html";
        AppendBanner(item).tag = "<a href=\"https://example.com/\">ad</a>";
    }

    FtpHostList Hosts(int port) {
        FtpHostList hosts;
        FtpHostEntry h = FtpHostEntry::New();
        h.host = "127.0.0.1";
        h.port = port;
        h.directory = "pub";
        hosts.entries.push_back(h);
        return hosts;
    }

    TempDir dir;
};

TEST_F(PublishingTest, RecordDecidesWhatChanged) {
    FtpHostList hosts = Hosts(21);
    PublishRecord record;
    LibraryNode item;
    Fill(item, "1", true, dir.path());
    PublishItem first = PlanItem(item, "a", &hosts, record, "/lib.zva");
    EXPECT_EQ(first.state, State::New);
    ASSERT_EQ(first.files.size(), 1u);

    PublishRecord::Entry sent{HostKeyText(hosts.entries[0]), {{"1.html", first.files[0].sha256}}};
    record.Set("/lib.zva", "1", sent);
    EXPECT_EQ(PlanItem(item, "a", &hosts, record, "/lib.zva").state, State::Unchanged);
    EXPECT_EQ(PlanItem(item, "a", &hosts, record, "/other.zva").state, State::New) << "another library";
    FtpHostList moved = hosts;
    moved.entries[0].directory = "www";
    EXPECT_EQ(PlanItem(item, "a", &moved, record, "/lib.zva").state, State::New) << "another place on the host";
    item.banners.front()->tag += " ";
    PublishItem changed = PlanItem(item, "a", &hosts, record, "/lib.zva");
    EXPECT_EQ(changed.state, State::Changed);
    EXPECT_TRUE(changed.files[0].changed);

    EXPECT_EQ(PlanItem(item, "a", nullptr, record, "/lib.zva").state, State::LocalOnly) << "no upload wanted";
    EXPECT_EQ(PlanItem(item, "a", &hosts, record, "/lib.zva").hostIndex, 0);
    FtpHostList none;
    EXPECT_EQ(PlanItem(item, "a", &none, record, "/lib.zva").uploadProblem, PublishTexts::kNoHosts);
    item.tagClass.clear();
    EXPECT_EQ(PlanItem(item, "a", &hosts, record, "/lib.zva").state, State::Problem);

    // The record survives a save; a damaged one loads as empty and says so.
    const std::string path = dir.path() + "/" + PublishRecord::kFileName;
    ASSERT_TRUE(record.Save(path));
    PublishRecord back;
    ASSERT_TRUE(back.Load(path));
    ASSERT_NE(back.Find("/lib.zva", "1"), nullptr);
    EXPECT_EQ(back.Find("/lib.zva", "1")->files, sent.files);
    for (const char* damaged : {"{", "[]", "{\"libraries\": 5}"}) {
        ASSERT_TRUE(FileOps::WriteWholeFile(path, damaged));
        EXPECT_FALSE(back.Load(path)) << damaged;
        EXPECT_EQ(back.Find("/lib.zva", "1"), nullptr) << damaged;
    }
    EXPECT_TRUE(back.Load(dir.path() + "/missing.json"));
}

TEST_F(PublishingTest, StopFromAnotherThreadEndsAWaitingHost) {
    // A server that takes the connection and never greets.
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    FtpHostList hosts = Hosts(ntohs(addr.sin_port));
    hosts.entries[0].protocol = FtpProtocol::Ftp;

    LibraryNode a, b, local;
    Fill(a, "1", true, dir.path());
    Fill(b, "2", true, dir.path());
    Fill(local, "3", false, dir.path());
    PublishRecord record;
    std::vector<PublishItem> items;
    for (LibraryNode* node : {&a, &b, &local})
        items.push_back(PlanItem(*node, node->id, &hosts, record, "/lib.zva"));

    std::mutex mutex;
    std::condition_variable cv;
    bool waiting = false;
    PublishRun run(std::move(items), hosts, PublishOptions{}, [&](const std::string& line) {
        if (line == UploadTexts::kConnecting) {
            std::lock_guard lock(mutex);
            waiting = true;
            cv.notify_all();
        }
    });
    std::thread worker([&] { run.Run(); });
    {
        std::unique_lock lock(mutex);
        cv.wait(lock, [&] { return waiting; });
    }
    run.RequestStop();
    worker.join();
    ::close(listener);

    using R = PublishItemOutcome::Result;
    EXPECT_EQ(run.Outcomes()[0].result, R::Stopped);
    EXPECT_EQ(run.Outcomes()[1].result, R::Stopped);
    EXPECT_EQ(run.Outcomes()[2].result, R::Published) << "written locally before the uploads";
    EXPECT_TRUE(run.AnyFailed());
    EXPECT_EQ(run.Summary().front(), "公開: 1件、変更なし: 0件、失敗: 2件");
    EXPECT_TRUE(FileOps::FileExists(dir.path() + "/1.html"));
    run.UpdateRecord(record, "/lib.zva");
    EXPECT_EQ(record.Find("/lib.zva", "1"), nullptr) << "nothing recorded for what did not go";
}

} // namespace
