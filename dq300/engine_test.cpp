// Pieces of the listing engine on hand-made symbol tables and buffers; whole
// listings are checked by the golden tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/rela.h"
#include "dq300/disasm.h"

namespace {

using ZEMADisasmLib::OperandRecord;

struct Sym {
    const char *name;
    uint32_t value;
    uint8_t type = STT_NOTYPE;
    uint8_t bind = STB_LOCAL;
    uint16_t shndx = 1;
    uint32_t size = 0;
};

// An options record with a symbol table built from Sym rows, and a buffer
// describing section 1 at `address`.
struct Engine : testing::Test {
    Option_struct *opt = options_new();
    std::string strtab{'\0'};
    std::vector<Elf32_Sym> symtab;
    Buffer_struct buf{};

    ~Engine() override { options_free(opt); }

    void symbols(const std::vector<Sym> &rows, int32_t file_type = ET_EXEC, uint64_t address = 0) {
        strtab.assign(1, '\0');
        symtab.assign(1, Elf32_Sym{});
        for (const Sym &r : rows) {
            Elf32_Sym s{};
            s.st_name = static_cast<uint32_t>(strtab.size());
            s.st_value = r.value;
            s.st_size = r.size;
            s.st_info = static_cast<uint8_t>((r.bind << 4) | r.type);
            s.st_shndx = r.shndx;
            strtab += r.name;
            strtab += '\0';
            symtab.push_back(s);
        }
        buf.file_type = file_type;
        buf.address = address;
        buf.index = 1;
        buf.strtab = strtab.c_str();
        buf.symtab = symtab.data();
        buf.symcount = symtab.size();
        opt->sort_symtab = 1;
        make_sorted_symbols(opt, nullptr, 0); // the table changed in place
        make_sorted_symbols(opt, symtab.data(), symtab.size());
        opt->strtab = buf.strtab;
        opt->symtab = buf.symtab;
        opt->symcount = buf.symcount;
        opt->file_type = file_type;
    }

    std::string take_text() {
        char *t = text_detach(opt);
        std::string s = t ? t : "";
        free(t);
        return s;
    }

