// The generated tables as the library expands them: every record and field of
// the six sets as the generator read them from the descriptions, and packed
// ranges that do not fit read as empty instead of past their arrays.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "decodelib/encoder.h"
#include "decodelib/gen/isa_model.h"
#include "decodelib/src/generated_tables.h"
#include "decodelib/src/state.h"

namespace {

using namespace ZEMADisasmLib;

const char *const kSetFiles[] = {"zema1", "zema2", "zema3", "rixu1", "rixu2", "rixu3"};

void expect_field(const isagen::FieldSpec &want, const FieldRecord &got) {
    SCOPED_TRACE(want.impl);
    EXPECT_STREQ(got.name, want.impl.c_str());
    EXPECT_STREQ(got.prefix, "");
    EXPECT_EQ(got.kind, want.type->kind == isagen::TypeKind::Table ? 2u : 1u);
    EXPECT_EQ(got.shift, want.type->shift);
    EXPECT_EQ(std::vector<uint32_t>(got.bits, got.bits + got.bit_count), want.bits);
    ASSERT_EQ(got.entry_count, want.type->entries.size());
    for (uint32_t k = 0; k < got.entry_count; ++k) {
        EXPECT_EQ(got.entries[k].value, want.type->entries[k].first);
        EXPECT_STREQ(got.entries[k].text, want.type->entries[k].second.c_str());
    }
    EXPECT_STREQ(got.reloc_name, want.type->reloc_name.c_str());
    EXPECT_EQ(got.reloc_type, want.type->reloc_type);
    EXPECT_EQ(got.is_signed != 0, want.type->is_signed);
}

void expect_record(const isagen::RecordSpec &want, const InstructionRecord &got) {
    SCOPED_TRACE(want.name);
    EXPECT_STREQ(got.name, want.name.c_str());
    EXPECT_STREQ(got.syntax, want.syntax.c_str());
    EXPECT_EQ(got.size, want.size);
    EXPECT_EQ(got.slot, want.slot);
    EXPECT_EQ(got.flags, want.flags);
    EXPECT_EQ(got.value, want.value);
    EXPECT_EQ(got.mask, want.mask);
    EXPECT_STREQ(got.text1, "");
    EXPECT_STREQ(got.text6, "");
    size_t n = want.operands.size();
    ASSERT_LT(n, 64u);
    for (size_t k = 0; k < n; ++k) {
        EXPECT_STREQ(got.operands[k].syntax_name, want.operands[k].syntax.c_str());
        EXPECT_STREQ(got.operands[k].field_name, want.operands[k].impl.c_str());
    }
    EXPECT_EQ(got.operands[n].syntax_name, nullptr); // the list ends
}

bool read_set(uint32_t arch, isagen::IsaSet &set) {
    isagen::Diagnostics diag;
    return isagen::read_isa(std::string(ZEMA_ARCH_DIR) + "/" + kSetFiles[arch - 1] + ".isa", set,
                            diag);
}

TEST(PackedTables, ExpandAsTheDescriptionsRead) {
    for (uint32_t arch = ARCH_ZEMA1; arch <= ARCH_RIXU3; ++arch) {
        SCOPED_TRACE(kSetFiles[arch - 1]);
        isagen::IsaSet set;
        ASSERT_TRUE(read_set(arch, set));
        ASSERT_EQ(TableSize(arch), set.records.size());
        ASSERT_EQ(FieldTableSize(arch), set.fields.size());
        for (uint32_t i = 0; i < set.records.size(); ++i)
            expect_record(set.records[i], *TableRecord(arch, i));
        for (uint32_t i = 0; i < set.fields.size(); ++i)
            expect_field(set.fields[i], *FieldTableRecord(arch, i));
    }
}

// A decode expands only the records it hands out (and those a packet's
// structure needs), each as complete as the descriptions read.
TEST(PackedTables, DecodesExpandOnlyTheRecordsTheyHandOut) {
    const GeneratedTables *const generated[] = {&kTablesZEMA1, &kTablesZEMA2, &kTablesZEMA3,
                                                &kTablesRIXU1, &kTablesRIXU2, &kTablesRIXU3};
    for (uint32_t arch = ARCH_ZEMA1; arch <= ARCH_RIXU3; ++arch) {
        SCOPED_TRACE(kSetFiles[arch - 1]);
        isagen::IsaSet set;
        ASSERT_TRUE(read_set(arch, set));
        RestoreGeneratedTables(arch);
        const GeneratedTables &g = *generated[arch - 1];
        uint32_t width = arch <= ARCH_ZEMA3 ? 64 : 32, handed_out = 0;
        std::mt19937_64 rng(arch);
        // Words of every 7th record of the word's width, their free bits random.
        for (uint32_t i = 0; i < g.record_count; i += 7) {
            const PackedRecord &r = g.records[i];
            if (r.size != width) continue;
            std::vector<uint8_t> bytes = WordBytes(r.value | (rng() & ~r.mask), width);
            ASSERT_EQ(DecodeInstruction(bytes.data(), bytes.size(), OPT_RENDER, arch, 64),
                      width / 8);
            for (uint32_t j = 0; j < GetInstructionCount(); ++j) {
                size_t index = State().current->IndexOf(GetInstructionRecord(j));
                if (index == SIZE_MAX) continue; // INVALID
                EXPECT_TRUE(State().current->info[index].expanded) << set.records[index].name;
                expect_record(set.records[index], *GetInstructionRecord(j));
                ++handed_out;
            }
        }
        const ArchitectureTables &t = *State().current;
        size_t expanded = std::count_if(t.info.begin(), t.info.end(),
                                        [](const RecordInfo &info) { return info.expanded; });
        EXPECT_GT(handed_out, 0u);
        EXPECT_GT(expanded, 0u);
        EXPECT_LT(expanded, t.record_count / 2);
    }
}

// Every record of a set decoded: each distinct plan list is noted once,
// however many records share it and however often the lookup table grew.
TEST(PackedTables, EachPlanListIsNotedOnce) {
    for (uint32_t arch : {uint32_t{ARCH_ZEMA1}, uint32_t{ARCH_ZEMA2}}) {
        SCOPED_TRACE(kSetFiles[arch - 1]);
        RestoreGeneratedTables(arch);
        uint32_t width = arch <= ARCH_ZEMA3 ? 64 : 32;
        std::mt19937_64 rng(arch);
        for (uint32_t n = 0; n < 20000; ++n) {
            std::vector<uint8_t> bytes = WordBytes(rng(), width);
            DecodeInstruction(bytes.data(), bytes.size(), OPT_RENDER, arch, 64);
        }
        const ArchitectureTables &t = *State().current;
        const auto &shared = t.shared_plans;
        EXPECT_GT(shared.size(), 32u); // the table grew past its first size
        for (size_t a = 0; a < shared.size(); ++a)
            for (size_t b = 0; b < a; ++b)
                EXPECT_FALSE(shared[a].plan_count == shared[b].plan_count &&
                             shared[a].whole == shared[b].whole &&
                             SamePlans(t.plans.data() + shared[a].plan_begin,
                                       t.plans.data() + shared[b].plan_begin, shared[a].plan_count))
                    << a << " " << b;
    }
}

// One record of operands [operand_begin, +operand_count) over one field of
// bits [bit_begin, +bit_count) and entries [entry_begin, +entry_count); the
// record's name and the field's texts at the given text offsets.
struct Ranges {
    const char *what;
    uint32_t name, operand_begin, operand_count;
    uint32_t bit_begin, bit_count, entry_begin, entry_count, entry_text;
    // expanded
    const char *want_name;
    uint32_t want_operands, want_bits, want_entries;
    const char *want_entry_text;
};

constexpr char kText[] = "\0x\0op\0f\0e";
constexpr PackedOperand kOperands[64] = {{3, 6}, {3, 6}};
constexpr uint8_t kBits[129] = {31, 30};

const Ranges kRanges[] = {
    {"all in place", 1, 0, 2, 0, 2, 0, 1, 8, "x", 2, 2, 1, "e"},
    {"name past the text", 11, 0, 2, 0, 2, 0, 1, 8, "", 2, 2, 1, "e"},
    {"entry text past the text", 1, 0, 2, 0, 2, 0, 1, 10, "x", 2, 2, 1, ""},
    {"operands past the array", 1, 63, 2, 0, 2, 0, 1, 8, "x", 0, 2, 1, "e"},
    {"64 operands leave no end", 1, 0, 64, 0, 2, 0, 1, 8, "x", 0, 2, 1, "e"},
    {"bits past the array", 1, 0, 2, 128, 2, 0, 1, 8, "x", 2, 0, 1, "e"},
    {"more bits than a field holds", 1, 0, 2, 0, 129, 0, 1, 8, "x", 2, 0, 1, "e"},
    {"entries past the array", 1, 0, 2, 0, 2, 1, 129, 8, "x", 2, 2, 0, ""},
    {"begin far past the end", 1, 0xFFFFFFFF, 2, 0xFFFFFFFF, 2, 0xFFFFFFFF, 2, 8, "x", 0, 0, 0, ""},
};

TEST(PackedTables, RangesThatDoNotFitReadAsEmpty) {
    // Installed tables are expanded once per address, so each case has its own.
    static PackedRecord records[std::size(kRanges)];
    static PackedField fields[std::size(kRanges)];
    static PackedEntry entries[std::size(kRanges)][129];
    static GeneratedTables tables[std::size(kRanges)];
    for (size_t c = 0; c < std::size(kRanges); ++c) {
        const Ranges &r = kRanges[c];
        SCOPED_TRACE(r.what);
        records[c] = {r.name, 1, 32, SLOT_WORD, 0, r.operand_begin, r.operand_count, 1, 1};
        fields[c] = {1, 6, 0, r.bit_begin, r.bit_count, r.entry_begin, r.entry_count, 0, 0, 0, 0};
        for (PackedEntry &e : entries[c]) e = {5, r.entry_text};
        tables[c] = {kText, sizeof kText, &records[c], 1,          kOperands, 64,      &fields[c],
                     1,     kBits,        129,         entries[c], 129,       nullptr, 0};
        InstallGeneratedTables(ARCH_RIXU1, tables[c]);
        const InstructionRecord *got = TableRecord(ARCH_RIXU1, 0);
        ASSERT_NE(got, nullptr);
        EXPECT_STREQ(got->name, r.want_name);
        uint32_t operands = 0;
        while (operands < 64 && got->operands[operands].syntax_name) ++operands;
        EXPECT_EQ(operands, r.want_operands);
        if (operands) {
            EXPECT_STREQ(got->operands[0].field_name, "f");
        }
        const FieldRecord *f = FieldTableRecord(ARCH_RIXU1, 0);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->bit_count, r.want_bits);
        if (f->bit_count) {
            EXPECT_EQ(f->bits[0], 31u);
        }
        EXPECT_EQ(f->entry_count, r.want_entries);
        if (f->entry_count) {
            EXPECT_STREQ(f->entries[0].text, r.want_entry_text);
        }
    }
    RestoreGeneratedTables(ARCH_RIXU1);
}

