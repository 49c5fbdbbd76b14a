#include "admanager/library/LibraryFile.h"

#include "TestUtil.h"
#include "common/FileOps.h"
#include "common/ModuleDir.h"

#include <csignal>
#include <functional>
#include <set>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testutil::DataFile;
using testutil::J;
using testutil::TempDir;

class LibraryFileTest : public ::testing::Test {
protected:
    void SetUp() override { ModuleDir::SetOverride(module.path()); }
    void TearDown() override {
        // Whatever happened, loads and saves wrote nothing into the program folder.
        EXPECT_EQ(WorkDirs(), 0);
        ModuleDir::SetOverride("");
    }

    int WorkDirs() const {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator(module.path()))
            n += e.path().filename().string().rfind("zva", 0) == 0 ? 1 : 0;
        return n;
    }

    std::string Bytes(const std::string& path) {
        std::string data;
        EXPECT_TRUE(FileOps::ReadWholeFile(path, data)) << path;
        return data;
    }

    static LibraryNode& AddItem(LibraryNode& folder, const std::string& id, const std::string& title) {
        folder.children.push_back(std::make_unique<LibraryNode>());
        LibraryNode& n = *folder.children.back();
        n.id = id;
        n.title = title;
        return n;
    }

    static LibraryNode& AddFolder(LibraryNode& parent, const std::string& id, const std::string& title) {
        LibraryNode& n = AddItem(parent, id, title);
        n.flags = NODE_FOLDER;
        return n;
    }

    static void ExpectSameTree(const LibraryNode& a, const LibraryNode& b) {
        EXPECT_EQ(EncodeNodeFile(a), EncodeNodeFile(b)) << a.id;
        std::vector<const LibraryNode*> ca, cb;
        for (const auto& c : a.children)
            if (!c->IsDeleted())
                ca.push_back(c.get());
        for (const auto& c : b.children)
            if (!c->IsDeleted())
                cb.push_back(c.get());
        ASSERT_EQ(ca.size(), cb.size()) << a.id;
        for (std::size_t i = 0; i < ca.size(); ++i)
            ExpectSameTree(*ca[i], *cb[i]);
    }

    TempDir module;
    TempDir files;
};

std::uint32_t U32(const std::string& d, std::size_t at) {
    return static_cast<unsigned char>(d[at]) | (static_cast<unsigned char>(d[at + 1]) << 8) |
           (static_cast<unsigned char>(d[at + 2]) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(d[at + 3])) << 24);
}

TEST_F(LibraryFileTest, EmptyLibraryIsOneEntry) {
    AdLibrary lib;
    InitEmptyLibrary(lib);
    std::string path = files / "empty.zva";
    ASSERT_TRUE(SaveLibrary(lib, path));
    std::string d = Bytes(path);

    std::string node = EncodeNodeFile(lib.root);
    ASSERT_EQ(d.size(), 24 + 40 + node.size());
    EXPECT_EQ(d.substr(0, 16), "zova_af_datafile");
    EXPECT_EQ(U32(d, 16), 1u);
    EXPECT_EQ(U32(d, 20), 1u);
    EXPECT_EQ(U32(d, 24), 24u); // position field of entry 0
    EXPECT_EQ(U32(d, 28), node.size());
    EXPECT_EQ(d.substr(32, 32), std::string("RootNode.dat") + std::string(20, '\0'));
    EXPECT_EQ(d.substr(64), node);
    // The root's count is the last field and is 0.
    EXPECT_EQ(U32(node, node.size() - 4), 0u);
    EXPECT_EQ(U32(node, node.size() - 8), 6u);
    // The whole node file, field by field.
    std::string title = J("Zelvor管理");
    std::string expected = std::string("zova_af_file_ver1.00") + "RootNode" + std::string(12, '\0');
    expected += std::string("\x0A\0\0\0", 4) + title;
    expected += std::string(8, '\0') + std::string(1, '\0') + std::string(12, '\0'); // comment, output, ftp, remote, style, tag
    expected += std::string(4, '\0') + std::string(1, '\0') + std::string("\5\0\0\0", 4) + std::string(4, '\0');
    expected += std::string("\1\0\0\0\2\0\0\0\3\0\0\0", 12) + std::string(4, '\0');
    expected += std::string("\6\0\0\0\0\0\0\0", 8);
    EXPECT_EQ(node, expected);
}

