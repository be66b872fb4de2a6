// Decodes the hand-checked words of tests/golden/<set>_words.txt with the
// generated tables and compares the packet text line by line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "decodelib/zema_disasm.h"

namespace {

struct GoldenWord {
    int line;
    uint64_t word;
    std::string text;
};

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

std::vector<GoldenWord> read_golden(const std::string &path) {
    std::vector<GoldenWord> words;
    std::ifstream in(path);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (line.empty() || line[0] == '#') continue;
        size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            ADD_FAILURE() << path << ":" << n << ": no tab";
            continue;
        }
        words.push_back({n, std::strtoull(line.substr(0, tab).c_str(), nullptr, 16),
                         unescape(line.substr(tab + 1))});
    }
    return words;
}

std::string decode_text(uint64_t word, uint32_t architecture) {
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(word >> (8 * i));
    uint32_t width = architecture <= ZEMADisasmLib::ARCH_ZEMA3 ? 8 : 4;
    if (ZEMADisasmLib::DecodeInstruction(bytes, width, ZEMADisasmLib::OPT_RENDER, architecture,
                                         64) != width)
        return "<nothing decoded>";
    const char *text = nullptr;
    ZEMADisasmLib::FormatPacket(&text);
    return text ? text : "<no text>";
}

struct GoldenCase {
    const char *file;
    uint32_t architecture;
};

class GoldenWords : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenWords, DecodeToTheCheckedText) {
    const GoldenCase &c = GetParam();
    std::string path = std::string(ZEMA_GOLDEN_DIR) + "/" + c.file;
    std::vector<GoldenWord> words = read_golden(path);
    ASSERT_GE(words.size(), 10u) << path << " is missing or too short";
    for (const GoldenWord &g : words)
        EXPECT_EQ(decode_text(g.word, c.architecture), g.text) << path << ":" << g.line;
}

// RIXU2 and RIXU3 carry the same instructions, so one file serves both.
INSTANTIATE_TEST_SUITE_P(Sets, GoldenWords,
                         ::testing::Values(GoldenCase{"zema1_words.txt", ZEMADisasmLib::ARCH_ZEMA1},
                                           GoldenCase{"rixu1_words.txt", ZEMADisasmLib::ARCH_RIXU1},
                                           GoldenCase{"rixu2_words.txt", ZEMADisasmLib::ARCH_RIXU2},
                                           GoldenCase{"rixu2_words.txt",
                                                      ZEMADisasmLib::ARCH_RIXU3}),
                         [](const ::testing::TestParamInfo<GoldenCase> &info) {
                             return "arch" + std::to_string(info.param.architecture);
                         });

// The words RIXU2/3 added decode on those sets only.
TEST(GoldenWords, AdditionsAreAbsentOnRixu1) {
    EXPECT_EQ(decode_text(0xFC000000, ZEMADisasmLib::ARCH_RIXU1), "INVALID;");
    EXPECT_EQ(decode_text(0xFC000000, ZEMADisasmLib::ARCH_RIXU2), "add.cb a0, m0;");
}

} // namespace
