#include "admanager/library/LibraryNode.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

namespace {

using testutil::J;

class NodeIdTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetNodeIdClock([] { return std::time_t(1765000000); });
        saved = GetNodeIdCounter();
    }
    void TearDown() override {
        SetNodeIdClock({});
        SetNodeIdCounter(saved);
    }
    std::int32_t saved = 0;
};

TEST_F(NodeIdTest, SameSecondDiffersInCounter) {
    SetNodeIdCounter(42);
    std::string a = MakeNodeId();
    std::string b = MakeNodeId();
    ASSERT_EQ(a.size(), 20u);
    EXPECT_EQ(a.substr(0, 12), b.substr(0, 12));
    EXPECT_EQ(a.substr(12), "0000002A");
    EXPECT_EQ(b.substr(12), "0000002B");
    EXPECT_EQ(GetNodeIdCounter(), 44);
}

TEST_F(NodeIdTest, CounterWrapsToOneNeverZero) {
    SetNodeIdCounter(0xFFFFFF);
    EXPECT_EQ(MakeNodeId().substr(12), "00FFFFFF");
    EXPECT_EQ(MakeNodeId().substr(12), "00000001");
    SetNodeIdCounter(0x7FFFFFFF); // a damaged last_index beyond the range
    MakeNodeId();
    EXPECT_EQ(GetNodeIdCounter(), 1);
}

TEST_F(NodeIdTest, DeepCopySkipsDeletedAndKeepsSettings) {
    SetNodeIdCounter(1);
    LibraryNode folder;
    folder.id = "F";
    folder.flags = NODE_FOLDER;
    folder.title = J("フォルダ");
    folder.ftpUpload = 1;
    folder.remoteFile = "r.html";
    folder.rowLimit = 1;
    folder.rowCount = 9;
    folder.multiPage = 1;
    folder.ftpHost = J("ホスト");
    folder.layout[0] = 3;
    LibraryNode item;
    item.title = "item";
    for (const char* name : {"one", "two", "three"})
        AppendBanner(item).name = name;
    item.banners[1]->live = 0;
    AddChildCopy(folder, item);
    LibraryNode& gone = AddChildCopy(folder, item);
    ClearNode(gone);
    AddChildCopy(folder, item).title = "second";

    LibraryNode copy;
    CopyNode(folder, copy);
    EXPECT_EQ(copy.title, folder.title);
    EXPECT_EQ(copy.flags, NODE_FOLDER);
    EXPECT_EQ(copy.ftpUpload, 1);
    EXPECT_EQ(copy.remoteFile, "r.html");
    EXPECT_EQ(copy.rowLimit, 1);
    EXPECT_EQ(copy.rowCount, 9);
    EXPECT_EQ(copy.multiPage, 1);
    EXPECT_EQ(copy.ftpHost, folder.ftpHost);
    EXPECT_EQ(copy.layout[0], 3);
    ASSERT_EQ(copy.children.size(), 2u);
    EXPECT_EQ(copy.children[1]->title, "second");
    const LibraryNode& first = *copy.children[0];
    ASSERT_EQ(first.banners.size(), 2u);
    EXPECT_EQ(first.banners[0]->name, "one");
    EXPECT_EQ(first.banners[1]->name, "three");
    EXPECT_TRUE(first.banners[1]->IsLive());
    // Identifiers are fresh and drawn in pre-order.
    EXPECT_LT(copy.id, copy.children[0]->id);
    EXPECT_LT(copy.children[0]->id, copy.children[1]->id);
    EXPECT_NE(copy.children[0]->id, folder.children[0]->id);
}

TEST(LibraryNodeTest, DeletedEntriesAreNotCounted) {
    LibraryNode folder;
    folder.flags = NODE_FOLDER;
    LibraryNode item;
    AddChildCopy(folder, item);
    LibraryNode& sub = AddChildCopy(folder, item);
    AppendBanner(sub);
    AppendBanner(sub).live = 0;
    EXPECT_EQ(CountLiveBanners(sub), 1);
    ClearNode(sub);
    EXPECT_TRUE(sub.IsDeleted());
    EXPECT_TRUE(sub.banners.empty());
    EXPECT_EQ(folder.children.size(), 2u);
    EXPECT_EQ(CountLiveChildren(folder), 1);
}

TEST(LibraryNodeTest, ResetForgetsPreviousRoot) {
    AdLibrary lib;
    InitEmptyLibrary(lib);
    lib.root.comment = "old";
    lib.root.tagClass = "cls";
    lib.root.rowCount = 12;
    LibraryNode item;
    AddChildCopy(lib.root, item);
    ResetLibrary(lib);
    InitEmptyLibrary(lib);
    EXPECT_EQ(lib.root.id, "RootNode");
    EXPECT_EQ(lib.root.title, J("Zelvor管理"));
    EXPECT_EQ(lib.root.flags, 6);
    EXPECT_TRUE(lib.root.children.empty());
    EXPECT_TRUE(lib.root.comment.empty());
    EXPECT_TRUE(lib.root.tagClass.empty());
    EXPECT_EQ(lib.root.rowCount, 5);
}

TEST(LibraryNodeTest, NewBannerDefaults) {
    Banner b;
    EXPECT_EQ(b.asp, J("その他"));
    EXPECT_EQ(b.name, J("新しい広告データ"));
    EXPECT_EQ(b.cpm + b.cpc + b.fixedRate + b.fixedFee, 0);
    EXPECT_TRUE(b.IsLive());
}

TEST(LibraryNodeTest, SafeNodeIds) {
    for (const char* ok : {"RootNode", "26120709000100000001", "a"})
        EXPECT_TRUE(IsSafeNodeId(ok)) << ok;
    for (const char* bad : {"", ".", "..", "../x", "a/b", "a\\b", "261207090001000000012", "a\nb"})
        EXPECT_FALSE(IsSafeNodeId(bad)) << bad;
}

} // namespace