    // The comment after its operand's value: "is equivalent to ...".
    std::string equivalence(uint64_t address) {
        std::string s = "kept ";
        append_address_comment(0, address, opt, nullptr, &s);
        return s.substr(sizeof "kept ;\t\t// address $00000000 " - 1);
    }
};

TEST(SortRelocations, OrdersByOffsetKeepingFileOrderOfEqualOffsets) {
    std::vector<Elf32_Rela> in = {{8, 1, 0}, {0, 2, 0}, {8, 3, 0}, {4, 4, 0},
                                  {0, 5, 0}, {8, 6, 0}, {2, 7, 0}};
    Elf32_Rela *sorted = sort_relocations(in.data(), in.size(), 1);
    std::vector<uint32_t> infos;
    for (size_t i = 0; i < in.size(); i++) infos.push_back(sorted[i].r_info);
    free(sorted);
    EXPECT_EQ(infos, (std::vector<uint32_t>{2, 5, 7, 4, 1, 3, 6}));
    EXPECT_EQ(sort_relocations(in.data(), in.size(), 0), nullptr);
}

// The first symbol in value order at an address, the same whether the value
// filter rules the address out at once or the search decides: values shared
// by several symbols, the ends of the 32-bit range, addresses past it.
TEST_F(Engine, FirstSymbolAtAnAddressAgreesWithAScan) {
    std::vector<Sym> rows;
    for (uint32_t k = 0; k < 300; k++) rows.push_back({"s", k % 7 == 0 ? k * 4 : k * 12 + 8});
    rows.push_back({"top", 0xFFFFFFFF});
    rows.push_back({"top_too", 0xFFFFFFFF});
    symbols(rows);
    std::vector<uint64_t> probes = {0xFFFFFFFE, 0xFFFFFFFF, 0x100000000, 0x100000008};
    for (uint64_t a = 0; a < 4000; a++) probes.push_back(a);
    uint64_t count = symtab.size();
    for (uint64_t a : probes) {
        uint64_t want = count;
        for (uint64_t i = 0; i < count && want == count; i++)
            if (symtab[opt->sort_symtab_ptr[i]].st_value == a) want = i;
        EXPECT_EQ(first_symbol_at(a, opt), want) << a;
    }
}

TEST_F(Engine, BufferArgumentsAreCheckedInOrder) {
    static const uint8_t byte = 0;
    struct Case {
        const uint8_t *bytes;
        uint64_t size;
        int32_t file_type;
        uint32_t sh_type;
        uint64_t start, end;
        const char *message;
    } cases[] = {
        {nullptr, 0, 7, SHT_PROGBITS, 0, 8, "Buffer not specified\n"},
        {&byte, 0, 7, SHT_PROGBITS, 0, 8, "Buffer length should be greater than 0\n"},
        {&byte, 1, 7, SHT_PROGBITS, 0, 8, "Unknown buffer type\n"},
        {nullptr, 8, ET_REL, SHT_NOBITS, 0, 8, nullptr},
        {nullptr, 0, 7, SHT_PROGBITS, 4, 4, nullptr}, // an empty window is not checked
    };
    for (const Case &c : cases) {
        set_error(opt, ERR_NONE, "");
        check_buffer_args(opt, c.bytes, c.size, c.file_type, c.sh_type, c.start, c.end);
        if (c.message) {
            EXPECT_EQ(get_error_code(opt), ERR_OPTION);
            EXPECT_STREQ(get_error_text(opt), c.message);
        } else {
            EXPECT_EQ(get_error_code(opt), ERR_NONE);
        }
    }
}

TEST_F(Engine, InnerLabelIsTheLowestInTheRange) {
    symbols({{"b", 0x14},
             {"a", 0x10},
             {"a2", 0x10},
             {"elsewhere", 0x0C, STT_NOTYPE, STB_LOCAL, 2},
             {"file", 0x0C, STT_FILE}});
    const Elf32_Sym *s = find_inner_label(0x9, 0x7, &buf, opt);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(symbol_name(opt, s), "a");
    EXPECT_EQ(find_inner_label(0x9, 0x2, &buf, opt), nullptr);
    s = find_inner_label(0x14, 0, &buf, opt);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(symbol_name(opt, s), "b");
    EXPECT_EQ(get_error_code(opt), ERR_NONE);
    symbols({{"odd", 0x12}});
    EXPECT_NE(find_inner_label(0x11, 0x6, &buf, opt), nullptr);
    EXPECT_STREQ(get_error_text(opt), "Found label at non word aligned address\n");
}

// The labels of one section at a value come in table order, without those
// of other sections or file and section symbols, whether the run sorts the
// symbols or walks the table.
TEST_F(Engine, SectionLabelsKeepToTheirSection) {
    std::vector<Sym> rows = {{"b2", 0x10, STT_NOTYPE, STB_LOCAL, 2},
                             {"a", 0x10},
                             {"sec", 0x10, STT_SECTION},
                             {"c3", 0x10, STT_NOTYPE, STB_LOCAL, 3},
                             {"d", 0x14},
                             {"b", 0x10, STT_FUNC, STB_GLOBAL},
                             {"low2", 0x0C, STT_NOTYPE, STB_LOCAL, 2},
                             {"file", 0x10, STT_FILE},
                             {"c", 0x10, STT_OBJECT},
                             {"low", 0x4},
                             {"top", 0xFFFFFFF0}};
    using Names = std::vector<std::string>;
    struct Case {
        uint32_t section;
        uint64_t value;
        Names names;
        const char *inner; // lowest label of [value, value + 8], or null
    } cases[] = {
        {1, 0x10, {"a", "b", "c"}, "a"},
        {1, 0x4, {"low"}, "low"},
        {1, 0x14, {"d"}, "d"},
        {1, 0x8, {}, "a"},
        {2, 0x10, {"b2"}, "b2"},
        {2, 0x4, {}, "low2"},
        {3, 0x10, {"c3"}, "c3"},
        {3, 0x1C, {}, nullptr},
        {4, 0x10, {}, nullptr},
        // Values past 32 bits name no label, not one cut to 32 bits.
        {1, 0xFFFFFFF0, {"top"}, "top"},
        {1, 0x100000010, {}, nullptr},
        {1, 0xFFFFFFFFFFFFFFF0, {}, nullptr},
    };
    for (uint8_t sort : {1, 0}) {
        symbols(rows);
        opt->sort_symtab = sort;
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message()
                         << "sort " << int(sort) << ", section " << c.section << " at " << c.value);
            buf.index = c.section;
            Names names;
            uint64_t cursor = NEW_SEARCH;
            while (const Elf32_Sym *s = next_section_label(c.value, &buf, &cursor, opt))
                names.push_back(symbol_name(opt, s));
            EXPECT_EQ(names, c.names);
            const Elf32_Sym *inner = find_inner_label(c.value, 8, &buf, opt);
            EXPECT_EQ(inner ? symbol_name(opt, inner) : "(none)",
                      std::string(c.inner ? c.inner : "(none)"));
        }
    }
}

