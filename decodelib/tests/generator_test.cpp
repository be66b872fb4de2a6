// The description reader and its checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

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
                 {"IM8@3,28..22", "IM8_imp_bits__3_3_x_28_22_"}};
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

TEST(IsaRead, IncludeOnlyFilesAreNotSets) {
    IsaSet set;
    Diagnostics diag;
    EXPECT_FALSE(read_isa_text("common.isa", "type AA table a0\n", ".", set, diag));
    EXPECT_TRUE(diag.errors.empty());
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
