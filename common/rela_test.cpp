#include "common/rela.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Symbols 1.. of the test symbol table, by name.
const char *const symbol_names[] = {"start", "end", "counter", "name", "loop", "table", "..map"};
enum { START = 1, END, COUNTER, NAME, LOOP, TABLE, MAP, UNDEF };

struct RelaTest : testing::Test {
    std::string strtab{'\0'};
    std::vector<Elf32_Sym> symtab;
    Option_struct *opt = static_cast<Option_struct *>(calloc(1, sizeof(Option_struct)));

    RelaTest() {
        symtab.push_back({});
        for (const char *n : symbol_names) {
            Elf32_Sym s{};
            s.st_name = uint32_t(strtab.size());
            s.st_value = 0x100 * uint32_t(symtab.size());
            s.st_shndx = 1;
            strtab += n;
            strtab += '\0';
            symtab.push_back(s);
        }
        Elf32_Sym undef{};
        undef.st_name = symtab[START].st_name;
        symtab.push_back(undef);
        opt->mapper_labels = 1;
    }
    ~RelaTest() override {
        free(opt->err_text);
        free(opt);
    }

    static Elf32_Rela entry(uint32_t type, uint32_t sym, int32_t addend, uint32_t offset = 0) {
        return {offset, (sym << 8) | type, addend};
    }
    static Elf32_Rela op(int32_t code) { return entry(R_EXPR_OPERATOR, 0, code); }
    static Elf32_Rela operand(uint32_t sym, int32_t addend) {
        return entry(R_EXPR_OPERAND, sym, addend);
    }
    static Elf32_Rela end(int32_t type) { return entry(R_EXPR_END, 0, type); }

    std::string render(const std::vector<Elf32_Rela> &e, uint32_t *value = nullptr,
                       bool compute = false) {
        return render_with(symtab.size(), e, value, compute);
    }
    std::string render_with(uint64_t symcount, const std::vector<Elf32_Rela> &e,
                            uint32_t *value = nullptr, bool compute = false) {
        ZEMADisasmLib::InstructionRecord instr{};
        instr.flags = FLAG_RELA_VALUE;
        char *t = rela_to_chr(e.data(), strtab.c_str(), symtab.data(), symcount,
                              compute ? &instr : nullptr, nullptr, opt, value, uint32_t(e.size()));
        std::string out = t ? t : "<none>";
        free(t);
        return out;
    }
    std::string error() const { return opt->err_text ? opt->err_text : ""; }
};

TEST_F(RelaTest, RendersExpressions) {
    struct Case {
        const char *expected;
        uint8_t arch_code;
        std::vector<Elf32_Rela> entries;
    } cases[] = {
        {"((start-end)>>$00000002)",
         0,
         {operand(START, 0), operand(END, 0), op(8), operand(0, 2), op(12), end(13)}},
        {"((counter+$00000002)+$00000001)",
         0,
         {operand(COUNTER, 8), operand(0, 4), op(7), end(13)}},
        {"((counter+$00000004)+$00000002)",
         2,
         {operand(COUNTER, 8), operand(0, 4), op(7), end(13)}},
        {"-$00000004", 0, {operand(0, -4), end(13)}},
        {"(name-$00000004)", 0, {operand(NAME, -4), end(6)}},
        {"(name-$00000001)", 0, {operand(NAME, -4), end(13)}},
        {".", 0, {entry(R_EXPR_DOT_OPERAND, 0, 0), end(13)}},
        {"(loop+.)", 0, {entry(R_EXPR_DOT_OPERAND, LOOP, 0), end(13)}},
        {"($00000001+.)", 0, {entry(R_EXPR_DOT_OPERAND, 0, 4), end(13)}},
        {"$00000700", 0, {operand(MAP, 4), end(13)}},
        {"-(start)", 0, {operand(START, 0), op(1), end(13)}},
        {"-($00000001)", 0, {operand(0, 4), op(1), end(13)}},
        {"($00000004*start)", 0, {operand(0, 4), operand(START, 0), op(4), end(13)}},
        {"(start-$00000001)", 0, {operand(START, 0), operand(0, 4), op(8), end(13)}},
        {"((start%end)!=0)",
         0,
         {operand(START, 0), operand(END, 0), op(6), operand(0, 0), op(18), end(0)}},
        {"start", 0, {operand(START, 0), op(0), end(13)}},
    };
    for (const Case &c : cases) {
        opt->arch_code = c.arch_code;
        EXPECT_EQ(render(c.entries), c.expected);
        EXPECT_EQ(opt->err_code, 0) << c.expected << " " << error();
    }
}