TEST_F(LibraryFileTest, PositionFieldsAndByteOrderOfNames) {
    AdLibrary lib;
    InitEmptyLibrary(lib);
    AddItem(lib.root, "B2", "second");
    AddItem(lib.root, "A1", "first");
    std::string path = files / "two.zva";
    ASSERT_TRUE(SaveLibrary(lib, path));
    std::string d = Bytes(path);
    ASSERT_EQ(U32(d, 20), 3u);
    std::vector<std::string> names;
    std::size_t before = 0;
    for (std::size_t j = 0; j < 3; ++j) {
        std::size_t at = 24 + 40 * j;
        EXPECT_EQ(U32(d, at), 24 + 40 * j + before);
        before += U32(d, at + 4);
        names.push_back(d.substr(at + 8, 32).c_str());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"A1.dat", "B2.dat", "RootNode.dat"}));
    EXPECT_EQ(d.size(), 24 + 120 + before);
    // The second entry's position field is 64 + size of the first, its data at 104 + that.
    EXPECT_EQ(U32(d, 64), 64 + U32(d, 28));

    // Same library, same bytes.
    std::string again = files / "again.zva";
    ASSERT_TRUE(SaveLibrary(lib, again));
    EXPECT_EQ(Bytes(again), d);
}

TEST_F(LibraryFileTest, RoundTripSkipsDeletedEntries) {
    AdLibrary lib;
    InitEmptyLibrary(lib);
    lib.root.comment = J("ルートのコメント");
    LibraryNode& folder = AddFolder(lib.root, "26120700000000000001", J("旅行"));
    LibraryNode& item = AddItem(folder, "26120700000000000002", J("サイドバー"));
    item.comment = "c";
    item.outputPath = "/srv/ads/x.html";
    item.ftpUpload = 1;
    item.remoteFile = "x.html";
    item.styleSheet = "zova.css";
    item.tagClass = "zova";
    item.columnIndex = 4;
    item.rowLimit = 1;
    item.rowCount = 3;
    item.multiPage = 1;
    item.layout[0] = 3;
    item.layout[1] = 0;
    item.layout[2] = 2;
    item.ftpHost = J("さくら");
    for (int i = 0; i < 4; ++i) {
        Banner& b = AppendBanner(item);
        b.name = "banner" + std::to_string(i);
        b.cpm = -i;
        b.cpc = 1 << 30;
        b.tag = J("<a href=\"x\">表示</a>\r\n");
    }
    item.banners[2]->live = 0;
    LibraryNode& gone = AddFolder(folder, "26120700000000000003", "gone");
    AddItem(gone, "26120700000000000004", "inner");
    ClearNode(gone);

    std::string path = files / "lib.zva";
    ASSERT_TRUE(SaveLibrary(lib, path));
    std::string d = Bytes(path);
    EXPECT_EQ(U32(d, 20), 3u); // root, folder, item: nothing of the deleted folder
    EXPECT_EQ(d.find("26120700000000000003"), std::string::npos);

    AdLibrary back;
    ASSERT_TRUE(LoadLibrary(back, path));
    const LibraryNode& f = *back.root.children.at(0);
    ASSERT_EQ(f.children.size(), 1u);
    const LibraryNode& it = *f.children[0];
    ASSERT_EQ(it.banners.size(), 3u);
    EXPECT_EQ(it.banners[2]->name, "banner3");
    EXPECT_EQ(back.root.comment, lib.root.comment);
    // Compare against the same tree without its deleted entries.
    item.banners.erase(item.banners.begin() + 2);
    ExpectSameTree(lib.root, back.root);
}

