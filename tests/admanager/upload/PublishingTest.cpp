#include "admanager/library/LibraryNode.h"
#include "admanager/upload/Publishing.h"

#include "common/FileOps.h"

#include "FtpTestServer.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
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
        item.ftpHost = "site";
        AppendBanner(item).tag = "<a href=\"https://example.com/\">ad</a>";
    }

    FtpHostList Hosts(int port) {
        FtpHostList hosts;
        FtpHostEntry h = FtpHostEntry::New();
        h.name = "site";
        h.host = "127.0.0.1";
        h.port = port;
        h.directory = "pub";
        hosts.entries.push_back(h);
        return hosts;
    }

    TempDir dir;
};

TEST_F(PublishingTest, RecordByDestinationDecidesWhatChanged) {
    FtpHostList hosts = Hosts(21);
    PublishRecord record;
    LibraryNode item;
    Fill(item, "1", true, dir.path());
    PublishItem first = PlanItem(item, "a", &hosts, record);
    EXPECT_EQ(first.state, State::New);
    EXPECT_FALSE(first.PreTicked()) << "nothing from another machine goes unseen";
    ASSERT_EQ(first.files.size(), 1u);
    EXPECT_EQ(first.files[0].destination, RemoteDestination(hosts.entries[0], "1.html"));

    record.Set(first.files[0].destination, first.files[0].sha256);
    EXPECT_EQ(PlanItem(item, "a", &hosts, record).state, State::Unchanged);
    // A copy of the item (another library, another id) landing on the same
    // file is judged by that file, not by its own history.
    LibraryNode copy;
    Fill(copy, "other", true, dir.path());
    copy.remoteFile = "1.html";
    EXPECT_EQ(PlanItem(copy, "b", &hosts, record).state, State::Unchanged);
    copy.banners.front()->tag += "<br>";
    PublishItem differs = PlanItem(copy, "b", &hosts, record);
    EXPECT_EQ(differs.state, State::Changed) << "same remote file, other bytes";
    EXPECT_TRUE(differs.PreTicked());

    FtpHostList moved = hosts;
    moved.entries[0].directory = "www";
    EXPECT_EQ(PlanItem(item, "a", &moved, record).state, State::New) << "another place on the host";
    item.banners.front()->tag += " ";
    PublishItem changed = PlanItem(item, "a", &hosts, record);
    EXPECT_EQ(changed.state, State::Changed);
    EXPECT_TRUE(changed.files[0].changed);
    EXPECT_TRUE(changed.PreTicked());

    PublishItem local = PlanItem(item, "a", nullptr, record);
    EXPECT_EQ(local.state, State::LocalOnly) << "no upload wanted";
    EXPECT_FALSE(local.PreTicked()) << "never written from here";
    record.Set(local.files[0].destination, "old");
    EXPECT_TRUE(PlanItem(item, "a", nullptr, record).PreTicked()) << "written before, changed since";
    item.tagClass.clear();
    EXPECT_EQ(PlanItem(item, "a", &hosts, record).state, State::Problem);
}

TEST_F(PublishingTest, OnlyTheNamedHostAndNoWayOutOfItsFolder) {
    FtpHostList hosts;
    for (const char* name : {"site-test", "site", "ｻｲﾄ"}) {
        FtpHostEntry h = FtpHostEntry::New();
        h.name = testutil::J(name);
        h.host = "127.0.0.1";
        hosts.entries.push_back(h);
    }
    LibraryNode item;
    Fill(item, "1", true, dir.path());
    PublishRecord record;
    struct Case {
        const char* stored;
        int host;
        const char* problem;
    } cases[] = {
        {"site", 1, ""},
        {"SITE", 1, ""},
        {"site-test", 0, ""},
        {"sit", -1, "FTPホスト「sit」が見つかりません。"},
        {"さくらサーバー", -1, "FTPホスト「さくらサーバー」が見つかりません。"},
        {"", -1, "FTPホスト「」が見つかりません。"},
    };
    for (const Case& c : cases) {
        item.ftpHost = testutil::J(c.stored);
        PublishItem planned = PlanItem(item, "a", &hosts, record);
        EXPECT_EQ(planned.hostIndex, c.host) << c.stored;
        EXPECT_EQ(planned.uploadProblem, c.problem) << c.stored;
        EXPECT_FALSE(planned.PreTicked()) << c.stored;
    }
    item.ftpHost = "site";
    for (const char* remote : {"../x.html", "a/../../x.html", "..\\x.html", "/..", "pages/..", "a\r\nDELE x"}) {
        item.remoteFile = remote;
        EXPECT_EQ(PlanItem(item, "a", &hosts, record).state, State::Problem) << remote;
    }
    for (const char* remote : {"..x.html", "a/..b/x.html", "/x.html", "pages/new/x.html"}) {
        item.remoteFile = remote;
        EXPECT_NE(PlanItem(item, "a", &hosts, record).state, State::Problem) << remote;
    }
}

