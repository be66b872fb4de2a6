// The hex line of a packet, as the packet printer writes it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

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

} // namespace
