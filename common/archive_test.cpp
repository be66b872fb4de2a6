// The archive reader on archives built in memory: member order, names,
// parents, symbols and the quiet end of a level. Malformed archives that end
// the run are tested through zema-kt (tests/cli).
#include "common/archive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/writers/ar_writer.h"
#include "tools/writers/elf_writer.h"

namespace {

using zema_test::ArWriter;
using zema_test::Bytes;

Bytes object() {
    zema_test::ElfWriter w;
    w.section(".text").type(1).flags(6).data({0, 0, 0, 0, 0, 0, 0, 0});
    return w.build();
}

// Raw archives for what ArWriter does not write: any name field, any size
// field, any trailer.
Bytes raw_member(const std::string &field, const Bytes &data, const char *trailer = "`\n") {
    Bytes b = ArWriter::header(field, data.size(), trailer);
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() % 2) b.push_back('\n');
    return b;
}

Bytes raw_archive(const std::vector<Bytes> &members) {
    Bytes b{'!', '<', 'a', 'r', 'c', 'h', '>', '\n'};
    for (const Bytes &m : members) b.insert(b.end(), m.begin(), m.end());
    return b;
}

class Opened {
  public:
    explicit Opened(const Bytes &bytes) : f_(tmpfile()) {
        if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f_);
        ar = archive_open(f_);
    }
    ~Opened() {
        archive_free(ar);
        fclose(f_);
    }
    Opened(const Opened &) = delete;
    Opened &operator=(const Opened &) = delete;

    // "name<parent" per member in table order; "*" marks a nested archive.
    std::vector<std::string> members() const {
        std::vector<std::string> out;
        for (size_t i = 0; i < ar->member_count; i++) {
            const archive_member *m = ar->member_table[i];
            const char *parent = archive_member_parent(m);
            out.push_back(std::string(m->name) + "<" + (parent ? parent : "root") +
                          (m->nested ? "*" : ""));
        }
        return out;
    }

    archive_struct *ar;

  private:
    FILE *f_;
};

using Names = std::vector<std::string>;

Bytes text(const std::string &s) {
    return Bytes(s.begin(), s.end());
}