TEST_F(LibraryFileTest, RootTitleAndFlagsAreForcedOnLoad) {
    AdLibrary lib;
    InitEmptyLibrary(lib);
    lib.root.title = "my own title";
    std::string path = files / "t.zva";
    ASSERT_TRUE(SaveLibrary(lib, path));
    EXPECT_NE(Bytes(path).find("my own title"), std::string::npos);
    AdLibrary back;
    ASSERT_TRUE(LoadLibrary(back, path));
    EXPECT_EQ(back.root.title, J("Zelvor管理"));
    EXPECT_EQ(back.root.flags, 6);
}

TEST_F(LibraryFileTest, OldVersionLoadsWithDefaultsAndSavesCurrent) {
    AdLibrary lib;
    ASSERT_TRUE(LoadLibrary(lib, DataFile("old_version.zva")));
    const LibraryNode& folder = *lib.root.children.at(0);
    const LibraryNode& item = *folder.children.at(0);
    EXPECT_EQ(folder.title, J("フォルダ"));
    EXPECT_EQ(item.title, J("広告項目"));
    EXPECT_EQ(item.comment, J("コメント"));
    EXPECT_EQ(item.ftpUpload, 0);
    EXPECT_EQ(item.rowLimit, 0);
    EXPECT_EQ(item.rowCount, 5);
    EXPECT_EQ(item.multiPage, 0);
    EXPECT_TRUE(item.remoteFile.empty());
    EXPECT_TRUE(item.ftpHost.empty());
    ASSERT_EQ(item.banners.size(), 3u);
    EXPECT_EQ(item.banners[0]->asp, "A8.net");
    EXPECT_TRUE(item.banners[0]->advertiser.empty());
    EXPECT_EQ(item.banners[0]->name, J("バナー1"));
    EXPECT_EQ(item.banners[0]->fixedFee, 4);
    EXPECT_EQ(item.banners[0]->tag, "<b>1</b>");

    std::string path = files / "new.zva";
    ASSERT_TRUE(SaveLibrary(lib, path));
    std::string d = Bytes(path);
    EXPECT_EQ(d.find("zova_af_file_ver0.01"), std::string::npos);
    AdLibrary current;
    ASSERT_TRUE(LoadLibrary(current, DataFile("small.zva")));
    // The same content written by the current version: only the advertiser differs.
    current.root.children[0]->children[0]->banners[0]->advertiser.clear();
    ExpectSameTree(lib.root, current.root);
}

struct ErrorCase {
    const char* file;
    bool loads;
    // Pre-order path of child indexes to the node that must show the read error.
    std::vector<int> errorNode;
};