// What the symbols at an address give is remembered, but never across a
// change of the mapper-label option or of the table.
TEST_F(Engine, EquivalenceFollowsTheOptionAndTheTable) {
    symbols({{"..L1", 0x40}});
    EXPECT_EQ(equivalence(0x40), "is equivalent to $00000040");
    opt->mapper_labels = 0;
    EXPECT_EQ(equivalence(0x40), "is equivalent to $00000040 (..L1)");
    symbols({{"other", 0x40}});
    EXPECT_EQ(equivalence(0x40), "is equivalent to $00000040 (other)");
}

// Addresses crowded with symbols are remembered, the others walked again:
// both must name the same symbol, follow the mapper-label option and keep
// neighbouring addresses apart.
TEST_F(Engine, EquivalenceOfCrowdedAddresses) {
    for (uint32_t n : {1u, 2u, 15u, 16u, 17u, 40u}) {
        SCOPED_TRACE(n);
        std::vector<std::string> names;
        for (uint32_t k = 0; k + 1 < n; k++) names.push_back("l" + std::to_string(k));
        for (uint32_t k = 0; k < 20; k++) names.push_back("n" + std::to_string(k));
        std::vector<Sym> rows;
        for (uint32_t k = 0; k + 1 < n; k++) rows.push_back({names[k].c_str(), 0x40});
        rows.push_back({"..M", 0x40, STT_OBJECT});
        for (uint32_t k = 0; k < 20; k++) rows.push_back({names[n - 1 + k].c_str(), 0x44});
        symbols(rows);
        for (int pass = 0; pass < 2; pass++) {
            opt->mapper_labels = 0;
            EXPECT_EQ(equivalence(0x40), "is equivalent to $00000040 (..M)");
            opt->mapper_labels = 1;
            EXPECT_EQ(equivalence(0x40),
                      n == 1 ? "is equivalent to $00000040" : "is equivalent to $00000040 (l0)");
            EXPECT_EQ(equivalence(0x44), "is equivalent to $00000044 (n0)");
            EXPECT_EQ(equivalence(0x48), "is equivalent to $00000048");
        }
    }
}

TEST_F(Engine, EquivalenceTextPrefersNamedObjects) {
    struct Case {
        std::vector<Sym> rows;
        const char *text;
    } cases[] = {
        {{}, "is equivalent to $00000040"},
        {{{"DW_x", 0x40}, {"main", 0x40}}, "is equivalent to $00000040 (main)"},
        {{{"x", 0x40}, {"_x", 0x40}}, "is equivalent to $00000040 (_x)"},
        {{{"x", 0x40}, {"obj", 0x40, STT_OBJECT}}, "is equivalent to $00000040 (obj)"},
        {{{"f", 0x40, STT_FUNC}, {"sized", 0x40, STT_OBJECT, STB_LOCAL, 1, 4}},
         "is equivalent to $00000040 (sized)"},
        {{{"f", 0x40, STT_FUNC}, {"g", 0x40, STT_FUNC}}, "is equivalent to $00000040 (f)"},
        {{{"..L1", 0x40}, {"DW_y", 0x40}}, "is equivalent to $00000040 (DW_y)"},
    };
    for (const Case &c : cases) {
        symbols(c.rows);
        EXPECT_EQ(equivalence(0x40), c.text);
    }
    opt->label_display = 0;
    EXPECT_EQ(equivalence(0x40), "is equivalent to $00000040");
}

