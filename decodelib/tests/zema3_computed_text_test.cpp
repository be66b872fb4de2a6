// ZEMA3 computed texts (loop counts, register masks of pushm/popm), the
// forms that keep their templates (extremum search, store and load multiple),
// and the relocation types that the listing relies on, all on the
// generated tables.
#include <gtest/gtest.h>

#include <string>

#include "decodelib/encoder.h"
#include "decodelib/tests/operand_check.h"
#include "decodelib/zema_disasm.h"

namespace {

using namespace ZEMADisasmLib;

constexpr uint32_t kZema3 = 3;

// The packet that holds a slot record alone: A and B in the address-unit
// packet, C and D in their long packets, S in the upper scalar slot.
uint64_t packet_of(const InstructionRecord *r, uint64_t inner) {
    struct Holder {
        uint32_t slot;
        const char *format, *field;
    } const holders[] = {{1, "opXBAVZ", "opA"},
                         {2, "opXBAVZ", "opB"},
                         {3, "opXCVZ", "opC"},
                         {4, "opXDZ", "opD"},
                         {5, "opXSVZ", "opS_HI"}};
    for (const Holder &h : holders) {
        if (h.slot != r->slot) continue;
        uint64_t word = 0;
        EXPECT_TRUE(EncodePacket(kZema3, h.format, {{h.field, inner}}, &word)) << r->name;
        return word;
    }
    ADD_FAILURE() << r->name << " has no holder for slot " << r->slot;
    return 0;
}

// Decodes the packet holding `record` with the given operand values.
const InstructionRecord *decode_alone(const char *record, const OperandValues &values,
                                      uint32_t options, uint8_t au_count) {
    const InstructionRecord *r = FindRecord(kZema3, record);
    if (!r) return nullptr;
    uint64_t inner = 0;
    EXPECT_TRUE(EncodeRecord(kZema3, r, values, &inner)) << record;
    std::vector<uint8_t> bytes = WordBytes(packet_of(r, inner), 64);
    EXPECT_EQ(DecodeInstruction(bytes.data(), bytes.size(), options, kZema3, au_count), 8u);
    return r;
}

std::string packet_text() {
    const char *text = nullptr;
    FormatPacket(&text);
    return text ? text : "";
}

struct TextCase {
    const char *record;
    OperandValues values;
    uint32_t options;
    uint8_t au_count;
    const char *text;
};

constexpr uint32_t R = OPT_RENDER, D = OPT_RENDER | OPT_DECIMAL;

const TextCase kTexts[] = {
    // Loop counts are stored minus one.
    {"setC_loop_aX_INSTR", {{"AXG", 17}, {"C_INSTR_CNT", 0}}, R, 64, "setC.loop a5, $1;"},
    {"setC_loop_agX_INSTR",
     {{"AXG", 3}, {"C_INSTR_CNT", 0xFFFFF}},
     R,
     64,
     "setC.loop g3, $100000;"},
    {"setB_loop_agX_INSTR", {{"AXG", 11}, {"B_INSTR_CNT", 0x7F}}, R, 64, "setB.loop g11, $80;"},
    {"set_loop_ITER_INSTR", {{"C_ITER_CNT", 0x3F}, {"C_INSTR_CNT", 9}}, R, 64, "set.loop $40, $a;"},
    {"set_loop_ITER_INSTR", {{"C_ITER_CNT", 0x3F}, {"C_INSTR_CNT", 9}}, D, 64, "set.loop 64, 10;"},
    {"setC_loop_ITER", {{"C_ITER_CNT", 0xFFFF}}, R, 64, "setC.loop $10000;"},
    {"setB_loop_Iu11", {{"C_ITER_CNT_SHORT", 0}}, D, 64, "setB.loop 1;"},
    {"setB_loop_Iu11", {{"C_ITER_CNT_SHORT", 0x7FF}}, R, 64, "setB.loop $800;"},
    // pushm/popm: a-registers from mask bit 12 then g-registers, or a4..a19.
    {"pushm_ag_impl", {{"BIT_AREGS", 1}, {"MASK_16", 0x0003}}, R, 64, "pushm a4, a5;"},
    {"pushm_ag_impl", {{"BIT_AREGS", 0}, {"MASK_16", 0x1001}}, R, 64, "pushm a0, g0;"},
    {"popm_ag_sp", {{"BIT_AREGS", 0}, {"MASK_16", 0x8800}}, R, 64, "popm a3, g11;"},
    {"popm_ag_impl", {{"BIT_AREGS", 1}, {"MASK_16", 0x8000}}, R, 64, "popm a19;"},
    {"pushm_ag_sp", {{"BIT_AREGS", 0}, {"MASK_16", 0}}, R, 64, "pushm;"},
    // The extremum search names its line operand B_xline: no length is
    // computed, whatever au_count, and the template shows the raw fields.
    {"set_xtrm",
     {{"Bs_signed", 1}, {"Bs_even", 1}, {"XTRM_VALUE_INDEX", 2}, {"Iu6", 3}, {"B_xline", 1}},
     R,
     64,
     "set.xtrm sgn, max, even, +$2, +$3, +$1;"},
    {"set_xtrm",
     {{"Bs_min", 1}, {"Iu6", 3}, {"B_xline", 0}},
     R,
     16,
     "set.xtrm uns, min, all, +$0, +$3, +$0;"},
    // Store and load multiple read Is16ofst and a mask: templates.
    {"stm_sp_Is16_rag_C", {{"Is16ofst", 0}, {"MASK_RAG", 0x801}}, R, 64, "stm [sp+$0], +$801;"},
    {"stm_sp_Is16_rag_C",
     {{"Is16ofst", 0xFFF8}, {"MASK_RAG", 0x801}},
     R,
     64,
     "stm [sp-$8], +$801;"},
    {"ldm_rag_sp_Is16_C", {{"Is16ofst", 0x10}, {"MASK_RAG", 2}}, R, 64, "ldm +$2, [sp+$10];"},
    {"ldm_vp_sp_Is16_C", {{"Is16ofst", 0x10}, {"MASK_VP", 0x81}}, D, 64, "ldm +129, [sp+16];"},
};

class Zema3Text : public ::testing::TestWithParam<TextCase> {};

TEST_P(Zema3Text, RendersAsAssembler) {
    const TextCase &c = GetParam();
    ASSERT_TRUE(decode_alone(c.record, c.values, c.options, c.au_count))
        << "no ZEMA3 record " << c.record;
    EXPECT_EQ(packet_text(), c.text) << c.record;
}

INSTANTIATE_TEST_SUITE_P(Cases, Zema3Text, ::testing::ValuesIn(kTexts));

struct RelocCase {
    const char *record;
    const char *syntax;
    const char *reloc_name; // "" for an operand that no relocation patches
    uint32_t reloc_type;
};

// Operands a linker patches, with the types the listing turns into
// expressions and address comments, and some that it never patches.
const RelocCase kRelocs[] = {
    {"jmp_cc_L8_B", "LI8R8", "R_ZEMA_PMEM_8", 8},
    {"jsr_L18_C", "LI18R8", "R_ZEMA_PMEM_18", 8},
    {"mv.w_agX_Is18", "IMs18R_LAB_18", "R_ZEMA_LAB_18", 30},
    {"jsr_L24_D", "LI24R8", "R_ZEMA_PMEM_24", 8},
    {"jmp_cc_I32_D", "IM32R11", "R_ZEMA_LAB_32", 11},
    {"cmp_agX_Is16", "IM16sR13", "R_ZEMA_LAB_16", 13},
    {"ld_agX_aY_Is4_A", "IM4sR9", "R_ZEMA_DMEM_4", 9},
    {"stld_aY_agX_agZ_C", "IM11sR9", "R_ZEMA_DMEM_11", 9},
    {"ldw_gp_aY_Is17_C", "IM17sR9", "R_ZEMA_DMEM_17", 9},
    {"ld_agX_I20_C", "IM20R26", "R_ZEMA_DMEM_20", 26},
    {"st_I21_gp_C", "IM21R27", "R_ZEMA_DMEM_21", 27},
    {"ldb_agX_I22_C", "IM22R28", "R_B_ZEMA_DMEM_22", 28},
    {"st_aY_Is22_agX_D", "IM22sR29", "R_ZEMA_DMEM_22", 29},
    {"mv_agX_I16lo", "IM16R4", "R_ZEMA_HW_LO_16", 4},
    {"mv.h_sp_I16hi_C", "IM16R15", "R_ZEMA_SP_HI_16", 15},
    {"stm_sp_Is16_rag_C", "Is16ofst", "R_ZEMA_SP_LO_16", 14},
    {"setC_loop_agX_INSTR", "C_INSTR_CNT", "", 0},
    {"pushm_ag_impl", "MASK_16", "", 0},
    {"and_agX_agY_Iu7", "IM7", "", 0},
};

class Zema3Reloc : public ::testing::TestWithParam<RelocCase> {};

TEST_P(Zema3Reloc, OperandCarriesItsType) {
    const RelocCase &c = GetParam();
    const InstructionRecord *r = decode_alone(c.record, {}, OPT_RENDER, 64);
    ASSERT_NE(r, nullptr) << "no ZEMA3 record " << c.record;
    ASSERT_GE(GetInstructionCount(), 1u);
    ASSERT_EQ(GetInstructionRecord(0), r);
    zt::expect_operand_relocation(c.syntax, c.reloc_name, c.reloc_type);
}

INSTANTIATE_TEST_SUITE_P(Cases, Zema3Reloc, ::testing::ValuesIn(kRelocs));

} // namespace