TEST_F(PublishingTest, RecordFileSurvivesDamageAndConcurrentWriters) {
    const std::string path = dir.path() + "/" + PublishRecord::kFileName;
    PublishRecord record;
    EXPECT_TRUE(record.Load(dir.path() + "/missing.json"));
    record.Set("ftp://u@h:21/\na.html", "aa");
    ASSERT_TRUE(record.Save(path));
    PublishRecord back;
    ASSERT_TRUE(back.Load(path));
    ASSERT_NE(back.Find("ftp://u@h:21/\na.html"), nullptr);
    EXPECT_EQ(*back.Find("ftp://u@h:21/\na.html"), "aa");
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
        << "it tells where the user publishes";
    for (const char* damaged : {"{", "[]", "{\"version\": 2, \"files\": 5}"}) {
        ASSERT_TRUE(FileOps::WriteWholeFile(path, damaged));
        EXPECT_FALSE(back.Load(path)) << damaged;
        EXPECT_EQ(back.Size(), 0u) << damaged;
    }
    // The per-item form of earlier versions is dropped: those files go once more.
    ASSERT_TRUE(FileOps::WriteWholeFile(path, R"({"version":1,"libraries":{"/l.zva":{"1":{"host":"h","files":[]}}}})"));
    EXPECT_TRUE(back.Load(path));
    EXPECT_EQ(back.Size(), 0u);

    // Two publishers at once, each with its own stale picture: nothing is lost.
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w)
        writers.emplace_back([&path, w] {
            PublishRecord mine;
            for (int i = 0; i < 25; ++i)
                mine.Update(path, [&](PublishRecord& r) { r.Set(std::to_string(w) + "/" + std::to_string(i), "x"); });
        });
    for (std::thread& t : writers)
        t.join();
    ASSERT_TRUE(back.Load(path));
    EXPECT_EQ(back.Size(), 100u);
}

TEST_F(PublishingTest, StopFromAnotherThreadEndsAWaitingHost) {
    // A server that takes the connection and never greets.
    testutil::SilentServer silent;
    ASSERT_NE(silent.Port(), 0);
    FtpHostList hosts = Hosts(silent.Port());
    hosts.entries[0].protocol = FtpProtocol::Ftp;

    LibraryNode a, b, local;
    Fill(a, "1", true, dir.path());
    Fill(b, "2", true, dir.path());
    Fill(local, "3", false, dir.path());
    PublishRecord record;
    std::vector<PublishItem> items;
    for (LibraryNode* node : {&a, &b, &local})
        items.push_back(PlanItem(*node, node->id, &hosts, record));

    std::mutex mutex;
    std::condition_variable cv;
    bool waiting = false;
    PublishOptions options;
    options.recordPath = dir.path() + "/" + PublishRecord::kFileName;
    const std::string remote = items[0].files[0].destination;
    PublishRun run(std::move(items), hosts, options, [&](const std::string& line) {
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

    using R = PublishItemOutcome::Result;
    EXPECT_EQ(run.Outcomes()[0].result, R::Stopped);
    EXPECT_EQ(run.Outcomes()[1].result, R::Stopped);
    EXPECT_EQ(run.Outcomes()[2].result, R::Published) << "written locally before the uploads";
    EXPECT_TRUE(run.AnyFailed());
    EXPECT_EQ(run.Summary().front(), "公開: 1件、変更なし: 0件、失敗: 0件、停止: 2件");
    EXPECT_TRUE(FileOps::FileExists(dir.path() + "/1.html"));
    ASSERT_TRUE(record.Load(options.recordPath));
    EXPECT_EQ(record.Find(remote), nullptr) << "nothing recorded for what did not go";
    EXPECT_NE(record.Find(LocalDestination(dir.path() + "/3.html")), nullptr) << "the local write is";
}

} // namespace
