// Packet decoding and the flat interface, on the fixture tables.
#include "decodelib/tests/fixtures.h"

namespace {

using namespace zt;
using Names = std::vector<std::string>;

class Decode : public FixtureTest {};

// A word and the names of the instructions it decodes to.
struct WordCase {
    uint64_t word;
    Names want;
};

uint64_t zema1_abvz(const OperandValues &slots) {
    return encode(ARCH_ZEMA1, "opXABVZ", slots);
}

uint64_t zema1_s(const char *record, const OperandValues &values = {}) {
    uint64_t bits = 0;
    EXPECT_TRUE(Encode(ARCH_ZEMA1, record, values, &bits)) << record;
    return bits;
}

TEST_F(Decode, SelectArchitectureSwitchesAndKeepsTablesForUnknownCodes) {
    DecoderState &s = State();
    SelectArchitecture(ARCH_ZEMA1);
    SelectArchitecture(ARCH_ZEMA3);
    EXPECT_EQ(s.current, &s.tables[2]);
    SelectArchitecture(ARCH_ZEMA3);
    EXPECT_EQ(s.current, &s.tables[2]);
    SelectArchitecture(7);
    EXPECT_EQ(s.current, &s.tables[2]);
    uint8_t bytes[8] = {};
    for (uint32_t code : {0u, 7u}) {
        EXPECT_EQ(DecodeInstruction(bytes, 8, OPT_RENDER, code, 64), 0u) << code;
        EXPECT_EQ(GetInstructionCount(), 0u) << code;
    }
}

TEST_F(Decode, AllZeroWordsOfTheThreeZemaSets) {
    EXPECT_EQ(decode(ARCH_ZEMA1, 0), Names{"done"});
    EXPECT_EQ(decode(ARCH_ZEMA2, 0), Names{"INVALID"});
    EXPECT_EQ(GetInstructionRecord(0)->size, 64u);
    EXPECT_EQ(GetInstructionRecord(0)->id, -1);
    EXPECT_EQ(decode(ARCH_ZEMA3, 0), Names{});
    EXPECT_EQ(packet_text(), "");
}

TEST_F(Decode, PacketSlotsInFormatOrderAndEmptySlotsSkipped) {
    uint64_t a = zema1_s("add_a_I8", {{"AA", 1}, {"IM8", 5}});
    uint64_t b = zema1_s("mv_b", {{"AA", 2}, {"AM", 3}});
    struct Case {
        const char *what;
        OperandValues slots;
        Names want;
    } cases[] = {
        {"only X and Z", {{"opX", 3}, {"opZ", 1}}, {"swbreak", "rts"}},
        {"nothing", {}, {}},
        {"B before A, vectors, Z, then Vr",
         {{"opA", a}, {"opB", b}, {"opVs0", 1}, {"opVau", 2}, {"opZ", 2}, {"opVr", 1}},
         {"mv_b", "add_a_I8", "rd_s0_nop", "mad", "loop_begin", "rd"}},
        {"undecodable A slot", {{"opA", 0x1234}}, {"INVALID"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(decode(ARCH_ZEMA1, zema1_abvz(c.slots)), c.want) << c.what;
    EXPECT_EQ(GetInstructionRecord(0)->size, 15u);
}

TEST_F(Decode, LongInstructionKeepsItsOperandsAndAddsControlSlots) {
    uint64_t w = encode(ARCH_ZEMA1, "add_aX_Is17", {{"AA", 1}, {"IM17sR13", 0x1FFFF}, {"opZ", 1}});
    EXPECT_EQ(decode(ARCH_ZEMA1, w), (Names{"add_aX_Is17", "rts"}));
    ASSERT_EQ(GetOperandCount(0), 2u);
    OperandRecord *imm = GetOperand(0, 1);
    EXPECT_STREQ(imm->syntax_name, "IM17sR13");
    EXPECT_STREQ(imm->field_name, "IM17sR13_imp_bits__36_20_");
    EXPECT_STREQ(imm->text, "-$1");
    EXPECT_STREQ(imm->reloc_name, "R_ZEMA_LAB_17");
    EXPECT_EQ(imm->reloc_type, 13u);
    EXPECT_EQ(imm->reloc_width, 17u);
    EXPECT_EQ(imm->is_signed, 1u);
    EXPECT_EQ(packet_text(), "add a1, -$1; rts;");
}

TEST_F(Decode, ZemaOneTwoSOrderings) {
    uint64_t upper = zema1_s("add_aX_aY", {{"AA", 1}, {"AM", 2}});
    uint64_t lower = zema1_s("set_rot", {{"ROT_MODE", 1}, {"AA", 3}});
    uint64_t null = zema1_s("null");
    struct Case {
        const char *what;
        uint64_t x, sh, sl, z;
        Names want;
    } cases[] = {
        {"marker on both halves",
         3,
         upper,
         lower,
         1,
         {"swbreak", "add_aX_aY", "rts", "swbreak", "set_rot"}},
        {"upper marker only", 2, upper, lower, 0, {"swbreak", "add_aX_aY", "set_rot"}},
        {"lower marker only", 1, upper, lower, 0, {"add_aX_aY", "swbreak", "set_rot"}},
        {"upper null moves Z last", 3, null, lower, 1, {"swbreak", "swbreak", "set_rot", "rts"}},
        {"upper 0 (a nop) keeps Z, last", 1, 0, lower, 1, {"swbreak", "set_rot", "rts"}},
        {"upper 0 without Z", 1, 0, lower, 0, {"swbreak", "set_rot"}},
        {"lower 0 still decodes", 0, upper, 0, 0, {"add_aX_aY", "opS_nop"}},
    };
    for (const Case &c : cases) {
        uint64_t w = encode(ARCH_ZEMA1, "opXSSZ",
                            {{"opX", c.x}, {"opS_HI", c.sh}, {"opS_LO", c.sl}, {"opZ", c.z}});
        EXPECT_EQ(decode(ARCH_ZEMA1, w), c.want) << c.what;
    }
}

TEST_F(Decode, ZemaTwoTwoSMarkersAndNull) {
    uint64_t s = encode(ARCH_ZEMA2, "add_aX_aY", {{"AX", 12}, {"AY", 13}});
    struct Case {
        uint64_t xh, xl, sh, sl, z;
        Names want;
    } cases[] = {
        {1, 1, s, s, 1, {"swbreak", "add_aX_aY", "rts", "swbreak", "add_aX_aY"}},
        {0, 1, s, 0, 0, {"add_aX_aY", "swbreak", "null"}},
        {1, 0, 0, s, 2, {"swbreak", "add_aX_aY", "loop_begin"}},
    };
    for (const Case &c : cases) {
        uint64_t w = encode(
            ARCH_ZEMA2, "opXXSSZ",
            {{"opX_HI", c.xh}, {"opX_LO", c.xl}, {"opS_HI", c.sh}, {"opS_LO", c.sl}, {"opZ", c.z}});
        EXPECT_EQ(decode(ARCH_ZEMA2, w), c.want);
    }
}

TEST_F(Decode, RixuLoopMarkersAndInstructions) {
    uint64_t jmp = encode(ARCH_RIXU1, "jmp_LI16", {{"LI16", 0x10}});
    const WordCase cases[] = {
        {0x2, {"loop_begin_0"}},
        {0x3, {"loop_begin_0", "loop_end_0"}},
        {0x4, {"nop"}},
        {0x6, {"loop_begin_1"}},
        {0x5, {"loop_end_1"}},
        {jmp | 0x2, {"jmp_LI16", "loop_begin_0"}},
        {jmp | 0x6, {"jmp_LI16", "loop_begin_1"}},
        {jmp | 0x4, {"jmp_LI16", "nop"}},
        {0xE0000000, {"INVALID"}},
    };
    for (uint32_t arch : {ARCH_RIXU1, ARCH_RIXU2, ARCH_RIXU3})
        for (const WordCase &c : cases)
            EXPECT_EQ(decode(arch, c.word), c.want) << arch << " " << c.word;
}

// Markers whose masks reach past the low byte are found by the same rule.
TEST_F(Decode, RixuLoopMarkersWithWideMasks) {
    static InstructionRecord records[4] = {};
    const char *names[] = {"loop_begin_0", "loop_end_0", "x", "nop"};
    for (uint32_t i = 0; i < 4; ++i) {
        records[i] = {};
        records[i].name = records[i].syntax = names[i];
        records[i].size = i < 2 ? 3 : 32;
        records[i].slot = SLOT_WORD;
    }
    records[0].mask = records[1].mask = 0x107;
    records[0].value = 0x2, records[1].value = 0x1;
    records[2].mask = records[2].value = 0x80000000;
    records[3].mask = 0xFFFFFEF8; // the word holds loop bits only
    static const RecordKindEntry kinds[] = {{0, KIND_LOOP_BEGIN_0}, {1, KIND_LOOP_END_0}};
    InstallTables(ARCH_RIXU1, records, 4, nullptr, 0, kinds, 2);
    const WordCase cases[] = {
        {0x2, {"loop_begin_0"}},
        {0x103, {"loop_begin_0", "loop_end_0"}},
        {0x80000001, {"x", "loop_end_0"}},
        {0x80000000, {"x"}},
    };
    for (const WordCase &c : cases) EXPECT_EQ(decode(ARCH_RIXU1, c.word), c.want) << c.word;
}

TEST_F(Decode, RixuOperandsAreLowercase) {
    uint64_t w = encode(ARCH_RIXU1, "ld_aX_Is5", {{"AA", 1}, {"IM5s", 0x1F}, {"RIXU_MAXO", 1}});
    EXPECT_EQ(decode(ARCH_RIXU1, w), Names{"ld_aX_Is5"});
    EXPECT_EQ(GetOperandCount(0), 10u);
    EXPECT_STREQ(GetOperand(0, 2)->text, "a1");
    EXPECT_EQ(packet_text(), "ld.maxo [a1]-$1, +$0, normal, +$0, normal;");
    EXPECT_EQ(decode_text(ARCH_RIXU1, encode(ARCH_RIXU1, "set_case", {{"CASE", 1}})),
              "set.case down;");
    EXPECT_EQ(decode_text(ARCH_RIXU1, encode(ARCH_RIXU1, "set_case", {{"CASE", 0}})),
              "set.case up;");
}

// RIXU operand texts are lower-cased whichever way they are rendered: short
// table texts, texts too long to be short, unknown values, prefixed numbers;
// number texts come out as they are.
TEST_F(Decode, RixuOperandTextsAreLowerCasedOnEveryRenderingPath) {
    static const std::string long_text = "Long_Text_Of_Twenty";
    static FieldRecord fields[4] = {};
    const char *names[] = {"T_imp_bits__1_0_", "E_imp_bits__5_2_", "I_imp_bits__9_6_",
                           "S_imp_bits__11_10_"};
    const uint32_t kinds[] = {2, 0, 1, 2};
    for (uint32_t f = 0; f < 4; ++f) {
        fields[f] = {};
        fields[f].kind = kinds[f];
        fields[f].name = names[f];
        fields[f].prefix = "";
        fields[f].reloc_name = "";
    }
    fields[0].bit_count = 2, fields[0].bits[0] = 1, fields[0].bits[1] = 0;
    fields[0].entry_count = 3;
    fields[0].entries[0] = {0, "Up"};
    fields[0].entries[1] = {1, "down"};
    fields[0].entries[2] = {2, long_text.c_str()};
    fields[1].prefix = "R";
    fields[1].bit_count = 4;
    for (uint32_t b = 0; b < 4; ++b) fields[1].bits[b] = 5 - b;
    fields[2].bit_count = 4;
    for (uint32_t b = 0; b < 4; ++b) fields[2].bits[b] = 9 - b;
    fields[3].shift = 4; // tabled numbers
    fields[3].bit_count = 2, fields[3].bits[0] = 11, fields[3].bits[1] = 10;
    fields[3].entry_count = 1;
    fields[3].entries[0] = {1, "10"};
    static InstructionRecord record;
    install_one_record(record, "x T, E, I, S",
                       {{"T", names[0]}, {"E", names[1]}, {"I", names[2]}, {"S", names[3]}}, fields,
                       4);
    struct Case {
        uint64_t word;
        const char *want[4];
    } cases[] = {
        {0x80000000 | 0 | 5 << 2 | 0xA << 6 | 1 << 10, {"up", "r5", "+$a", "$a0"}},
        {0x80000000 | 1 | 15 << 2 | 0xF << 6 | 0 << 10, {"down", "r15", "+$f", "$0"}},
        {0x80000000 | 2, {"long_text_of_twenty", "r0", "+$0", "$0"}},
        {0x80000000 | 3, {"unknown", "r0", "+$0", "$0"}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(decode(ARCH_RIXU1, c.word), Names{"x"});
        ASSERT_EQ(GetOperandCount(0), 4u);
        for (uint32_t k = 0; k < 4; ++k)
            EXPECT_STREQ(GetOperand(0, k)->text, c.want[k]) << std::hex << c.word << " " << k;
    }
}

// Numbers made straight into the operand text read as their field renders
// them, signed or not, shifted, in both notations, and split fields too.
TEST_F(Decode, NumberOperandsReadAsTheirFieldsRenderThem) {
    static FieldRecord fields[4] = {};
    const char *names[] = {"U_imp_bits__7_0_", "S_imp_bits__15_8_", "H_imp_bits__19_16_",
                           "P_imp_bits__30_28_23_20_"};
    for (uint32_t f = 0; f < 4; ++f) {
        fields[f] = {};
        fields[f].kind = 1;
        fields[f].name = names[f];
        fields[f].prefix = "";
        fields[f].reloc_name = "";
    }
    fields[0].bit_count = 8;
    for (uint32_t b = 0; b < 8; ++b) fields[0].bits[b] = 7 - b;
    fields[1].bit_count = 8, fields[1].is_signed = 1;
    for (uint32_t b = 0; b < 8; ++b) fields[1].bits[b] = 15 - b;
    fields[2].bit_count = 4, fields[2].shift = 3, fields[2].is_signed = 1;
    for (uint32_t b = 0; b < 4; ++b) fields[2].bits[b] = 19 - b;
    const uint32_t split[] = {30, 29, 28, 23, 22, 21, 20};
    fields[3].bit_count = 7, fields[3].is_signed = 1;
    for (uint32_t b = 0; b < 7; ++b) fields[3].bits[b] = split[b];
    static InstructionRecord record;
    install_one_record(record, "x U, S, H, P",
                       {{"U", names[0]}, {"S", names[1]}, {"H", names[2]}, {"P", names[3]}}, fields,
                       4);
    const uint64_t words[] = {0x80000000, 0x80FF80FF, 0x807F7F01, 0xFFFFFFFF, 0xB0A5C35A};
    for (uint32_t options : {uint32_t{OPT_RENDER}, uint32_t{OPT_RENDER | OPT_DECIMAL}})
        for (uint64_t w : words) {
            EXPECT_EQ(decode(ARCH_RIXU1, w, options), Names{"x"});
            ASSERT_EQ(GetOperandCount(0), 4u);
            for (uint32_t k = 0; k < 4; ++k)
                EXPECT_EQ(GetOperand(0, k)->text,
                          FindFieldObject(names[k])->RenderText(w, 0, 32, options))
                    << std::hex << w << " " << k << " " << options;
        }
    decode(ARCH_RIXU1, 0x80FF80FF, OPT_RENDER | OPT_DECIMAL);
    EXPECT_STREQ(GetOperand(0, 0)->text, "+255");
    EXPECT_STREQ(GetOperand(0, 1)->text, "-128");
    decode(ARCH_RIXU1, 0x80FF80FF);
    EXPECT_STREQ(GetOperand(0, 2)->text, "-$8");
}

// Records whose operands have the same names and fields share what a decode
// notes about them; a record differing in a field, or naming its operand
// with another text of the same characters, keeps its own.
TEST_F(Decode, RecordsSharingOperandListsKeepTheirOwnNamesAndFields) {
    static const char kX[] = "X", kOtherX[] = "X";
    static const char *const kUnsigned = "U_imp_bits__7_0_", *const kSigned = "S_imp_bits__7_0_";
    static FieldRecord fields[2] = {};
    for (uint32_t f = 0; f < 2; ++f) {
        fields[f] = {};
        fields[f].kind = 1;
        fields[f].name = f ? kSigned : kUnsigned;
        fields[f].prefix = fields[f].reloc_name = "";
        fields[f].bit_count = 8;
        fields[f].is_signed = f;
        for (uint32_t b = 0; b < 8; ++b) fields[f].bits[b] = 7 - b;
    }
    static InstructionRecord records[4] = {};
    const OperandName operands[4] = {
        {kX, kUnsigned}, {kX, kSigned}, {kX, kUnsigned}, {kOtherX, kUnsigned}};
    const char *names[4] = {"a", "b", "c", "d"};
    for (uint32_t i = 0; i < 4; ++i) {
        records[i] = {};
        records[i].name = records[i].syntax = names[i];
        records[i].size = 32;
        records[i].slot = SLOT_WORD;
        records[i].operands[0] = operands[i];
        records[i].mask = 0xF0000000;
        records[i].value = 0x80000000u + (i << 28);
    }
    InstallTables(ARCH_RIXU1, records, 4, fields, 2);
    struct Case {
        uint32_t record;
        uint8_t value;
        const char *want;
    } cases[] = {{0, 0xFF, "+$ff"}, {1, 0xFF, "-$1"},  {2, 0xFE, "+$fe"},
                 {3, 0x7F, "+$7f"}, {1, 0x80, "-$80"}, {0, 0x80, "+$80"}};
    for (const Case &c : cases) {
        uint64_t w = records[c.record].value | c.value;
        ASSERT_EQ(decode(ARCH_RIXU1, w), Names{names[c.record]});
        ASSERT_EQ(GetOperandCount(0), 1u);
        const OperandRecord *op = GetOperand(0, 0);
        EXPECT_EQ(op->syntax_name, operands[c.record].syntax_name) << names[c.record];
        EXPECT_EQ(op->field_name, operands[c.record].field_name) << names[c.record];
        EXPECT_STREQ(op->text, c.want) << names[c.record];
    }
}

// Plan lists alike only when every name text, field and slot is the same
// object, whatever their characters; alike lists hash alike.
TEST(PlanLists, AlikeOnlyInEveryPart) {
    static const char kA[] = "A", kOtherA[] = "A", kF[] = "F_imp_bits__3_0_";
    FieldRecord records[2] = {};
    for (FieldRecord &r : records) r.kind = 1, r.name = kF, r.prefix = r.reloc_name = "";
    std::unique_ptr<Field> f(MakeField(&records[0])), g(MakeField(&records[1]));
    const OperandName a{kA, kF}, same_texts{kA, kF}, renamed{kOtherA, kF},
        other_field_name{kA, "F"};
    const OperandPlan base[] = {{f.get(), &a, 0}, {g.get(), &a, SLOT_A}};
    struct Case {
        const char *what;
        OperandPlan second;
        bool alike;
    } cases[] = {
        {"the same", {g.get(), &a, SLOT_A}, true},
        {"another record's entry of the same texts", {g.get(), &same_texts, SLOT_A}, true},
        {"a name of the same characters elsewhere", {g.get(), &renamed, SLOT_A}, false},
        {"another field name text", {g.get(), &other_field_name, SLOT_A}, false},
        {"another field", {f.get(), &a, SLOT_A}, false},
        {"another slot", {g.get(), &a, SLOT_B}, false},
    };
    for (const Case &c : cases) {
        const OperandPlan list[] = {base[0], c.second};
        EXPECT_EQ(SamePlans(base, list, 2), c.alike) << c.what;
        if (c.alike) {
            EXPECT_EQ(PlanListHash(base, 2), PlanListHash(list, 2)) << c.what;
        }
    }
    EXPECT_NE(PlanListHash(base, 1), PlanListHash(base, 2));
}

TEST_F(Decode, FieldsOfUnknownKindAreSkipped) {
    static FieldRecord fields[2] = {};
    fields[0].kind = 3;
    fields[0].name = "IM4_imp_bits__3_0_";
    fields[1].kind = 1;
    fields[1].name = "IM2_imp_bits__5_4_";
    fields[0].bit_count = fields[1].bit_count = 2;
    fields[0].bits[0] = 3, fields[0].bits[1] = 2;
    fields[1].bits[0] = 5, fields[1].bits[1] = 4;
    static InstructionRecord record;
    install_one_record(record, "x IM4, IM2",
                       {{"IM4", "IM4_imp_bits__3_0_"}, {"IM2", "IM2_imp_bits__5_4_"}}, fields, 2);
    EXPECT_EQ(decode(ARCH_RIXU1, 0x8000003F), Names{"x"});
    ASSERT_EQ(GetOperandCount(0), 1u);
    EXPECT_STREQ(GetOperand(0, 0)->syntax_name, "IM2");
    EXPECT_EQ(packet_text(), "x IM4, +$3;");
}

TEST_F(Decode, ShortInputDecodesNothing) {
    uint8_t bytes[8] = {};
    EXPECT_EQ(DecodeInstruction(bytes, 7, OPT_RENDER, ARCH_ZEMA1, 64), 0u);
    EXPECT_EQ(GetInstructionCount(), 0u);
    EXPECT_EQ(DecodeInstruction(bytes, 3, OPT_RENDER, ARCH_RIXU1, 64), 0u);
    EXPECT_EQ(DecodeInstruction(nullptr, 8, OPT_RENDER, ARCH_ZEMA1, 64), 0u);
}

class Interface : public FixtureTest {
  protected:
    // Five entries: swbreak, mv_b, add_a_I8, rd_s0_nop, rts.
    void decode_five() {
        uint64_t a = zema1_s("add_a_I8", {{"AA", 1}, {"IM8", 5}});
        uint64_t b = zema1_s("mv_b", {{"AA", 2}, {"AM", 3}});
        decode(ARCH_ZEMA1,
               zema1_abvz({{"opX", 3}, {"opA", a}, {"opB", b}, {"opVs0", 1}, {"opZ", 1}}));
        ASSERT_EQ(GetInstructionCount(), 5u);
    }
    Names names() {
        Names n;
        for (uint32_t i = 0; i < GetInstructionCount(); ++i)
            n.push_back(GetInstructionRecord(i)->name);
        return n;
    }
};

TEST_F(Interface, MoveInstructionCarriesOperands) {
    struct Case {
        uint32_t from, to;
        Names want;
    } cases[] = {
        {3, 1, {"swbreak", "rd_s0_nop", "mv_b", "add_a_I8", "rts"}},
        {1, 4, {"swbreak", "add_a_I8", "rd_s0_nop", "mv_b", "rts"}},
        {2, 2, {"swbreak", "mv_b", "add_a_I8", "rd_s0_nop", "rts"}},
        {5, 0, {"swbreak", "mv_b", "add_a_I8", "rd_s0_nop", "rts"}},
        {0, 5, {"swbreak", "mv_b", "add_a_I8", "rd_s0_nop", "rts"}},
    };
    for (const Case &c : cases) {
        decode_five();
        SetInstructionText(c.from, "<", nullptr, nullptr);
        MoveInstruction(c.from, c.to);
        EXPECT_EQ(names(), c.want) << c.from << "->" << c.to;
        for (uint32_t i = 0; i < 5; ++i) {
            const std::string name = GetInstructionRecord(i)->name;
            EXPECT_EQ(GetOperandCount(i), name == "mv_b" || name == "add_a_I8" ? 2u : 0u) << name;
        }
    }
    decode_five();
    MoveInstruction(1, 4);
    EXPECT_STREQ(GetOperand(3, 0)->text, "a2");
}

TEST_F(Interface, OutOfRangeIndices) {
    decode_five();
    EXPECT_EQ(GetInstructionRecord(5), nullptr);
    EXPECT_EQ(GetOperandCount(5), 0u);
    EXPECT_EQ(GetOperand(1, 2), nullptr);
    EXPECT_EQ(GetOperand(5, 0), nullptr);
    EXPECT_NE(GetOperand(1, 1), nullptr);
    SetInstructionText(5, "x", "y", "z");
    EXPECT_EQ(packet_text(), "swbreak; mv a2, a3; add a1, +$5; rd_s0_nop; rts;");
    EXPECT_EQ(GetByteOrder(), 0u);
}

TEST_F(Interface, InstructionTexts) {
    decode_five();
    SetInstructionText(0, "\t", "", nullptr);
    SetInstructionText(1, "[", "]", "REPLACED");
    SetInstructionText(1, nullptr, "}", nullptr);
    const DecodedInstruction &d = State().instructions[1];
    EXPECT_EQ(d.prefix_text, "[");
    EXPECT_TRUE(d.replaced);
    EXPECT_EQ(d.replacement_text, "REPLACED");
    std::string first = packet_text();
    EXPECT_EQ(first, "\tswbreak; [REPLACED}; add a1, +$5; rd_s0_nop; rts;");
    EXPECT_EQ(packet_text(), first);
    const char *text = nullptr;
    EXPECT_EQ(FormatPacket(&text), 8u);
}

TEST(SlotNames, SlotFieldNamesGiveTheirCodes) {
    struct Case {
        const char *name;
        uint32_t slot, direct;
    } cases[] = {
        {"opA", SLOT_A, SLOT_A},      {"opVsau", SLOT_VSAU, SLOT_VSAU},
        {"opS_HI", SLOT_S, SLOT_S},   {"opS_LO", SLOT_S, 0},
        {"opX_LO", SLOT_X, SLOT_X},   {"opX_HI", SLOT_X, 0},
        {"opVsau_HI", SLOT_VSAU, 0},  {"opC", SLOT_C, SLOT_C},
        {"opDONE", SLOT_WORD, 0},     {"opW", SLOT_WORD, 0},
        {"op", SLOT_WORD, 0},         {"opQ", SLOT_WORD, 0},
        {"opVsauVsau", SLOT_WORD, 0}, {"opVsau_HIx", SLOT_WORD, 0},
        {"A", SLOT_WORD, 0},          {"opa", SLOT_WORD, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(SlotOfField(c.name), c.slot) << c.name;
        EXPECT_EQ(DirectSlotCode(c.name), c.direct) << c.name;
    }
}

TEST(Versions, Texts) {
    EXPECT_STREQ(ZEMADisasmLib::GetLibraryVersion(),
                 "ZEMA1/ZEMA2/ZEMA3 Disassembly Library Version 1.32");
    EXPECT_STREQ(ZEMADisasmLib::GetModelVersion(),
                 "HDM Version MAXO1-1.68 RIXU1-1.6 MAXO2-1.42 RIXU2-1.6 MAXO3-1.33 RIXU3-1 ");
}

} // namespace
