#include <gtest/gtest.h>

#include <cstring>

#include "tools/writers/ar_writer.h"
#include "tools/writers/lod_writer.h"

namespace zema_test {
namespace {

uint32_t be32_at(const Bytes &b, size_t p) {
    return (uint32_t(b[p]) << 24) | (uint32_t(b[p + 1]) << 16) | (uint32_t(b[p + 2]) << 8) |
           b[p + 3];
}

TEST(LodWriter, LineLengths) {
    struct Case {
        size_t length;
        bool crlf;
    } cases[] = {{26, false}, {25, false}, {27, false}, {26, true}, {24, true}};
    for (const Case &c : cases) {
        LodWriter lod;
        lod.crlf(c.crlf).line_of_length(c.length);
        EXPECT_EQ(lod.text().size(), c.length) << c.length << (c.crlf ? " crlf" : "");
        EXPECT_EQ(lod.text().back(), '\n');
    }
}

TEST(LodWriter, DataLinesHoldEightBytesEach) {
    LodWriter lod;
    lod.bytes({1, 2, 3, 4, 5, 6, 7, 8, 0xFF});
    const std::string &t = lod.text();
    ASSERT_EQ(t.size(), 52u);
    EXPECT_EQ(t.substr(0, 23), "01 02 03 04 05 06 07 08");
    EXPECT_EQ(t.substr(26, 23), "FF 00 00 00 00 00 00 00");
    unsigned v[8];
    EXPECT_EQ(sscanf(t.c_str() + 26, "%x %x %x %x %x %x %x %x", &v[0], &v[1], &v[2], &v[3], &v[4],
                     &v[5], &v[6], &v[7]),
              8);
}

TEST(ArWriter, SymbolTableOffsetsPointAtMemberHeaders) {
    ArWriter ar;
    ar.member("a.o", {1, 2, 3}).member("a_very_long_member_name.o", {4, 5}).symbol("f", 1);
    ar.symbol("g", 0);
    Bytes b = ar.build();
    ASSERT_EQ(memcmp(b.data(), "!<arch>\n", 8), 0);
    EXPECT_EQ(memcmp(b.data() + 8, "/               ", 16), 0);
    size_t table = 8 + 60;
    EXPECT_EQ(be32_at(b, table), 2u);
    uint32_t long_member = be32_at(b, table + 4);
    uint32_t short_member = be32_at(b, table + 8);
    EXPECT_EQ(memcmp(b.data() + short_member, "a.o/ ", 5), 0);
    EXPECT_EQ(memcmp(b.data() + long_member, "/0 ", 3), 0);
    EXPECT_EQ(memcmp(b.data() + long_member + 58, "`\n", 2), 0);
    EXPECT_EQ(long_member % 2, 0u);
    EXPECT_EQ(short_member % 2, 0u);
}

TEST(ArWriter, NestedArchiveIsAMember) {
    ArWriter inner;
    inner.member("c.o", {9});
    Bytes inner_bytes = inner.build();
    ArWriter outer;
    outer.member("inner.a", inner_bytes);
    Bytes b = outer.build();
    ASSERT_GE(b.size(), 8 + 60 + inner_bytes.size());
    EXPECT_EQ(memcmp(b.data() + 68, inner_bytes.data(), inner_bytes.size()), 0);
}

TEST(ElfWriter, AutomaticSectionIndices) {
    ElfWriter w;
    uint32_t text = w.section(".text").data({0, 0}).index();
    EXPECT_EQ(text, 1u);
    EXPECT_EQ(w.symtab_index(), 0u);
    w.symbol("x").shndx(uint16_t(text));
    EXPECT_EQ(w.symtab_index(), 2u);
    EXPECT_EQ(w.strtab_index(), 3u);
    w.qz_space(text, 1);
    EXPECT_EQ(w.qz_info_index(), 4u);
    EXPECT_EQ(w.shstrtab_index(), 5u);
}

} // namespace
} // namespace zema_test
