// Object descriptions: statements checked through the ELF reader on the
// file they build, and bad statements through their messages.
#include "tools/mkobj/zobj.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "decodelib/encoder.h"
#include "elflib/elfread.h"

namespace zema_test {
namespace {

namespace lib = ZEMADisasmLib;

// The file a description builds, loaded by the ELF reader.
class Loaded {
  public:
    explicit Loaded(const std::string &text) {
        ZobjResult r = build_zobj(text, "t.zobj");
        EXPECT_TRUE(r.ok) << r.error;
        image = r.image;
        words = r.words;
        if (!r.ok) return;
        std::string path = temp_path("zobj.eld");
        write_bytes(path, image);
        FILE *f = fopen(path.c_str(), "rb");
        memset(&e, 0, sizeof e);
        loaded = elf_read(f, 0, &e) == EM_ZEMA;
        fclose(f);
        remove(path.c_str());
        EXPECT_TRUE(loaded);
    }
    ~Loaded() {
        if (loaded) elf_free(&e);
    }
    Loaded(const Loaded &) = delete;
    Loaded &operator=(const Loaded &) = delete;

    std::string section_name(uint32_t i) const {
        return reinterpret_cast<const char *>(e.section[e.Ehdr.e_shstrndx]) + e.Shdr[i].sh_name;
    }
    uint32_t section(const std::string &name) const {
        for (uint32_t i = 1; i < e.Ehdr.e_shnum; ++i)
            if (section_name(i) == name) return i;
        ADD_FAILURE() << "no section " << name;
        return 0;
    }
    Bytes contents(const std::string &name) const {
        uint32_t i = section(name);
        const uint8_t *p = e.section[i];
        return p ? Bytes(p, p + e.Shdr[i].sh_size) : Bytes{};
    }
    const Elf32_Sym &symbol(const std::string &name) const {
        const Elf32_Sym *table = e.sym[e.symtab_ndx];
        uint32_t count = e.Shdr[e.symtab_ndx].sh_size / SYM_ENTSIZE;
        const char *strings = reinterpret_cast<const char *>(e.section[e.strtab_ndx]);
        for (uint32_t i = 0; i < count; ++i)
            if (name == strings + table[i].st_name) return table[i];
        ADD_FAILURE() << "no symbol " << name;
        return table[0];
    }
    std::vector<Elf32_Rela> relocs(const std::string &target) const {
        uint32_t t = section(target);
        for (uint32_t i = 1; i < e.Ehdr.e_shnum; ++i)
            if (e.Shdr[i].sh_type == SHT_RELA && e.Shdr[i].sh_info == t)
                return {e.rela[i], e.rela[i] + e.Shdr[i].sh_size / RELA_ENTSIZE};
        return {};
    }