TEST_F(RelaTest, MapperLabelsByNameWithoutTheFlag) {
    opt->mapper_labels = 0;
    EXPECT_EQ(render({operand(MAP, 0), end(13)}), "..map");
}

TEST_F(RelaTest, OrdinaryRelocation) {
    EXPECT_EQ(render({entry(13, TABLE, 0)}), "(table+$00000000)");
    EXPECT_EQ(render({entry(13, TABLE, 8)}), "(table+$00000002)");
    EXPECT_EQ(render({entry(6, TABLE, -8)}), "(table-$00000008)");
    EXPECT_EQ(render({entry(13, TABLE, INT32_MIN)}), "(table-$20000000)");
}

// The operand fast path: the rendering's text when it fits, otherwise 0
// with the buffer and the error state untouched, for rela_text to deal with.
TEST_F(RelaTest, OrdinaryTextIntoAnOperand) {
    struct Case {
        std::vector<Elf32_Rela> entries;
        size_t room;
        bool compute;
        uint64_t symcount;
        const char *expected; // "" when the rendering must give it
    } cases[] = {
        {{entry(13, TABLE, 8)}, 64, false, 9, "(table+$00000002)"},
        {{entry(6, TABLE, -8)}, 64, false, 9, "(table-$00000008)"},
        {{entry(13, TABLE, INT32_MIN)}, 64, false, 9, "(table-$20000000)"},
        {{entry(13, LOOP, 4)}, 64, true, 9, "(loop+$00000001)"},
        {{entry(13, TABLE, 8)}, 18, false, 9, "(table+$00000002)"}, // NUL in the last byte
        {{entry(13, TABLE, 8)}, 17, false, 9, ""},                  // one byte short
        {{entry(13, TABLE, 8)}, 64, false, TABLE, ""},              // index past the table
        {{entry(13, UNDEF, 0)}, 64, true, 9, ""},                   // value of an undefined symbol
        {{entry(13, UNDEF, 0)}, 64, false, 9, "(start+$00000000)"}, // its name alone is fine
        {{operand(TABLE, 0), end(13)}, 64, false, 9, ""},           // an expression
    };
    ZEMADisasmLib::InstructionRecord instr{};
    instr.flags = FLAG_RELA_VALUE;
    for (const Case &c : cases) {
        std::string text(64, '#');
        size_t n = rela_ordinary_text(c.entries.data(), strtab.c_str(), symtab.data(), c.symcount,
                                      c.compute ? &instr : nullptr, 0, text.data(), c.room);
        EXPECT_EQ(text.substr(0, n), c.expected) << c.expected;
        EXPECT_EQ(opt->err_code, 0) << c.expected;
        if (n == 0) {
            EXPECT_EQ(text, std::string(64, '#')) << "written though not fitting";
            continue;
        }
        EXPECT_EQ(text[n], '\0');
        EXPECT_EQ(render(c.entries, nullptr, c.compute), c.expected);
    }
}

TEST_F(RelaTest, RenderingTwiceScalesOnce) {
    std::vector<Elf32_Rela> e = {operand(COUNTER, 8), operand(0, 4), op(7), end(13)};
    EXPECT_EQ(render(e), render(e));
    EXPECT_EQ(e[0].r_addend, 8);
}

TEST_F(RelaTest, OperatorValues) {
    struct Case {
        int32_t code;
        uint32_t left, right, value;
    } cases[] = {
        {4, 6, 7, 42},           {5, 7, 2, 3},          {6, 7, 2, 1},
        {7, 0xFFFFFFFF, 2, 1},   {8, 1, 2, 0xFFFFFFFF}, {9, 1, 33, 2},
        {10, 0x80000000, 31, 1}, {11, 1, 4, 16},        {12, 0x80000000, 4, 0x08000000},
        {13, 1, 0xFFFFFFFF, 1},  {14, 2, 2, 1},         {15, 1, 2, 0},
        {16, 2, 2, 1},           {17, 3, 3, 1},         {18, 3, 3, 0},
        {19, 6, 3, 2},           {20, 6, 3, 7},         {21, 6, 3, 5},
        {22, 1, 0, 0},           {23, 1, 0, 1},
    };
    for (const Case &c : cases) {
        uint32_t v = 0xDEAD;
        render({operand(0, int32_t(c.left)), operand(0, int32_t(c.right)), op(c.code), end(0)}, &v,
               true);
        EXPECT_EQ(v, c.value) << "code " << c.code;
        EXPECT_EQ(opt->err_code, 0) << "code " << c.code;
    }
    uint32_t v = 0;
    render({operand(0, 5), op(1), end(0)}, &v, true);
    EXPECT_EQ(v, uint32_t(-5));
    render({operand(0, 5), op(2), end(0)}, &v, true);
    EXPECT_EQ(v, ~5u);
    render({operand(0, 0), op(3), end(0)}, &v, true);
    EXPECT_EQ(v, 1u);
    render({operand(START, 4), operand(END, 0), op(8), end(13)}, &v, true);
    EXPECT_EQ(v, symtab[START].st_value - symtab[END].st_value); // addend not part of the value
}

