// Bit gathering and operand text of the field classes.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "decodelib/src/fields.h"

namespace {

using namespace ZEMADisasmLib;

FieldRecord field(uint32_t kind, std::vector<uint32_t> bits, bool is_signed = false,
                  uint32_t shift = 0, std::vector<ValueEntry> entries = {}) {
    FieldRecord r{};
    r.kind = kind;
    r.name = "F_imp_bits__";
    r.prefix = "";
    r.shift = shift;
    r.bit_count = static_cast<uint32_t>(bits.size());
    for (size_t i = 0; i < bits.size(); ++i) r.bits[i] = bits[i];
    r.entry_count = static_cast<uint32_t>(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) r.entries[i] = entries[i];
    r.reloc_name = "";
    r.is_signed = is_signed;
    return r;
}

std::vector<uint32_t> range(uint32_t hi, uint32_t lo) {
    std::vector<uint32_t> v;
    for (uint32_t b = hi + 1; b-- > lo;) v.push_back(b);
    return v;
}

// Bit 49, then bits 33 down to 20.
std::vector<uint32_t> split_bits() {
    std::vector<uint32_t> split = range(33, 20);
    split.insert(split.begin(), 49);
    return split;
}

TEST(FieldExtract, GathersBitsMostSignificantFirst) {
    std::vector<uint32_t> split = split_bits();
    struct Case {
        const char *what;
        std::vector<uint32_t> bits;
        uint64_t word;
        uint32_t extension, boundary;
        uint64_t want;
    } cases[] = {
        {"bit 49 then 33..20", split, (1ULL << 49) | (0x5ULL << 20), 0, 64, 0x4005},
        {"reversed order", {0, 1}, 0x1, 0, 64, 0x2},
        {"position 35 above boundary 32 reads the extension", {35}, ~0ULL, 0x8, 32, 1},
        {"extension bit clear", {35}, ~0ULL, 0x0, 32, 0},
        {"position 64 inside the word reads 0", {64, 0}, ~0ULL, 0, 128, 1},
        {"empty bit list", {}, ~0ULL, ~0u, 64, 0},
    };
    for (const Case &c : cases) {
        FieldRecord r = field(1, c.bits);
        ImmediateField f(&r);
        EXPECT_EQ(f.Extract(c.word, c.extension, c.boundary), c.want) << c.what;
    }
}

// A field taken as one run must gather exactly what Extract gathers.
TEST(FieldExtract, OneRunAgreesWithExtract) {
    struct Case {
        const char *what;
        std::vector<uint32_t> bits;
        bool one_run;
    } cases[] = {
        {"contiguous 33..20", range(33, 20), true},
        {"whole word", range(63, 0), true},
        {"single bit 63", {63}, true},
        {"bit 49 then 33..20", split_bits(), false},
        {"ascending pair", {0, 1}, false},
        {"position 64", {64}, false},
        {"wider than a word", range(64, 0), false},
        {"empty bit list", {}, false},
    };
    const uint64_t words[] = {0, ~0ULL, 0x0123456789abcdefULL, 0x8000000000000001ULL};
    for (const Case &c : cases) {
        FieldRecord r = field(1, c.bits);
        ImmediateField f(&r);
        uint32_t from = 99;
        uint64_t mask = 0;
        ASSERT_EQ(f.OneRun(from, mask), c.one_run) << c.what;
        if (!c.one_run) continue;
        for (uint64_t w : words) EXPECT_EQ((w >> from) & mask, f.Extract(w, 0, 64)) << c.what;
    }
}

TEST(FieldRender, ImmediateSignsAndNotation) {
    struct Case {
        uint32_t width;
        bool is_signed;
        uint32_t shift;
        uint64_t value;
        uint32_t options;
        const char *want;
    } cases[] = {
        {17, true, 0, 0x1FFFF, 0, "-$1"},
        {17, true, 0, 0x10, 0, "+$10"},
        {8, false, 0, 0, 0, "+$0"},
        {8, false, 2, 0x10, 0, "+$40"},
        {8, true, 0, 0x80, 0, "-$80"},
        {8, true, 0, 0x7F, 0, "+$7f"},
        {17, true, 0, 0x1FFFF, OPT_DECIMAL, "-1"},
        {16, false, 0, 0xFFFF, OPT_DECIMAL, "+65535"},
        {8, false, 0, 0xFF, 0, "+$ff"},
        {64, true, 0, ~0ULL, 0, "-$1"},
        {64, false, 0, ~0ULL, OPT_DECIMAL, "+18446744073709551615"},
        {64, false, 0, ~0ULL, 0, "+$ffffffffffffffff"},
        {12, false, 0, 0x100, 0, "+$100"},
        {12, false, 0, 0xFF, 0, "+$ff"},
        {12, false, 0, 10, OPT_DECIMAL, "+10"},
        {12, false, 0, 9, OPT_DECIMAL, "+9"},
        {12, false, 0, 0, OPT_DECIMAL, "+0"},
    };
    for (const Case &c : cases) {
        FieldRecord r = field(1, range(c.width - 1, 0), c.is_signed, c.shift);
        ImmediateField f(&r);
        EXPECT_EQ(f.RenderText(c.value, 0, 64, c.options), c.want)
            << c.width << " bits value " << c.value;
    }
}

TEST(FieldRender, TabledFirstEntryWinsAndUnknown) {
    FieldRecord r = field(2, range(3, 0), false, 0,
                          {{0, ""}, {1, ".cs"}, {14, ".cc"}, {0, ".al"}, {1, ".lo"}, {14, ".hs"}});
    TabledField f(&r);
    struct Case {
        uint64_t value;
        const char *want;
    } cases[] = {{0, ""}, {1, ".cs"}, {14, ".cc"}, {5, "Unknown"}};
    for (const Case &c : cases) EXPECT_EQ(f.RenderText(c.value, 0, 64, 0), c.want) << c.value;
}

TEST(FieldRender, TabledWideValuesOutOfOrderFirstEntryWins) {
    // Values above 255 take the sorted search instead of the direct table.
    FieldRecord r =
        field(2, range(11, 0), false, 0,
              {{300, ".a"}, {5, ".b"}, {300, ".c"}, {4000, ".d"}, {5, ".e"}, {0, nullptr}});
    TabledField f(&r);
    struct Case {
        uint64_t value;
        const char *want;
    } cases[] = {{300, ".a"}, {5, ".b"}, {4000, ".d"}, {0, ""}, {6, "Unknown"}, {4095, "Unknown"}};
    for (const Case &c : cases) EXPECT_EQ(f.RenderText(c.value, 0, 64, 0), c.want) << c.value;
}

// The padded copy of a short entry text stands for Render's text; entries
// of 16 characters or more, absent values, numeric tables and tables with
// values above 255 (searched, not indexed) have none.
TEST(FieldRender, PaddedTextsAgreeWithRender) {
    FieldRecord dense = field(2, range(8, 0), false, 0,
                              {{0, ""},
                               {1, ".cs"},
                               {2, "fifteen_chars_x"},
                               {3, "sixteen_chars_xx"},
                               {1, ".lo"},
                               {255, "top"}});
    FieldRecord wide = field(2, range(8, 0), false, 0, {{1, ".cs"}, {300, "wide"}});
    FieldRecord numeric = field(2, range(1, 0), false, 2, {{0, "3"}});
    TabledField dense_field(&dense), wide_field(&wide), numeric_field(&numeric);
    struct Case {
        const TabledField *field;
        uint64_t value;
        bool padded;
    } cases[] = {
        {&dense_field, 0, true},    {&dense_field, 1, true},  {&dense_field, 2, true},
        {&dense_field, 3, false},   {&dense_field, 4, false}, {&dense_field, 255, true},
        {&dense_field, 511, false}, {&wide_field, 1, false},  {&wide_field, 300, false},
        {&numeric_field, 0, false},
    };
    for (const Case &c : cases) {
        uint32_t length = 99;
        const char *text = c.field->PaddedText(c.value, length);
        ASSERT_EQ(text != nullptr, c.padded) << c.value;
        if (!text) continue;
        EXPECT_EQ(std::string(text, length), c.field->RenderText(c.value, 0, 64, 0)) << c.value;
        for (uint32_t k = length; k < 16; ++k) EXPECT_EQ(text[k], '\0') << c.value;
    }
}

// Number texts go whole into a sink with room for them however little is
// left over, and are cut, and said to be, where there is not.
TEST(FieldRender, ImmediateTextsFitOrAreCutAtTheSinkEnd) {
    FieldRecord r = field(1, range(63, 0));
    ImmediateField f(&r);
    struct Case {
        size_t capacity;
        uint64_t value;
        uint32_t options;
        const char *want;
        bool cut;
    } cases[] = {
        {19, ~0ULL, 0, "+$ffffffffffffffff", false},
        {18, ~0ULL, 0, "+$fffffffffffffff", true},
        {22, ~0ULL, OPT_DECIMAL, "+18446744073709551615", false},
        {5, 0xFFF, 0, "+$ff", true},
        {40, 0xABC, 0, "+$abc", false},
    };
    for (const Case &c : cases) {
        std::vector<char> buffer(c.capacity, 'z');
        bool cut;
        {
            TextSink sink(buffer.data(), buffer.size());
            f.Render(c.value, 0, 64, c.options, sink);
            cut = sink.Cut();
        }
        EXPECT_EQ(std::string(buffer.data()), c.want) << c.capacity;
        EXPECT_EQ(cut, c.cut) << c.capacity;
    }
}

TEST(FieldRender, TabledShiftReadsTheTextAsNumber) {
    FieldRecord r = field(2, range(1, 0), false, 2, {{0, "3"}, {1, "x"}, {2, "16"}});
    TabledField f(&r);
    EXPECT_EQ(f.RenderText(0, 0, 64, 0), "$c");
    EXPECT_EQ(f.RenderText(1, 0, 64, 0), "$0");
    EXPECT_EQ(f.RenderText(2, 0, 64, OPT_DECIMAL), "64");
}

TEST(FieldRender, EnumeratedWritesPrefixAndDecimal) {
    FieldRecord r = field(0, range(3, 0));
    r.prefix = "r";
    EnumeratedField f(&r);
    EXPECT_EQ(f.RenderText(0xB, 0, 64, 0), "r11");
}

// A sink cuts safely and says so; the whole text is still to be had.
TEST(FieldRender, LongTableTextIsCutSafelyAndRenderedWhole) {
    static const std::string long_text(300, 'x');
    FieldRecord r = field(2, range(0, 0), false, 0, {{0, long_text.c_str()}});
    TabledField f(&r);
    char buffer[128];
    {
        TextSink sink(buffer, sizeof buffer);
        f.Render(0, 0, 64, 0, sink);
        EXPECT_TRUE(sink.Cut());
        EXPECT_EQ(sink.Length(), 127u);
    }
    EXPECT_EQ(std::string(buffer), std::string(127, 'x'));
    EXPECT_EQ(f.RenderText(0, 0, 64, 0), long_text);
}

TEST(FieldMake, KindSelectsTheClassAndUnknownKindsAreSkipped) {
    FieldRecord records[] = {field(0, {0}), field(1, {0}), field(2, {0}), field(3, {0})};
    std::unique_ptr<Field> made[4];
    for (int i = 0; i < 4; ++i) made[i].reset(MakeField(&records[i]));
    EXPECT_NE(dynamic_cast<EnumeratedField *>(made[0].get()), nullptr);
    EXPECT_NE(dynamic_cast<ImmediateField *>(made[1].get()), nullptr);
    EXPECT_NE(dynamic_cast<TabledField *>(made[2].get()), nullptr);
    EXPECT_EQ(made[3], nullptr);
}

// Below its bound an immediate's text is "+$" and the digit of the shifted
// value, as the decode writes it without the general formatting; the bound
// stops before a sign bit and before a second digit.
TEST(SmallImmediates, BoundKeepsOneDigitTexts) {
    struct Case {
        const char *name;
        uint32_t bits;
        bool is_signed;
        uint32_t shift;
        uint64_t bound;
    } cases[] = {
        {"unsigned", 8, false, 0, 16},           {"signed, sign bit first", 3, true, 0, 4},
        {"signed, digit first", 8, true, 0, 16}, {"shift 2", 8, false, 2, 4},
        {"shift 4: zero only", 8, false, 4, 1},  {"shift past the word", 8, false, 64, 1},
        {"one signed bit", 1, true, 0, 1},       {"no bits", 0, true, 0, 16},
        {"64 signed bits", 64, true, 0, 16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        uint64_t bound = SmallImmediateBound(c.bits, c.is_signed, c.shift);
        EXPECT_EQ(bound, c.bound);
        uint64_t values = c.bits >= 6 ? 64 : 1ULL << c.bits;
        for (uint64_t v = 0; v < values && v < bound; ++v) {
            char text[32];
            size_t n = FormatImmediate(v, c.bits, c.is_signed, c.shift, false, text);
            std::string one_digit = {'+', '$', kHexDigits[v << (c.shift < 4 ? c.shift : 0)]};
            EXPECT_EQ(std::string(text, n), one_digit) << "value " << v;
        }
    }
}

// Hex digits are written in pairs: every digit count (odd and even), values
// just below and at each power of 16, the top digit of each size, and
// negative magnitudes agree with printf's text.
TEST(FormatImmediateText, AgreesWithPrintfAtEveryDigitCount) {
    std::vector<uint64_t> values = {0, 1, 9, 0xA, 0xF, ~0ULL, 0x8000000000000000ULL};
    for (uint32_t d = 1; d < 16; ++d) {
        uint64_t power = 1ULL << (4 * d);
        for (uint64_t v : {power - 1, power, power + 0xA5, power * 0xF, (power << 3) | 0x5A})
            values.push_back(v);
    }
    struct Case {
        uint32_t bits;
        bool is_signed;
        uint32_t shift;
    } cases[] = {{64, false, 0}, {64, true, 0}, {40, true, 0}, {20, false, 2}, {12, true, 3}};
    for (const Case &c : cases) {
        for (uint64_t raw : values) {
            uint64_t v = c.bits == 64 ? raw : raw & ((1ULL << c.bits) - 1);
            bool negative = c.is_signed && ((v >> (c.bits - 1)) & 1);
            uint64_t magnitude = negative ? (c.bits == 64 ? 0 : 1ULL << c.bits) - v : v;
            char want[32];
            std::snprintf(want, sizeof want, "%c$%" PRIx64, negative ? '-' : '+',
                          magnitude << c.shift);
            char text[32];
            size_t n = FormatImmediate(v, c.bits, c.is_signed, c.shift, false, text);
            EXPECT_EQ(std::string(text, n), want)
                << c.bits << " bits, shift " << c.shift << ", value " << v;
        }
    }
}

} // namespace