TEST_F(Engine, OperandAddresses) {
    struct Case {
        uint8_t arch_code;
        uint32_t mode, reloc_type, width;
        const char *text;
        bool named;
        int64_t value;
        uint64_t address;
    } cases[] = {
        {0, 1, 13, 17, "+$10", true, 0x10, 0x2000040},
        {0, 1, 20, 16, "-$1", true, -1, 0x2000000 - 4},
        {2, 2, 20, 16, "$10", false, 0, 0}, // type 20 names program memory in ZEMA1 only
        {2, 2, 9, 16, "$10", true, 0x10, 0x2000020},
        {3, 3, 30, 18, "$10", true, 0x10, 0x2000010},
        {3, 3, 8, 16, "$10", true, 0x10, 0x1000040},
        {2, 5, 17, 16, "$10", true, 0x10, 0x8000020},
        {0, 4, 16, 16, "$10", true, 0x10, 0x4000040},
        {0, 4, 13, 16, "$10", false, 0, 0},
        {0, 1, 13, 0, "$10", false, 0, 0},       // no relocation width
        {0, 1, 13, 17, "a0", false, 0, 0},       // not a number
        {0, 1, 13, 17, "$1g", false, 0, 0},      // not a number
        {0, 1, 11, 16, "$10", true, 0x10, 0x40}, // nothing found: no marker
    };
    symbols({});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        opt->arch_code = c.arch_code;
        opt->core_mode = c.mode;
        OperandRecord op{};
        op.reloc_type = c.reloc_type;
        op.reloc_width = c.width;
        snprintf(op.text, sizeof op.text, "%s", c.text);
        Operand_address_struct a{};
        ASSERT_EQ(operand_address(nullptr, &op, opt, &a), c.named);
        if (!c.named) continue;
        EXPECT_EQ(a.value, c.value);
        EXPECT_EQ(a.address, c.address);
    }
    opt->arch_code = 4;
    OperandRecord op{};
    op.reloc_type = 13;
    op.reloc_width = 17;
    snprintf(op.text, sizeof op.text, "$10");
    Operand_address_struct a{};
    EXPECT_FALSE(operand_address(nullptr, &op, opt, &a));
    EXPECT_STREQ(get_error_text(opt), "Invalid architecture version\n");
}

