// The random-mode block run in a real JavaScript engine: it must run, show whole
// rows of distinct banners, and every cell must read as the static table's cell.
#include "admanager/htmlgen/AdBlockGenerator.h"
#include "common/FileOps.h"

#include "TestUtil.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <random>

namespace {

using testutil::J;
using testutil::TempDir;

// What the static table writes above itself.
std::string StaticLabelAbove(const AdBlockOptions& options) {
    return options.label.show && options.label.position == LABEL_ABOVE
               ? LabelElement(options.tagClass, options.label.text)
               : std::string();
}

// The cell the static table writes for one banner.
std::string StaticCell(const AdBlockOptions& options, const Banner& banner) {
    AdBlockOptions one = options;
    one.columns = 1;
    one.rowLimit = 0;
    const Banner* list[] = {&banner};
    std::string page = GenerateAdBlock(one, list).pages.at(0);
    const std::string open = StaticLabelAbove(options) + "<table class=\"" + options.tagClass + "_frame\"><tr>";
    const std::string close = "</tr></table>";
    return page.substr(open.size(), page.size() - open.size() - close.size());
}

struct RunResult {
    int code;
    std::string output;
};

RunResult RunNode(const std::string& args) {
    std::string command = std::string(ZOVA_NODE) + " " + ZOVA_JS_HARNESS + " " + args + " 2>&1";
    RunResult result{-1, {}};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.output.append(buffer.data(), n);
    result.code = ::pclose(pipe);
    return result;
}

class RandomScriptJsTest : public ::testing::Test {
protected:
    // Runs the block of banners in the engine; the harness reports what went wrong.
    void Check(const AdBlockOptions& options, const std::vector<std::unique_ptr<Banner>>& banners, int runs) {
        std::vector<const Banner*> list;
        std::string cells;
        for (const auto& b : banners) {
            if (!list.empty())
                cells.push_back('\0');
            cells += StaticCell(options, *b);
            list.push_back(b.get());
        }
        AdBlockResult r = GenerateAdBlock(options, list);
        ASSERT_TRUE(r.succeeded);
        ASSERT_EQ(r.pages.size(), 1u);
        ASSERT_TRUE(FileOps::WriteWholeFile(dir / "page.html", r.pages[0]));
        ASSERT_TRUE(FileOps::WriteWholeFile(dir / "cells.bin", cells));
        std::string label;
        if (const std::string above = StaticLabelAbove(options); !above.empty()) {
            ASSERT_TRUE(FileOps::WriteWholeFile(dir / "label.bin", above));
            label = " " + dir / "label.bin";
        }
        RunResult run = RunNode(dir / "page.html" + " " + dir / "cells.bin" + " " + options.tagClass + " " +
                                std::to_string(options.columns) + " " + std::to_string(options.rows) + " " +
                                std::to_string(runs) + label);
        EXPECT_EQ(run.code, 0) << run.output;
    }

    TempDir dir;
};

// Words that broke byte-wise escaping: trail bytes 0x5C before n, u and x,
// line breaks of every kind, quotes, backslashes and script tags.
std::vector<std::unique_ptr<Banner>> RandomBanners(int count, unsigned seed) {
    const std::vector<std::string> words = {J("表"),
                                            J("ソ"),
                                            J("予"),
                                            J("能"),
                                            J("十"),
                                            "n",
                                            "u",
                                            "x",
                                            "u00",
                                            "\\",
                                            "\\n",
                                            "\\u",
                                            "\\x",
                                            "\"",
                                            "'",
                                            "\r\n",
                                            "\r",
                                            "\n",
                                            "script",
                                            "</script>",
                                            "<SCRIPT>",
                                            "scripts",
                                            "<!--",
                                            "-->",
                                            "<a href=\"x\">",
                                            " ",
                                            J("全角　スペース"),
                                            J("ｽｸﾘﾌﾟﾄ"),
                                            "ad",
                                            "\t",
                                            "$&",
                                            "${x}",
                                            "`"};
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::size_t> pick(0, words.size() - 1);
    std::uniform_int_distribution<int> length(0, 12);
    auto text = [&] {
        std::string s;
        for (int n = length(rng); n > 0; --n)
            s += words[pick(rng)];
        return s;
    };
    std::vector<std::unique_ptr<Banner>> banners;
    for (int i = 0; i < count; ++i) {
        auto b = std::make_unique<Banner>();
        b->name = text();
        b->comment = text();
        b->tag = text();
        banners.push_back(std::move(b));
    }
    return banners;
}

AdBlockOptions Random(int columns, int rows, std::initializer_list<int> layout = {1, 2, 3}) {
    AdBlockOptions o;
    o.columns = columns;
    o.rowLimit = 1;
    o.rows = rows;
    o.multiPage = 0;
    o.tagClass = "ad";
    int s = 0;
    for (int code : layout)
        o.layout[s++] = code;
    return o;
}

TEST_F(RandomScriptJsTest, TwoHundredNastyCells) {
    Check(Random(3, 2), RandomBanners(200, 1), 20);
}

TEST_F(RandomScriptJsTest, RowsAndCounts) {
    struct Case {
        int columns, rows, count;
    };
    // More room than banners, a partly filled row, exactly full, and no banners.
    for (const Case& c : {Case{3, 2, 4}, Case{4, 3, 10}, Case{2, 2, 4}, Case{1, 1, 1}, Case{3, 1, 0}}) {
        SCOPED_TRACE(c.count);
        Check(Random(c.columns, c.rows, {3, 0, 1}), RandomBanners(c.count, c.count + 7u), 5);
    }
}

// The label, above the table or in every cell, comes out of the script as the
// static block writes it; a label word that needs escaping both ways included.
TEST_F(RandomScriptJsTest, LabelAsTheStaticBlockWritesIt) {
    for (std::int32_t position : {LABEL_ABOVE, LABEL_IN_CELL}) {
        for (const std::string& text : {J("広告"), std::string("PR"), J("<script>\"ソ\"'</script>")}) {
            SCOPED_TRACE(position);
            AdBlockOptions options = Random(3, 2);
            options.label = {true, text, position};
            Check(options, RandomBanners(7, 3), 5);
        }
    }
}

} // namespace