TEST_F(RelaTest, MalformedExpressionsRecordAnError) {
    struct Case {
        const char *what;
        std::vector<Elf32_Rela> entries;
        bool compute;
        const char *message;
    } cases[] = {
        {"division by zero",
         {operand(0, 4), operand(0, 0), op(5), end(0)},
         true,
         "Invalid .rela info\n"},
        {"remainder by zero",
         {operand(0, 4), operand(0, 0), op(6), end(0)},
         true,
         "Invalid .rela info\n"},
        {"binary with one text",
         {operand(START, 0), op(7), end(13)},
         false,
         "Invalid .rela info\n"},
        {"unary on empty",
         {operand(START, 0), op(8), op(1), end(13)},
         false,
         "Invalid .rela info\n"},
        {"operator code 24",
         {operand(START, 0), op(24), end(13)},
         false,
         "Invalid entry in rela_to_chr()\n"},
        {"no end entry",
         {operand(START, 0), operand(END, 0), op(8)},
         false,
         "Invalid .rela info\n"},
    };
    for (const Case &c : cases) {
        free(opt->err_text);
        opt->err_text = nullptr;
        opt->err_code = 0;
        EXPECT_EQ(render(c.entries, nullptr, c.compute), "<none>") << c.what;
        EXPECT_EQ(opt->err_code, ERR_DATA) << c.what;
        EXPECT_EQ(error(), c.message) << c.what;
    }
}

// A rendering that stops half way (texts, values and nodes left over) must
// leave nothing behind for the next one.
TEST_F(RelaTest, UnfinishedRenderingLeavesNothingForTheNext) {
    const std::vector<Elf32_Rela> unfinished[] = {
        {operand(START, 0), operand(END, 0), end(13)},
        {operand(0, 4), operand(0, 0), op(5), end(0)},
        {operand(COUNTER, 0), operand(START, 0), op(24), end(13)},
        {entry(R_EXPR_DOT_OPERAND, LOOP, 0), operand(NAME, 4), op(8)},
    };
    std::vector<Elf32_Rela> next = {operand(START, 0), operand(0, 8), op(8), end(0)};
    for (const auto &entries : unfinished) {
        render(entries, nullptr, true);
        free(opt->err_text);
        opt->err_text = nullptr;
        opt->err_code = 0;
        uint32_t value = 0;
        EXPECT_EQ(render(next, &value, true), "(start-$00000008)");
        EXPECT_EQ(value, 0x100u - 8);
        EXPECT_EQ(opt->err_code, 0) << error();
    }
}

TEST_F(RelaTest, SymbolIndicesAreCheckedAgainstTheCount) {
    struct Case {
        uint64_t symcount;
        std::vector<Elf32_Rela> entries;
    } cases[] = {
        {0, {entry(13, 0, 0)}}, // a table with no whole symbol
        {0, {operand(0, 4), end(13)}},
        {START, {entry(13, START, 0)}},
        {START, {operand(0, 4), operand(START, 0), op(7), end(13)}},
        {symtab.size(), {entry(13, uint32_t(symtab.size()), 0)}},
        {symtab.size(), {operand(0xFFFFFF, 0), end(13)}},
    };
    for (const Case &c : cases) {
        free(opt->err_text);
        opt->err_text = nullptr;
        opt->err_code = 0;
        EXPECT_EQ(render_with(c.symcount, c.entries), "<none>") << c.symcount;
        EXPECT_EQ(error(), "Invalid .rela info\n") << c.symcount;
    }
}