TEST(OperandValue, ReadsSignedHexAsTheCLibraryDoes) {
    struct Case {
        const char *text;
        bool ok;
        int64_t value;
    } cases[] = {
        {"$1F", true, 0x1F},
        {"$abc", true, 0xABC},
        {"+$10", true, 0x10},
        {"-$10", true, -0x10},
        {"$0x1f", true, 0x1F},
        {"-$0X10", true, -0x10},
        {"$0", true, 0},
        {"$00000000000000000001", true, 1}, // leading zeros never overflow
        {"$FFFFFFFFFFFFFFFF", true, -1},
        {"$10000000000000000", true, -1},                    // past 64 bits: saturated
        {"$0FFFFFFFFFFFFFFFE", true, -2},                    // 17 digits, 16 of them significant
        {"$000000000000000000010000000000000000", true, -1}, // 17 after the zeros
        {"$0x00000000000000000123", true, 0x123},
        {"-$10000000000000000", true, 1},
        {"-$8000000000000000", true, INT64_MIN},
        {"$0x", false, 0}, // a prefix without digits leaves the "x"
        {"$0xg", false, 0},
        {"$x1", false, 0},
        {"$", false, 0},
        {"", false, 0},
        {"$ 1", false, 0},
        {"$-1", false, 0},
        {"--$1", false, 0},
        {"+-$1", false, 0},
        {"1", false, 0},
        {"$1 ", false, 0},
        {"$12g", false, 0},
        {"$1)", false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        int64_t value = 12345;
        ASSERT_EQ(parse_operand_value(c.text, &value), c.ok);
        EXPECT_EQ(value, c.ok ? c.value : 12345);
    }
}

TEST_F(Engine, RegisterOperandsSearchTheMemorySpaces) {
    // Without a memory-space table each space is tried with its marker bit.
    symbols({{"reg", 0x1000040}, {"var", 0x2000010}});
    opt->arch_code = 3;
    opt->core_mode = 3;
    OperandRecord op{};
    op.reloc_type = 11;
    op.reloc_width = 16;
    Operand_address_struct a{};
    snprintf(op.text, sizeof op.text, "$10");
    ASSERT_TRUE(operand_address(nullptr, &op, opt, &a));
    EXPECT_EQ(a.address, 0x1000040u);
    EXPECT_EQ(a.space.space, 0u);
    symbols({{"var", 0x2000010}});
    ASSERT_TRUE(operand_address(nullptr, &op, opt, &a));
    EXPECT_EQ(a.address, 0x2000010u);
    EXPECT_EQ(a.space.space, 1u);
}

// Source base names the golden listings do not show: no extension, and a
// dot only in a directory name.
TEST_F(Engine, EquateSectionNamedAfterTheSource) {
    struct Case {
        const char *file, *section;
    } cases[] = {
        {"lib/demo", "\t\tsection demo_local_equs\n"},
        {"v1.2/demo", "\t\tsection local_equs\n"},
    };
    for (const Case &c : cases) {
        symbols(
            {{c.file, 0, STT_FILE, STB_LOCAL, SHN_ABS}, {"K", 3, STT_NOTYPE, STB_LOCAL, SHN_ABS}},
            ET_REL);
        uint8_t error_class;
        char *t = print_equ_block(buf.strtab, buf.symtab, buf.symcount, ET_REL, opt, &error_class);
        EXPECT_EQ(std::string(t),
                  std::string("#Global EQUs\n#Local EQUs\n") + c.section + "K\tequ\t$3\n");
        free(t);
    }
}

// A file cannot bring BSS contents (the reader loads none), so this error is
// reachable only through the engine entry.
TEST_F(Engine, BssWithContentsIsAnError) {
    static const uint8_t contents[4] = {};
    symbols({});
    buf.sh_type = SHT_NOBITS;
    buf.bytes = contents;
    buf.size = sizeof contents;
    buf.end = 0xFFFFFFFF;
    uint8_t error_class;
    char *t = dump_data_piece(&buf, opt, &error_class);
    EXPECT_EQ(error_class, ERR_CONTENT);
    EXPECT_STREQ(t, "Found bss section with initialized content");
    free(t);
    opt->bss_sections = 0; // -j: not even looked at
    set_error(opt, ERR_NONE, "");
    EXPECT_EQ(dump_data_piece(&buf, opt, &error_class), nullptr);
}

// The packet loop asks the label cursor before it searches: "no label" must
// hold exactly where neither the labels at the packet's first byte nor an
// inner label are found, with section-relative values in relocatable files
// and windows that start past some labels.
TEST_F(Engine, LabelCursorAgreesWithTheSearches) {
    const std::vector<Sym> rows = {{"a", 0x10},
                                   {"a2", 0x10},
                                   {"b", 0x24},
                                   {"c", 0x40},
                                   {"other", 0x18, STT_NOTYPE, STB_LOCAL, 2},
                                   {"before", 0x4, STT_NOTYPE, STB_LOCAL, 2},
                                   {"sec", 0x30, STT_SECTION},
                                   {"file", 0x34, STT_FILE},
                                   {"last", 0x7C}};
    struct Case {
        int32_t file_type;
        uint64_t address, start;
    } cases[] = {{ET_EXEC, 0, 0},
                 {ET_EXEC, 0, 0x28},
                 {ET_REL, 0x1000, 0x1000},
                 {ET_REL, 0x1000, 0x1014},
                 {ET_REL, 0x2000, 0x2080}};
    const uint32_t sizes[] = {8, 16, 4, 8, 24, 2};
    for (const Case &c : cases) {
        symbols(rows, c.file_type, c.address);
        Label_cursor_struct cursor;
        label_cursor_start(&cursor, c.start, &buf, opt);
        uint64_t pc = c.start;
        for (int k = 0; pc < c.address + 0x90; pc += sizes[k++ % 6]) {
            uint32_t size = sizes[k % 6];
            SCOPED_TRACE(testing::Message()
                         << "file type " << c.file_type << ", pc " << pc << ", size " << size);
            uint64_t search = NEW_SEARCH;
            bool found = next_section_label(symbol_address(pc, &buf), &buf, &search, opt) ||
                         find_inner_label(pc + 1, size - 2, &buf, opt);
            EXPECT_EQ(label_cursor_any(&cursor, pc, size), found);
        }
        EXPECT_EQ(get_error_code(opt), ERR_NONE);
    }
    // Without the sorted order there is no cursor: every packet is searched.
    opt->sort_symtab = 0;
    Label_cursor_struct cursor;
    label_cursor_start(&cursor, 0x2000, &buf, opt);
    for (uint64_t pc : {0, 0x2000, 0x2008}) EXPECT_TRUE(label_cursor_any(&cursor, pc, 8)) << pc;
}

TEST(AddressLine, DigitsAndWidth) {
    struct Case {
        uint64_t pc;
        const char *line;
    } cases[] = {
        {0, "#00000000:\n"},
        {0xABC, "#00000abc:\n"},
        {0xFFFFFFFF, "#ffffffff:\n"},
        {0x01234567, "#01234567:\n"},
        {0x89ABCDEF, "#89abcdef:\n"},
        {0x9A09A0F0, "#9a09a0f0:\n"},
        {0x80000001, "#80000001:\n"},
        {0x100000000, "#100000000:\n"},
        {0x123456789A, "#123456789a:\n"},
        {0xFEDCBA9876543210, "#fedcba9876543210:\n"},
    };
    for (const Case &c : cases) {
        char line[ADDRESS_LINE_SIZE];
        uint32_t n = format_address_line(c.pc, line);
        EXPECT_EQ(std::string(line, n), c.line);
    }
}

// Consecutive address lines made from the line before agree with lines made
// afresh, across 256-byte steps, the 32-bit boundary and going back.
TEST(AddressLine, NextLineFromTheOneBefore) {
    const uint64_t pcs[] = {0,           8,           0xF8,        0x100,      0x108,
                            0x1FF,       0x1FF00,     0xFFFFFFF8,  0xFFFFFFFF, 0x100000000,
                            0x1000000F8, 0x100000100, 0x100000108, 0x104,      0};
    Address_line_struct last = {UINT64_MAX, 0, {}};
    for (uint64_t pc : pcs) {
        char want[ADDRESS_LINE_SIZE], got[ADDRESS_LINE_SIZE];
        uint32_t n = format_address_line(pc, want);
        ASSERT_EQ(format_next_address_line(pc, &last, got), n) << pc;
        EXPECT_EQ(std::string(got, n), std::string(want, n)) << pc;
    }
}

TEST(AddressLine, EightDigitsInPlace) {
    struct Case {
        uint32_t value;
        const char *digits;
    } cases[] = {
        {0, "00000000"},          {0x0000000A, "0000000a"}, {0x90000000, "90000000"},
        {0xA0000009, "a0000009"}, {0x19AF09FA, "19af09fa"}, {0xFEDCBA98, "fedcba98"},
    };
    for (const Case &c : cases) {
        char out[10] = "<<<<<<<<<";
        format_hex8(c.value, out);
        EXPECT_EQ(std::string(out), std::string(c.digits) + "<");
    }
}

// Entries in offset order are listed in place; others through a sorted copy.
TEST_F(Engine, OrderedRelocationsAreUsedInPlace) {
    struct Case {
        std::vector<uint32_t> offsets;
        bool in_place;
    } cases[] = {
        {{0}, true},
        {{0, 4, 4, 8}, true},
        {{8, 4}, false},
        {{0, 8, 8, 4}, false},
    };
    symbols({});
    for (const Case &c : cases) {
        std::vector<Elf32_Rela> rela;
        for (uint32_t o : c.offsets) rela.push_back({o, uint32_t(rela.size()), 0});
        buf.rela = rela.data();
        buf.rela_count = rela.size();
        buf.rela_present = 1;
        buf.rela_sorted = 0;
        EXPECT_EQ(relocations_in_order(rela.data(), rela.size()), c.in_place);
        Elf32_Rela *used = buffer_relocations(&buf, opt);
        EXPECT_EQ(used == rela.data(), c.in_place);
        for (size_t i = 1; i < rela.size(); i++) EXPECT_LE(used[i - 1].r_offset, used[i].r_offset);
        if (used != rela.data()) free(used);
    }
}

} // namespace

