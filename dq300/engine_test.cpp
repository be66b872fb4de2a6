// Pieces of the listing engine on hand-made symbol tables and buffers; whole
// listings are checked by the golden tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

    std::string labels_at(uint64_t address) {
        text_open(opt);
        print_labels_at(address, &buf, opt);
        return take_text();
    }

    std::string equivalence(uint64_t address) {
        char *t = equivalence_text(address, opt, nullptr);
        std::string s = t;
        free(t);
        return s;
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

TEST_F(Engine, CoreModeFollowsArchitectureAndRixuFlag) {
    const uint32_t zema[] = {1, 2, 2, 3}, rixu[] = {4, 5, 5, 6};
    for (uint8_t code = 0; code < 4; code++) {
        opt->arch_code = code;
        select_core(opt, 0);
        EXPECT_EQ(opt->core_mode, zema[code]);
        select_core(opt, SHF_RIXU | SHF_ALLOC);
        EXPECT_EQ(opt->core_mode, rixu[code]);
    }
    opt->arch_code = 9;
    select_core(opt, 0);
    EXPECT_EQ(opt->core_mode, 6u); // unchanged
}

TEST_F(Engine, WindowIsClippedToTheSection) {
    uint64_t start = 0, end = 0xFFFFFFFF;
    clip_window(&start, &end, 0x100, 0x20);
    EXPECT_EQ(start, 0x100u);
    EXPECT_EQ(end, 0x11Fu);
}

TEST_F(Engine, LabelLines) {
    symbols({{"f", 8, STT_FUNC, STB_LOCAL},
             {"..L1", 8},
             {"plain", 8},
             {"sect", 8, STT_SECTION},
             {"other", 8, STT_NOTYPE, STB_LOCAL, 2},
             {"glob", 8, STT_NOTYPE, STB_GLOBAL},
             {"..F", 12, STT_FUNC}});
    EXPECT_EQ(labels_at(8), "f\n\t.type f, @function\nplain\nglob\n");
    opt->mapper_labels = 0; // -m shows mapper labels
    EXPECT_EQ(labels_at(8), "f\n\t.type f, @function\n..L1\nplain\nglob\n");
    opt->mapper_labels = 1;
    opt->local_symbols = 0; // -w hides local plain labels of executables
    EXPECT_EQ(labels_at(8), "f\n\t.type f, @function\nglob\n");
    EXPECT_EQ(labels_at(12), "..F\n\t.type ..F, @function\n");
    opt->label_display = 0;
    EXPECT_EQ(labels_at(8), "");
}

TEST_F(Engine, RelocatableSymbolsCountFromTheirSection) {
    symbols({{"in", 0x10}, {"hidden", 0x10, STT_NOTYPE, STB_LOCAL, 2}}, ET_REL, 0x2000);
    opt->local_symbols = 0; // only executables hide locals
    EXPECT_EQ(labels_at(0x2010), "in\n");
    EXPECT_EQ(labels_at(0x10), "");
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

TEST_F(Engine, HexCodificationReadsUnitsFromTheLast) {
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
    text_open(opt);
    print_hex_codification(bytes, 8, opt);
    print_hex_codification(bytes, 3, opt);
    EXPECT_EQ(take_text(), "\t0807 0605 0403 0201 \n\t03 02 01 \n");
}

TEST_F(Engine, EquateBlock) {
    struct Case {
        std::vector<Sym> rows;
        int32_t file_type;
        const char *text;
    } cases[] = {
        {{{"wide", 0x1FF, STT_NOTYPE, STB_GLOBAL, SHN_ABS, 1},
          {"fits", 0x7F, STT_NOTYPE, STB_GLOBAL, SHN_ABS, 1},
          {"big", 0x12345, STT_OBJECT, STB_GLOBAL, SHN_ABS, 4},
          {"sect", 0, STT_NOTYPE, STB_GLOBAL, 1}},
         ET_REL,
         "#Global EQUs\n\t.equ wide, 511\n\t.equ fits, $7f\n\t.equ big, $12345\n#Local EQUs\n"},
        {{{"c:\\src\\demo.v1.zs", 0, STT_FILE, STB_LOCAL, SHN_ABS},
          {"K", 3, STT_NOTYPE, STB_LOCAL, SHN_ABS}},
         ET_REL,
         "#Global EQUs\n#Local EQUs\n\t\tsection demo.v1_local_equs\nK\tequ\t$3\n"},
        {{{"lib/demo", 0, STT_FILE, STB_LOCAL, SHN_ABS}, {"K", 3, STT_NOTYPE, STB_LOCAL, SHN_ABS}},
         ET_REL,
         "#Global EQUs\n#Local EQUs\n\t\tsection demo_local_equs\nK\tequ\t$3\n"},
        {{{"v1.2/demo", 0, STT_FILE, STB_LOCAL, SHN_ABS}, {"K", 3, STT_NOTYPE, STB_LOCAL, SHN_ABS}},
         ET_REL,
         "#Global EQUs\n#Local EQUs\n\t\tsection local_equs\nK\tequ\t$3\n"},
        {{{"K", 3, STT_NOTYPE, STB_LOCAL, SHN_ABS}, {"G", 4, STT_NOTYPE, STB_GLOBAL, SHN_ABS}},
         ET_EXEC,
         "#Global EQUs\n\t.equ G, $4\n#Local EQUs\n"},
    };
    for (const Case &c : cases) {
        symbols(c.rows, c.file_type);
        uint8_t error_class = 9;
        char *t =
            print_equ_block(buf.strtab, buf.symtab, buf.symcount, c.file_type, opt, &error_class);
        EXPECT_EQ(error_class, ERR_NONE);
        EXPECT_EQ(std::string(t), c.text);
        free(t);
    }
    uint8_t error_class;
    EXPECT_EQ(print_equ_block(nullptr, nullptr, 0, ET_REL, opt, &error_class), nullptr);
}

TEST_F(Engine, BssRunsStopAtLabels) {
    symbols({{"mid", 0x40}, {"end", 0x100}}, ET_REL, 0x1000);
    buf.sh_type = SHT_NOBITS;
    buf.sh_flags = SHF_ALLOC | SHF_WRITE;
    buf.size = 0x100;
    buf.start = 0;
    buf.end = 0xFFFFFFFF;
    opt->pc_display = 0;
    uint8_t error_class;
    char *t = dump_data_piece(&buf, opt, &error_class);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(std::string(t),
              "\t\t.org $1000\n\t\t.space $00000040\nmid\n\t\t.space $000000C0\nend\n");
    free(t);

    static const uint8_t contents[4] = {};
    struct Case {
        const uint8_t *bytes;
        uint64_t rela_count;
        uint8_t error_class;
        const char *message;
    } errors[] = {
        {contents, 0, ERR_CONTENT, "Found bss section with initialized content"},
        {nullptr, 1, ERR_DATA, "Found bss section with relocation information"},
    };
    Elf32_Rela rela{0, 0, 0};
    for (const Case &c : errors) {
        set_error(opt, ERR_NONE, "");
        buf.bytes = c.bytes;
        buf.rela = c.rela_count ? &rela : nullptr;
        buf.rela_count = c.rela_count;
        t = dump_data_piece(&buf, opt, &error_class);
        EXPECT_EQ(error_class, c.error_class);
        EXPECT_STREQ(t, c.message);
        free(t);
    }
    opt->bss_sections = 0;
    EXPECT_EQ(dump_data_piece(&buf, opt, &error_class), nullptr);
}

} // namespace