TEST_F(LibraryFileTest, DamagedNodesShowAsReadErrors) {
    const ErrorCase cases[] = {
        {"missing_node.zva", true, {0}},
        {"bad_node_signature.zva", true, {0, 0}},
        {"mismatched_id.zva", true, {0, 0}},
        {"short_child_id.zva", true, {0, 0}},
        {"huge_banner_count.zva", true, {0, 0}},
        {"cycle.zva", true, {0, 0}},
        {"duplicate_child.zva", true, {1}},
        {"root_not_folder.zva", true, {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        AdLibrary lib;
        EXPECT_EQ(LoadLibrary(lib, DataFile(c.file)), c.loads);
        const LibraryNode* node = &lib.root;
        for (int i : c.errorNode) {
            ASSERT_LT(static_cast<std::size_t>(i), node->children.size());
            node = node->children[static_cast<std::size_t>(i)].get();
        }
        EXPECT_EQ(node->flags, 0x20001);
        EXPECT_TRUE(node->banners.empty());
        EXPECT_TRUE(node->children.empty());
        // It saves, and the mark and the title survive the next load.
        std::string path = files / "resaved.zva";
        ASSERT_TRUE(SaveLibrary(lib, path));
        AdLibrary back;
        ASSERT_TRUE(LoadLibrary(back, path));
        ExpectSameTree(lib.root, back.root);
    }
}

TEST_F(LibraryFileTest, MissingNodeFileTitle) {
    AdLibrary lib;
    ASSERT_TRUE(LoadLibrary(lib, DataFile("missing_node.zva")));
    EXPECT_EQ(lib.root.children.at(0)->title, J("※読み込みエラー"));
}

TEST_F(LibraryFileTest, ShortBannerRecordKeepsItsPlace) {
    AdLibrary lib;
    ASSERT_TRUE(LoadLibrary(lib, DataFile("short_banner.zva")));
    const LibraryNode& item = *lib.root.children.at(0)->children.at(0);
    EXPECT_EQ(item.flags, 1);
    ASSERT_EQ(item.banners.size(), 3u);
    EXPECT_EQ(item.banners[1]->name, J("バナー2"));
    EXPECT_EQ(item.banners[2]->name, J("※読み込みエラー"));
}

TEST_F(LibraryFileTest, CycleAndDuplicateKeepDistinctIdentifiers) {
    for (const char* file : {"cycle.zva", "duplicate_child.zva"}) {
        AdLibrary lib;
        LoadLibrary(lib, DataFile(file));
        std::set<std::string> ids;
        std::function<void(const LibraryNode&)> walk = [&](const LibraryNode& n) {
            EXPECT_TRUE(ids.insert(n.id).second) << file << " " << n.id;
            for (const auto& c : n.children)
                walk(*c);
        };
        walk(lib.root);
    }
    // The duplicate's first occurrence keeps its content through a save.
    AdLibrary lib;
    LoadLibrary(lib, DataFile("duplicate_child.zva"));
    std::string path = files / "dup.zva";
    ASSERT_TRUE(SaveLibrary(lib, path));
    AdLibrary back;
    ASSERT_TRUE(LoadLibrary(back, path));
    EXPECT_EQ(back.root.children.at(0)->children.at(0)->banners.size(), 3u);
}

TEST_F(LibraryFileTest, BrokenContainersFailWithEmptyRoot) {
    for (const char* file : {"bad_signature.zva", "huge_entry_count.zva", "huge_entry_size.zva", "huge_string.zva",
                             "huge_child_count.zva", "traversal_name.zva", "absolute_name.zva", "no_such_file.zva"}) {
        SCOPED_TRACE(file);
        AdLibrary lib;
        EXPECT_FALSE(LoadLibrary(lib, DataFile(file)));
        EXPECT_EQ(lib.root.title, J("Zelvor管理"));
        EXPECT_EQ(lib.root.flags, 6);
        EXPECT_TRUE(lib.root.children.empty());
    }
}

// Names come from the file: any that is not a plain name refuses the container
// before an entry is taken, and a load writes nothing anywhere.
TEST_F(LibraryFileTest, HostileEntryNamesRefuseTheContainer) {
    std::filesystem::remove("/tmp/zva_escape.dat");
    for (const char* file : {"traversal_name.zva", "absolute_name.zva"}) {
        SCOPED_TRACE(file);
        std::vector<ZvaContainer::Entry> entries;
        const std::string bytes = Bytes(DataFile(file));
        EXPECT_FALSE(ZvaContainer::Unpack(bytes, bytes.size(), entries));
        EXPECT_TRUE(entries.empty());
        AdLibrary lib;
        EXPECT_FALSE(LoadLibrary(lib, DataFile(file)));
    }
    EXPECT_TRUE(std::filesystem::is_empty(module.path()));
    EXPECT_FALSE(std::filesystem::exists(module.path() + "/../zva_escape.dat"));
    EXPECT_FALSE(std::filesystem::exists("/tmp/zva_escape.dat"));
}

// A container cut short loads the entries that are whole; nodes whose entry was
// cut or is missing show as read errors. With the root's entry first (as other
// writers list it) the library is there; with it last, the root itself is lost.
TEST_F(LibraryFileTest, TruncatedContainerLoadsWhatIsWhole) {
    const std::string rootFirst = Bytes(DataFile("root_first.zva"));
    const std::string rootLast = Bytes(DataFile("small.zva"));
    auto entrySize = [](const std::string& d, std::size_t j) { return U32(d, 24 + 40 * j + 4); };
    const std::size_t dataStart = 24 + 3 * 40;
    const std::size_t rootEnd = dataStart + entrySize(rootFirst, 0);
    const std::size_t folderEnd = rootEnd + entrySize(rootFirst, 1);
    struct Case {
        const char* what;
        const std::string& bytes;
        std::size_t cut;
        bool loads;
        int folders;   // live folders below the root that read whole
        int readErrors; // nodes shown as read errors
    } cases[] = {
        {"whole, root first", rootFirst, rootFirst.size(), true, 1, 0},
        {"cut inside the third entry", rootFirst, rootFirst.size() - 5, true, 1, 1},
        {"cut right after the second entry", rootFirst, folderEnd, true, 1, 1},
        {"cut inside the second entry", rootFirst, folderEnd - 1, true, 0, 1},
        {"cut inside the root's entry", rootFirst, rootEnd - 1, false, 0, 0},
        {"cut inside the table", rootFirst, dataStart - 1, false, 0, 0},
        {"root last, cut inside the root's entry", rootLast, rootLast.size() - 1, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AdLibrary lib;
        EXPECT_EQ(DecodeLibrary(lib, std::string_view(c.bytes).substr(0, c.cut)), c.loads);
        EXPECT_EQ(lib.root.title, J("Zelvor管理"));
        int folders = 0, readErrors = 0;
        std::function<void(const LibraryNode&)> walk = [&](const LibraryNode& n) {
            for (const auto& child : n.children) {
                folders += child->IsFolder() ? 1 : 0;
                readErrors += child->HasReadError() ? 1 : 0;
                walk(*child);
            }
        };
        walk(lib.root);
        EXPECT_EQ(folders, c.folders);
        EXPECT_EQ(readErrors, c.readErrors);
    }
    // The fixture cut inside its third entry: the folder is there, the ad item is a read error.
    AdLibrary lib;
    EXPECT_TRUE(LoadLibrary(lib, DataFile("root_first_cut.zva")));
    ASSERT_EQ(lib.root.children.size(), 1u);
    EXPECT_EQ(lib.root.children[0]->title, J("フォルダ"));
    ASSERT_EQ(lib.root.children[0]->children.size(), 1u);
    EXPECT_TRUE(lib.root.children[0]->children[0]->HasReadError());
    EXPECT_EQ(lib.root.children[0]->children[0]->title, J("※読み込みエラー"));
}

TEST_F(LibraryFileTest, TextsAreCutToKeptLengths) {
    AdLibrary lib;
    ASSERT_TRUE(LoadLibrary(lib, DataFile("long_texts.zva")));
    const LibraryNode& item = *lib.root.children.at(0);
    EXPECT_EQ(item.title.size(), 255u); // "a" + 127 double-byte characters
    EXPECT_EQ(item.comment.size(), 511u);
    const Banner& b = *item.banners.at(0);
    EXPECT_EQ(b.name.size(), 255u);
    EXPECT_EQ(b.tag.size(), 2047u);
    EXPECT_EQ(b.comment.size(), 2047u);
    EXPECT_EQ(b.comment.substr(b.comment.size() - 2), J("語"));
}

TEST_F(LibraryFileTest, FailedSaveKeepsThePreviousFile) {
    std::string path = files / "keep.zva";
    ASSERT_TRUE(FileOps::WriteWholeFile(path, std::string(700, 'k')));

    AdLibrary lib;
    InitEmptyLibrary(lib);
    for (int i = 0; i < 4; ++i)
        AppendBanner(AddItem(lib.root, "ITEM" + std::to_string(i), "x")).tag = std::string(2000, 't');

    // Every node file fits under the limit, the container does not: the write
    // fails part-way as on a full disk.
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool saved = SaveLibrary(lib, path);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved);
    EXPECT_EQ(Bytes(path), std::string(700, 'k'));
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(files.path()))
        ++entries;
    EXPECT_EQ(entries, 1); // no temporary file left beside it
}

TEST_F(LibraryFileTest, UnusableIdentifiersFailTheSave) {
    AdLibrary lib;
    InitEmptyLibrary(lib);
    AddItem(lib.root, "../outside", "x");
    std::string path = files / "bad.zva";
    EXPECT_FALSE(SaveLibrary(lib, path));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(module.path() + "/../outside.dat"));
}