TEST_F(RelaTest, DeepExpressionsNestWithoutLimit) {
    // ((((start+$00000001)+$00000001)+...): the left operand is the whole
    // expression so far at every level.
    const int depth = 100000;
    std::vector<Elf32_Rela> e = {operand(START, 0)};
    for (int k = 0; k < depth; k++) {
        e.push_back(operand(0, 1));
        e.push_back(op(k % 2 ? 4 : 21));
    }
    e.push_back(end(0));
    std::string text = render(e);
    ASSERT_EQ(text.size(), 5 + depth * (2 + 9 + 1));
    EXPECT_EQ(text.substr(0, 12), std::string(12, '('));
    EXPECT_EQ(text.substr(depth - 2, 19), "((start^$00000001)*");
    EXPECT_EQ(text.substr(text.size() - 11), "*$00000001)");
    EXPECT_EQ(opt->err_code, 0) << error();
}

TEST_F(RelaTest, UndefinedSymbolValueIsAnErrorButTextIsKept) {
    uint32_t v = 7;
    EXPECT_EQ(render({operand(UNDEF, 0), end(13)}, &v, true), "start");
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(error(), "A symbol in .rela parser used for address evaluation is undefined\n");
}

TEST_F(RelaTest, EndAfterOffsetChangeIsNotPartOfTheExpression) {
    std::vector<Elf32_Rela> e = {operand(START, 0), entry(R_EXPR_END, 0, 13, 4)};
    EXPECT_EQ(render(e), "<none>");
    EXPECT_EQ(error(), "Invalid .rela info\n");
}