// Names end up in the text block and in line comments of the emitted source:
// a name must neither end a comment's line early nor extend it over the next.
TEST(PackedTables, EmittedNamesStayOnTheirLines) {
    const char *const names[] = {"plain",    "ends in \\", "new\nline",
                                 "quote\"d", "\xe9t\xe9",  "nul\\000"};
    for (const char *name : names) {
        SCOPED_TRACE(name);
        isagen::IsaSet set;
        set.name = "T";
        isagen::TypeDecl &type = set.types["t"];
        type.kind = isagen::TypeKind::Table;
        type.entries = {{0, name}};
        set.fields.push_back({name, &type, {3, 2}});
        isagen::RecordSpec r;
        r.name = r.syntax = name;
        r.size = 32;
        r.operands.push_back({name, {3, 2}, name});
        set.records = {r, r};
        set.records[1].kind = KIND_NULL;
        std::string source = isagen::emit_tables("TablesT", &set);
        size_t lines = 0;
        for (size_t at = 0, end; at < source.size(); at = end + 1, ++lines) {
            end = source.find('\n', at);
            ASSERT_NE(end, std::string::npos);
            std::string_view line(source.data() + at, end - at);
            EXPECT_FALSE(line.ends_with('\\')) << "line " << lines + 1;
            bool known = line.empty() || line.starts_with("    ");
            for (const char *start : {"//", "#include", "namespace", "}", "const", "extern"})
                known = known || line.starts_with(start);
            EXPECT_TRUE(known) << "line " << lines + 1 << ": " << line;
        }
    }
}

} // namespace
