// Behaviour on the generated tables of the real descriptions; a missing
// record fails the test naming it.
#include "decodelib/tests/fixtures.h"

namespace {

using namespace zt;
using Names = std::vector<std::string>;

#define NEED(arch, name)                                                                           \
    ASSERT_NE(FindRecord(arch, name), nullptr) << "record " << name << " missing"

std::vector<std::string> operand_names(const InstructionRecord *r) {
    std::vector<std::string> names;
    for (int k = 0; k < 64 && r->operands[k].syntax_name; ++k)
        names.push_back(r->operands[k].syntax_name);
    return names;
}

TEST(RealRixu, TellingRowAndLoopWords) {
    NEED(ARCH_RIXU1, "ld_aX_Is5");
    const InstructionRecord *r = FindRecord(ARCH_RIXU1, "ld_aX_Is5");
    EXPECT_STREQ(r->syntax, "ldRIXU_MAXO [AA]+IM5s, ELEM_OFFSET, LD_MODE, WR_OFFSET, LATCH_MODE");
    EXPECT_EQ(r->value, 0xC0000000u);
    EXPECT_EQ(r->mask, 0xE0000000u);
    EXPECT_EQ(operand_names(r),
              (Names{"LD_MODE", "IM5s", "AA", "RIXU_MAXO", "ELEM_OFFSET", "WR_OFFSET", "LATCH_MODE",
                     "LOOP_INDEX", "LOOP_START", "LOOP_END"}));
    for (uint32_t arch : {ARCH_RIXU1, ARCH_RIXU2, ARCH_RIXU3}) {
        EXPECT_EQ(decode(arch, 0x2), Names{"loop_begin_0"});
        EXPECT_EQ(packet_text(), "loop_begin 0;");
        EXPECT_EQ(decode(arch, 0x3), (Names{"loop_begin_0", "loop_end_0"}));
        EXPECT_EQ(decode(arch, 0x4), Names{"nop"});
    }
}

TEST(RealRixu, JumpWithLoopStart) {
    NEED(ARCH_RIXU1, "jmp_LI16");
    uint64_t jmp = encode(ARCH_RIXU1, "jmp_LI16", {{"LI16R16", 0x40}});
    EXPECT_EQ(decode(ARCH_RIXU1, jmp | 0x2), (Names{"jmp_LI16", "loop_begin_0"}));
    EXPECT_EQ(decode(ARCH_RIXU1, jmp | 0x6), (Names{"jmp_LI16", "loop_begin_1"}));
    OperandRecord *target = GetOperand(0, 0);
    ASSERT_NE(target, nullptr);
    EXPECT_NE(target->reloc_type, 0u);
}

TEST(RealRixu, Texts) {
    NEED(ARCH_RIXU1, "ld_index_rixu");
    NEED(ARCH_RIXU1, "set_loop");
    NEED(ARCH_RIXU1, "set_range_aY_asA_Iu17");
    uint64_t ld = encode(ARCH_RIXU1, "ld_index_rixu", {{"AA", 1}, {"IM9s", 0x1FC}});
    EXPECT_EQ(decode_text(ARCH_RIXU1, ld), "ld.index.rixu [a1]-$4;");
    EXPECT_EQ(decode_text(ARCH_RIXU1, ld, OPT_RENDER | OPT_KEEP_PLUS_MINUS),
              "ld.index.rixu [a1]+-$4;");
    uint64_t loop = encode(ARCH_RIXU1, "set_loop", {{"SET_LOOP_INDEX", 1}, {"IM8", 0xF}});
    for (uint32_t arch : {ARCH_RIXU1, ARCH_RIXU2, ARCH_RIXU3})
        EXPECT_EQ(decode_text(arch, loop), "set.loop +$1, $10;") << arch;
    uint64_t range =
        encode(ARCH_RIXU1, "set_range_aY_asA_Iu17", {{"AA", 1}, {"AS", 3}, {"IM17", 0xFF}});
    EXPECT_EQ(decode_text(ARCH_RIXU1, range), "set.range a1, as3, $100;");
}

// The range count is computed on RIXU1 only; the same record of RIXU2 and
// RIXU3 keeps its template.
TEST(RealRixu, RangeComputedOnRixuOneOnly) {
    struct Case {
        uint32_t arch;
        const char *text;
    } cases[] = {{ARCH_RIXU1, "set.range a0, as0, $2;"},
                 {ARCH_RIXU2, "set.range a0, as0, (+$1 + 1);"},
                 {ARCH_RIXU3, "set.range a0, as0, (+$1 + 1);"}};
    for (const Case &c : cases) {
        NEED(c.arch, "set_range_aY_asA_Iu17");
        uint64_t w = encode(c.arch, "set_range_aY_asA_Iu17", {{"IM17", 1}});
        EXPECT_EQ(decode_text(c.arch, w), c.text) << c.arch;
    }
}

// The driver's loop-end rule reads the kinds of a decoded packet.
TEST(RealZema, DecodedInstructionsCarryTheirKinds) {
    uint64_t set_loop = encode(ARCH_ZEMA1, "set_loop_I_I", {{"ITER_CNT", 3}});
    uint64_t loop_begin = encode(ARCH_ZEMA1, "loop_begin");
    uint64_t w =
        encode(ARCH_ZEMA1, "opXSVZ", {{"opX", 3}, {"opS_HI", set_loop}, {"opZ", loop_begin}});
    EXPECT_EQ(decode(ARCH_ZEMA1, w), (Names{"swbreak", "set_loop_I_I", "loop_begin"}));
    const RecordKind want[] = {KIND_SWBREAK, KIND_SET_LOOP_COUNT_SIZE, KIND_LOOP_BEGIN};
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(GetInstructionKind(i), want[i]) << i;
    EXPECT_EQ(GetInstructionKind(3), KIND_PLAIN);
    decode(ARCH_RIXU1, 0x2); // a loop marker alone
    ASSERT_EQ(GetInstructionCount(), 1u);
    EXPECT_EQ(GetInstructionKind(0), KIND_LOOP_BEGIN_0);
}

TEST(RealZema, AllZeroWords) {
    struct Case {
        uint32_t arch;
        const char *needs;
        Names want;
    } cases[] = {{ARCH_ZEMA1, "done", {"done"}},
                 {ARCH_ZEMA2, "opXXSSZ", {"INVALID"}},
                 {ARCH_ZEMA3, "opXDZ", {}}};
    for (const Case &c : cases) {
        ASSERT_NE(FindRecord(c.arch, c.needs), nullptr) << c.needs;
        EXPECT_EQ(decode(c.arch, 0), c.want) << c.arch;
    }
}

TEST(RealZema, TellingRows) {
    NEED(ARCH_ZEMA1, "add_aX_Is17");
    const InstructionRecord *add = FindRecord(ARCH_ZEMA1, "add_aX_Is17");
    EXPECT_EQ(add->value, 0x0008C00000000000u);
    EXPECT_EQ(add->mask, 0x003FE5E000000000u);
    uint64_t w = encode(ARCH_ZEMA1, "add_aX_Is17", {{"AA", 2}, {"IM17sR13", 0x10}, {"opZ", 1}});
    EXPECT_EQ(decode(ARCH_ZEMA1, w), (Names{"add_aX_Is17", "rts"}));
    EXPECT_EQ(packet_text(), "add a2, +$10; rts;");
}

TEST(RealZema, LoopCountAndBreakMarkers) {
    NEED(ARCH_ZEMA1, "set_loop_I");
    NEED(ARCH_ZEMA1, "swbreak");
    uint64_t loop = encode(ARCH_ZEMA1, "opXABVZ",
                           {{"opB", encode(ARCH_ZEMA1, "set_loop_I", {{"ITER_CNT", 0x3F}})}});
    EXPECT_EQ(decode_text(ARCH_ZEMA1, loop), "set.loop $40;");
    EXPECT_EQ(decode_text(ARCH_ZEMA1, loop, OPT_RENDER | OPT_DECIMAL), "set.loop 64;");
    uint64_t marked = encode(ARCH_ZEMA1, "opXABVZ", {{"opX", 3}, {"opZ", 1}});
    EXPECT_EQ(decode(ARCH_ZEMA1, marked), (Names{"swbreak", "rts"}));
    EXPECT_EQ(packet_text(), "swbreak; rts;");
}

uint64_t zema1_upper(const char *record, const OperandValues &values) {
    return encode(ARCH_ZEMA1, "opXSVZ", {{"opS_HI", encode(ARCH_ZEMA1, record, values)}});
}

TEST(RealZema, ZemaOneComputedTexts) {
    for (const char *n : {"set_nco", "set_xtrm", "set_range1_rS0_Iu22", "pushm_as", "mv_aX_I17"})
        NEED(ARCH_ZEMA1, n);
    struct Case {
        uint64_t word;
        uint8_t au_count;
        const char *want;
    } cases[] = {
        {zema1_upper("set_nco", {{"NCO_NEG_POS", 0}, {"NCO_FREQ", 0x100}}), 64,
         "set.nco sin, +$0, -$100;"},
        {zema1_upper("set_nco", {{"NCO_NEG_POS", 1}, {"NCO_FREQ", 0x100}}), 64,
         "set.nco sin, +$0, $100;"},
        {zema1_upper("set_nco", {{"NCO_NEG_POS", 0}, {"NCO_FREQ", 0}}), 64,
         "set.nco sin, +$0, $40000000;"},
        {zema1_upper("set_nco", {{"NCO_NEG_POS", 1}, {"NCO_FREQ", 0}}), 64,
         "set.nco sin, +$0, $0;"},
        {zema1_upper("set_xtrm", {{"IM4", 3}, {"LINE1b", 1}}), 64,
         "set.xtrm signed, max, odd, $200;"},
        {zema1_upper("set_xtrm", {{"IM4", 3}, {"LINE1b", 0}}), 64,
         "set.xtrm signed, max, odd, $8;"},
        {encode(ARCH_ZEMA1, "set_range1_rS0_Iu22", {{"IM22", 0x3FFFFF}}), 64,
         "set.VRArange1 rS0, $7ff, $7ff;"},
        {encode(ARCH_ZEMA1, "set_range1_rS0_Iu22", {{"IM22", 0x3FFFFF}}), 16,
         "set.VRArange1 rS0, $1ff, $1ff;"},
        {zema1_upper("pushm_as", {{"AS0", 1}, {"AS3", 1}}), 64, "pushm as0,as3;"},
        {encode(ARCH_ZEMA1, "mv_aX_I17", {{"AA", 1}, {"IM17R13", 5}, {"opZ", 1}}), 64,
         "mv a1, +$5; rts;"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(decode_text(ARCH_ZEMA1, c.word, OPT_RENDER, c.au_count), c.want);
}

TEST(RealZema, ZemaOneTwoS) {
    NEED(ARCH_ZEMA1, "null");
    NEED(ARCH_ZEMA1, "set_loop_I_I");
    uint64_t upper = encode(ARCH_ZEMA1, "set_loop_I_I", {{"ITER_CNT", 1}, {"LOOP_SIZE_R10", 2}});
    uint64_t lower = encode(ARCH_ZEMA1, "set_loop_I_I", {{"ITER_CNT", 3}, {"LOOP_SIZE_R10", 4}});
    uint64_t null = encode(ARCH_ZEMA1, "null");
    uint64_t both = encode(ARCH_ZEMA1, "opXSSZ",
                           {{"opX", 3}, {"opS_HI", upper}, {"opS_LO", lower}, {"opZ", 1}});
    EXPECT_EQ(decode_text(ARCH_ZEMA1, both),
              "swbreak; set.loop $4, $5;\n\tswbreak; set.loop $2, $3; rts;");
    uint64_t empty_upper =
        encode(ARCH_ZEMA1, "opXSSZ", {{"opS_HI", null}, {"opS_LO", lower}, {"opZ", 1}});
    EXPECT_EQ(decode(ARCH_ZEMA1, empty_upper), (Names{"set_loop_I_I", "rts"}));
    uint64_t zero_upper = encode(ARCH_ZEMA1, "opXSSZ", {{"opX", 1}, {"opS_LO", lower}, {"opZ", 1}});
    // The upper nop is left out; its rts is not lost.
    EXPECT_EQ(decode(ARCH_ZEMA1, zero_upper), (Names{"swbreak", "set_loop_I_I", "rts"}));
    EXPECT_EQ(decode_text(ARCH_ZEMA1, zero_upper), "swbreak; set.loop $4, $5; rts;");
}

TEST(RealZema, ZemaTwoNopS) {
    NEED(ARCH_ZEMA2, "nop_s");
    const InstructionRecord *r = FindRecord(ARCH_ZEMA2, "nop_s");
    EXPECT_STREQ(r->syntax, "nopS");
    EXPECT_EQ(r->flags, 0x40u);
    EXPECT_EQ(r->value, 0xE00000u);
    EXPECT_EQ(r->mask, 0x1FFFFFFFu);
}

} // namespace
