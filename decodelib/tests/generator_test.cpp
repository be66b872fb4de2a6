// The description reader and its checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "decodelib/gen/isa_model.h"

namespace {

using namespace isagen;

const char *const kHead = "arch ZEMA1 code=1 word=64\ndraft\n"
                          "type AA table a0 a1 a2 a3\ntype IM8 imm\ntype IM8s imm signed\n"
                          "type opA slot=A\n";

struct Read {
    IsaSet set;
    Diagnostics diag;
    SetStats stats;
};

Read read(const std::string &body, bool check = true) {
    Read r;
    EXPECT_TRUE(read_isa_text("t.isa", std::string(kHead) + body, ZEMA_FIXTURE_DIR, r.set, r.diag));
    if (check) check_set(r.set, Vocabulary{}, r.diag, r.stats);
    return r;
}

bool has_error(const Read &r, const std::string &part) {
    return std::any_of(r.diag.errors.begin(), r.diag.errors.end(),
                       [&](const std::string &e) { return e.find(part) != std::string::npos; });
}

TEST(IsaRead, ImplementationNamesAndFlags) {
    struct Case {
        const char *operand, *impl;
    } names[] = {{"IM8@36..29", "IM8_imp_bits__36_29_"},
                 {"AA@49,33..32", "AA_imp_bits__49_49_x_33_32_"},
                 {"IM8@3,28..22", "IM8_imp_bits__3_3_x_28_22_"},
                 {"IM8@5,4..0", "IM8_imp_bits__5_0_"}, // one rule: runs of the bit list
                 {"IM8@5..3,2..0", "IM8_imp_bits__5_0_"}};
    for (const Case &c : names) {
        Read r = read(std::string("x 64/C 63..60=1 \"x AA\" ") + c.operand + "\n", false);
        ASSERT_EQ(r.set.records.size(), 1u);
        EXPECT_EQ(r.set.records[0].operands[0].impl, c.impl);
    }
    struct Flags {
        const char *name;
        uint32_t flags;
    } flags[] = {{"jsr_LI17", 0x14}, {"rts", 0x24},     {"st_sp_Is16", 0x210}, {"stld_x", 0x300},
                 {"pop_a", 0x110},   {"push_a", 0x210}, {"nop", 0x40},         {"au_nop", 0x40},
                 {"nop_s", 0x40},    {"null", 0x80},    {"mvip_a", 0x400},     {"clrip", 0x400},
                 {"add_sp_I", 0x10}, {"srt_x", 0},      {"jmp_x", 0x4},        {"ldx", 0x100},
                 {"nopx", 0},        {"spx_y", 0}};
    for (const Flags &f : flags) EXPECT_EQ(flags_from_name(f.name), f.flags) << f.name;
}

TEST(IsaRead, LoopsGroupsAndTableEntries) {
    Read r = read("type CND table \"\" .cs x*2 8=\"r{0..1},\" 0=.al\n"
                  "group G AA@1..0\n"
                  "list CC eq=4 ne=11\n"
                  "for C in CC\nfor R in p=1 q=2\n"
                  "add.${C}_${R} 15/A 14..12=${R#} 11..8=${C#} \"add.${C} AA\" +G  # comment\n"
                  "end\nend\n");
    EXPECT_TRUE(r.diag.errors.empty()) << r.diag.errors[0];
    ASSERT_EQ(r.set.records.size(), 4u);
    EXPECT_EQ(r.set.records[0].name, "add.eq_p");
    EXPECT_EQ(r.set.records[3].name, "add.ne_q");
    EXPECT_EQ(r.set.records[3].value, (2u << 12) | (11u << 8));
    EXPECT_EQ(r.set.records[3].mask, 0x7F00u);
    EXPECT_EQ(r.set.records[3].syntax, "add.ne AA");
    const auto &e = r.set.types["CND"].entries;
    std::vector<std::pair<uint64_t, std::string>> want = {
        {0, ""}, {1, ".cs"}, {2, "x"}, {3, "x"}, {8, "r0,"}, {9, "r1,"}, {0, ".al"}};
    EXPECT_EQ(e, want);
}

TEST(IsaRead, ViolationsNameFileLineAndLoopValues) {
    struct Case {
        const char *body, *error;
    } cases[] = {
        {"x 15/A 3..0=0x1f \"x\"\n", "t.isa:7: value 0x1f outside mask"},
        {"x 15/A 3..0=1 \"x\"\nx 15/A 3..0=2 \"x\"\n", "duplicate record name x"},
        {"type AA imm\n", "duplicate type 'AA'"},
        {"x 15/A 14..12=1 \"x AA\" AA@15..14\n", "outside size 15"},
        {"x 15/A 14..12=1 \"x AA\" AA@12..11\n", "overlaps the encoding mask"},
        {"x 15/A 14..12=1 \"x AA, IM8\" AA@1..0 IM8@7..0\n", "overlaps another operand"},
        {"x 15/A 14..12=1 \"x BB\" BB@1..0\n", "operand BB of x has no type"},
        {"x 15/A 14..12=1 \"x AA, IM8\" AA@1..0\n", "template word IM8 of x"},
        {"x 15/A 14..12=1 \"xIM8s\" AA@9..8\n", "template word IM8s of x"},
        {"x 15/A 14..12=1 \"x IM8s, IM8\" IM8@7..0 IM8s@11..8\n", "list IM8s first"},
        {"x 15/A - \"x\"\n", "can never match"},
        {"for C in a=1 b=2\ny_${C} 15/A 3..0=${C#}0 \"y\"\nend\n", "t.isa:8 (C=b): value 20"},
        {"x 15/Q 3..0=1 \"x\"\n", "unknown slot 'Q'"},
        {"x 15/A 3..0=1 \"x\" +NOPE\n", "unknown group 'NOPE'"},
        {"for C in NOPE\nend\n", "unknown list 'NOPE'"},
        {"x 15/A 3..0=1 \"x ${Q}\"\n", "unknown loop variable 'Q'"},
        {"x 15/A 3..0=1 \"x\n", "unterminated quoted text"},
        {"x 15/A 3..0=1 \"x AA\" AA@5..4 AA@7..6\n", "operand AA of x given twice"},
        {"set_loop_I 15/B 14..10=1 \"set.loop\"\n", "needs the operand ITER_CNT"},
    };
    for (const Case &c : cases) {
        Read r = read(c.body);
        EXPECT_TRUE(has_error(r, c.error))
            << c.body << " gave " << (r.diag.errors.empty() ? "no error" : r.diag.errors[0]);
    }
}

// Computed texts chosen by a name prefix need their operands on the codes
// that compute them, and only there.
TEST(IsaRead, PrefixRenderingsNeedTheirOperands) {
    struct Case {
        const char *arch, *record;
        bool error;
    } cases[] = {
        {"ZEMA3 code=3", "popm_x 17/B 16..12=1 \"popm MASK_16\" MASK_16@11..0", true},
        {"ZEMA3 code=3", "pushm_x 17/B 16..12=1 \"pushm BIT_AREGS\" BIT_AREGS@0", true},
        {"ZEMA3 code=3", "pushm_x 17/B 16..12=1 \"pushm\" BIT_AREGS@12 MASK_16@11..0", false},
        {"ZEMA2 code=2", "popm_x 17/B 16..12=1 \"popm MASK_16\" MASK_16@11..0", false},
        {"ZEMA1 code=1", "set_range1_rS0 15/B 14..10=1 \"set.VRArange1 rS0\"", true},
    };
    for (const Case &c : cases) {
        Read r;
        std::string text = std::string("arch ") + c.arch + " word=64\ndraft\n" +
                           "type MASK_16 imm\ntype BIT_AREGS imm\n" + c.record + "\n";
        ASSERT_TRUE(read_isa_text("p.isa", text, ".", r.set, r.diag));
        check_set(r.set, Vocabulary{}, r.diag, r.stats);
        EXPECT_EQ(has_error(r, "needs the operand"), c.error) << c.arch << " " << c.record;
    }
    // The bank bit is read as a number: a table of names would always read 0.
    Read tabled;
    ASSERT_TRUE(read_isa_text("p.isa",
                              "arch ZEMA3 code=3 word=64\ndraft\ntype MASK_16 imm\n"
                              "type BIT_AREGS table ag a\n"
                              "pushm_x 17/B 16..12=1 \"pushm\" BIT_AREGS@12 MASK_16@11..0\n",
                              ".", tabled.set, tabled.diag));
    check_set(tabled.set, Vocabulary{}, tabled.diag, tabled.stats);
    EXPECT_TRUE(has_error(tabled, "p.isa:4: operand BIT_AREGS of pushm_x is read as a number"));
}

TEST(IsaRead, MalformedInputGivesErrorsNotCrashes) {
    const char *bodies[] = {
        "for C in a=1\nx 15/A 3..0=1 \"x\"\n", // for without end
        "end\n",
        "arch ZEMA1 code=1 word=64\n",
        "x 65/A 3..0=1 \"x\"\n",
        "x 15/A 300..0=1 \"x\"\n",
        "x 15/A 3..0=99999999999999999999999 \"x\"\n",
        "x 15/A 3..0=1 \"x AA\" AA@200..199\n",
        "x 15/A 3..0=1 \"x AA\" AA@1..3\n",
        "type T table r{9..1}\n",
        "type T table r{0..999999}\n",
        "type T imm shift=99\n",
        "type T imm reloc=R_X\n",
        "x\n",
        "\"quoted\" 15/A 3..0=1 \"x\"\n",
        "include does_not_exist.isa\n",
        "x 15/A 3..0=1 \"${\"\n",
    };
    for (const char *body : bodies) {
        Read r = read(body);
        EXPECT_FALSE(r.diag.errors.empty()) << body;
    }
}

TEST(IsaRead, SelfIncludeStops) {
    std::string dir = ::testing::TempDir();
    std::string path = dir + "/loop.isa";
    FILE *f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("include loop.isa\n", f);
    std::fclose(f);
    IsaSet set;
    Diagnostics diag;
    read_isa_text("t.isa", "arch ZEMA1 code=1 word=64\ninclude loop.isa\n", dir, set, diag);
    ASSERT_FALSE(diag.errors.empty());
    EXPECT_NE(diag.errors[0].find("nested too deeply"), std::string::npos);
}

// A file given to the generator must describe a set: a misspelt arch line
// must not turn it into a silently skipped include.
TEST(IsaRead, FilesWithoutArchAreErrors) {
    struct Case {
        const char *text, *error;
    } cases[] = {
        {"arhc ZEMA1 code=1 word=64\ntype AA table a0\n",
         "t.isa:1: first statement 'arhc' is not arch"},
        {"# comment\n\ntype AA table a0\n", "t.isa:3: first statement 'type' is not arch"},
        {"# only a comment\n", "t.isa:1: no arch statement"},
        {"arch ZEMA4 code=4 word=32\n", "t.isa:1: unknown set 'ZEMA4'"},
    };
    for (const Case &c : cases) {
        IsaSet set;
        Diagnostics diag;
        EXPECT_FALSE(read_isa_text("t.isa", c.text, ".", set, diag) && diag.errors.empty())
            << c.text;
        ASSERT_FALSE(diag.errors.empty()) << c.text;
        EXPECT_NE(diag.errors[0].find(c.error), std::string::npos) << diag.errors[0];
    }
}

TEST(IsaRead, ListsAndTypesAreDefinedOnce) {
    struct Case {
        const char *body, *error;
    } cases[] = {
        {"list CC a=1\nlist CC b=2\n", "t.isa:8: list 'CC' redefined (first at t.isa:7)"},
        {"list CC a=1 b=2\nfor C in CC\nlist D x=1\nend\n", "list 'D' redefined"},
        {"type AA table b0 b1\n", "t.isa:7: duplicate type 'AA' (first at t.isa:3)"},
    };
    for (const Case &c : cases) {
        Read r = read(c.body, false);
        EXPECT_TRUE(has_error(r, c.error))
            << c.body << " gave " << (r.diag.errors.empty() ? "no error" : r.diag.errors[0]);
    }
}

std::string write_temp(const std::string &name, const std::string &text) {
    std::string path = ::testing::TempDir() + "/" + name;
    FILE *f = std::fopen(path.c_str(), "w");
    EXPECT_NE(f, nullptr);
    if (f) {
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
    return path;
}

// The generator writes all six sets or nothing.
TEST(IsaRead, EverySetIsDescribedExactlyOnce) {
    const char *const heads[] = {"arch ZEMA1 code=1 word=64", "arch ZEMA2 code=2 word=64",
                                 "arch ZEMA3 code=3 word=64", "arch RIXU1 code=4 word=32",
                                 "arch RIXU2 code=5 word=32", "arch RIXU3 code=6 word=32"};
    std::vector<std::string> paths;
    for (int k = 0; k < 6; ++k)
        paths.push_back(
            write_temp("set" + std::to_string(k) + ".isa", std::string(heads[k]) + "\ndraft\n"));
    struct Case {
        std::vector<std::string> paths;
        bool partial;
        const char *error; // null: no error
    } cases[] = {
        {paths, false, nullptr},
        {{paths.begin(), paths.end() - 1}, false, "no description of RIXU3"},
        {{paths.begin(), paths.end() - 1}, true, nullptr},
        {{paths[0], paths[1], paths[2], paths[3], paths[4], paths[5], paths[1]},
         false,
         "set1.isa:1: second description of ZEMA2 (first at set1.isa:1)"},
        {{paths[0], write_temp("inc.isa", "type AA table a0\n")},
         true,
         "inc.isa:1: first statement"},
    };
    for (const Case &c : cases) {
        std::vector<IsaSet> sets;
        std::vector<bool> present;
        Diagnostics diag;
        read_sets(c.paths, c.partial, sets, present, diag);
        if (!c.error) {
            EXPECT_TRUE(diag.errors.empty()) << diag.errors[0];
            continue;
        }
        EXPECT_TRUE(std::any_of(diag.errors.begin(), diag.errors.end(),
                                [&](const std::string &e) { return e.find(c.error) != e.npos; }))
            << c.error << " not among " << diag.errors.size() << " errors";
    }
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The real description with `from` replaced by `to` on the line that begins
// with `line_start`, read and checked as the generator does.
Read edited_description(const char *file, const std::string &line_start, const std::string &from,
                        const std::string &to) {
    std::string text = read_file(std::string(ZEMA_ARCH_DIR) + "/" + file);
    size_t line = text.find("\n" + line_start);
    EXPECT_NE(line, std::string::npos) << line_start;
    size_t at = line == std::string::npos ? line : text.find(from, line);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    Read r;
    if (read_isa_text(file, text, ZEMA_ARCH_DIR, r.set, r.diag))
        check_set(r.set, Vocabulary{}, r.diag, r.stats);
    return r;
}

// Renaming a record or operand the decoder relies on breaks the build, and
// so do the other edits a slip of the keyboard makes.
TEST(IsaRealEdits, BrokenDescriptionsFailNamingTheCause) {
    struct Case {
        const char *file, *line, *from, *to, *error;
    } cases[] = {
        {"zema1.isa", "arch", "arch", "arhc", "zema1.isa:13: first statement 'arhc' is not arch"},
        {"zema1.isa", "set_loop_I_I ", "set_loop_I_I", "set_loop_II",
         "record set_loop_I_I missing: the decoder relies on it (KIND_SET_LOOP_COUNT_SIZE)"},
        {"zema1.isa", "set_loop_asX_I ", "LOOP_SIZE_R10@", "IM10@",
         "zema1.isa:405: record set_loop_asX_I needs the operand LOOP_SIZE_R10"},
        {"zema1.isa", "loop_begin ", "loop_begin ", "loop_start ", "record loop_begin missing"},
        {"zema2.isa", "opXXSSZ ", "opXXSSZ", "opXXSSZ2", "record opXXSSZ missing"},
        {"zema2.isa", "swbreak ", "swbreak", "sw_break", "record swbreak missing"},
        {"rixu1.isa", "include", "rixu_common.isa", "rixu_common.isa\nlist X a=1\nlist X b=2",
         "rixu1.isa:4: list 'X' redefined"},
        {"zema1.isa", "swbreak ", "1..0=3", "1..0=7", "value 7 outside mask of bits 1..0"},
        {"zema1.isa", "set_loop_I_I ", "ITER_CNT@19..10", "ITER_CNT@20..10",
         "bit 20 overlaps the encoding mask"},
    };
    for (const Case &c : cases) {
        Read r = edited_description(c.file, c.line, c.from, c.to);
        EXPECT_TRUE(has_error(r, c.error))
            << c.file << " " << c.to << " gave "
            << (r.diag.errors.empty() ? "no error" : r.diag.errors[0]);
    }
    Read unchanged = edited_description("zema1.isa", "swbreak ", "swbreak", "swbreak");
    EXPECT_TRUE(unchanged.diag.errors.empty()) << unchanged.diag.errors[0];
}

// --list: loops expanded, hex over the record's width, kinds named.
TEST(IsaList, OneExpandedRecordPerLine) {
    Read r = read("list CC eq=4 ne=11\nfor C in CC\n"
                  "add.${C}_a 15/A 14..12=1 11..8=${C#} \"add.${C} AA\" AA@1..0\nend\n"
                  "null 25/S 24..0=1 \"null\"\n"
                  "set_loop_I 15/B 14..10=0x1e \"set.loop (ITER_CNT + 1)\" ITER_CNT@9,8..0\n"
                  "type ITER_CNT imm\n");
    ASSERT_EQ(r.set.records.size(), 4u);
    const char *const want[] = {
        "ZEMA1\tadd.eq_a\t15/A\tvalue=0x1400 mask=0x7f00\t\"add.eq AA\"\tAA@1..0\tflags=0x000\t"
        "t.isa:9 (C=eq)\n",
        "ZEMA1\tadd.ne_a\t15/A\tvalue=0x1b00 mask=0x7f00\t\"add.ne AA\"\tAA@1..0\tflags=0x000\t"
        "t.isa:9 (C=ne)\n",
        "ZEMA1\tnull\t25/S\tvalue=0x0000001 mask=0x1ffffff\t\"null\"\t\tflags=0x080 KIND_NULL\t"
        "t.isa:11\n",
        "ZEMA1\tset_loop_I\t15/B\tvalue=0x7800 mask=0x7c00\t\"set.loop (ITER_CNT + 1)\"\t"
        "ITER_CNT@9..0\tflags=0x000 KIND_SET_LOOP_COUNT\tt.isa:12\n"};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(list_record(r.set, r.set.records[i]), want[i]);
    std::string md = markdown_reference({r.set}, {true});
    EXPECT_NE(md.find("### ZEMA1 slot B, 15 bits (1 records)"), std::string::npos) << md;
    EXPECT_NE(md.find("| `add.ne_a` | 0x1b00 | 0x7f00 | `add.ne AA` | `AA@1..0` | 0x000 |"),
              std::string::npos)
        << md;
}

TEST(IsaReach, AliasesAreCountedAndShadowedRecordsReported) {
    Read r = read("a 15/A 14..12=1 \"a\"\n"
                  "b 15/A 14..12=1 \"b\"\n"         // exact alias of a
                  "c 15/A 14..12=2 11..0=0 \"c\"\n" // wins on its own word
                  "d 15/A 14..12=2 11=0 \"d\" \n"   // wins when any of 10..0 is set
                  "e 15/A 14..13=0b01 \"e\"\n");    // wins with 14..12=2 and bit 11 set
    EXPECT_EQ(r.stats.aliases, 1u);
    EXPECT_EQ(r.stats.unreachable, 0u) << (r.diag.warnings.empty() ? "" : r.diag.warnings[0]);

    // y0 and y1 together cover every word of z and are stronger.
    Read shadow = read("y0 15/A 14..12=0 \"y\"\ny1 15/A 14..12=1 \"y\"\nz 15/A 14..13=0 \"z\"\n");
    EXPECT_EQ(shadow.stats.unreachable, 1u);
    ASSERT_EQ(shadow.diag.warnings.size(), 1u);
    EXPECT_NE(shadow.diag.warnings[0].find("record z can never win"), std::string::npos);
}

TEST(IsaReach, FinishedSetsFailOnUnreachableRecords) {
    Read r;
    std::string text = "arch RIXU1 code=4 word=32\ntype AA table a0 a1\n"
                       "y0 32/W 31..29=0 \"y\"\ny1 32/W 31..29=1 \"y\"\nz 32/W 31..30=0 \"z\"\n";
    ASSERT_TRUE(read_isa_text("r.isa", text, ".", r.set, r.diag));
    check_set(r.set, Vocabulary{}, r.diag, r.stats);
    EXPECT_TRUE(has_error(r, "r.isa:5: record z can never win"));
    EXPECT_TRUE(has_error(r, "RIXU1 has 3 records, expected 55"));
}

TEST(IsaStats, FixtureDescriptionsPassEveryCheck) {
    Vocabulary vocabulary;
    std::string error;
    ASSERT_TRUE(read_vocabulary(ZEMA_VOCABULARY_FILE, vocabulary, error)) << error;
    EXPECT_EQ(vocabulary.mnemonics["ZEMA1"].size(), 144u);
    EXPECT_EQ(vocabulary.mnemonics["ZEMA2"].size(), 247u);
    EXPECT_EQ(vocabulary.mnemonics["ZEMA3"].size(), 252u);
    EXPECT_EQ(vocabulary.mnemonics["RIXU1"].size(), 33u);
    EXPECT_EQ(vocabulary.mnemonics["RIXU3"].size(), 35u);
    for (const char *name : {"zema1", "zema2", "zema3", "rixu1"}) {
        IsaSet set;
        Diagnostics diag;
        SetStats stats;
        ASSERT_TRUE(read_isa(std::string(ZEMA_FIXTURE_DIR) + "/" + name + ".isa", set, diag));
        check_set(set, vocabulary, diag, stats);
        EXPECT_TRUE(diag.errors.empty()) << name << ": " << diag.errors[0];
        EXPECT_EQ(stats.unreachable, 0u) << name;
        EXPECT_GT(stats.vocabulary_found, 0u) << name;
    }
}

} // namespace
