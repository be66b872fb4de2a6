// Decodes the hand-checked words of golden/<set>_words.txt with the generated
// tables and compares the packet texts (render option 1, au_count 64).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "decodelib/encoder.h"
#include "decodelib/zema_disasm.h"

namespace {

using namespace ZEMADisasmLib;

struct GoldenSet {
    const char *file;
    uint32_t arch;
};

const GoldenSet kSets[] = {{"zema1_words.txt", 1}, {"zema2_words.txt", 2}, {"zema3_words.txt", 3},
                           {"rixu1_words.txt", 4}, {"rixu2_words.txt", 5}, {"rixu3_words.txt", 6}};

// "\n" and "\t" in the file stand for a line feed and a tab.
std::string unescape(const std::string &s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == 'n' || s[i + 1] == 't')) {
            out += s[++i] == 'n' ? '\n' : '\t';
            continue;
        }
        out += s[i];
    }
    return out;
}

class GoldenWords : public ::testing::TestWithParam<GoldenSet> {};

TEST_P(GoldenWords, PacketTextsMatch) {
    const GoldenSet &set = GetParam();
    std::ifstream in(std::string(ZEMA_GOLDEN_DIR) + "/" + set.file);
    ASSERT_TRUE(in) << set.file << " not present";
    ASSERT_GT(TableSize(set.arch), 0u) << "no tables for " << set.file;
    unsigned width = set.arch <= 3 ? 64 : 32;
    std::string line;
    int line_no = 0, checked = 0;
    while (std::getline(in, line)) {
        ++line_no;
        if (line.empty() || line[0] == '#') continue;
        size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << set.file << ":" << line_no << ": no tab";
        uint64_t bits = std::strtoull(line.substr(0, tab).c_str(), nullptr, 16);
        std::vector<uint8_t> bytes = WordBytes(bits, width);
        ASSERT_EQ(DecodeInstruction(bytes.data(), bytes.size(), OPT_RENDER, set.arch, 64),
                  width / 8);
        const char *text = nullptr;
        FormatPacket(&text);
        EXPECT_EQ(text ? std::string(text) : "", unescape(line.substr(tab + 1)))
            << set.file << ":" << line_no;
        ++checked;
    }
    EXPECT_GT(checked, 0) << set.file << " holds no words";
}

INSTANTIATE_TEST_SUITE_P(Sets, GoldenWords, ::testing::ValuesIn(kSets), [](const auto &info) {
    std::string n = info.param.file;
    return n.substr(0, n.find('_'));
});

} // namespace