namespace {

// An executable's code section of `bytes` at `address`, listed from start to
// end with one instruction set; the text returned and its error class.
struct Window_listing {
    std::string text;
    uint8_t error_class = 0;
};
Window_listing list_window(std::vector<uint8_t> *bytes, uint64_t address, uint64_t start,
                           uint64_t end, uint8_t arch, uint8_t release = 0, FILE *out = nullptr) {
    Option_struct *opt = options_new();
    set_core(opt, arch, 0);
    Buffer_struct buf{};
    buf.file_type = ET_EXEC;
    buf.bytes = bytes->data();
    buf.size = bytes->size();
    buf.address = address;
    buf.sh_type = SHT_PROGBITS;
    buf.sh_flags = SHF_ALLOC | SHF_EXECINSTR;
    buf.start = start;
    buf.end = end;
    buf.release_listed = release;
    buf.listing_out = out;
    Window_listing listed;
    char *text = disassemble_buffer(&buf, opt, &listed.error_class);
    listed.text = text ? text : "";
    free(text);
    options_free(opt);
    return listed;
}

// The listing of a code window whose listed pages are given back is the
// listing of the same bytes kept; only bytes the window has passed, more
// than a step behind, go back (they read as zeros after).
TEST(CodeWindow, ListedPagesGoBack) {
    const size_t big = 5 << 20;
    struct Case {
        size_t size;
        uint64_t start, end; // window
        uint8_t arch;
        size_t released_from, released_to; // some byte offsets that must have gone back
    } cases[] = {
        {big, 0, big - 1, 1, 8192, big / 2},
        // From the middle: the bytes before the window stay.
        {big, (1 << 19) + 8, big - 1, 1, (1 << 19) + 8192, (3 << 19)},
        {big, 0, big - 1, 4, 8192, big / 2},
        // A section too small to be worth it gives nothing back.
        {3 << 20, 0, (3 << 20) - 1, 1, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.start);
        const size_t size = c.size;
        std::string texts[2];
        for (uint8_t release = 0; release < 2; release++) {
            std::vector<uint8_t> bytes(size);
            for (size_t i = 0; i < size; i++) bytes[i] = uint8_t(i * 7 + (i >> 9) + 1);
            Window_listing listed = list_window(&bytes, 0, c.start, c.end, c.arch, release);
            EXPECT_EQ(listed.error_class, ERR_NONE);
            texts[release] = listed.text;
            for (size_t i = 0; i < size; i += 4096) {
                uint8_t original = uint8_t(i * 7 + (i >> 9) + 1);
                bool gone = release && i >= c.released_from && i < c.released_to;
                bool kept = !release || c.released_to == 0 || i < c.start || i + (1 << 20) > c.end;
                EXPECT_TRUE(!gone || bytes[i] == 0) << i;
                EXPECT_TRUE(!kept || bytes[i] == original) << i;
            }
        }
        EXPECT_GT(texts[0].size(), size);
        EXPECT_TRUE(texts[0] == texts[1]);
    }
}

// A relocated data word lists its symbol and addend, with -n as without
// (a plain name has no other form); a name too long for the short path,
// and a symbol past the table, give the texts of the expression path.
TEST_F(Engine, RelocatedDataWord) {
    const std::string long_name(300, 'q');
    symbols({{"tab", 0x10}, {long_name.c_str(), 0x20}}, ET_REL);
    struct Case {
        uint32_t symbol;
        int32_t addend;
        uint8_t unmangle;
        std::string text; // after the address line and the directive
        uint8_t error;
    } cases[] = {
        // A word's addend counts 4-byte units when it has a symbol.
        {1, 0x24, 0, "(tab+$00000009)\n", ERR_NONE},
        {1, -4, 0, "(tab-$00000001)\n", ERR_NONE},
        {1, 0x24, 1, "(tab+$00000009)\n", ERR_NONE},
        {2, 0, 0, "(" + long_name + "+$00000000)\n", ERR_NONE},
        {0, 7, 0, "(+$00000007)\n", ERR_NONE},
        {9, 0, 0, "Invalid .rela info\n", ERR_DATA},
    };
    const uint8_t bytes[4] = {};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        Elf32_Rela rela{0, (c.symbol << 8) | R_DATA_WORD, c.addend};
        Rela_cursor_struct cursor{&rela, 1, 0, &rela};
        opt->unmangle = c.unmangle;
        text_open(opt);
        print_data_item(bytes, 4, 4, &cursor, &buf, opt);
        EXPECT_EQ(get_error_code(opt), c.error);
        if (c.error != ERR_NONE) {
            EXPECT_STREQ(get_error_text(opt), c.text.c_str());
            break; // the last row: the error stays recorded
        }
        EXPECT_EQ(take_text(), "#00000000:\n\t\t.word " + c.text);
    }
}

