// ZEMA2 computed texts (loop counts, extremum search, store and load
// multiple), the register-mask spelling of pushm/popm, and the relocation
// types that the listing relies on, all on the generated tables.
#include <gtest/gtest.h>

#include <string>

#include "decodelib/encoder.h"
#include "decodelib/tests/operand_check.h"
#include "decodelib/zema_disasm.h"

namespace {

using namespace ZEMADisasmLib;

constexpr uint32_t kZema2 = 2;

struct TextCase {
    const char *holder; // slot field of the packet, or "" for a whole-word record
    const char *record;
    OperandValues values;
    uint32_t options;
    uint8_t au_count;
    const char *text;
};

std::string decode_text(uint64_t bits, uint32_t options, uint8_t au_count) {
    std::vector<uint8_t> bytes = WordBytes(bits, 64);
    EXPECT_EQ(DecodeInstruction(bytes.data(), bytes.size(), options, kZema2, au_count), 8u);
    const char *text = nullptr;
    FormatPacket(&text);
    return text ? text : "";
}

uint64_t build(const TextCase &c) {
    uint64_t inner = 0, word = 0;
    EXPECT_TRUE(Encode(kZema2, c.record, c.values, &inner)) << c.record;
    if (!*c.holder) return inner;
    std::string format = std::string(c.holder) == "opB" ? "opXBAVZ" : "opXSVZ";
    EXPECT_TRUE(EncodePacket(kZema2, format, {{c.holder, inner}}, &word)) << c.record;
    return word;
}

constexpr uint32_t R = OPT_RENDER, D = OPT_RENDER | OPT_DECIMAL;

const TextCase kTexts[] = {
    // Loop counts are stored minus one.
    {"",
     "set_loop_ITER_INSTR",
     {{"C_ITER_CNT", 0x3F}, {"C_INSTR_CNT", 9}},
     R,
     64,
     "set.loop $40, $a;"},
    {"",
     "set_loop_ITER_INSTR",
     {{"C_ITER_CNT", 0x3F}, {"C_INSTR_CNT", 9}},
     D,
     64,
     "set.loop 64, 10;"},
    {"", "setC_loop_ITER", {{"C_ITER_CNT", 0x3FFF}}, R, 64, "setC.loop $4000;"},
    {"", "setC_loop_aX_INSTR", {{"AXG", 17}, {"C_INSTR_CNT", 0}}, R, 64, "setC.loop a5, $1;"},
    {"", "setC_loop_agX_INSTR", {{"AXG", 3}, {"C_INSTR_CNT", 0xF}}, R, 64, "setC.loop g3, $10;"},
    {"opB",
     "setB_loop_agX_INSTR",
     {{"AXG", 11}, {"B_INSTR_CNT", 0x7F}},
     R,
     64,
     "setB.loop g11, $80;"},
    {"opB", "setB_loop_Iu11", {{"C_ITER_CNT_SHORT", 0}}, D, 64, "setB.loop 1;"},
    {"opB", "setB_loop_Iu11", {{"C_ITER_CNT_SHORT", 0x7FF}}, R, 64, "setB.loop $800;"},
    // Extremum search: 2(n+1)*au_count with the line bit, 2^n without.
    {"opB",
     "set_xtrm",
     {{"Bs_signed", 0},
      {"Bs_min", 1},
      {"Bs_even", 0},
      {"Iu6", 3},
      {"B_line", 0},
      {"XTRM_VALUE_INDEX", 1}},
     R,
     64,
     "set.xtrm uns, min, all, +$1, $8;"},
    {"opB",
     "set_xtrm",
     {{"Bs_signed", 1},
      {"Bs_min", 0},
      {"Bs_even", 1},
      {"Iu6", 0},
      {"B_line", 1},
      {"XTRM_VALUE_INDEX", 0}},
     R,
     16,
     "set.xtrm sgn, max, even, +$0, $20;"},
    // Store and load multiple, long form: a-registers from mask bit 12.
    {"", "stm_sp_Is16_d", {{"Is16", 0}, {"MASK_32", 0x1001}}, R, 64, "stm [sp], a0, g0;"},
    {"", "stm_sp_Is16_d", {{"Is16", 0xFFF8}, {"MASK_32", 0x1001}}, R, 64, "stm [sp-$8], a0, g0;"},
    {"",
     "stm_sp_Is16_d",
     {{"Is16", 0x10}, {"MASK_32", 0x80000800}},
     D,
     64,
     "stm [sp+16], a19, g11;"},
    {"", "ldm_sp_Is16_d", {{"Is16", 0x10}, {"MASK_32", 0x2002}}, R, 64, "ldm a1, g1, [sp+$10];"},
    // Short form in the S slot: the pipeline registers.
    {"opS_HI",
     "stm_sp_Is10",
     {{"Is10", 0x3FF}, {"MASK_5", 0x1F}},
     R,
     64,
     "stm [sp-$1], rSt, rV, rS2, rS1, rS0;"},
    {"opS_HI", "ldm_sp_Is10", {{"Is10", 0}, {"MASK_5", 0x10}}, R, 64, "ldm rS0, [sp];"},
    // pushm/popm spell their masks through one-bit fields; A1 never matches in A10..A19.
    {"opS_HI", "popm_a_s", {{"A1", 1}, {"A11", 1}}, R, 64, "popm a1,a11;"},
    {"opS_HI", "pushm_g_s", {{"G1", 1}, {"G10", 1}}, R, 64, "pushm g1,g10;"},
    {"",
     "pushm_ag",
     {{"G0", 1}, {"G11", 1}, {"A1", 1}, {"A10", 1}, {"A19", 1}},
     R,
     64,
     "pushm g0,g11,a1,a10,a19;"},
    {"", "popm_ag", {{"A0", 1}}, R, 64, "popm a0;"},
};

class Zema2Text : public ::testing::TestWithParam<TextCase> {};

TEST_P(Zema2Text, RendersAsAssembler) {
    const TextCase &c = GetParam();
    ASSERT_NE(FindRecord(kZema2, c.record), nullptr) << "no ZEMA2 record " << c.record;
    EXPECT_EQ(decode_text(build(c), c.options, c.au_count), c.text) << c.record;
}

INSTANTIATE_TEST_SUITE_P(Cases, Zema2Text, ::testing::ValuesIn(kTexts));

struct RelocCase {
    const char *record;
    const char *syntax;
    const char *reloc_name;
    uint32_t reloc_type;
};

// Operands a linker patches, with the types the listing turns into
// expressions and address comments.
const RelocCase kRelocs[] = {
    {"jmp_LI21", "LI21R8", "R_ZEMA_PMEM_21", 8},
    {"jsr_LI24_d", "LI24R8", "R_ZEMA_PMEM_24", 8},
    {"ld_g_agY_Is12", "IM12sR9", "R_ZEMA_DMEM_12", 9},
    {"mv.w_g_Iu16", "IM16R4", "R_ZEMA_HW_LO_16", 4},
    {"mv.h_g_Iu16", "IM16R5", "R_ZEMA_HW_HI_16", 5},
    {"mv_agX_Iu16", "IM16R13", "R_ZEMA_LAB_16", 13},
    {"add.eq_agX_Is17_c", "IM17sR13", "R_ZEMA_LAB_17", 13},
    {"mv_sp_Is16", "IM16sR15", "R_ZEMA_SP_HI_16", 15},
    {"stm_sp_Is16_d", "Is16", "R_ZEMA_SP_LO_16", 14},
    {"ld_g_Iu20_d", "IM20R26", "R_ZEMA_DMEM_20", 26},
    {"ld.x2_g_Iu21_d", "IM21R27", "R_ZEMA_DMEM_21", 27},
    {"sub.ucc.mi_agX_Is22_d", "IM22sR29", "R_ZEMA_DMEM_22", 29},
};

class Zema2Reloc : public ::testing::TestWithParam<RelocCase> {};

TEST_P(Zema2Reloc, OperandCarriesItsType) {
    const RelocCase &c = GetParam();
    const InstructionRecord *r = FindRecord(kZema2, c.record);
    ASSERT_NE(r, nullptr) << "no ZEMA2 record " << c.record;
    uint64_t word = 0;
    ASSERT_TRUE(EncodeRecord(kZema2, r, {}, &word));
    if (r->size != 64) {
        std::string holder = r->slot == 5 ? "opS_HI" : "opB";
        uint64_t inner = word;
        ASSERT_TRUE(
            EncodePacket(kZema2, r->slot == 5 ? "opXSVZ" : "opXBAVZ", {{holder, inner}}, &word));
    }
    std::vector<uint8_t> bytes = WordBytes(word, 64);
    DecodeInstruction(bytes.data(), bytes.size(), OPT_RENDER, kZema2, 64);
    ASSERT_GE(GetInstructionCount(), 1u);
    ASSERT_STREQ(GetInstructionRecord(0)->name, c.record);
    zt::expect_operand_relocation(c.syntax, c.reloc_name, c.reloc_type);
}

INSTANTIATE_TEST_SUITE_P(Cases, Zema2Reloc, ::testing::ValuesIn(kRelocs));

} // namespace
