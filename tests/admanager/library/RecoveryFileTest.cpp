#include "admanager/library/LibraryFile.h"
#include "admanager/library/RecoveryFile.h"

#include "TestUtil.h"
#include "common/FileOps.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

using testutil::TempDir;

// Two folders, three ad items, a deleted banner and a deleted item in between.
void BuildLibrary(AdLibrary& lib) {
    InitEmptyLibrary(lib);
    LibraryNode folder;
    folder.flags = NODE_FOLDER;
    folder.title = "F";
    LibraryNode& f = AddChildCopy(lib.root, folder);
    for (int i = 0; i < 3; ++i) {
        LibraryNode item;
        item.title = "item" + std::to_string(i);
        for (int b = 0; b < 4; ++b)
            AppendBanner(item).tag = "<a href=\"u" + std::to_string(b) + "\">x</a>";
        AddChildCopy(i == 1 ? lib.root : f, item);
    }
    f.children[0]->banners[1]->live = 0;
    f.children[1]->flags |= NODE_DELETED;
}

std::string Encoded(const AdLibrary& lib) {
    std::string out;
    EXPECT_TRUE(EncodeLibrary(lib, out));
    return out;
}

TEST(StepwiseEncodingTest, GivesTheBytesOfAWholeEncodingWhateverTheSlices) {
    AdLibrary lib;
    BuildLibrary(lib);
    const std::string whole = Encoded(lib);
    const auto past = std::chrono::steady_clock::time_point{};
    const auto later = std::chrono::steady_clock::now() + std::chrono::hours(1);
    for (auto deadline : {past, later}) {
        StepwiseEncoding encoding(lib);
        int steps = 1;
        while (!encoding.Step(deadline))
            ++steps;
        std::string packed;
        ASSERT_TRUE(encoding.Pack([&packed](std::string_view piece) {
            packed.append(piece);
            return true;
        }));
        EXPECT_EQ(packed, whole);
        // A deadline already passed still encodes one node a step: the end comes.
        EXPECT_EQ(steps, deadline == past ? 4 : 1);
    }
    // Not done yet, or an identifier that cannot name an entry: nothing is packed.
    StepwiseEncoding unfinished(lib);
    EXPECT_FALSE(unfinished.Pack([](std::string_view) { return true; }));
    lib.root.children[0]->id = "../x";
    StepwiseEncoding bad(lib);
    EXPECT_TRUE(bad.Step(past));
    EXPECT_FALSE(bad.Pack([](std::string_view) { return true; }));
}

TEST(RecoveryFileTest, ACopyReadsBackWithItsPathAndTime) {
    TempDir dir;
    AdLibrary lib;
    BuildLibrary(lib);
    const std::string file = dir.path() + "/a" + RecoveryFile::kExtension;
    const RecoveryFile::Header header{"/home/u/\x83\x54\x83\x43\x83\x67.zva", 1765000000};
    ASSERT_TRUE(RecoveryFile::Write(file, header, [&lib](const RecoveryFile::Sink& sink) {
        std::string bytes;
        return EncodeLibrary(lib, bytes) && sink(bytes);
    }));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    RecoveryFile::Header back;
    AdLibrary read;
    ASSERT_TRUE(RecoveryFile::Read(file, back, read));
    EXPECT_EQ(back.libraryPath, header.libraryPath);
    EXPECT_EQ(back.takenAt, header.takenAt);
    EXPECT_EQ(Encoded(read), Encoded(lib));

    // A failed pack leaves the earlier copy whole.
    EXPECT_FALSE(RecoveryFile::Write(file, header, [](const RecoveryFile::Sink&) { return false; }));
    EXPECT_TRUE(RecoveryFile::Read(file, back, read));
}

