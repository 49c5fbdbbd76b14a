#include "admanager/upload/HostPreselection.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

namespace {

using testutil::J;

TEST(HostPreselection, FirstPrefixMatchElseFirstEntry) {
    FtpHostList list;
    for (const char* name : {"main", "Mirror-A", "mirror-B", "ア社", "ヂ社"}) {
        FtpHostEntry e;
        e.name = J(name);
        list.entries.push_back(e);
    }
    struct Case {
        const char* stored;
        int expected;
    };
    const Case cases[] = {
        {"", 0},         {"main", 0},  {"MIRROR", 1}, {"mirror-b", 2},
        {"mirror-c", 0}, {"ア", 3},    {"ヂ", 4}, // ASCII folding never touches double-byte characters
        {"mainz", 0},    {"ア社x", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PreselectHost(list, J(c.stored)), c.expected) << c.stored;

    EXPECT_EQ(PreselectHost(FtpHostList{}, "main"), -1);
    EXPECT_EQ(PreselectHost(FtpHostList{}, ""), -1);
}

TEST(HostPreselection, PrefixNeverEndsInsideACharacter) {
    std::string name = J("ア社");
    EXPECT_TRUE(HostNameStartsWith(name, name.substr(0, 2)));
    EXPECT_FALSE(HostNameStartsWith(name, name.substr(0, 1)));
}

} // namespace
