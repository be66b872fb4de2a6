// The fixed facts of the finished instruction sets (see fixed_rows.h).
#include "decodelib/gen/fixed_rows.h"

namespace isagen {

namespace {

std::vector<std::string> numbered(const std::string &prefix, int from, int to,
                                  const std::string &suffix = "") {
    std::vector<std::string> v;
    for (int i = from; i <= to; ++i) v.push_back(prefix + std::to_string(i) + suffix);
    return v;
}

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> repeat(const std::string &text, int n) {
    return std::vector<std::string>(static_cast<size_t>(n), text);
}

const char *const kLongZema1 =
    "opVs2@19 opVs1@18 opVs0@17 opVrot@16 opVd@8..6 opVau@5..2 opZ@1..0 opVr@15..9";
const char *const kVectorZema2 = "opVs2@23 opVs1@22 opVs0@21 opVror@20 opVrol@19 opVld@18..12 "
                                 "opVwr@11..9 opVsau@8..6 opVau@5..2 opZ@1..0";
const char *const kVectorDot = "opVs2@23 opVs1@22 opVs0@21 opVror@20 opVrol@19 opVld@18..12 "
                               "opVwr@11..9 opVsauDot@8..6 opZ@1..0";

std::string fields(const char *head, const char *tail) {
    return std::string(head) + " " + tail;
}

} // namespace

const std::vector<SetTotals> kSetTotals = {
    {"ZEMA1", 582, 153}, {"ZEMA2", 1742, 201}, {"ZEMA3", 904, 212},
    {"RIXU1", 55, 41},   {"RIXU2", 63, 43},    {"RIXU3", 63, 43},
};

const std::vector<CountRule> kCountRules = {
    {"ZEMA1", 64, 0, 88},  {"ZEMA1", 64, 3, 47},  {"ZEMA1", 64, 4, 36},  {"ZEMA1", 64, 20, 1},
    {"ZEMA1", 64, 21, 1},  {"ZEMA1", 64, 22, 3},  {"ZEMA1", 25, 5, 333}, {"ZEMA1", 15, 1, 51},
    {"ZEMA1", 15, 2, 59},  {"ZEMA2", 64, 0, 965}, {"ZEMA2", 64, 3, 161}, {"ZEMA2", 64, 4, 800},
    {"ZEMA2", 64, 21, 1},  {"ZEMA2", 64, 22, 3},  {"ZEMA2", 29, 5, 400}, {"ZEMA2", 19, 1, 129},
    {"ZEMA2", 17, 2, 187}, {"ZEMA3", 36, 3, 194}, {"ZEMA3", 58, 4, 56},  {"ZEMA3", 29, 5, 381},
    {"ZEMA3", 19, 1, 55},  {"ZEMA3", 17, 2, 110}, {"ZEMA3", 64, 0, 11},  {"ZEMA3", 64, 21, 1},
    {"ZEMA3", 64, 22, 10}, {"RIXU1", 32, 22, 51}, {"RIXU1", 3, 22, 4},   {"RIXU2", 32, 22, 59},
    {"RIXU2", 3, 22, 4},   {"RIXU3", 32, 22, 59}, {"RIXU3", 3, 22, 4},
};

const std::vector<SharedCountRule> kSharedCountRules = {
    {"ZEMA3", 22, {7, 3}, 34},
};

const std::vector<FormatRow> kFormatRows = {
    {"ZEMA1", "opXABVZ", 0x0004000000000000, 0x003C000000000000,
     "opX@55..54 opB@49,33..20 opA@48..34 opVs2@19 opVs1@18 opVs0@17 opVrot@16 opVd@8..6 "
     "opVau@5..2 opZ@1..0 opVr@15..9"},
    {"ZEMA1", "opXSSZ", 0x0030000000000000, 0x0030000000000000,
     "opX@55..54 opS_HI@51..27 opS_LO@26..2 opZ@1..0"},
    {"ZEMA1", "opXSVZ", 0x0020000000000000, 0x0030000000000000,
     "opX@55..54 opS_HI@51..27 opVs2@19 opVs1@18 opVs0@17 opVrot@16 opVd@8..6 opVau@5..2 "
     "opZ@1..0 opVr@15..9"},
    {"ZEMA2", "opXBAVZ", 0x6000000000000000, 0xE000000000000000, ""},
    {"ZEMA3", "opXBAVZ", 0x6000000000000000, 0xE000000000000000, ""},
    {"ZEMA2", "opXSVZ", 0x2000000000000000, 0xE000000000000000, ""},
    {"ZEMA2", "opXXSSZ", 0x8000000000000000, 0x8000000000000000,
     "opX_HI@61 opX_LO@60 opS_HI@59..31 opS_LO@30..2 opZ@1..0"},
    {"ZEMA3", "opXXSSZ", 0x8000000000000000, 0x8000000000000000,
     "opX_HI@61 opX_LO@60 opS_HI@59..31 opS_LO@30..2 opZ@1..0"},
    {"ZEMA3", "opXBAVaZ", 0x600000000000003C, 0xE00000000000003C, ""},
    {"ZEMA3", "opXCVZ", 0x4000000000000000, 0xE000000000000000, ""},
    {"ZEMA3", "opXCVaZ", 0x400000000000003C, 0xE00000000000003C, ""},
    {"ZEMA3", "opXDZ", 0x0000000000000000, 0xE000000000000000, "opX_LO@60 opD@59..2 opZ@1..0"},
    {"ZEMA3", "opXSVZ", 0x2000000000000000, 0xE00000007F000000, ""},
    {"ZEMA3", "opXSVaZ", 0x200000000000003C, 0xE00000007F00003C, ""},
    {"ZEMA3", "opXSVpZ", 0x2000000000000000, 0xE000000078000000, ""},
    {"ZEMA3", "opXVpAVZ", 0x66C0000000000000, 0xEFC7F80000000000, ""},
};

// Formats whose field lists are built from the shared vector groups.
std::string format_fields(const FormatRow &row) {
    std::string n = row.name;
    if (*row.fields) return row.fields;
    if (n == "opXBAVZ") return fields("opX_LO@60 opB@59..43 opA@42..24", kVectorZema2);
    if (n == "opXSVZ") return fields("opX_LO@60 opS_HI@59..31", kVectorZema2);
    if (n == "opXBAVaZ") return fields("opX_LO@60 opB@59..43 opA@42..24", kVectorDot);
    if (n == "opXCVZ") return fields("opX_LO@60 opC@59..24", kVectorZema2);
    if (n == "opXCVaZ") return fields("opX_LO@60 opC@59..24", kVectorDot);
    if (n == "opXSVaZ") return fields("opX_LO@60 opS_HI@59..31", kVectorDot);
    if (n == "opXSVpZ")
        return "opX_LO@60 opS_HI@59..31 opVp@26..24,5..2 opVs2@23 opVs1@22 opVs0@21 opVror@20 "
               "opVrol@19 opVld@18..12 opVwr@11..9 opVsau@8..6 opZ@1..0";
    if (n == "opXVpAVZ")
        return "opX_LO@60 opVp@53..51,5..2 opA@42..24 opVs2@23 opVs1@22 opVs0@21 opVror@20 "
               "opVrol@19 opVld@18..12 opVwr@11..9 opVsau@8..6 opZ@1..0";
    (void)kLongZema1;
    return "";
}

const std::vector<TellingRow> kTellingRows = {
    {"ZEMA1",
     "add_aX_Is17",
     "add AA, IM17sR13",
     64,
     3,
     0,
     0x0008C00000000000,
     0x003FE5E000000000,
     {"opX", "AA", "IM17sR13", "opVs2", "opVs1", "opVs0", "opVrot", "opVd", "opVau", "opZ",
      "opVr"}},
    {"ZEMA1", "set_loop_I", "set.loop (ITER_CNT + 1)", 15, 2, 0, 0x7800, 0x7C00, {"ITER_CNT"}},
    {"ZEMA2", "nop_s", "nopS", 29, 5, 0x40, 0xE00000, 0x1FFFFFFF, {}},
    {"RIXU1",
     "ld_aX_Is5",
     "ldRIXU_MAXO [AA]+IM5s, ELEM_OFFSET, LD_MODE, WR_OFFSET, LATCH_MODE",
     32,
     22,
     0,
     0xC0000000,
     0xE0000000,
     {"LD_MODE", "IM5s", "AA", "RIXU_MAXO", "ELEM_OFFSET", "WR_OFFSET", "LATCH_MODE", "LOOP_INDEX",
      "LOOP_START", "LOOP_END"}},
};

const std::vector<FieldRow> kFieldRows = {
    {"ZEMA1", "IM17sR13_imp_bits__36_20_", 1, "36..20", 0, "R_ZEMA_LAB_17", 13, 17, true, {}},
    {"ZEMA1", "AA_imp_bits__44_43_", 2, "44..43", 0, "", 0, 0, false, {"a0", "a1", "a2", "a3"}},
};

const std::vector<ValueTableRow> kValueTableRows = {
    {{"ZEMA1"},
     {"COND", "JMP_CND_CC"},
     true,
     {"", ".cs", ".vs", ".hi", ".eq", ".ge", ".gt", ".pl", ".mi", ".le", ".lt", ".ne", ".ls", ".vc",
      ".cc", ".nv"}},
    {{"ZEMA1"}, {"JMP_CND_AU"}, true, {".au_ap", ".au_an", ".au_nap", ".au_nan"}},
    {{"ZEMA1", "ZEMA2", "ZEMA3"}, {"AA", "AM"}, true, numbered("a", 0, 3)},
    {{"ZEMA1", "ZEMA2", "ZEMA3"}, {"AS"}, true, numbered("as", 0, 15)},
    {{"ZEMA1", "ZEMA2", "ZEMA3"},
     {"GP", "GP1", "GP2"},
     true,
     join(numbered("g", 0, 11), repeat("reserved", 4))},
    {{"ZEMA2", "ZEMA3"}, {"AXG", "AYG"}, true, join(numbered("g", 0, 11), numbered("a", 0, 19))},
    {{"ZEMA2", "ZEMA3"},
     {"AX", "AY", "AZ"},
     true,
     join(repeat("reserved", 12), numbered("a", 0, 19))},
    {{"ZEMA1", "ZEMA2", "ZEMA3"}, {"RFdes"}, true, numbered("R", 0, 7)},
    {{"ZEMA1", "ZEMA2", "ZEMA3"},
     {"S0_PREC", "S1_PREC", "S2_PREC", "WB_PREC"},
     true,
     {"half_fixed", "half", "single", "double"}},
    {{"RIXU1", "RIXU2", "RIXU3"}, {"AA"}, true, {"a0", "a1"}},
    {{"RIXU1", "RIXU2", "RIXU3"}, {"AS", "AS2"}, true, numbered("as", 0, 3)},
    {{"RIXU1", "RIXU2", "RIXU3"}, {"MM", "DST_REG_MX"}, true, {"m0", "m1"}},
    {{"RIXU1", "RIXU2", "RIXU3"}, {"DST_REG", "SRC_REG"}, false, {"a0", "a1", "m0", "m1", "as0"}},
    {{"RIXU1", "RIXU2", "RIXU3"}, {"CLR_DST"}, true, {"reserved", "r0", "r1", "r0, r1"}},
    {{"RIXU1", "RIXU2", "RIXU3"}, {"PLUS_MINUS"}, true, {"+", "-"}},
    {{"RIXU1", "RIXU2", "RIXU3"}, {"LOOP_AS_IMM"}, true, {"as", "imm"}},
    {{"RIXU1", "RIXU2", "RIXU3"}, {"RIXU_MAXO"}, true, {".rixu", ".maxo"}},
    {{"RIXU1", "RIXU2", "RIXU3"},
     {"LD_MODE"},
     false,
     {"normal", "br", "dr", "br_dr", "vindirect", "indirect"}},
    {{"RIXU1", "RIXU2", "RIXU3"}, {"ST_MODE"}, false, {"normal", "br", "dr", "br_dr", "reserved"}},
    {{"RIXU1", "RIXU2", "RIXU3"},
     {"WRITE_MODE"},
     false,
     {"normal", "e32", "e16", "e8", "e4", "reserved"}},
    {{"RIXU1", "RIXU2", "RIXU3"},
     {"LATCH_MODE"},
     false,
     {"normal", "e256", "e128", "e64", "e32", "e16"}},
    {{"RIXU1", "RIXU2", "RIXU3"},
     {"BR_MODE"},
     false,
     {"fft32", "fft64", "fft128", "fft256", "fft512", "fft1024"}},
    {{"RIXU1", "RIXU2", "RIXU3"},
     {"JMP_CC"},
     false,
     {"reserved", "jmp.z", "jmp.nz", "jmp", "reserved", "jsr.z"}},
};

// Register-list bits: one bit, 0 "" and 1 the register name and ",".
static std::vector<ValueTableRow> register_bit_rows() {
    std::vector<ValueTableRow> rows;
    auto add = [&rows](std::vector<std::string> sets, const std::string &type_prefix,
                       const std::string &reg_prefix, int to) {
        for (int i = 0; i <= to; ++i)
            rows.push_back({sets,
                            {type_prefix + std::to_string(i)},
                            true,
                            {"", reg_prefix + std::to_string(i) + ","}});
    };
    add({"ZEMA1"}, "AS", "as", 15);
    add({"ZEMA1", "ZEMA2"}, "G", "g", 11);
    add({"ZEMA2"}, "A", "a", 19);
    return rows;
}
const std::vector<ValueTableRow> kRegisterBitRows = register_bit_rows();

const std::vector<std::string> kNumericOperands = {"ITER_CNT",
                                                   "LOOP_SIZE_R10",
                                                   "NCO_FREQ",
                                                   "NCO_NEG_POS",
                                                   "IM4",
                                                   "LINE1b",
                                                   "IM22",
                                                   "Iu6",
                                                   "B_line",
                                                   "C_INSTR_CNT",
                                                   "B_INSTR_CNT",
                                                   "C_ITER_CNT",
                                                   "C_ITER_CNT_SHORT",
                                                   "Is16",
                                                   "MASK_32",
                                                   "Is10",
                                                   "MASK_5",
                                                   "MASK_16",
                                                   "BIT_AREGS",
                                                   "IM8",
                                                   "IM17"};

} // namespace isagen
