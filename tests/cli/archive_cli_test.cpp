// Libraries through zema-kt: archives that the system's GNU ar makes from
// objects of zema-mkobj descriptions, and malformed archives. A library lists
// each member exactly as zema-kt lists the member's file alone, under its
// module header.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/archive.h"
#include "tests/cli/cli_run.h"
#include "tools/mkobj/zobj.h"
#include "tools/writers/ar_writer.h"
#include "tools/writers/elf_writer.h"

namespace {

using zema_cli::Result;
using zema_cli::run;
using zema_test::ArWriter;
using zema_test::Bytes;

// Members of different instruction sets and byte orders, so that a member
// listed in the wrong place or with another member's settings shows.
const struct {
    const char *file, *description;
} kObjects[] = {
    {"a.o", "elf relocatable little zema1\n"
            "section .text progbits flags=ae align=8\n"
            "label start func global\n"
            "  reloc . 13 table\n"
            "  insn mv_aX_I17 AA=a0 IM17R13=0\n"
            "  insn done\n"
            "section .data progbits flags=wa align=4\n"
            "label table object global size=4\n"
            "  word 7\n"},
    {"b.o", "elf relocatable big zema2 shift=4\n"
            "section .text progbits flags=ae align=8\n"
            "label two func global\n"
            "  packet opXSVZ opS_HI=(mv_agX_Iu16 AXG=a0 IM16R13=0x100)\n"
            "section .rixu progbits flags=ae,rixu align=4\n"
            "label two_rixu func global\n"
            "  insn rts\n"},
    {"fir_filter_coefficients.o", "elf relocatable little zema3 shift=4\n"
                                  "section .text progbits flags=ae align=8\n"
                                  "label fir func global\n"
                                  "  packet opXDZ opD=(mv_gp_I32_D GP=g1 IM32R11=0x12345678)\n"
                                  "  insn fnop opZ=(rts)\n"},
};

Bytes object_bytes(const char *description) {
    zema_test::ZobjResult r = zema_test::build_zobj(description, "member.zobj");
    EXPECT_TRUE(r.ok) << r.error;
    return r.image;
}

// A fresh directory holding the objects, v1/a.o and v2/a.o (a.o and b.o
// under one name) and a text file.
std::string work_directory(const std::string &name) {
    std::string dir = testing::TempDir() + "archive_cli_" + std::to_string(getpid()) + "_" + name;
    std::string command = "rm -rf " + dir + " && mkdir -p " + dir + "/v1 " + dir + "/v2";
    EXPECT_EQ(std::system(command.c_str()), 0);
    for (const auto &o : kObjects)
        zema_test::write_bytes(dir + "/" + o.file, object_bytes(o.description));
    zema_test::write_bytes(dir + "/v1/a.o", object_bytes(kObjects[0].description));
    zema_test::write_bytes(dir + "/v2/a.o", object_bytes(kObjects[1].description));
    const std::string text = "release notes\n";
    zema_test::write_bytes(dir + "/notes.txt", Bytes(text.begin(), text.end()));
    return dir;
}

std::string header(const std::string &name, const std::string &parent) {
    return ";-----------------------\n;Module " + name + " from " + parent +
           "\n;-----------------------\n";
}

// The listing of one member: its header, then zema-kt's listing of its file.
std::string module(const std::string &dir, const std::string &file, const std::string &name,
                   const std::string &parent = "root level") {
    Result alone = run("-q " + dir + "/" + file);
    EXPECT_EQ(alone.status, 0) << alone.err;
    return header(name, parent) + alone.out;
}

TEST(ArchiveCli, LibrariesOfGnuAr) {
    const std::string dir = work_directory("gnu");
    const std::string ar = std::string("cd ") + dir + " && " + AR_PATH;
    const std::string fatal = "[DIS,3,8999,-1," + dir + "/lib.a] FATAL --- ";
    struct Case {
        std::string what, commands, out, err;
        int status;
    };
    const Case cases[] = {
        {"without a symbol table", ar + " rcS lib.a a.o b.o",
         module(dir, "a.o", "a.o") + module(dir, "b.o", "b.o"), "", 0},
        {"with a symbol table and a long name", ar + " rcs lib.a a.o fir_filter_coefficients.o b.o",
         module(dir, "a.o", "a.o") +
             module(dir, "fir_filter_coefficients.o", "fir_filter_coefficients.o") +
             module(dir, "b.o", "b.o"),
         "", 0},
        {"with real dates, ids and modes", ar + " rcU lib.a b.o a.o",
         module(dir, "b.o", "b.o") + module(dir, "a.o", "a.o"), "", 0},
        {"a library inside a library",
         ar + " rcs inner.a fir_filter_coefficients.o b.o && " + AR_PATH +
             " rc lib.a a.o inner.a b.o",
         module(dir, "a.o", "a.o") +
             module(dir, "fir_filter_coefficients.o", "fir_filter_coefficients.o", "inner.a") +
             module(dir, "b.o", "b.o", "inner.a") + module(dir, "b.o", "b.o"),
         "", 0},
        {"ar q appends a second a.o", ar + " rc lib.a v1/a.o && " + AR_PATH + " q lib.a v2/a.o",
         module(dir, "v1/a.o", "a.o") + module(dir, "v2/a.o", "a.o"), "", 0},
        {"a text member", ar + " rc lib.a notes.txt a.o",
         "[DIS,1,8000,-1]Unknown format notes.txt\n" + header("notes.txt", "root level") +
             module(dir, "a.o", "a.o"),
         "[DIS,1,8999,-1," + dir +
             "/lib.a] WARNING --- Unknown entry format notes.txt. Ignoring...\n",
         0},
        {"a thin archive has no ar magic", ar + " rcT lib.a a.o", "",
         fatal + "Error processing the archive\n", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string reset = "rm -f " + dir + "/lib.a " + dir + "/inner.a";
        ASSERT_EQ(std::system(reset.c_str()), 0);
        ASSERT_EQ(std::system((c.commands + " 2>&1").c_str()), 0) << c.commands;
        Result r = run("-q " + dir + "/lib.a");
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, c.status);
    }
}

Bytes text(const std::string &s) {
    return Bytes(s.begin(), s.end());
}

Bytes concat(const std::vector<Bytes> &parts) {
    Bytes out;
    for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes be32(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

Bytes hdr(const std::string &field, size_t size) {
    return ArWriter::header(field, size);
}

Bytes raw_size_header(const std::string &field, const std::string &size) {
    Bytes h = ArWriter::header(field, 0);
    for (size_t i = 0; i < 10; i++) h[48 + i] = uint8_t(i < size.size() ? size[i] : ' ');
    return h;
}

const Bytes kMagic = text("!<arch>\n");

std::string condition(const std::string &text, const char *source = "common/archive") {
    return "Invalid file: condition \"" + text + "\" does not hold (" + source + ")\n";
}

// Archives that break the format end the run with status 1 before anything
// is listed; a short read through kl_fread, a broken rule naming its condition.
TEST(ArchiveCli, MalformedLibrariesEndTheRun) {
    const std::string dir = work_directory("bad");
    const std::string path = dir + "/lib.a";
    const std::string fatal = "[DIS,3,8999,-1," + path + "] FATAL --- ";
    const std::string short_read = "[DIS,2,8000,-1]In function kl_fread: unexpected end of file \n";
    const Bytes obj = object_bytes(kObjects[0].description);
    const Bytes a_o = concat({hdr("a.o/", obj.size()), obj});
    zema_test::ElfWriter broken;
    broken.ehsize(40);
    const Bytes bad_elf = broken.build();
    const Bytes in_lib = concat({kMagic, hdr("in.o/", 500), obj});
    struct Case {
        std::string what;
        Bytes bytes;
        std::string err;
    };
    const Case cases[] = {
        {"an empty file", {}, short_read},
        {"shorter than the magic", text("!<ar"), short_read},
        {"no ar magic", text("not an archive\n"), fatal + "Error processing the archive\n"},
        {"a symbol table shorter than announced", concat({kMagic, hdr("/", 100), be32(3), be32(0)}),
         short_read},
        {"a symbol count beyond its table", concat({kMagic, hdr("/", 8), be32(1000), be32(0), a_o}),
         fatal + condition("symbol_count <= (table_size - 4) / 4")},
        {"a symbol count that would overflow",
         concat({kMagic, hdr("/", 8), be32(0xFFFFFFFF), be32(0), a_o}),
         fatal + condition("symbol_count <= (table_size - 4) / 4")},
        {"a symbol table without a count", concat({kMagic, hdr("/", 2), text("ab"), a_o}),
         fatal + condition("table_size >= 4")},
        {"a symbol name without its end",
         concat({kMagic, hdr("/", 12), be32(1), be32(8), text("main"), a_o}),
         fatal + condition("symbol_name_terminated")},
        {"a long-name table over 65535 bytes",
         concat({kMagic, hdr("//", 65536), Bytes(65536, 'x'), a_o}),
         fatal + condition("long_names_size <= AR_LONG_NAMES_MAX")},
        {"a long-name offset above 65535",
         concat({kMagic, hdr("//", 6), text("a.o/\n\n"), hdr("/70000", obj.size()), obj}),
         fatal + condition("long_name_offset < long_names_size")},
        {"a long-name offset of many digits",
         concat({kMagic, hdr("//", 6), text("a.o/\n\n"), hdr("/99999999999999", obj.size()), obj}),
         fatal + condition("long_name_offset < long_names_size")},
        {"a long-name offset beyond the table",
         concat({kMagic, hdr("//", 6), text("a.o/\n\n"), hdr("/6", obj.size()), obj}),
         fatal + condition("long_name_offset < long_names_size")},
        {"a long name without a long-name table", concat({kMagic, hdr("/0", obj.size()), obj}),
         fatal + condition("long_name_table_present")},
        {"a member running past the file", concat({kMagic, hdr("a.o/", 1000), text("0123456789")}),
         fatal + condition("member_end <= level_end")},
        {"a member running past its nested archive",
         concat({kMagic, hdr("lib.a/", in_lib.size()), in_lib, a_o, Bytes(1000, 0)}),
         fatal + condition("member_end <= level_end")},
        {"a size that is not a number", concat({kMagic, raw_size_header("a.o/", "12x"), obj}),
         fatal + condition("size_is_decimal")},
        {"a negative size", concat({kMagic, raw_size_header("a.o/", "-5"), obj}),
         fatal + condition("size_is_decimal")},
        {"more nested archives than allowed", ArWriter::nested_chain(AR_MAX_LEVELS + 1, obj),
         fatal + condition("level_count < AR_MAX_LEVELS")},
        {"an object member with a broken ELF header",
         concat({kMagic, hdr("bad.o/", bad_elf.size()), bad_elf}),
         fatal + condition("Ehdr->e_ehsize == ELF32_EHDR_SIZE", "elflib/elfread")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        zema_test::write_bytes(path, c.bytes);
        Result r = run("-q " + path);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, 1);
    }
}

// Archives the format's limits or a careless reading would trip over, listed
// in full.
TEST(ArchiveCli, UnusualLibrariesListInFull) {
    const std::string dir = work_directory("odd");
    const std::string path = dir + "/lib.a";
    const Bytes obj = object_bytes(kObjects[0].description);
    const std::string long_name(5000, 'n');
    const std::string deepest = "level" + std::to_string(AR_MAX_LEVELS - 1) + ".a";
    struct Case {
        std::string what;
        Bytes bytes;
        std::string out;
    };
    const Case cases[] = {
        {"a wrong trailer ends the library quietly",
         concat({kMagic, hdr("a.o/", obj.size()), obj, ArWriter::header("b.o/", 4, "`x"),
                 text("abcd")}),
         module(dir, "a.o", "a.o")},
        {"a member name of 5000 characters", ArWriter().member(long_name, obj).build(),
         module(dir, "a.o", long_name)},
        {"nesting as deep as allowed", ArWriter::nested_chain(AR_MAX_LEVELS, obj),
         module(dir, "a.o", "leaf.o", deepest)},
        {"an empty library", kMagic, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        zema_test::write_bytes(path, c.bytes);
        Result r = run("-q " + path);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}

} // namespace
