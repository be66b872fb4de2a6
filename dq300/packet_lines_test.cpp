// The hex line of a packet, as the packet printer writes it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "decodelib/encoder.h"
#include "dq300/disasm.h"

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

// A plain data item: its address line, with -x its bytes in order, then
// "$XX" per byte with commas between.
TEST(DataItem, PlainBytes) {
    struct Case {
        std::vector<uint8_t> bytes;
        bool hex;
        const char *text;
    } cases[] = {
        {{0x00, 0x9A}, false, "#00000000:\n\t\t.byte $00,$9A\n"},
        {{0xFF}, false, "#00000000:\n\t\t.byte $FF\n"},
        {{0x0A, 0xF0}, true, "#00000000:\n\t 0AF0 \n\t\t.byte $0A,$F0\n"},
    };
    for (const Case &c : cases) {
        Option_struct *opt = options_new();
        opt->hex_display = c.hex;
        text_open(opt);
        Buffer_struct buf{};
        Rela_cursor_struct cursor{};
        print_data_item(c.bytes.data(), uint32_t(c.bytes.size()), 0, &cursor, &buf, opt);
        char *text = text_detach(opt);
        EXPECT_STREQ(text, c.text);
        free(text);
        options_free(opt);
    }
}

// A packet's lines are the same whether its text is the library's own,
// whose length the library gives, or another text that must be measured;
// a text other than the library's is written whole.
TEST(PacketBody, LibraryTextAndCopyGiveTheSameLines) {
    using namespace ZEMADisasmLib;
    const std::vector<uint8_t> several = {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0};
    const struct {
        uint32_t arch;
        std::vector<uint8_t> bytes;
        bool compact, hex;
    } cases[] = {
        {ARCH_ZEMA1, std::vector<uint8_t>(8, 0), false, false}, // one instruction
        {ARCH_ZEMA2, several, false, true},                     // several: braces
        {ARCH_ZEMA2, several, true, false},
        {ARCH_ZEMA1, WordBytes(0x00F4048C0656FBBD, 64), false, false}, // two lines
        {ARCH_RIXU1, {0x01, 0x02, 0x03, 0x80}, true, true},
    };
    for (const auto &c : cases) {
        ASSERT_NE(DecodeInstruction(c.bytes.data(), c.bytes.size(), OPT_RENDER, c.arch, 64), 0u);
        const char *text = nullptr;
        FormatPacket(&text);
        // The library's text, a copy, and a longer text (as with inner labels).
        std::string copy = text, longer = "label:\n" + copy;
        const char *texts[3] = {text, copy.c_str(), longer.c_str()};
        std::string lines[3];
        for (int k = 0; k < 3; ++k) {
            Option_struct *opt = options_new();
            opt->compact_output = c.compact;
            opt->hex_display = c.hex;
            opt->pc_display = 1;
            text_open(opt);
            Address_line_struct last{UINT64_MAX, 0, {}};
            print_packet_body(c.bytes.data(), uint32_t(c.bytes.size()), texts[k],
                              GetInstructionCount(), true, &last, opt);
            char *listed = text_detach(opt);
            lines[k] = listed;
            free(listed);
            options_free(opt);
        }
        EXPECT_EQ(lines[0], lines[1]);
        EXPECT_NE(lines[0].find(copy), std::string::npos) << lines[0];
        EXPECT_NE(lines[2].find(longer), std::string::npos) << lines[2];
    }
}

} // namespace