// Each data item is led by the labels of its section at its address, in
// table order; labels of another section, or before the window, are not
// listed, and one just past the section ends it.
TEST_F(Engine, DataItemsListTheirLabels) {
    symbols(
        {{"a", 0}, {"c", 3}, {"d", 3}, {"other", 2, STT_NOTYPE, STB_LOCAL, 2}, {"e", 5}, {"z", 6}},
        ET_REL, 0x100);
    const uint8_t bytes[6] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15};
    buf.bytes = bytes;
    buf.size = sizeof bytes;
    buf.sh_type = SHT_PROGBITS;
    buf.sh_flags = SHF_ALLOC;
    buf.end = 0x105;
    opt->data_sections = 1;
    opt->label_display = 1;
    struct Case {
        uint64_t start;
        std::string text;
    } cases[] = {
        {0x100, "\t\t.org $100\n#00000100:\na\n\t\t.byte $10\n#00000101:\n\t\t.byte $11\n"
                "#00000102:\n\t\t.byte $12\n#00000103:\nc\nd\n\t\t.byte $13\n"
                "#00000104:\n\t\t.byte $14\n#00000105:\ne\n\t\t.byte $15\nz\n"},
        {0x104, "\t\t.org $100\n#00000104:\n\t\t.byte $14\n#00000105:\ne\n\t\t.byte $15\nz\n"},
    };
    for (const Case &c : cases) {
        buf.start = c.start;
        uint8_t error_class = 0;
        char *text = dump_data_piece(&buf, opt, &error_class);
        EXPECT_EQ(error_class, ERR_NONE);
        EXPECT_EQ(std::string(text ? text : ""), c.text);
        free(text);
    }
}