TEST(RelaShift, Table) {
    struct Case {
        uint32_t type;
        uint32_t arch0, arch2, arch3;
    } cases[] = {
        {4, 2, 1, 2},  {13, 2, 1, 2}, {20, 2, 1, 2},   {8, 2, 2, 2},  {16, 2, 2, 2},
        {10, 2, 0, 0}, {6, 0, 0, 0},  {7, 0, 0, 0},    {18, 0, 0, 0}, {19, 0, 0, 0},
        {3, 0, 0, 0},  {21, 0, 0, 0}, {0xFF, 0, 0, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(rela_addend_shift(c.type, 0), c.arch0) << c.type;
        EXPECT_EQ(rela_addend_shift(c.type, 2), c.arch2) << c.type;
        EXPECT_EQ(rela_addend_shift(c.type, 3), c.arch3) << c.type;
    }
}

// --- walking ---------------------------------------------------------------

struct RelaWalk : RelaTest {
    // 0: ordinary; 8: expression of 4 entries; 16: data word (END addend 12); 24: type 12.
    std::vector<Elf32_Rela> table = {
        entry(13, START, 0, 0),         entry(R_EXPR_OPERAND, START, 0, 8),
        entry(R_EXPR_OPERAND, 0, 4, 8), entry(R_EXPR_OPERATOR, 0, 7, 8),
        entry(R_EXPR_END, 0, 13, 8),    entry(R_EXPR_OPERAND, END, 0, 16),
        entry(R_EXPR_END, 0, 12, 16),   entry(12, TABLE, 0, 24),
        entry(13, TABLE, 0, 32),
    };
    Elf32_Rela *cursor = table.data();
    uint32_t index = 0;
    uint32_t count() const { return uint32_t(table.size()); }
};

TEST_F(RelaWalk, NextFindsAndConsumes) {
    EXPECT_EQ(rela_next(1, &cursor, &index, count(), 0, opt), 1);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(rela_next(1, &cursor, &index, count(), 4, opt), 2);
    EXPECT_EQ(cursor, &table[1]); // first entry above the address
    EXPECT_EQ(rela_next(0, &cursor, &index, count(), 8, opt), 1);
    EXPECT_EQ(cursor, &table[1]); // consume 0 stays on the relocation
    Elf32_Rela *first = cursor;
    EXPECT_EQ(rela_next(1, &cursor, &index, count(), 8, opt), 1);
    EXPECT_EQ(index, 5u);
    EXPECT_EQ(render({first, first + 4}), "(start+$00000001)");
    EXPECT_EQ(rela_next(1, &cursor, &index, count(), 40, opt), 2);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(rela_next(1, &cursor, &index, count(), 48, opt), 2);
}

// What one look at a relocation finds, takes and records, by its form.
TEST_F(RelaWalk, NextByForm) {
    struct Case {
        std::vector<Elf32_Rela> entries; // all at offset 0
        int consume;
        int found;
        uint32_t index; // after the look
        const char *error;
    } cases[] = {
        {{entry(13, START, 0)}, 1, 1, 1, ""},
        {{entry(13, START, 0)}, 0, 1, 0, ""},
        // Two ordinary entries at one offset are two relocations.
        {{entry(13, START, 0), entry(12, END, 0)}, 1, 1, 1, ""},
        {{operand(START, 0), end(13)}, 1, 1, 2, ""},
        {{operand(START, 0), operand(END, 0)}, 1, 0, 0, "Invalid .rela info\n"},
        {{end(13)}, 1, 0, 0, "Invalid file: condition \"inc > 0\" does not hold (common/rela)\n"},
        {{end(13)}, 0, 0, 0, "Invalid file: condition \"inc > 0\" does not hold (common/rela)\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.entries.size() << " entries, consume " << c.consume);
        std::vector<Elf32_Rela> entries = c.entries;
        Elf32_Rela *at = entries.data();
        uint32_t i = 0;
        EXPECT_EQ(rela_next(c.consume, &at, &i, uint32_t(entries.size()), 0, opt), c.found);
        EXPECT_EQ(i, c.index);
        EXPECT_EQ(error(), c.error);
        free(opt->err_text);
        opt->err_text = nullptr;
        opt->err_code = 0;
    }
}

TEST_F(RelaWalk, EntryCount) {
    EXPECT_EQ(rela_entry_count(1, &table[0], count(), 0, opt), 1u);
    EXPECT_EQ(rela_entry_count(1, &table[1], count() - 1, 8, opt), 4u);
    EXPECT_EQ(rela_entry_count(0, &table[1], count() - 1, 8, opt), 0u);
    EXPECT_EQ(rela_entry_count(1, &table[1], 3, 8, opt), 0u); // end beyond the remaining entries
    EXPECT_EQ(error(), "Invalid .rela info\n");
}

TEST_F(RelaWalk, DataSize) {
    struct Case {
        uint64_t address;
        uint32_t size;
    } cases[] = {{4, 0}, {16, 4}, {24, 4}, {28, 0}, {40, 0}};
    for (const Case &c : cases) {
        EXPECT_EQ(rela_data_size(&cursor, &index, count(), c.address, opt), c.size) << c.address;
        EXPECT_EQ(opt->err_code, 0) << c.address;
    }
}

TEST_F(RelaWalk, DataSizeOfAnotherTypeIsAnError) {
    EXPECT_EQ(rela_data_size(&cursor, &index, count(), 32, opt), 0u);
    EXPECT_EQ(error(), "Invalid .rela info\n");
    EXPECT_EQ(rela_data_size(&cursor, &index, count(), 8, opt), 0u); // cursor already past it
}

TEST_F(RelaWalk, SeekRunsOffTheEnd) {
    rela_seek(&cursor, count(), &index, 33);
    EXPECT_EQ(cursor, nullptr);
    EXPECT_EQ(index, count());
    Elf32_Rela *c = table.data();
    uint32_t i = 0;
    rela_seek(&c, 0, &i, 0); // empty table
    EXPECT_EQ(c, nullptr);
}

TEST_F(RelaWalk, MalformedFilesRecordABrokenCondition) {
    std::vector<Elf32_Rela> starts_with_end = {end(13)};
    EXPECT_EQ(rela_entry_count(1, starts_with_end.data(), 1, 0, opt), 0u);
    EXPECT_EQ(opt->err_code, ERR_DATA);
    EXPECT_EQ(error(), "Invalid file: condition \"inc > 0\" does not hold (common/rela)\n");
    free(opt->err_text);
    opt->err_text = nullptr;
    opt->err_code = 0;
    // Two texts left: the last one is given, the run ends with the error.
    std::vector<Elf32_Rela> two_texts = {operand(START, 0), operand(END, 0), end(13)};
    EXPECT_EQ(render(two_texts), "end");
    EXPECT_EQ(opt->err_code, ERR_DATA);
    EXPECT_EQ(error(), "Invalid file: condition \"s->is_empty(s)\" does not hold (common/rela)\n");
}

TEST_F(RelaWalk, CallerObligationsAreAssertions) {
    Elf32_Rela *none = nullptr;
    EXPECT_DEATH(rela_seek(&none, count(), &index, 0), "Assertion failed: rela && \\*rela");
    EXPECT_DEATH(rela_entry_count(1, &table[0], 0, 0, opt), "Assertion failed: rela_length &&");
    EXPECT_DEATH(rela_entry_count(1, &table[0], 1, 4, opt), "Assertion failed: rela_length &&");
    EXPECT_DEATH(rela_to_chr(&table[0], "", nullptr, 0, nullptr, nullptr, opt, nullptr),
                 "Assertion failed: symtab_ptr");
    EXPECT_DEATH(rela_to_chr(nullptr, "", symtab.data(), 1, nullptr, nullptr, opt, nullptr),
                 "Assertion failed: rela,");
}

} // namespace
