// Packet texts made without line prefixes and tabbed by the driver as they
// are copied: the copy itself, and its agreement with the library's own
// prefixes on decoded words of every set.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dq300/disasm.h"

namespace {

using namespace ZEMADisasmLib;

// The tabbed copy of text, "<none>" when it is refused; the bytes after the
// room of length + lines must stay untouched.
std::string tabbed(const std::string &text, uint32_t lines) {
    std::string out(text.size() + lines + 16, '#');
    int64_t n = copy_tabbed_lines(text.c_str(), text.size(), lines, out.data());
    for (size_t k = text.size() + lines; k < out.size(); k++)
        EXPECT_EQ(out[k], '#') << "written past the room of " << text;
    return n < 0 ? "<none>" : out.substr(0, size_t(n));
}

TEST(TabbedLines, ATabStartsEachInstructionLine) {
    struct Case {
        const char *text;
        uint32_t lines;
        const char *expected;
    } cases[] = {
        {"nop;", 1, "\tnop;"},
        {"add a1, a2; rol;", 2, "\tadd a1, a2; \trol;"},
        {"add a1, a2;\nrol;", 2, "\tadd a1, a2;\n\trol;"},
        // Two-S halves, joined by a line break and a tab of their own.
        {"a; b;\n\tx; s;", 4, "\ta; \tb;\n\t\tx; \ts;"},
        {"a;\nb;\n\tx;\ns;", 4, "\ta;\n\tb;\n\t\tx;\n\ts;"},
        // A comment on the last line: its ';' is followed by a tab.
        {"rts;\tloop_end;", 1, "\trts;\tloop_end;"},
        {"a; rts;\tloop_end;\t\t// address $00000010 ;", 2,
         "\ta; \trts;\tloop_end;\t\t// address $00000010 ;"},
        // A ';' inside a line or at the end of the text ends no line.
        {"a;b; c;", 2, "\ta;b; \tc;"},
        // An instruction without text left no line of its own: refused.
        {"a;; b;", 3, "<none>"},
        {"a;\nb;;", 3, "<none>"},
        // More lines than instructions: refused before a tab too many.
        {"a; b; c;", 2, "<none>"},
        {"a; b; c;", 4, "<none>"},
        {"", 0, "<none>"},
        {"a;", 0, "<none>"},
    };
    for (const Case &c : cases) EXPECT_EQ(tabbed(c.text, c.lines), c.expected) << c.text;
}

TEST(TabbedLines, DriverTextsThatWouldPassForALineEnd) {
    struct Case {
        const char *text;
        bool breaks;
    } cases[] = {
        {"fn_0+$4", false},
        {";\tloop_end", false},
        {";\t\t// address $00000010 is equivalent to $00000010 (fn_0)", false},
        {"name; other", true},
        {"name;\nother", true},
        {"line\nbreak", true},
        {"ends;", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(breaks_tabbed_lines(c.text, strlen(c.text)), c.breaks) << c.text;
}

// The packet text with the library's tab prefixes, and (when accepted) the
// prefix-free text tabbed by the driver, for the words decoded now.
struct Texts {
    std::string reference, tabbed;
    bool accepted;
};

Texts both_texts(const uint8_t *word, uint32_t options, uint32_t arch, const char *comment) {
    Texts t;
    DecodeInstruction(word, 8, options, arch, 64);
    uint32_t count = GetInstructionCount();
    if (comment && count) SetInstructionText(count - 1, nullptr, comment, nullptr);
    const char *text = nullptr;
    FormatPacket(&text);
    std::string plain = text;
    std::string out(plain.size() + count, '\0');
    int64_t n = copy_tabbed_lines(plain.c_str(), plain.size(), count, out.data());
    t.accepted = n >= 0;
    if (t.accepted) t.tabbed = out.substr(0, size_t(n));
    for (uint32_t i = 0; i < count; i++) SetInstructionText(i, "\t", nullptr, nullptr);
    FormatPacket(&text);
    t.reference = text;
    return t;
}

TEST(TabbedLines, AgreeWithTheLibraryPrefixesOnRandomWords) {
    struct Case {
        uint32_t arch;
        uint32_t options;
        const char *comment;
    } cases[] = {
        {ARCH_ZEMA1, OPT_RENDER, nullptr},
        {ARCH_ZEMA2, OPT_RENDER, nullptr},
        {ARCH_ZEMA3, OPT_RENDER, nullptr},
        {ARCH_RIXU1, OPT_RENDER, nullptr},
        {ARCH_RIXU2, OPT_RENDER, nullptr},
        {ARCH_RIXU3, OPT_RENDER, nullptr},
        {ARCH_ZEMA1, OPT_RENDER | OPT_LINE_SEPARATOR, nullptr},
        {ARCH_ZEMA2, OPT_RENDER | OPT_LINE_SEPARATOR, ";\tloop_end"},
        {ARCH_ZEMA3, OPT_RENDER | OPT_LINE_SEPARATOR, nullptr},
        {ARCH_ZEMA2, OPT_RENDER, ";\t\t// address $00000010 "},
        {ARCH_RIXU2, OPT_RENDER | OPT_LINE_SEPARATOR, nullptr},
    };
    std::mt19937_64 random(14);
    for (const Case &c : cases) {
        uint32_t accepted = 0, words = 20000;
        for (uint32_t k = 0; k < words; k++) {
            uint64_t value = random();
            uint8_t word[8];
            memcpy(word, &value, 8);
            Texts t = both_texts(word, c.options, c.arch, c.comment);
            if (!t.accepted) continue;
            accepted++;
            ASSERT_EQ(t.tabbed, t.reference) << "set " << c.arch << " word " << std::hex << value;
        }
        // Nearly every packet takes the tabbed copy; the others fall back.
        EXPECT_GT(accepted, words * 9 / 10) << "set " << c.arch;
    }
}

} // namespace

namespace {

// The hex line of a packet: 16-bit units from the last, each unit's second
// byte first, an odd count byte by byte; a long one cut at a whole group.
TEST(HexCodification, UnitsFromTheLast) {
    struct Case {
        std::vector<uint8_t> bytes;
        const char *line;
    } cases[] = {
        {{0x01, 0x02}, "\t0201 \n"},
        {{0x01, 0x02, 0x03, 0x04}, "\t0403 0201 \n"},
        {{0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE}, "\tFEDC BA98 7654 3210 \n"},
        {{0xAB, 0xCD, 0xEF}, "\tEF CD AB \n"},
        {{0x00}, "\t00 \n"},
        {std::vector<uint8_t>(16, 0xA5), "\tA5A5 A5A5 A5A5 A5A5 A5A5 A5A5 A5A5 A5A5 \n"},
        // 15 units fit; the 16th starts past the line's room.
        {std::vector<uint8_t>(40, 0x11), "\t1111 1111 1111 1111 1111 1111 1111 1111 1111 1111 1111 "
                                         "1111 1111 1111 1111 \n"},
    };
    for (const Case &c : cases) {
        Option_struct *opt = options_new();
        text_open(opt);
        print_hex_codification(c.bytes.data(), uint32_t(c.bytes.size()), opt);
        char *text = text_detach(opt);
        EXPECT_STREQ(text, c.line);
        free(text);
        options_free(opt);
    }
}

} // namespace
