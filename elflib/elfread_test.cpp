#include "elflib/elfread.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sys/resource.h>

#include "tools/writers/ar_writer.h"
#include "tools/writers/elf_writer.h"

namespace {

using zema_test::ByteOrder;
using zema_test::Bytes;
using zema_test::ElfWriter;

constexpr uint32_t R_EXPR_END = 0xFF;

// An image file on disk for the length of one test.
struct TempFile {
    std::string path;
    explicit TempFile(const Bytes &bytes) : path(zema_test::temp_path("elf")) {
        zema_test::write_bytes(path, bytes);
    }
    ~TempFile() { remove(path.c_str()); }
};

uint16_t probe(const Bytes &bytes, long base = 0) {
    TempFile f(bytes);
    FILE *s = fopen(f.path.c_str(), "rb");
    uint16_t machine = elf_read(s, base, nullptr);
    fclose(s);
    return machine;
}

uint16_t load(const Bytes &bytes, Elf_struct *e, long base = 0) {
    TempFile f(bytes);
    FILE *s = fopen(f.path.c_str(), "rb");
    uint16_t machine = elf_read(s, base, e);
    fclose(s);
    return machine;
}

// A file with one of everything: code with a segment, data, BSS, symbols,
// RELA, REL, a dynamic table and QZ info records.
ElfWriter full_image(ByteOrder order) {
    ElfWriter w(order);
    w.type(ET_EXEC).flags(0x0403).entry(0x100);
    uint32_t text = w.section(".text")
                        .flags(SHF_ALLOC | SHF_EXECINSTR)
                        .addr(0x100)
                        .data({1, 2, 3, 4, 5, 6, 7, 8})
                        .index();
    uint32_t data =
        w.section(".data").flags(SHF_ALLOC | SHF_WRITE).addr(0x200).data(w.u32(7)).index();
    w.section(".bss").type(SHT_NOBITS).flags(SHF_ALLOC | SHF_WRITE).size(0x40);
    uint32_t dyn = w.section(".dynamic").type(SHT_DYNAMIC).entsize(DYN_ENTSIZE).index();
    Bytes dyn_bytes = w.u32(1);
    for (uint32_t v : {0x1234u, 0u, 0u}) {
        Bytes b = w.u32(v);
        dyn_bytes.insert(dyn_bytes.end(), b.begin(), b.end());
    }
    w.section_at(dyn).data(dyn_bytes);
    uint32_t start = w.symbol("start")
                         .value(0x100)
                         .size(8)
                         .type(STT_FUNC)
                         .bind(STB_GLOBAL)
                         .shndx(uint16_t(text))
                         .index();
    uint32_t word = w.symbol("word")
                        .value(0x200)
                        .size(4)
                        .type(STT_OBJECT)
                        .shndx(uint16_t(data))
                        .other(3)
                        .index();
    w.rela(text).add(0, 13, start, -4).add(4, 0xFD, word, 8).add(4, R_EXPR_END, 0, 13);
    w.rel(data).add(0, 12, word);
    w.qz_space(text, 5).qz_space(data, 0x80000001);
    w.segment(1, 0x100, {0xA, 0xB, 0xC}, 8, 5);
    return w;
}

void expect_same_tables(const Elf_struct &a, const Elf_struct &b) {
    EXPECT_EQ(0, memcmp(&a.Ehdr.e_type, &b.Ehdr.e_type,
                        sizeof(Elf32_Ehdr) - offsetof(Elf32_Ehdr, e_type)));
    ASSERT_EQ(a.Ehdr.e_shnum, b.Ehdr.e_shnum);
    ASSERT_EQ(a.Ehdr.e_phnum, b.Ehdr.e_phnum);
    for (unsigned i = 0; i < a.Ehdr.e_phnum; i++)
        EXPECT_EQ(0, memcmp(&a.Phdr[i], &b.Phdr[i], sizeof(Elf32_Phdr))) << "phdr " << i;
    for (unsigned i = 0; i < a.Ehdr.e_shnum; i++) {
        const Elf32_Shdr &s = a.Shdr[i];
        EXPECT_EQ(0, memcmp(&s, &b.Shdr[i], sizeof s)) << "shdr " << i;
        EXPECT_EQ(a.sym[i] == nullptr, b.sym[i] == nullptr) << i;
        EXPECT_EQ(a.rel[i] == nullptr, b.rel[i] == nullptr) << i;
        EXPECT_EQ(a.rela[i] == nullptr, b.rela[i] == nullptr) << i;
        EXPECT_EQ(a.dyn[i] == nullptr, b.dyn[i] == nullptr) << i;
        EXPECT_EQ(a.section[i] == nullptr, b.section[i] == nullptr) << i;
        for (uint32_t k = 0; a.sym[i] && k < s.sh_size / SYM_ENTSIZE; k++)
            EXPECT_EQ(0, memcmp(&a.sym[i][k], &b.sym[i][k], sizeof(Elf32_Sym))) << i << ":" << k;
        for (uint32_t k = 0; a.rel[i] && k < s.sh_size / REL_ENTSIZE; k++)
            EXPECT_EQ(0, memcmp(&a.rel[i][k], &b.rel[i][k], sizeof(Elf32_Rel))) << i << ":" << k;
        for (uint32_t k = 0; a.rela[i] && k < s.sh_size / RELA_ENTSIZE; k++)
            EXPECT_EQ(0, memcmp(&a.rela[i][k], &b.rela[i][k], sizeof(Elf32_Rela))) << i << ":" << k;
        for (uint32_t k = 0; a.dyn[i] && k < s.sh_size / DYN_ENTSIZE; k++)
            EXPECT_EQ(0, memcmp(&a.dyn[i][k], &b.dyn[i][k], sizeof(Elf32_Dyn))) << i << ":" << k;
    }
    ASSERT_TRUE(a.qz_info && b.qz_info);
    EXPECT_EQ(0, memcmp(a.qz_info, b.qz_info, a.Ehdr.e_shnum * sizeof(qz_info_entry)));
    EXPECT_EQ(a.symtab_ndx, b.symtab_ndx);
    EXPECT_EQ(a.strtab_ndx, b.strtab_ndx);
    EXPECT_EQ(a.qz_info_ndx, b.qz_info_ndx);
}

TEST(ElfRead, BigEndianImageEqualsLittleEndianTwin) {
    Elf_struct le{}, be{};
    ASSERT_EQ(load(full_image(ByteOrder::Little).build(), &le), EM_ZEMA);
    ASSERT_EQ(load(full_image(ByteOrder::Big).build(), &be), EM_ZEMA);
    EXPECT_EQ(le.Ehdr.e_ident[5], 1);
    EXPECT_EQ(be.Ehdr.e_ident[5], 2);
    expect_same_tables(le, be);
    // Raw contents keep the file's byte order.
    EXPECT_EQ(le.section[2][0], 7);
    EXPECT_EQ(be.section[2][3], 7);
    elf_free(&le);
    elf_free(&be);
}

TEST(ElfRead, DecodesEveryTable) {
    ElfWriter w = full_image(ByteOrder::Big);
    Elf_struct e{};
    ASSERT_EQ(load(w.build(), &e), EM_ZEMA);
    EXPECT_EQ(e.Ehdr.e_type, ET_EXEC);
    EXPECT_EQ(e.Ehdr.e_flags, 0x0403u);
    EXPECT_EQ(e.Ehdr.e_entry, 0x100u);
    EXPECT_EQ(e.symtab_ndx, w.symtab_index());
    EXPECT_EQ(e.strtab_ndx, w.strtab_index());
    EXPECT_EQ(e.qz_info_ndx, w.qz_info_index());
    EXPECT_EQ(e.dynsym_ndx, 0u);

    const Elf32_Sym *sym = e.sym[e.symtab_ndx];
    const char *names = reinterpret_cast<const char *>(e.section[e.strtab_ndx]);
    EXPECT_STREQ(names + sym[1].st_name, "start");
    EXPECT_EQ(sym[1].st_value, 0x100u);
    EXPECT_EQ(sym[1].st_size, 8u);
    EXPECT_EQ(elf_st_type(sym[1].st_info), STT_FUNC);
    EXPECT_EQ(elf_st_bind(sym[1].st_info), STB_GLOBAL);
    EXPECT_EQ(sym[2].st_other, 3);
    EXPECT_EQ(sym[2].st_shndx, 2);

    const Elf32_Rela *rela = e.rela[5];
    ASSERT_NE(rela, nullptr);
    EXPECT_EQ(e.Shdr[5].sh_info, 1u);
    EXPECT_EQ(rela[0].r_addend, -4);
    EXPECT_EQ(elf_r_type(rela[0].r_info), 13u);
    EXPECT_EQ(elf_r_sym(rela[0].r_info), 1u);
    EXPECT_EQ(rela[1].r_offset, 4u);
    EXPECT_EQ(elf_r_type(rela[2].r_info), R_EXPR_END);
    ASSERT_NE(e.rel[6], nullptr);
    EXPECT_EQ(elf_r_sym(e.rel[6][0].r_info), 2u);

    ASSERT_NE(e.dyn[4], nullptr);
    EXPECT_EQ(e.dyn[4][0].d_tag, 1u);
    EXPECT_EQ(e.dyn[4][0].d_val, 0x1234u);

    EXPECT_EQ(e.section[3], nullptr); // NOBITS
    EXPECT_EQ(e.Shdr[3].sh_size, 0x40u);
    EXPECT_EQ(e.section[0], nullptr);

    ASSERT_NE(e.qz_info, nullptr);
    EXPECT_EQ(e.qz_info[1].space, 5u);
    EXPECT_EQ(e.qz_info[1].unset, 0u);
    EXPECT_EQ(e.qz_info[2].space, 0x80000001u);
    EXPECT_EQ(e.qz_info[3].space, 0u);
    EXPECT_EQ(e.qz_info[3].unset, 1u);
    elf_free(&e);
}

// A table section is held once, as its table; the raw slot stays empty.
TEST(ElfRead, TableSectionsKeepOnlyTheirTable) {
    for (ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        ElfWriter w = full_image(order);
        Elf_struct e{};
        ASSERT_EQ(load(w.build(), &e), EM_ZEMA);
        struct Slot {
            uint32_t type;
            const void *table;
        };
        for (uint32_t i = 1; i < e.Ehdr.e_shnum; i++) {
            uint32_t type = e.Shdr[i].sh_type;
            const Slot slots[] = {{SHT_SYMTAB, e.sym[i]},
                                  {SHT_REL, e.rel[i]},
                                  {SHT_RELA, e.rela[i]},
                                  {SHT_DYNAMIC, e.dyn[i]}};
            for (const Slot &slot : slots) EXPECT_EQ(slot.table != nullptr, slot.type == type) << i;
            bool table =
                type == SHT_SYMTAB || type == SHT_REL || type == SHT_RELA || type == SHT_DYNAMIC;
            bool contents = !table && type != SHT_NOBITS;
            EXPECT_EQ(e.section[i] != nullptr, contents) << i;
        }
        elf_free(&e);
    }
}

// Entries are decoded where they were read: every entry must come out whole,
// whatever its neighbours, and bytes after the last whole entry are ignored.
TEST(ElfRead, TablesDecodedInPlace) {
    struct Case {
        const char *what;
        ByteOrder order;
        uint32_t entries;
        uint32_t leftover;
    } cases[] = {
        {"one entry", ByteOrder::Little, 1, 0},
        {"many entries", ByteOrder::Big, 300, 0},
        {"leftover bytes", ByteOrder::Little, 5, 11},
        {"leftover only", ByteOrder::Big, 0, 7},
    };
    for (const Case &c : cases) {
        ElfWriter w(c.order);
        uint32_t text = w.section(".text").data({1, 2, 3, 4}).index();
        uint32_t sym = w.symbol("s").index();
        auto rela = w.rela(text);
        for (uint32_t k = 0; k < c.entries; k++)
            rela.add(k * 4, 13 + k % 200, sym, int32_t(k * 0x9E3779B9u));
        uint32_t index = rela.index();
        // The section headers follow the contents, so the leftover bytes lie
        // inside the image.
        w.section_at(index).size(c.entries * RELA_ENTSIZE + c.leftover);
        Bytes image = w.build();
        Elf_struct e{};
        ASSERT_EQ(load(image, &e), EM_ZEMA) << c.what;
        ASSERT_NE(e.rela[index], nullptr) << c.what;
        for (uint32_t k = 0; k < c.entries; k++) {
            const Elf32_Rela &r = e.rela[index][k];
            EXPECT_EQ(r.r_offset, k * 4) << c.what << k;
            EXPECT_EQ(elf_r_type(r.r_info), 13 + k % 200) << c.what << k;
            EXPECT_EQ(elf_r_sym(r.r_info), sym) << c.what << k;
            EXPECT_EQ(r.r_addend, int32_t(k * 0x9E3779B9u)) << c.what << k;
        }
        elf_free(&e);
    }
}

TEST(ElfRead, SegmentHeadersDecoded) {
    Elf_struct e{};
    ASSERT_EQ(load(full_image(ByteOrder::Big).build(), &e), EM_ZEMA);
    ASSERT_EQ(e.Ehdr.e_phnum, 1);
    EXPECT_EQ(e.Phdr[0].p_type, 1u);
    EXPECT_EQ(e.Phdr[0].p_vaddr, 0x100u);
    EXPECT_EQ(e.Phdr[0].p_filesz, 3u);
    EXPECT_EQ(e.Phdr[0].p_memsz, 8u);
    EXPECT_EQ(e.Phdr[0].p_flags, 5u);
    elf_free(&e);
}

void put32(Bytes *image, uint32_t at, uint32_t v) {
    for (int k = 0; k < 4; k++) (*image)[at + k] = uint8_t(v >> (8 * k));
}

// Segment contents are not kept, but the file bytes a segment claims must lie
// in the image, as they did when they were read.
TEST(ElfReadDeathTest, SegmentExtentsChecked) {
    constexpr uint32_t WHOLE = 0xABCD0123; // the size of the image
    struct Case {
        const char *what;
        uint32_t type, offset, filesz;
        bool rejected;
    } cases[] = {
        {"inside", 1, 0, 52, false},
        {"up to the end", 1, 0, WHOLE, false},
        {"one byte past the end", 1, 1, WHOLE, true},
        {"offset past the end, nothing claimed", 1, 0xFFFFFFF0, 0, false},
        {"offset past the end", 1, 0xFFFFFFF0, 1, true},
        {"size wraps the offset", 1, 8, 0xFFFFFFFC, true},
        {"null type is not looked at", 0, 0xFFFFFFF0, 0xFFFF, false},
    };
    for (const Case &c : cases) {
        ElfWriter w;
        w.type(ET_EXEC).segment(1, 0, {1, 2, 3, 4}, 4);
        Bytes image = w.build();
        uint32_t phoff = image[28] | (image[29] << 8);
        uint32_t filesz = c.filesz == WHOLE ? uint32_t(image.size()) : c.filesz;
        put32(&image, phoff, c.type);
        put32(&image, phoff + 4, c.offset);
        put32(&image, phoff + 16, filesz);
        SCOPED_TRACE(c.what);
        if (c.rejected) {
            EXPECT_EXIT(
                {
                    Elf_struct e{};
                    load(image, &e);
                },
                testing::ExitedWithCode(1), testing::HasSubstr("unexpected end of file"));
        } else {
            Elf_struct e{};
            EXPECT_EQ(load(image, &e), EM_ZEMA);
            elf_free(&e);
        }
    }
}

#if defined(__SANITIZE_ADDRESS__)
#define UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ASAN 1
#endif
#endif

// Loads the image in a child whose address space is limited to 1 GB, so that
// a reader that believes a size field allocates more than the file holds and
// fails. The sanitizers' shadow memory needs more than that.
void load_with_little_memory(const Bytes &image) {
#ifndef UNDER_ASAN
    rlimit limit{1u << 30, 1u << 30};
    setrlimit(RLIMIT_AS, &limit);
#endif
    Elf_struct e{};
    uint16_t machine = load(image, &e);
    elf_free(&e);
    exit(machine == EM_ZEMA ? 0 : 2);
}

TEST(ElfReadDeathTest, SizeFieldsClaimNoMoreMemoryThanTheFileHolds) {
    // Sixteen segments of 4 GB that the file does not back: nothing to store.
    ElfWriter huge_segments;
    huge_segments.type(ET_EXEC);
    for (int k = 0; k < 16; k++) huge_segments.segment(1, 0, {}, 0xFFFFFFFF);
    EXPECT_EXIT(load_with_little_memory(huge_segments.build()), testing::ExitedWithCode(0), "");

    // File sizes beyond the file end as a short read, before any allocation.
    ElfWriter big_filesz;
    big_filesz.segment(1, 0, {1, 2, 3}, 3);
    Bytes image = big_filesz.build();
    uint32_t phoff = image[28] | (image[29] << 8);
    for (int k = 0; k < 4; k++) image[phoff + 16 + k] = 0xFF; // p_filesz
    EXPECT_EXIT(load_with_little_memory(image), testing::ExitedWithCode(1),
                testing::HasSubstr("unexpected end of file"));

    ElfWriter big_section;
    big_section.section(".text").data({1, 2, 3, 4}).size(0xFFFFFF00);
    EXPECT_EXIT(load_with_little_memory(big_section.build()), testing::ExitedWithCode(1),
                testing::HasSubstr("unexpected end of file"));
}

TEST(ElfRead, NoHeadersLeaveArraysEmpty) {
    ElfWriter w;
    w.without_shstrtab().shnum(0);
    Elf_struct e{};
    ASSERT_EQ(load(w.build(), &e), EM_ZEMA);
    EXPECT_EQ(e.Phdr, nullptr);
    EXPECT_EQ(e.Shdr, nullptr);
    EXPECT_EQ(e.sym, nullptr);
    EXPECT_EQ(e.section, nullptr);
    EXPECT_EQ(e.qz_info, nullptr);
    elf_free(&e);
}

TEST(ElfRead, SizeZeroSectionsGetNothing) {
    ElfWriter w;
    uint32_t st = w.section(".empty_symtab").type(SHT_SYMTAB).entsize(0).link(99).index();
    uint32_t rl = w.section(".empty_rela").type(SHT_RELA).entsize(1).index();
    uint32_t pb = w.section(".empty").index();
    uint32_t qz = w.section(".empty_qz").type(SHT_QZ_INFO).index();
    Elf_struct e{};
    ASSERT_EQ(load(w.build(), &e), EM_ZEMA);
    EXPECT_EQ(e.symtab_ndx, 0u);
    EXPECT_EQ(e.qz_info_ndx, 0u);
    for (uint32_t i : {st, rl, pb, qz}) {
        EXPECT_EQ(e.sym[i], nullptr) << i;
        EXPECT_EQ(e.rela[i], nullptr) << i;
        EXPECT_EQ(e.section[i], nullptr) << i;
    }
    elf_free(&e);
}

TEST(ElfRead, ImageAtArchiveMemberOffset) {
    Bytes elf = full_image(ByteOrder::Big).build();
    zema_test::ArWriter ar;
    ar.member("x.txt", {'h', 'i', '\n'}).member("a.o", elf);
    Bytes archive = ar.build();
    long base = 8 + 60 + 4 + 60; // magic, header, 3 bytes padded to 4, header
    EXPECT_EQ(probe(archive, 8 + 60), 0);
    EXPECT_EQ(probe(archive, base), EM_ZEMA);
    Elf_struct e{};
    ASSERT_EQ(load(archive, &e, base), EM_ZEMA);
    EXPECT_EQ(e.sym[e.symtab_ndx][1].st_value, 0x100u);
    EXPECT_EQ(e.section[1][7], 8);
    elf_free(&e);
}

TEST(ElfRead, ProbeOfNonElfReturnsZero) {
    Bytes good = ElfWriter().build();
    struct Case {
        const char *what;
        Bytes bytes;
    } cases[] = {
        {"empty file", {}},
        {"short identification", Bytes(good.begin(), good.begin() + 15)},
        {"short header", Bytes(good.begin(), good.begin() + 51)},
        {"bad magic", ElfWriter().ident_byte(1, 'e').build()},
        {"EI_DATA 0", ElfWriter().ident_byte(5, 0).build()},
        {"EI_DATA 3", ElfWriter().ident_byte(5, 3).build()},
        {"ar archive", zema_test::ArWriter().member("a.o", good).build()},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(probe(c.bytes), 0) << c.what;
        Elf_struct e{};
        EXPECT_EQ(load(c.bytes, &e), 0) << c.what;
        EXPECT_EQ(e.Shdr, nullptr) << c.what;
    }
}

TEST(ElfRead, ProbeReturnsAnyMachineAndIgnoresClassAndVersion) {
    EXPECT_EQ(probe(ElfWriter().machine(0x28).build()), 0x28);
    EXPECT_EQ(probe(ElfWriter(ByteOrder::Big).machine(0x1234).build()), 0x1234);
    EXPECT_EQ(probe(ElfWriter().ident_byte(4, 2).version(7).build()), EM_ZEMA);
}

TEST(ElfRead, FreeThenReloadIntoSameRecord) {
    Elf_struct e{};
    ASSERT_EQ(load(full_image(ByteOrder::Little).build(), &e), EM_ZEMA);
    elf_free(&e);
    EXPECT_EQ(e.Phdr, nullptr);
    EXPECT_EQ(e.Shdr, nullptr);
    EXPECT_EQ(e.sym, nullptr);
    EXPECT_EQ(e.rel, nullptr);
    EXPECT_EQ(e.rela, nullptr);
    EXPECT_EQ(e.dyn, nullptr);
    EXPECT_EQ(e.section, nullptr);
    EXPECT_EQ(e.qz_info, nullptr);
    EXPECT_EQ(e.Ehdr.e_machine, EM_ZEMA); // header fields stay

    ElfWriter w(ByteOrder::Big);
    w.section(".text").data({9});
    ASSERT_EQ(load(w.build(), &e), EM_ZEMA);
    EXPECT_EQ(e.Ehdr.e_phnum, 0);
    EXPECT_EQ(e.symtab_ndx, 0u);
    EXPECT_EQ(e.qz_info_ndx, 0u);
    EXPECT_EQ(e.section[1][0], 9);
    elf_free(&e);
    elf_free(&e); // a second release finds nothing to free
}

// --- QZ info walk ----------------------------------------------------------

Bytes qz_bytes(const ElfWriter &w, std::initializer_list<Bytes> records) {
    Bytes out;
    for (const Bytes &r : records) out.insert(out.end(), r.begin(), r.end());
    (void)w;
    return out;
}

TEST(ElfRead, QzInfoWalk) {
    ElfWriter ref;
    Bytes other_type = ref.u32(7);
    other_type.insert(other_type.end(), {3, 15, 15}); // a non-15 record whatever its contents
    Bytes terminator = ref.u32(0);
    Bytes garbage = {0xEE, 0xEE, 0xEE};
    struct Case {
        const char *what;
        Bytes contents;
        bool table;
        uint32_t space1, unset1;
    } cases[] = {
        {"first record of size 0", qz_bytes(ref, {terminator, ref.qz_record(1, 4)}), false, 0, 0},
        {"other type only", qz_bytes(ref, {other_type}), false, 0, 0},
        {"other type then 15", qz_bytes(ref, {other_type, ref.qz_record(1, 4)}), true, 4, 0},
        {"later record replaces", qz_bytes(ref, {ref.qz_record(1, 4), ref.qz_record(1, 6)}), true,
         6, 0},
        {"size 0 stops the walk", qz_bytes(ref, {ref.qz_record(2, 4), terminator, garbage}), true,
         0, 1},
    };
    for (const Case &c : cases) {
        ElfWriter w;
        w.section(".a").data({0});
        w.section(".b").data({0});
        w.section(".qz").type(SHT_QZ_INFO).data(c.contents);
        Elf_struct e{};
        ASSERT_EQ(load(w.build(), &e), EM_ZEMA) << c.what;
        EXPECT_EQ(e.qz_info_ndx, 3u) << c.what;
        ASSERT_EQ(e.qz_info != nullptr, c.table) << c.what;
        if (c.table) {
            EXPECT_EQ(e.qz_info[1].space, c.space1) << c.what;
            EXPECT_EQ(e.qz_info[1].unset, c.unset1) << c.what;
        }
        elf_free(&e);
    }
}

// --- fatal checks ------------------------------------------------------------

struct FatalCase {
    const char *condition;
    std::function<Bytes()> image;
};

Bytes with_qz(std::initializer_list<Bytes> records) {
    ElfWriter w;
    w.section(".a").data({0});
    for (const Bytes &r : records) w.qz_raw(r);
    return w.build();
}

Bytes le32(uint32_t v) {
    return ElfWriter().u32(v);
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const FatalCase fatal_cases[] = {
    {"Ehdr->e_ehsize == ELF32_EHDR_SIZE", [] { return ElfWriter().ehsize(64).build(); }},
    {"(Ehdr->e_phnum == 0) || (Ehdr->e_phentsize == ELF32_PHENTSIZE)",
     [] { return ElfWriter().segment(1, 0, {1}, 1).phentsize(56).build(); }},
    {"(Ehdr->e_shnum == 0) || (Ehdr->e_shentsize == ELF32_SHENTSIZE)",
     [] { return ElfWriter(ByteOrder::Big).shentsize(64).build(); }},
    {"e->Shdr[0].sh_size == SHT_NULL",
     [] {
         Bytes b = ElfWriter().build();
         uint32_t shoff = b[32] | (b[33] << 8);
         b[shoff + 20] = 1;
         return b;
     }},
    {"e->qz_info_ndx == 0",
     [] {
         ElfWriter w;
         w.section(".qz1").type(SHT_QZ_INFO).data(w.qz_record(1, 1));
         w.section(".qz2").type(SHT_QZ_INFO).data(w.qz_record(1, 1));
         return w.build();
     }},
    {"e->Shdr[i].sh_entsize == SYM_ENTSIZE",
     [] {
         ElfWriter w;
         w.section(".sym").type(SHT_DYNSYM).entsize(12).data(Bytes(16, 0));
         return w.build();
     }},
    {"e->Shdr[i].sh_size % SYM_ENTSIZE == 0",
     [] {
         ElfWriter w;
         w.symbol("a");
         Bytes b = w.build();
         // sh_size of the symbol table (section 1): one symbol and 4 bytes.
         uint32_t shoff = b[32] | (b[33] << 8);
         b[shoff + 40 + 20] = 16 * 2 + 4;
         return b;
     }},
    {"e->symtab_ndx == 0",
     [] {
         ElfWriter w;
         w.symbol("a");
         w.section(".symtab2").type(SHT_SYMTAB).entsize(16).link(2).data(Bytes(16, 0));
         return w.build();
     }},
    {"e->strtab_ndx > 0 && e->strtab_ndx < Ehdr->e_shnum",
     [] {
         ElfWriter w;
         w.section(".symtab").type(SHT_SYMTAB).entsize(16).link(0).data(Bytes(16, 0));
         return w.build();
     }},
    {"e->dynsym_ndx == 0",
     [] {
         ElfWriter w;
         w.section(".dynsym").type(SHT_DYNSYM).entsize(16).link(3).data(Bytes(16, 0));
         w.section(".dynsym2").type(SHT_DYNSYM).entsize(16).link(3).data(Bytes(16, 0));
         w.section(".dynstr").type(SHT_STRTAB).data({0});
         return w.build();
     }},
    {"e->dynstr_ndx > 0 && e->dynstr_ndx < Ehdr->e_shnum",
     [] {
         ElfWriter w;
         w.section(".dynsym").type(SHT_DYNSYM).entsize(16).link(50).data(Bytes(16, 0));
         return w.build();
     }},
    {"e->Shdr[i].sh_entsize == REL_ENTSIZE",
     [] {
         ElfWriter w;
         w.section(".rel").type(SHT_REL).entsize(12).data(Bytes(8, 0));
         return w.build();
     }},
    {"e->Shdr[i].sh_entsize == RELA_ENTSIZE",
     [] {
         ElfWriter w;
         w.section(".rela").type(SHT_RELA).entsize(8).data(Bytes(12, 0));
         return w.build();
     }},
    {"e->Shdr[i].sh_entsize == DYN_ENTSIZE",
     [] {
         ElfWriter w;
         w.section(".dynamic").type(SHT_DYNAMIC).entsize(16).data(Bytes(8, 0));
         return w.build();
     }},
    {"e->section[e->strtab_ndx]",
     [] {
         ElfWriter w;
         w.section(".symtab").type(SHT_SYMTAB).entsize(16).link(2).data(Bytes(16, 0));
         w.section(".strtab").type(SHT_NOBITS).size(4);
         return w.build();
     }},
    // A table section has no raw contents to read names from.
    {"e->section[e->strtab_ndx]",
     [] {
         ElfWriter w;
         w.section(".symtab").type(SHT_SYMTAB).entsize(16).link(1).data(Bytes(16, 0));
         return w.build();
     }},
    {"e->section[e->dynstr_ndx]",
     [] {
         ElfWriter w;
         w.section(".dynsym").type(SHT_DYNSYM).entsize(16).link(2).data(Bytes(16, 0));
         w.section(".dynstr").type(SHT_STRTAB);
         return w.build();
     }},
    {"Ehdr->e_shstrndx < Ehdr->e_shnum", [] { return ElfWriter().shstrndx(9).build(); }},
    {"e->section[Ehdr->e_shstrndx]",
     [] {
         ElfWriter w;
         w.section(".bss").type(SHT_NOBITS).size(8);
         return w.without_shstrtab().shstrndx(1).build();
     }},
    {"info_size == SIZE_OF_QZ_INFO_TYPE_15",
     [] {
         return with_qz({cat({le32(14), {15}, le32(1), le32(1), {0}})});
     }},
    {"sec_idx < num_sec", [] { return with_qz({ElfWriter().qz_record(9, 1)}); }},
    {"info_size <= size - p",
     [] {
         return with_qz({ElfWriter().qz_record(1, 1), cat({le32(40), {3}, le32(0)})});
     }},
    {"info_size <= size - p",
     [] {
         Bytes r = ElfWriter().qz_record(1, 1);
         return with_qz({Bytes(r.begin(), r.end() - 1)});
     }},
    {"info_size >= QZ_INFO_HEADER_SIZE",
     [] {
         return with_qz({cat({le32(2), {7, 7}})});
     }},
    {"QZ_INFO_SIZE_FIELD <= size - p",
     [] {
         return with_qz({ElfWriter().qz_record(1, 1), {1, 0}});
     }},
};

TEST(ElfReadDeathTest, FatalChecksQuoteTheirCondition) {
    for (const FatalCase &c : fatal_cases) {
        Bytes image = c.image();
        SCOPED_TRACE(c.condition);
        EXPECT_EXIT(
            {
                Elf_struct e{};
                load(image, &e);
            },
            testing::ExitedWithCode(1),
            testing::AllOf(testing::HasSubstr(c.condition), testing::HasSubstr("elflib/elfread")));
    }
}

TEST(ElfReadDeathTest, ProbePerformsHeaderChecks) {
    Bytes image = ElfWriter(ByteOrder::Big).ehsize(40).build();
    EXPECT_EXIT(probe(image), testing::ExitedWithCode(1),
                testing::HasSubstr("Ehdr->e_ehsize == ELF32_EHDR_SIZE"));
}

TEST(ElfReadDeathTest, TruncatedSectionEndsTheRun) {
    ElfWriter w;
    w.section(".text").data({1, 2, 3, 4}).size(4000);
    Bytes image = w.build();
    EXPECT_EXIT(
        {
            Elf_struct e{};
            load(image, &e);
        },
        testing::ExitedWithCode(1), testing::_);
}

} // namespace
