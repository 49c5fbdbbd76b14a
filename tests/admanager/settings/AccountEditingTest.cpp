#include "admanager/settings/AccountEditing.h"

#include "TestUtil.h"

#include <functional>
#include <gtest/gtest.h>
#include <limits>

namespace {

using testutil::J;

std::string Names(const FtpHostList& list) {
    std::string s;
    for (const auto& e : list.entries)
        s += e.name;
    return s;
}

FtpHostList Hosts(std::initializer_list<const char*> names) {
    FtpHostList list;
    for (const char* n : names) {
        FtpHostEntry e = FtpHostEntry::New();
        e.name = n;
        list.entries.push_back(e);
    }
    return list;
}

TEST(AccountEditingTest, PortText) {
    const struct {
        const char* text;
        std::int32_t port;
    } cases[] = {
        {"", 0},
        {"abc", 0},
        {"8021", 8021},
        {"21ab", 21},
        {" 990", 990},
        {"-1", -1},
        {"99999999999", std::numeric_limits<std::int32_t>::max()},
        // only the first 30 characters count
        {"000000000000000000000000000001", 1},
        {"0000000000000000000000000000001", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PortFromText(c.text), c.port) << c.text;
        FtpHostEntry e = FtpHostEntry::New();
        SetField(e, FtpField::Port, c.text);
        EXPECT_EQ(e.port, c.port) << c.text;
    }
    FtpHostEntry e = FtpHostEntry::New();
    EXPECT_EQ(FieldText(e, FtpField::Port), "21");
}

TEST(AccountEditingTest, PortFollowsTheProtocolUnlessChanged) {
    FtpHostEntry e = FtpHostEntry::New();
    EXPECT_EQ(e.protocol, FtpProtocol::Ftps);
    EXPECT_TRUE(e.passive);
    SetProtocol(e, FtpProtocol::Sftp);
    EXPECT_EQ(e.port, 22);
    SetProtocol(e, FtpProtocol::Ftp);
    EXPECT_EQ(e.port, 21);
    e.port = 2121;
    SetProtocol(e, FtpProtocol::Sftp);
    EXPECT_EQ(e.port, 2121);
    EXPECT_EQ(e.protocol, FtpProtocol::Sftp);
}

TEST(AccountEditingTest, FieldsAreCutToWhatASaveKeeps) {
    const std::string kanji = J("漢");
    FtpHostEntry host;
    AspEntry asp;
    const struct {
        std::size_t limit;
        std::function<void(const std::string&)> set;
        std::function<std::string()> get;
    } cases[] = {
        {254, [&](auto& t) { SetField(host, FtpField::Name, t); }, [&] { return host.name; }},
        {510, [&](auto& t) { SetField(host, FtpField::Host, t); }, [&] { return host.host; }},
        {255, [&](auto& t) { SetField(host, FtpField::Password, t); }, [&] { return host.password; }},
        {510, [&](auto& t) { SetField(host, FtpField::Directory, t); }, [&] { return host.directory; }},
        {254, [&](auto& t) { SetField(asp, AspField::Url, t); }, [&] { return asp.url; }},
        {255, [&](auto& t) { SetField(asp, AspField::Password, t); }, [&] { return asp.password; }},
    };
    for (const auto& c : cases) {
        c.set(std::string(c.limit, 'x'));
        EXPECT_EQ(c.get().size(), c.limit);
        c.set(std::string(c.limit + 1, 'x'));
        EXPECT_EQ(c.get().size(), c.limit);
        // A double-byte character that would straddle the limit is left out whole.
        c.set(std::string(c.limit - 1, 'x') + kanji);
        EXPECT_EQ(c.get(), std::string(c.limit - 1, 'x'));
    }
}

TEST(AccountEditingTest, WorkingCopyLeavesTheSourceAlone) {
    FtpHostList source = Hosts({"a", "b"});
    ListWorkingCopy<FtpHostList> work(source);
    EXPECT_EQ(work.Selected(), -1);
    // Typing with no selection changes nothing.
    EXPECT_FALSE(work.Edit(FtpField::Name, "z"));
    EXPECT_EQ(Names(work.Items()), "ab");
    work.Select(1);
    EXPECT_TRUE(work.Edit(FtpField::Name, "B"));
    EXPECT_TRUE(work.Edit(FtpField::Port, "x"));
    EXPECT_EQ(work.Items().entries[1].port, 0);
    EXPECT_EQ(Names(source), "ab");
    EXPECT_EQ(source.entries[1].port, 21);
    work.CopyBack(source);
    EXPECT_EQ(Names(source), "aB");
    work.Select(2);
    EXPECT_EQ(work.Selected(), -1);
}

TEST(AccountEditingTest, AddSelectsTheNewEntry) {
    ListWorkingCopy<FtpHostList> work(FtpHostList{});
    ASSERT_TRUE(work.Add());
    ASSERT_TRUE(work.Add());
    EXPECT_EQ(work.Selected(), 1);
    for (const auto& e : work.Items().entries) {
        EXPECT_EQ(e.name, J("新しいホスト設定"));
        EXPECT_EQ(e.port, 21);
    }
    ListWorkingCopy<AspList> asp(AspList{});
    ASSERT_TRUE(asp.Add());
    EXPECT_EQ(asp.SelectedEntry()->name, J("新しいASP"));
}

TEST(AccountEditingTest, RemoveSelectsTheLastRow) {
    ListWorkingCopy<FtpHostList> work(Hosts({"a", "b", "c", "d", "e"}));
    EXPECT_FALSE(work.RemoveSelected());
    work.Select(1);
    ASSERT_TRUE(work.RemoveSelected());
    EXPECT_EQ(Names(work.Items()), "acde");
    EXPECT_EQ(work.Selected(), 3);
    while (work.Count() > 0)
        ASSERT_TRUE(work.RemoveSelected());
    EXPECT_EQ(work.Selected(), -1);
    FtpHostList target = Hosts({"x"});
    work.CopyBack(target);
    EXPECT_TRUE(target.entries.empty());
}

TEST(AccountEditingTest, MovesStopAtTheEnds) {
    const struct {
        int selected;
        int delta;
        bool moved;
        const char* names;
        int selectedAfter;
    } cases[] = {
        {0, -1, false, "abc", 0}, {2, 1, false, "abc", 2}, {-1, 1, false, "abc", -1},
        {1, -1, true, "bac", 0},  {1, 1, true, "acb", 2},
    };
    for (const auto& c : cases) {
        ListWorkingCopy<FtpHostList> work(Hosts({"a", "b", "c"}));
        work.Select(c.selected);
        EXPECT_EQ(work.MoveSelected(c.delta), c.moved);
        EXPECT_EQ(Names(work.Items()), c.names);
        EXPECT_EQ(work.Selected(), c.selectedAfter);
    }
    ListWorkingCopy<FtpHostList> single(Hosts({"a"}));
    single.Select(0);
    EXPECT_FALSE(single.MoveSelected(1));
    EXPECT_FALSE(single.MoveSelected(-1));
}

} // namespace
