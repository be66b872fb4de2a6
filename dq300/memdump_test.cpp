#include "dq300/memdump.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tools/writers/lod_writer.h"

namespace {

using zema_test::Bytes;
using zema_test::LodWriter;

struct Read {
    Bytes bytes;
    std::string error;
};

Read read_text(const std::string &text) {
    // fmemopen refuses a zero size; an empty dump is one byte read as none.
    FILE *stream = fmemopen(const_cast<char *>(text.empty() ? "" : text.data()),
                            text.empty() ? 1 : text.size(), "rb");
    Dump_struct dump;
    read_dump(stream, text.size(), &dump);
    fclose(stream);
    Read r{Bytes(dump.bytes, dump.bytes + dump.size), dump.error};
    free_dump(&dump);
    return r;
}

const Bytes kEight = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};

TEST(Dump, OnlyLinesOf26CharactersAreData) {
    struct Case {
        const char *name;
        std::string text;
        Bytes bytes;
        const char *error;
    };
    auto lod = [](size_t length, bool crlf = false) {
        return LodWriter().crlf(crlf).line_of_length(length).text();
    };
    const Case cases[] = {
        {"26", lod(26), kEight, ""},
        {"25 skipped", lod(25), {}, ""},
        {"27 too long", lod(27), {}, "Line too long\n"},
        {"26 with CR LF", lod(26, true), kEight, ""},
        {"25 with CR LF skipped", lod(25, true), {}, ""},
        // The end of the file ends the last line as its newline would.
        {"25 unterminated", LodWriter().unterminated(lod(26).substr(0, 25)).text(), kEight, ""},
        {"26 unterminated",
         LodWriter().unterminated(lod(27).substr(0, 26)).text(),
         {},
         "Line too long\n"},
        {"empty", "", {}, ""},
        {"only newlines", "\n\n\n", {}, ""},
        {"long line after data", lod(26) + std::string(3 << 20, '0') + "\n", kEight,
         "Line too long\n"},
        {"long unterminated line", std::string(5000, 'x'), {}, "Line too long\n"},
        {"header then data", "; dump p:0\n" + lod(26) + lod(26), Bytes(16, 0xAA), ""},
        {"not hex",
         "; header of 26 characters\n",
         {},
         "Line 1 has 26 characters but not eight hexadecimal values\n"},
        {"NUL bytes",
         std::string("01 02\0 03 04 05 06 07 08 \n", 26),
         {},
         "Line 1 has 26 characters but not eight hexadecimal values\n"},
        {"short NUL lines", std::string("\0\0\0\n\0\n", 6), {}, ""},
    };
    for (const Case &c : cases) {
        Read r = read_text(c.text);
        EXPECT_EQ(r.bytes, c.bytes) << c.name;
        EXPECT_EQ(r.error, c.error) << c.name;
    }
}

TEST(Dump, LinesAcrossBlocks) {
    // Several blocks of lines, of both line ends, with short lines between:
    // every byte arrives once and in order.
    std::mt19937 rng(11);
    Bytes expected;
    LodWriter lod;
    for (int i = 0; i < 150000; i++) {
        uint8_t group[8];
        for (uint8_t &b : group) b = static_cast<uint8_t>(rng());
        expected.insert(expected.end(), group, group + 8);
        lod.crlf(i % 3 == 0).data_line(group);
        if (i % 1000 == 0) lod.line("; p:" + std::to_string(i));
    }
    Read r = read_text(lod.text());
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.bytes, expected);
}

TEST(Dump, AnyBytesEndInBytesOrAMessage) {
    // No input makes the reader write past its buffer or stop silently.
    std::mt19937 rng(7);
    const char alphabet[] = "0123456789abcdefABCDEF \t\r\n\n\n\0\xff;x-";
    for (int i = 0; i < 2000; i++) {
        std::string text(rng() % 400, '\0');
        for (char &c : text) c = alphabet[rng() % (sizeof alphabet - 1)];
        Read r = read_text(text);
        EXPECT_EQ(r.bytes.size() % 8, 0u) << i;
        EXPECT_LE(r.bytes.size(), text.size() / 3) << i;
    }
}

// Eight number-like tokens with blanks, signs, prefixes and the odd wrong
// character, cut or padded to a data line.
std::string random_data_line(std::mt19937 *rng) {
    auto pick = [&](const char *from) { return from[(*rng)() % strlen(from)]; };
    std::string line;
    for (int k = 0; k < 8; k++) {
        line += pick(k == 0 ? " \t" : " \t\r ");
        if ((*rng)() % 4 == 0) line += pick(" \t\r");
        if ((*rng)() % 16 == 0) line += pick("+-");
        if ((*rng)() % 16 == 0) line += (*rng)() % 2 ? "0x" : "0X";
        for (unsigned n = (*rng)() % 16 ? 1 + (*rng)() % 2 : 0; n > 0; n--)
            line += pick("0123456789abcdefABCDEF");
        if ((*rng)() % 30 == 0) line += pick("gx+- ");
    }
    line.resize(DUMP_DATA_LINE - 1, ' ');
    return line + '\n';
}

TEST(Dump, ValuesReadAsScanfReadsThem) {
    // "%x" of the C library is the reference.
    std::mt19937 rng(3);
    int whole = 0;
    for (int i = 0; i < 20000; i++) {
        std::string line = random_data_line(&rng);
        unsigned v[8];
        int read = sscanf(line.c_str(), "%x %x %x %x %x %x %x %x", &v[0], &v[1], &v[2], &v[3],
                          &v[4], &v[5], &v[6], &v[7]);
        uint8_t values[8];
        bool parsed = parse_dump_values(line.data(), line.size(), values);
        ASSERT_EQ(parsed, read == 8) << line;
        whole += parsed;
        for (int k = 0; parsed && k < 8; k++) EXPECT_EQ(values[k], v[k] & 0xFF) << line;
    }
    EXPECT_GT(whole, 2000); // the lines that hold eight values are compared too
}

TEST(Dump, Values) {
    struct Case {
        const char *line;
        bool parsed;
        Bytes values;
    };
    const Case cases[] = {
        {"01 02 03 04 05 06 07 08  \n", true, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"1 2 3 4 5 6 7 8 9 a b c \n", true, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"123 -1 +a 0x1F 0XaB ff0 7\t8\n", true, {0x23, 0xFF, 0x0A, 0x1F, 0xAB, 0xF0, 7, 8}},
        {"01 02 03 04 05 06 07 \n", false, {}},
        {"01 02 03 04 05 06 07 zz\n", false, {}},
        {"0x 1 2 3 4 5 6 7 0xg\n", true, {0, 1, 2, 3, 4, 5, 6, 7}},
        {"10x 1 2 3 4 5 6 7 8\n", false, {}},
        {"- 01 02 03 04 05 06 07 08\n", false, {}},
    };
    for (const Case &c : cases) {
        uint8_t values[8] = {};
        ASSERT_EQ(parse_dump_values(c.line, strlen(c.line), values), c.parsed) << c.line;
        if (c.parsed) {
            EXPECT_EQ(Bytes(values, values + 8), c.values) << c.line;
        }
    }
}

} // namespace