TEST(Archive, MembersInFileOrderWithTheirParents) {
    const Bytes obj = object();
    ArWriter inner;
    inner.member("crc.o", obj).member("a_member_name_of_24_c.o", obj);
    ArWriter deeper;
    deeper.member("inner.a", inner.build()).member("x.o", obj);
    Bytes odd{'o', 'd', 'd'};
    struct Case {
        const char *what;
        Bytes bytes;
        Names expected;
    };
    const Case cases[] = {
        {"file order, not name or hash order",
         ArWriter().member("zz.o", obj).member("a.o", obj).member("m.o", obj).build(),
         {"zz.o<root", "a.o<root", "m.o<root"}},
        {"long names through the long-name table, with a symbol table first",
         ArWriter()
             .member("a_member_name_of_24_c.o", obj)
             .member("b.o", obj)
             .symbol("f", 1)
             .build(),
         {"a_member_name_of_24_c.o<root", "b.o<root"}},
        {"names repeat: each member keeps its true parent",
         ArWriter()
             .member("crc.o", obj)
             .member("lib.a", inner.build())
             .member("crc.o", obj)
             .build(),
         {"crc.o<root", "lib.a<root*", "crc.o<lib.a", "a_member_name_of_24_c.o<lib.a",
          "crc.o<root"}},
        {"three levels",
         ArWriter().member("deeper.a", deeper.build()).build(),
         {"deeper.a<root*", "inner.a<deeper.a*", "crc.o<inner.a", "a_member_name_of_24_c.o<inner.a",
          "x.o<deeper.a"}},
        {"a name field without '/' is the whole field; other names starting with '/' stay",
         raw_archive({raw_member("sixteen_chars.ob", obj), raw_member("/SYM64/", obj)}),
         {"sixteen_chars.ob<root", "/SYM64/<root"}},
        {"odd sizes: padding before the next header, none needed at the end",
         [&] {
             Bytes b = raw_archive({raw_member("odd/", odd), raw_member("last/", odd)});
             b.pop_back(); // the last padding byte
             return b;
         }(),
         {"odd<root", "last<root"}},
        {"two references to one long name",
         raw_archive({raw_member("//", text("a_member_name_of_24_c.o/\n")), raw_member("/0", obj),
                      raw_member("/0", obj)}),
         {"a_member_name_of_24_c.o<root", "a_member_name_of_24_c.o<root"}},
        {"an empty member at the very end",
         raw_archive({raw_member("a.o/", obj), raw_member("empty/", {})}),
         {"a.o<root", "empty<root"}},
        {"a wrong trailer ends the level quietly",
         raw_archive(
             {raw_member("a.o/", obj), raw_member("b.o/", obj, "`x"), raw_member("c.o/", obj)}),
         {"a.o<root"}},
        {"bytes too few for a header end the archive",
         [&] {
             Bytes b = raw_archive({raw_member("a.o/", obj)});
             b.insert(b.end(), 59, ' ');
             return b;
         }(),
         {"a.o<root"}},
        {"an empty archive", raw_archive({}), {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Opened o(c.bytes);
        ASSERT_NE(o.ar, nullptr);
        EXPECT_EQ(o.members(), c.expected);
    }
}

TEST(Archive, MemberFieldsAndPlaces) {
    Bytes h = ArWriter::header("a.o/", 8);
    memcpy(h.data() + 16, "1700000000  1001  100   100644  ", 32);
    Bytes bytes = raw_archive({h});
    bytes.insert(bytes.end(), 8, 0);
    Opened o(bytes);
    ASSERT_EQ(o.ar->member_count, 1u);
    const archive_member *m = o.ar->member_table[0];
    EXPECT_EQ(m->date, 1700000000u);
    EXPECT_EQ(m->uid, 1001u);
    EXPECT_EQ(m->gid, 100u);
    EXPECT_EQ(m->mode, 0100644u);
    EXPECT_EQ(m->size, 8u);
    EXPECT_EQ(m->data_offset, 8u + 60u);
}

TEST(Archive, NotAnArchive) {
    for (const char *contents : {"!<thin>\na.o/", "<!arch>\na.o/", "ELF object here"}) {
        Opened o(text(contents));
        EXPECT_EQ(o.ar, nullptr) << contents;
    }
}

TEST(Archive, SymbolsSortedByNameAndLinkedToTheirMember) {
    const Bytes obj = object();
    ArWriter inner;
    inner.member("in.o", obj).symbol("middle", 0);
    ArWriter outer;
    outer.member("a.o", obj)
        .member("b.o", obj)
        .member("lib.a", inner.build())
        .symbol("zeta", 1)
        .symbol("alpha", 0)
        .symbol("beta", 1);
    Opened o(outer.build());
    std::vector<std::string> symbols;
    for (size_t i = 0; i < o.ar->symbol_count; i++) {
        const archive_symbol &s = o.ar->symbol_table[i];
        symbols.push_back(std::string(s.name) + "@" + (s.member ? s.member->name : "none"));
    }
    EXPECT_EQ(symbols, (Names{"alpha@a.o", "beta@b.o", "middle@in.o", "zeta@b.o"}));
}

TEST(Archive, ParentNameByMemberName) {
    const Bytes obj = object();
    ArWriter inner;
    inner.member("shared.o", obj).member("only_inner.o", obj);
    Opened o(ArWriter().member("shared.o", obj).member("lib.a", inner.build()).build());
    // The most recently read level holding the name answers.
    EXPECT_STREQ(archive_parent_name(o.ar, "shared.o"), "lib.a");
    EXPECT_STREQ(archive_parent_name(o.ar, "only_inner.o"), "lib.a");
    EXPECT_EQ(archive_parent_name(o.ar, "lib.a"), nullptr);
    EXPECT_EQ(archive_parent_name(o.ar, "missing.o"), nullptr);
}

// Names of one PJW hash: two-character blocks of equal 16 * c1 + c2.
Names colliding_names(size_t count) {
    const char blocks[][3] = {"ab", "bR", "cB", "d2", "e\""};
    Names names;
    for (size_t i = 0; names.size() < count; i++)
        names.push_back(std::string(blocks[i % 5]) + blocks[i / 5 % 5] + blocks[i / 25 % 5]);
    return names;
}

// Names the index leaves out (long ones, too many of one hash) are still
// found by name.
TEST(Archive, NamesOutsideTheIndexStayFindable) {
    Names names = colliding_names(2 * AR_INDEX_CHAIN_MAX);
    for (const std::string &n : names)
        ASSERT_EQ(kl_pjw_hash(n.c_str()), kl_pjw_hash(names[0].c_str())) << n;
    names.push_back(std::string(AR_INDEX_NAME_MAX + 1, 'x'));
    ArWriter inner;
    for (const std::string &n : names) inner.member(n, object());
    Opened o(ArWriter().member("lib.a", inner.build()).build());
    ASSERT_EQ(o.ar->member_count, names.size() + 1);
    EXPECT_TRUE(o.ar->member_table[1]->parent->index_partial);
    for (const std::string &n : names) EXPECT_STREQ(archive_parent_name(o.ar, n.c_str()), "lib.a");
}

TEST(Archive, NestingAsDeepAsTheLevelLimit) {
    Opened o(ArWriter::nested_chain(AR_MAX_LEVELS, object()));
    ASSERT_EQ(o.ar->member_count, size_t(AR_MAX_LEVELS));
    const archive_member *leaf = o.ar->member_table[AR_MAX_LEVELS - 1];
    EXPECT_STREQ(leaf->name, "leaf.o");
    EXPECT_EQ(leaf->nested, nullptr);
    std::string holder = "level" + std::to_string(AR_MAX_LEVELS - 1) + ".a";
    EXPECT_STREQ(archive_member_parent(leaf), holder.c_str());
}

TEST(Archive, ReadHeaderTerminatesEachField) {
    Bytes h = ArWriter::header("name.o/", 1234, "`\n");
    FILE *f = tmpfile();
    fwrite(h.data(), 1, h.size(), f);
    rewind(f);
    archive_header header;
    EXPECT_TRUE(archive_read_header(f, &header));
    EXPECT_STREQ(header.name, "name.o/         ");
    EXPECT_STREQ(header.mode, "644     ");
    EXPECT_STREQ(header.size, "1234      ");
    h[59] = ' ';
    rewind(f);
    fwrite(h.data(), 1, h.size(), f);
    rewind(f);
    EXPECT_FALSE(archive_read_header(f, &header));
    fclose(f);
}

} // namespace