// A window lists every packet that starts in it, the last one whole, and
// ends with the address line of the first address it did not list: the
// next packet's, or the section's end.
TEST(CodeWindow, StopsAtTheFirstPacketPastItsEnd) {
    const uint64_t address = 0x400;
    std::vector<uint8_t> bytes(600);
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = uint8_t(i * 29 + (i >> 3) + 7);
    auto list = [&](uint64_t start, uint64_t end) {
        Window_listing listed = list_window(&bytes, address, start, end, 1);
        EXPECT_EQ(listed.error_class, ERR_NONE);
        return listed.text;
    };
    // Where the packets of the whole section start: its address lines.
    std::vector<uint64_t> starts;
    std::string whole = list(address, address + bytes.size() - 1);
    for (size_t at = 0; (at = whole.find("\n#", at)) != std::string::npos; at++)
        starts.push_back(std::stoull(whole.substr(at + 2, 8), nullptr, 16));
    ASSERT_GT(starts.size(), 20u);
    ASSERT_EQ(starts.back(), address + bytes.size()); // the closing line
    const uint64_t s = starts[3], e = starts[10];
    const uint64_t windows[][2] = {
        {s, e - 1},
        {s, e},
        {s, e + 1},
        {s, s},
        {s, address + bytes.size() - 1},
        {s, address + bytes.size() + 100},
        {starts[starts.size() - 2], UINT64_MAX},
    };
    for (const auto &w : windows) {
        SCOPED_TRACE(testing::Message() << std::hex << w[0] << ".." << w[1]);
        uint64_t expected = *std::upper_bound(starts.begin(), starts.end() - 1, w[1]);
        std::string listed = list(w[0], w[1]);
        char line[32];
        snprintf(line, sizeof line, "#%08llx:\n", static_cast<unsigned long long>(expected));
        ASSERT_GE(listed.size(), strlen(line));
        EXPECT_EQ(listed.substr(listed.size() - strlen(line)), line);
        // The packets, from the first address line on, are those of the whole.
        size_t first = listed.find('#');
        std::string packets = listed.substr(first, listed.size() - strlen(line) - first);
        EXPECT_NE(whole.find(packets), std::string::npos);
    }
}

// A window whose listing is written out as it goes lists exactly the text
// it would return whole; a stream that cannot be written fails the window.
TEST(CodeWindow, WrittenListingIsTheWholeText) {
    struct Case {
        size_t size;
        uint64_t start, end; // window
        uint8_t arch;
        bool full; // written to a full device
    } cases[] = {
        {1000, 0, 999, 1, false},          // written at the end only
        {200000, 0, 199999, 1, false},     // written many times
        {200000, 70001, 150000, 4, false}, // from and to the middle
        {200000, 0, 199999, 1, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.size + c.start);
        std::vector<uint8_t> bytes(c.size);
        for (size_t i = 0; i < c.size; i++) bytes[i] = uint8_t(i * 13 + (i >> 7) + 5);
        std::string texts[2];
        for (int written = 0; written < 2; written++) {
            FILE *out = written ? (c.full ? fopen("/dev/full", "w") : tmpfile()) : nullptr;
            ASSERT_TRUE(!written || out);
            Window_listing listed = list_window(&bytes, 0, c.start, c.end, c.arch, 0, out);
            if (written && c.full) {
                EXPECT_NE(listed.error_class, ERR_NONE);
                EXPECT_EQ(listed.text, "Cannot write the listing\n");
                fclose(out);
                continue;
            }
            EXPECT_EQ(listed.error_class, ERR_NONE);
            if (out) {
                rewind(out);
                for (int ch; (ch = fgetc(out)) != EOF;) texts[written] += char(ch);
                fclose(out);
            }
            texts[written] += listed.text;
        }
        if (c.full) continue;
        EXPECT_GT(texts[0].size(), c.size);
        EXPECT_TRUE(texts[0] == texts[1]);
    }
}

} // namespace