TEST(RecoveryFileTest, DamagedCopiesAreRefusedAndSetAside) {
    TempDir dir;
    AdLibrary lib;
    BuildLibrary(lib);
    const std::string good = dir.path() + "/good" + RecoveryFile::kExtension;
    ASSERT_TRUE(RecoveryFile::Write(good, {"x.zva", 1}, [&lib](const RecoveryFile::Sink& sink) {
        return sink(Encoded(lib));
    }));
    std::string bytes;
    ASSERT_TRUE(FileOps::ReadWholeFile(good, bytes));
    // Cut anywhere (in the header, the table or an entry) or foreign: refused, never half read.
    const std::size_t cuts[] = {0, 5, 16, 20, 30, 45, bytes.size() / 2, bytes.size() - 1};
    for (std::size_t cut : cuts) {
        const std::string file = dir.path() + "/cut" + std::to_string(cut) + RecoveryFile::kExtension;
        ASSERT_TRUE(FileOps::WriteWholeFile(file, bytes.substr(0, cut)));
        RecoveryFile::Header header;
        AdLibrary read;
        EXPECT_FALSE(RecoveryFile::Read(file, header, read)) << cut;
    }
    const std::string foreign = dir.path() + "/foreign" + RecoveryFile::kExtension;
    ASSERT_TRUE(FileOps::WriteWholeFile(foreign, "ZELVOR-RECOVERY\x01" + std::string(8, '\xFF')));
    RecoveryFile::Header header;
    EXPECT_FALSE(RecoveryFile::ReadHeader(foreign, header));

    const std::string aside = RecoveryFile::SetAside(foreign);
    EXPECT_EQ(aside, foreign + RecoveryFile::kSetAsideExtension);
    EXPECT_TRUE(FileOps::FileExists(aside));
    EXPECT_FALSE(FileOps::FileExists(foreign));
}

TEST(RecoveryFileTest, ListsCopiesNewestFirst) {
    TempDir dir;
    const std::string folder = dir.path() + "/";
    for (const char* name : {"old.zvr", "new.zvr", "other.txt", "old.zvr.unreadable"})
        ASSERT_TRUE(FileOps::WriteWholeFile(folder + name, "x"));
    struct timespec times[2] = {{1000, 0}, {1000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (folder + "old.zvr").c_str(), times, 0), 0);
    EXPECT_EQ(RecoveryFile::List(folder), (std::vector<std::string>{folder + "new.zvr", folder + "old.zvr"}));
    EXPECT_TRUE(RecoveryFile::List(folder + "missing/").empty());
}

// The history's steps: each has an exact inverse on the same objects.
TEST(LibraryStepsTest, MovesAndRenumberingUndoExactly) {
    AdLibrary lib;
    BuildLibrary(lib);
    const std::string before = Encoded(lib);
    LibraryNode* item = lib.root.children[0]->children[0].get();
    const NodeSlot slot = FindSlot(lib.root, item);
    ASSERT_EQ(slot.parent, lib.root.children[0].get());
    EXPECT_EQ(slot.index, 0u);
    EXPECT_EQ(FindSlot(lib.root, &lib.root).parent, nullptr);

    // A move renumbers as a copy would: the same identifiers a copy draws.
    const std::int32_t counter = GetNodeIdCounter();
    LibraryNode copy;
    CopyNode(*lib.root.children[0], copy);
    SetNodeIdCounter(counter);
    std::unique_ptr<LibraryNode> taken = DetachChild(lib.root, 0);
    const std::vector<std::string> oldIds = SubtreeIds(*taken);
    RenewSubtreeIds(*taken);
    EXPECT_EQ(SubtreeIds(*taken), SubtreeIds(copy));
    EXPECT_EQ(oldIds.size(), 2u); // the folder and its live item; the deleted one keeps its own
    SetSubtreeIds(*taken, oldIds);
    InsertChild(lib.root, 0, std::move(taken));
    EXPECT_EQ(Encoded(lib), before);

    std::vector<Banner*> order;
    for (auto& b : item->banners)
        order.push_back(b.get());
    MoveBanner(*item, 0, 3);
    EXPECT_EQ(item->banners[3].get(), order[0]);
    EXPECT_EQ(BannerIndex(*item, order[0]), 3u);
    MoveBanner(*item, 3, 0);
    for (std::size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(item->banners[i].get(), order[i]);
    EXPECT_EQ(BannerIndex(*item, nullptr), std::string::npos);
    EXPECT_EQ(Encoded(lib), before);
}

} // namespace
