// The manual page and the README against the program: the page documents
// exactly the options zema-kt accepts and carries the project's version; the
// README's listing excerpts are parts of the expected example listings.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/cli_run.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kSource = ZEMA_SOURCE_DIR;

Lines split_lines(const std::string &text) {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The option names of the usage text: every "-x" that starts a word or
// follows a '['.
std::set<std::string> usage_options(const std::string &usage) {
    std::set<std::string> names;
    std::regex option(R"((?:^|[\s\[])-([a-z])\b)");
    for (std::sregex_iterator it(usage.begin(), usage.end(), option), end; it != end; ++it) {
        names.insert((*it)[1]);
    }
    return names;
}

// The option names of the page's OPTIONS section: the tag lines after .TP,
// as ".BI \-l addr" or ".B \-arch".
std::set<std::string> page_options(const Lines &page) {
    std::set<std::string> names;
    bool in_options = false, tag_next = false;
    std::regex tag(R"(^\.(?:B|BI|BR) \\-([a-z]+))");
    for (const std::string &line : page) {
        if (line.rfind(".SH ", 0) == 0) in_options = line == ".SH OPTIONS";
        if (!in_options) continue;
        std::smatch m;
        if (tag_next && std::regex_search(line, m, tag)) names.insert(m[1]);
        tag_next = line == ".TP";
    }
    return names;
}

TEST(ManPage, DocumentsEveryOptionOfTheUsage) {
    zema_cli::Result usage = zema_cli::run("");
    ASSERT_EQ(usage.status, 1);
    std::set<std::string> expected = usage_options(usage.out);
    ASSERT_GE(expected.size(), 20u) << usage.out;
    // The usage text leaves out -arch and -c, which only the scan reads.
    expected.insert("arch");
    expected.insert("c");
    EXPECT_EQ(page_options(split_lines(zema_cli::slurp(kSource + "/man/zema-kt.1"))), expected);
}

TEST(ManPage, CarriesTheProjectVersion) {
    Lines page = split_lines(zema_cli::slurp(kSource + "/man/zema-kt.1"));
    std::string title;
    for (const std::string &line : page) {
        if (line.rfind(".TH ", 0) == 0) title = line;
    }
    EXPECT_NE(title.find("\"zema\\-kt " ZEMA_PROJECT_VERSION "\""), std::string::npos) << title;
}

// Whether the excerpt is a part of the listing: its runs of lines between
// "..." lines stand in the listing in the same order, each run on
// consecutive lines.
bool is_excerpt_of(const Lines &excerpt, const Lines &listing) {
    size_t from = 0;
    for (size_t i = 0; i < excerpt.size();) {
        size_t end = i;
        while (end < excerpt.size() && excerpt[end] != "...") ++end;
        if (end > i) {
            auto found = std::search(listing.begin() + long(from), listing.end(),
                                     excerpt.begin() + long(i), excerpt.begin() + long(end));
            if (found == listing.end()) return false;
            from = size_t(found - listing.begin()) + (end - i);
        }
        i = end + 1;
    }
    return true;
}

TEST(Readme, ExcerptCheck) {
    const Lines listing = {"a", "b", "c", "d", "e"};
    struct Case {
        Lines excerpt;
        bool part;
    };
    const Case cases[] = {
        {{"a", "b", "c", "d", "e"}, true},
        {{"b", "c"}, true},
        {{"a", "...", "d", "e"}, true},
        {{"...", "c", "..."}, true},
        {{"a", "c"}, false},        // a run must be consecutive
        {{"d", "...", "b"}, false}, // runs keep their order
        {{"a", "...", "a"}, false}, // and do not overlap
        {{"b", "c", "x"}, false},   // a changed line
        {{"e", "f"}, false},        // a line past the end
    };
    for (const Case &c : cases) {
        std::string shown;
        for (const std::string &line : c.excerpt) shown += line + "|";
        EXPECT_EQ(is_excerpt_of(c.excerpt, listing), c.part) << shown;
    }
}

// A listing excerpt of the README is the indented block after a line
// "<!-- excerpt of examples/NAME.lst -->".
struct Excerpt {
    std::string listing;
    Lines lines;
};

std::vector<Excerpt> readme_excerpts(const Lines &readme) {
    std::vector<Excerpt> excerpts;
    std::regex marker(R"(^<!-- excerpt of (\S+) -->$)");
    for (size_t i = 0; i < readme.size(); ++i) {
        std::smatch m;
        if (!std::regex_match(readme[i], m, marker)) continue;
        Excerpt e{m[1], {}};
        size_t j = i + 1;
        while (j < readme.size() && readme[j].empty()) ++j;
        for (; j < readme.size(); ++j) {
            if (readme[j].rfind("    ", 0) == 0) {
                e.lines.push_back(readme[j].substr(4));
            } else if (readme[j].empty()) {
                e.lines.push_back("");
            } else {
                break;
            }
        }
        while (!e.lines.empty() && e.lines.back().empty()) e.lines.pop_back();
        excerpts.push_back(e);
    }
    return excerpts;
}

TEST(Readme, ExcerptsArePartsOfTheExpectedListings) {
    std::vector<Excerpt> excerpts =
        readme_excerpts(split_lines(zema_cli::slurp(kSource + "/README.md")));
    std::set<std::string> shown;
    for (const Excerpt &e : excerpts) {
        SCOPED_TRACE(e.listing);
        Lines listing = split_lines(zema_cli::slurp(kSource + "/" + e.listing));
        ASSERT_FALSE(listing.empty()) << "no expected listing " << e.listing;
        EXPECT_GE(e.lines.size(), 3u);
        EXPECT_TRUE(is_excerpt_of(e.lines, listing));
        shown.insert(e.listing);
    }
    // An object, the library and the dump.
    EXPECT_EQ(shown, (std::set<std::string>{"examples/demo.lst", "examples/libdemo.lst",
                                            "examples/zema2_exec_dump.lst"}));
}

} // namespace