    Elf_struct e;
    bool loaded = false;
    Bytes image;
    std::vector<ZobjWord> words;
};

uint64_t encode(uint32_t arch, const char *record, const lib::OperandValues &values) {
    uint64_t bits = 0;
    EXPECT_TRUE(lib::Encode(arch, record, values, &bits)) << record;
    return bits;
}

Bytes word_bytes(uint64_t bits, unsigned width, bool swap_units) {
    Bytes b = lib::WordBytes(bits, width);
    if (swap_units)
        for (size_t i = 0; i + 1 < b.size(); i += 2) std::swap(b[i], b[i + 1]);
    return b;
}

TEST(Zobj, Statements) {
    struct Case {
        const char *name;
        std::string text;
        std::function<void(const Loaded &)> check;
    };
    const Case cases[] = {
        {"header by name", "elf executable big zema3 shift=4 entry=0x100",
         [](const Loaded &l) {
             EXPECT_EQ(l.e.Ehdr.e_type, ET_EXEC);
             EXPECT_EQ(l.e.Ehdr.e_ident[5], 2);
             EXPECT_EQ(l.e.Ehdr.e_flags, 0x0403u);
             EXPECT_EQ(l.e.Ehdr.e_entry, 0x100u);
             EXPECT_EQ(l.e.Ehdr.e_machine, EM_ZEMA);
         }},
        {"section settings",
         "elf zema2\n"
         "section .ov overlay2 flags=wa,rixu addr=0x100 align=8 info=0x2000 entsize=4\n"
         "  byte 1\n"
         "section .n type=0x70000000 flags=e+0x80\n"
         "section .q type=17 flags=none link=symtab\n",
         [](const Loaded &l) {
             const Elf32_Shdr &ov = l.e.Shdr[l.section(".ov")];
             EXPECT_EQ(ov.sh_type, SHT_OVERLAY2);
             EXPECT_EQ(ov.sh_flags, SHF_WRITE | SHF_ALLOC | SHF_RIXU);
             EXPECT_EQ(ov.sh_addr, 0x100u);
             EXPECT_EQ(ov.sh_addralign, 8u);
             EXPECT_EQ(ov.sh_info, 0x2000u);
             EXPECT_EQ(ov.sh_entsize, 4u);
             EXPECT_EQ(ov.sh_size, 1u);
             const Elf32_Shdr &n = l.e.Shdr[l.section(".n")];
             EXPECT_EQ(n.sh_type, SHT_OVERLAY);
             EXPECT_EQ(n.sh_flags, SHF_EXECINSTR | 0x80u);
             EXPECT_EQ(l.e.Shdr[l.section(".q")].sh_type, 17u);
             EXPECT_EQ(l.e.Shdr[l.section(".q")].sh_link, l.e.symtab_ndx);
         }},
        {"data values in the file's byte order",
         "elf big\nsection .data\n  byte 1 0xFF -1\n  hword 0x1234 -2\n  word 0x01020304 -1\n",
         [](const Loaded &l) {
             EXPECT_EQ(l.contents(".data"), (Bytes{1, 0xFF, 0xFF, 0x12, 0x34, 0xFF, 0xFE, 1, 2, 3,
                                                   4, 0xFF, 0xFF, 0xFF, 0xFF}));
         }},
        {"symbols",
         "elf\nsection .text flags=ae\n"
         "symbol main value=0x10 size=40 func global section=.text other=2\n"
         "symbol \"dir/a b.asm\" file abs\n"
         "symbol \"C:\\src\\x \\\"1\\\".asm\" file abs\n"
         "symbol C:\\src\\y.asm file abs\n"
         "symbol COUNT value=-1 size=4 object global abs\n"
         "symbol ext\n"
         "symbol sec section section=1 type=3\n"
         "symbol w bind=weak type=9 section=common\n",
         [](const Loaded &l) {
             const Elf32_Sym &m = l.symbol("main");
             EXPECT_EQ(m.st_value, 0x10u);
             EXPECT_EQ(m.st_size, 40u);
             EXPECT_EQ(m.st_info, (STB_GLOBAL << 4) | STT_FUNC);
             EXPECT_EQ(m.st_other, 2);
             EXPECT_EQ(m.st_shndx, 1);
             EXPECT_EQ(l.symbol("dir/a b.asm").st_info, STT_FILE);
             EXPECT_EQ(l.symbol("dir/a b.asm").st_shndx, SHN_ABS);
             EXPECT_EQ(l.symbol("C:\\src\\x \"1\".asm").st_info, STT_FILE);
             EXPECT_EQ(l.symbol("C:\\src\\y.asm").st_info, STT_FILE);
             EXPECT_EQ(l.symbol("COUNT").st_value, 0xFFFFFFFFu);
             EXPECT_EQ(l.symbol("COUNT").st_info, (STB_GLOBAL << 4) | STT_OBJECT);
             EXPECT_EQ(l.symbol("ext").st_shndx, 0);
             EXPECT_EQ(l.symbol("ext").st_info, STT_NOTYPE);
             EXPECT_EQ(l.symbol("sec").st_info, STT_SECTION);
             EXPECT_EQ(l.symbol("w").st_info, (2 << 4) | 9);
             EXPECT_EQ(l.symbol("w").st_shndx, 0xFFF2);
         }},
        {"labels take offsets, or addresses in executables",
         "elf executable\nsection .text flags=ae addr=0x1000\n  fill 8\n"
         "label here func global size=8\n  label inside at=.+4\n  label back at=.-8\n"
         "label fixed at=0x20\n",
         [](const Loaded &l) {
             EXPECT_EQ(l.symbol("here").st_value, 0x1008u);
             EXPECT_EQ(l.symbol("here").st_info, (STB_GLOBAL << 4) | STT_FUNC);
             EXPECT_EQ(l.symbol("here").st_size, 8u);
             EXPECT_EQ(l.symbol("here").st_shndx, 1);
             EXPECT_EQ(l.symbol("inside").st_value, 0x100Cu);
             EXPECT_EQ(l.symbol("back").st_value, 0x1000u);
             EXPECT_EQ(l.symbol("fixed").st_value, 0x1020u);
         }},
        {"expression entries",
         "elf\nsection .data\n  fill 4\n"
         "  expr . start end - 2 >> end(12)\n"
         "  expr 8 dot(0) dot(loop+8) -4 neg ~ ! op(24) op(0) || end(13) in=.data\n"
         "symbol start\nsymbol end\nsymbol loop\n",
         [](const Loaded &l) {
             struct E {
                 uint32_t offset, info;
                 int32_t addend;
             };
             const E want[] = {{4, 0x1FD, 0}, {4, 0x2FD, 0}, {4, 0xFE, 8},  {4, 0xFD, 2},
                               {4, 0xFE, 12}, {4, 0xFF, 12}, {8, 0xFC, 0},  {8, 0x3FC, 8},
                               {8, 0xFD, -4}, {8, 0xFE, 1},  {8, 0xFE, 2},  {8, 0xFE, 3},
                               {8, 0xFE, 24}, {8, 0xFE, 0},  {8, 0xFE, 23}, {8, 0xFF, 13}};
             std::vector<Elf32_Rela> r = l.relocs(".data");
             ASSERT_EQ(r.size(), std::size(want));
             for (size_t i = 0; i < r.size(); ++i) {
                 EXPECT_EQ(r[i].r_offset, want[i].offset) << i;
                 EXPECT_EQ(r[i].r_info, want[i].info) << i;
                 EXPECT_EQ(r[i].r_addend, want[i].addend) << i;
             }
         }},
        {"QZ memory spaces",
         "elf\nsection .text flags=ae\nsection .data\nqzinfo .data 1\nqzinfo 1 0\n",
         [](const Loaded &l) {
             ASSERT_NE(l.e.qz_info, nullptr);
             EXPECT_EQ(l.e.qz_info[1].space, 0u);
             EXPECT_EQ(l.e.qz_info[1].unset, 0u);
             EXPECT_EQ(l.e.qz_info[2].space, 1u);
             EXPECT_EQ(l.e.qz_info[2].unset, 0u);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Loaded l(c.text);
        if (l.loaded) c.check(l);
    }
}

TEST(Zobj, InstructionWordsComeFromTheEncoder) {
    using lib::ARCH_RIXU2;
    using lib::ARCH_ZEMA1;
    using lib::ARCH_ZEMA3;
    uint64_t set_loop = encode(ARCH_ZEMA1, "set_loop_I_I", {{"ITER_CNT", 3}, {"LOOP_SIZE_R10", 2}});
    uint64_t mv_g1 = encode(ARCH_ZEMA1, "mv_gp_I16", {{"GP", 1}, {"IM16R4", 0x1234}});
    uint64_t two_s = encode(ARCH_ZEMA1, "opXSSZ", {{"opS_HI", set_loop}, {"opS_LO", mv_g1}});
    uint64_t add_a1 = encode(ARCH_ZEMA1, "add_aX_Is8_A", {{"AA", 1}, {"IM8s", 0xFE}});
    uint64_t loop = encode(ARCH_ZEMA1, "loop_begin", {});
    uint64_t abvz = encode(ARCH_ZEMA1, "opXABVZ", {{"opA", add_a1}, {"opZ", loop}});
    uint64_t long_c = encode(ARCH_ZEMA1, "add_aX_Is17", {{"AA", 1}, {"IM17sR13", 0x1FFFF}});
    uint64_t rts = encode(ARCH_ZEMA1, "rts", {});
    uint64_t long_z = encode(ARCH_ZEMA1, "mv_aX_I17", {{"AA", 2}, {"IM17R13", 0x20}, {"opZ", rts}});
    uint64_t rixu = encode(ARCH_RIXU2, "add_aX_Is9", {{"AA", 1}, {"IM9s", 0x1FF}});

    struct Case {
        const char *name;
        std::string text;
        Bytes want;
    };
    const Case cases[] = {
        {"two-S packet with table texts",
         "packet opXSSZ opS_HI=(set_loop_I_I ITER_CNT=3 LOOP_SIZE_R10=2) "
         "opS_LO=(mv_gp_I16 GP=g1 IM16R4=0x1234)",
         word_bytes(two_s, 64, false)},
        {"A slot with a negative offset and a control slot",
         "packet opXABVZ opA=(add_aX_Is8_A AA=a1 IM8s=-2) opZ=(loop_begin)",
         word_bytes(abvz, 64, false)},
        {"long instruction with raw bits", "insn add_aX_Is17 AA=1 IM17sR13=0x1FFFF",
         word_bytes(long_c, 64, false)},
        {"long instruction with a negative value", "insn add_aX_Is17 AA=a1 IM17sR13=-1",
         word_bytes(long_c, 64, false)},
        {"long instruction with its control slot", "insn mv_aX_I17 AA=a2 IM17R13=0x20 opZ=(rts)",
         word_bytes(long_z, 64, false)},
        {"whole-word record", "insn done", Bytes(8, 0)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (const char *order : {"little", "big"}) {
            Loaded l(std::string("elf zema1 ") + order + "\nsection .text flags=ae\n  " + c.text +
                     "\n");
            if (!l.loaded) continue;
            bool big = std::string(order) == "big";
            Bytes want = c.want;
            if (big)
                for (size_t i = 0; i + 1 < want.size(); i += 2) std::swap(want[i], want[i + 1]);
            EXPECT_EQ(l.contents(".text"), want) << order;
            ASSERT_EQ(l.words.size(), 1u);
            EXPECT_EQ(l.words[0].bytes, c.want); // as the decoder reads them
            EXPECT_EQ(l.words[0].arch, ARCH_ZEMA1);
        }
    }

    // The section flag and the file's architecture code choose the instruction set.
    Loaded r("elf zema2 shift=4\nsection .r flags=ae,rixu\n  insn add_aX_Is9 AA=a1 IM9s=-1\n"
             "section .z flags=ae isa=zema3\n  insn opXDZ\n");
    if (r.loaded) {
        EXPECT_EQ(r.contents(".r"), word_bytes(rixu, 32, false));
        ASSERT_EQ(r.words.size(), 2u);
        EXPECT_EQ(r.words[0].arch, ARCH_RIXU2);
        EXPECT_EQ(r.words[0].au_count, 16);
        EXPECT_EQ(r.words[1].arch, ARCH_ZEMA3);
        EXPECT_EQ(r.contents(".z"), word_bytes(encode(ARCH_ZEMA3, "opXDZ", {}), 64, false));
    }
}

TEST(Zobj, BadStatementsNameTheirLine) {
    struct Case {
        std::string text, message;
    };
    const std::string head = "elf\nsection .t flags=ae\n";
    const Case cases[] = {
        {"", "t.zobj:0: the description is empty; it needs an 'elf' or 'binary' statement"},
        {"section .t\n", "t.zobj:1: the first statement must be 'elf' or 'binary'"},
        {"elf wide\n", "t.zobj:1: unknown word 'wide' in 'elf'"},
        {"elf\nfrob\n", "t.zobj:2: unknown statement 'frob'"},
        {"elf\nbyte 1\n", "t.zobj:2: 'byte' outside a section"},
        {head + "byte 256\n", "t.zobj:3: byte 256 does not fit 8 bits"},
        {head + "insn nosuch\n", "t.zobj:3: no zema1 record named 'nosuch'"},
        {head + "insn mv_aX_I17 AA=a7\n",
         "t.zobj:3: 'a7' is not a value of operand AA (values: 'a0' 'a1' 'a2' 'a3')"},
        {head + "insn mv_aX_I17 AA=4\n",
         "t.zobj:3: value 4 does not fit the 2-bit operand AA of mv_aX_I17"},
        {head + "insn opXSSZ opS_HI=(opS_nop\n", "t.zobj:3: missing ')' in 'opS_HI=(opS_nop'"},
        {head + "packet mv_aX_I17\n",
         "t.zobj:3: mv_aX_I17 is not a packet format; use 'insn' for it"},
        {head + "reloc 0 8 main\nsymbol x\n", "t.zobj:3: no symbol named 'main'"},
        {head + "fill 0x3FFFFFF\nfill 2\n", "t.zobj:4: a section's contents may not exceed 64 MB"},
    };
    for (const Case &c : cases) {
        ZobjResult r = build_zobj(c.text, "t.zobj");
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.error, c.message) << c.text;
    }
}

} // namespace
} // namespace zema_test