// Loads and saves touch nothing but the target: a program folder in which no
// file can be made (a path below a regular file, which holds even for root)
// changes nothing.
TEST_F(LibraryFileTest, ProgramFolderIsNeverTouched) {
    const std::string plain = module / "plain";
    ASSERT_TRUE(FileOps::WriteWholeFile(plain, "x"));
    ModuleDir::SetOverride(plain + "/program");
    AdLibrary lib;
    ASSERT_TRUE(LoadLibrary(lib, DataFile("small.zva")));
    std::string path = files / "copy.zva";
    ASSERT_TRUE(SaveLibrary(lib, path));
    EXPECT_EQ(Bytes(path), Bytes(DataFile("small.zva")));
    ModuleDir::SetOverride(module.path());
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(module.path()))
        ++entries;
    EXPECT_EQ(entries, 1); // the plain file alone
}

TEST_F(LibraryFileTest, SaveFailsBeforeTouchingAnything) {
    AdLibrary lib;
    InitEmptyLibrary(lib);
    EXPECT_FALSE(SaveLibrary(lib, ""));
    EXPECT_FALSE(SaveLibrary(lib, files / "missing/dir/x.zva"));
    EXPECT_FALSE(SaveLibrary(lib, files.path())); // a folder is no library
    EXPECT_TRUE(std::filesystem::is_empty(files.path()));
}

} // namespace

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Loads path in a child whose address space is capped at 1 GB: a reader that
// believes a lying size dies there instead of passing by luck on a large machine.
bool LoadsWithinOneGigabyte(const std::string& path) {
    pid_t pid = ::fork();
    if (pid == 0) {
        struct rlimit cap {1u << 30, 1u << 30};
        ::setrlimit(RLIMIT_AS, &cap);
        try {
            AdLibrary lib;
            LoadLibrary(lib, path);
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(LibraryFileTest, LyingSizesAndCountsAreRefusedBeforeAllocating) {
    if (kSanitized)
        GTEST_SKIP() << "the sanitizers reserve more address space than the cap";
    const std::string small = Bytes(DataFile("small.zva"));
    const std::size_t entries = U32(small, 20);
    ASSERT_GT(entries, 1u);

    // A sparse file of 4 GB whose last entry claims nearly all of it.
    std::string sparse = small;
    sparse.replace(24 + 40 * (entries - 1) + 4, 4, std::string("\x00\x00\x00\xF0", 4));
    const std::string path = files.path() + "/sparse.zva";
    ASSERT_TRUE(FileOps::WriteWholeFile(path, sparse));
    ASSERT_EQ(::truncate(path.c_str(), 0x100000000LL + 4096), 0);
    EXPECT_TRUE(LoadsWithinOneGigabyte(path));
    AdLibrary lib;
    LoadLibrary(lib, path); // no throw here either
}

} // namespace
