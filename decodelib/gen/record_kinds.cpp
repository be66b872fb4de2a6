// Record kinds: the records whose behaviour the library and the driver tie to
// their names. The generator is the one place that knows those names; it
// gives each matching record its kind, and a finished set that lacks one of
// them, or an operand its behaviour reads, fails the build.
#include <algorithm>

#include "decodelib/gen/fixed_rows.h"
#include "decodelib/gen/isa_model.h"

namespace isagen {

namespace {

using namespace ZEMADisasmLib;

// A name, exact or a prefix, on some architecture codes. `forms`: the
// operand sets the behaviour reads; a record must carry all of one form (no
// forms: nothing is required).
struct KindRow {
    std::vector<uint32_t> codes;
    const char *name;
    bool prefix;
    RecordKind kind;
    std::vector<std::vector<std::string>> forms;
};

const std::vector<KindRow> kKindRows = {
    {{1}, "set_loop_I", false, KIND_SET_LOOP_COUNT, {{"ITER_CNT"}}},
    {{1}, "set_loop_asX_I", false, KIND_SET_LOOP_REG_SIZE, {{"AS", "LOOP_SIZE_R10"}}},
    {{1}, "set_loop_I_I", false, KIND_SET_LOOP_COUNT_SIZE, {{"ITER_CNT", "LOOP_SIZE_R10"}}},
    {{1}, "set_nco", false, KIND_SET_NCO, {{"NCO_MODE", "NCO_K", "NCO_FREQ", "NCO_NEG_POS"}}},
    {{1}, "set_xtrm", false, KIND_SET_XTRM, {{"UNS1b", "MIN1b", "EV1b", "IM4", "LINE1b"}}},
    {{2},
     "set_xtrm",
     false,
     KIND_SET_XTRM,
     {{"Bs_signed", "Bs_min", "Bs_even", "Iu6", "B_line", "XTRM_VALUE_INDEX"}}},
    // ZEMA3 names its line operand B_xline: the text stays its template's.
    {{3}, "set_xtrm", false, KIND_SET_XTRM, {}},
    {{1}, "set_range1_r", true, KIND_SET_RANGE_SPLIT, {{"IM22"}}},
    {{1}, "set_range2_r", true, KIND_SET_RANGE_SPLIT, {{"IM22"}}},
    {{2, 3}, "setC_loop_aX_INSTR", false, KIND_SETC_LOOP_REG, {{"AXG", "C_INSTR_CNT"}}},
    {{2, 3}, "setC_loop_agX_INSTR", false, KIND_SETC_LOOP_REG, {{"AXG", "C_INSTR_CNT"}}},
    {{2, 3}, "setB_loop_agX_INSTR", false, KIND_SETB_LOOP_REG, {{"AXG", "B_INSTR_CNT"}}},
    {{2, 3},
     "set_loop_ITER_INSTR",
     false,
     KIND_SET_LOOP_ITER_INSTR,
     {{"C_ITER_CNT", "C_INSTR_CNT"}}},
    {{2, 3}, "setC_loop_ITER", false, KIND_SETC_LOOP_ITER, {{"C_ITER_CNT"}}},
    {{2, 3}, "setB_loop_Iu11", false, KIND_SETB_LOOP_SHORT, {{"C_ITER_CNT_SHORT"}}},
    {{2}, "stm", true, KIND_STORE_MULTIPLE, {{"Is16", "MASK_32"}, {"Is10", "MASK_5"}}},
    {{2}, "ldm", true, KIND_LOAD_MULTIPLE, {{"Is16", "MASK_32"}, {"Is10", "MASK_5"}}},
    // The ZEMA3 forms read other operands and keep their templates.
    {{3}, "stm", true, KIND_STORE_MULTIPLE, {}},
    {{3}, "ldm", true, KIND_LOAD_MULTIPLE, {}},
    {{3}, "pushm", true, KIND_PUSH_MULTIPLE, {{"MASK_16", "BIT_AREGS"}}},
    {{3}, "popm", true, KIND_POP_MULTIPLE, {{"MASK_16", "BIT_AREGS"}}},
    {{4, 5, 6}, "set_loop", false, KIND_RIXU_SET_LOOP, {{"SET_LOOP_INDEX", "IM8"}}},
    {{4}, "set_range_aY_asA_Iu17", false, KIND_RIXU_SET_RANGE, {{"AA", "AS", "IM17"}}},
    {{1}, "opXSSZ", false, KIND_TWO_S_FORMAT, {{"opX", "opS_HI", "opS_LO", "opZ"}}},
    {{2, 3},
     "opXXSSZ",
     false,
     KIND_TWO_S_FORMAT,
     {{"opX_HI", "opX_LO", "opS_HI", "opS_LO", "opZ"}}},
    {{1, 2, 3}, "null", false, KIND_NULL, {}},
    {{1, 2, 3}, "swbreak", false, KIND_SWBREAK, {}},
    {{1}, "swbreak_upper", false, KIND_SWBREAK_UPPER, {}},
    {{1}, "swbreak_lower", false, KIND_SWBREAK_LOWER, {}},
    {{4, 5, 6}, "loop_begin_0", false, KIND_LOOP_BEGIN_0, {}},
    {{4, 5, 6}, "loop_begin_1", false, KIND_LOOP_BEGIN_1, {}},
    {{4, 5, 6}, "loop_end_0", false, KIND_LOOP_END_0, {}},
    {{4, 5, 6}, "loop_end_1", false, KIND_LOOP_END_1, {}},
    {{1, 2, 3}, "loop_begin", false, KIND_LOOP_BEGIN, {}},
};

// Enumerator names in RecordKind order.
const char *const kKindNames[] = {"KIND_PLAIN",
                                  "KIND_SET_LOOP_COUNT",
                                  "KIND_SET_LOOP_REG_SIZE",
                                  "KIND_SET_LOOP_COUNT_SIZE",
                                  "KIND_SET_NCO",
                                  "KIND_SET_XTRM",
                                  "KIND_SET_RANGE_SPLIT",
                                  "KIND_SETC_LOOP_REG",
                                  "KIND_SETB_LOOP_REG",
                                  "KIND_SET_LOOP_ITER_INSTR",
                                  "KIND_SETC_LOOP_ITER",
                                  "KIND_SETB_LOOP_SHORT",
                                  "KIND_STORE_MULTIPLE",
                                  "KIND_LOAD_MULTIPLE",
                                  "KIND_PUSH_MULTIPLE",
                                  "KIND_POP_MULTIPLE",
                                  "KIND_RIXU_SET_LOOP",
                                  "KIND_RIXU_SET_RANGE",
                                  "KIND_TWO_S_FORMAT",
                                  "KIND_NULL",
                                  "KIND_SWBREAK",
                                  "KIND_SWBREAK_UPPER",
                                  "KIND_SWBREAK_LOWER",
                                  "KIND_LOOP_BEGIN_0",
                                  "KIND_LOOP_BEGIN_1",
                                  "KIND_LOOP_END_0",
                                  "KIND_LOOP_END_1",
                                  "KIND_LOOP_BEGIN"};
static_assert(sizeof kKindNames / sizeof kKindNames[0] == KIND_COUNT);

bool on_code(const KindRow &row, uint32_t code) {
    return std::find(row.codes.begin(), row.codes.end(), code) != row.codes.end();
}

bool row_matches(const KindRow &row, const std::string &name) {
    return row.prefix ? name.rfind(row.name, 0) == 0 : name == row.name;
}

const KindRow *row_of(const IsaSet &set, const RecordSpec &rec) {
    for (const KindRow &row : kKindRows)
        if (on_code(row, set.code) && row_matches(row, rec.name)) return &row;
    return nullptr;
}

bool has_operand(const RecordSpec &rec, const std::string &syntax) {
    for (const OperandSpec &op : rec.operands)
        if (op.syntax == syntax) return true;
    return false;
}

// The form the record carries, or the first form when it carries none.
const std::vector<std::string> *form_of(const KindRow &row, const RecordSpec &rec, bool *whole) {
    for (const std::vector<std::string> &form : row.forms)
        if (std::all_of(form.begin(), form.end(),
                        [&](const std::string &n) { return has_operand(rec, n); }))
            return *whole = true, &form;
    *whole = false;
    return row.forms.empty() ? nullptr : &row.forms[0];
}

void check_numeric(const IsaSet &set, const RecordSpec &rec, const std::string &n,
                   Diagnostics &diag) {
    auto type = set.types.find(n);
    bool numeric =
        std::find(kNumericOperands.begin(), kNumericOperands.end(), n) != kNumericOperands.end();
    if (numeric && type != set.types.end() && type->second.kind == TypeKind::Table)
        diag.error(type->second.where, "operand " + n + " of " + rec.name +
                                           " is read as a number and must be an immediate");
}

void check_kind_operands(const IsaSet &set, const RecordSpec &rec, const KindRow &row,
                         Diagnostics &diag) {
    bool whole = false;
    const std::vector<std::string> *form = form_of(row, rec, &whole);
    if (!form) return;
    for (const std::string &n : *form) {
        if (!has_operand(rec, n))
            diag.error(rec.where, "record " + rec.name + " needs the operand " + n + " (" +
                                      kind_name(row.kind) + ")");
        else
            check_numeric(set, rec, n, diag);
    }
}

} // namespace

const char *kind_name(ZEMADisasmLib::RecordKind kind) {
    return kind < KIND_COUNT ? kKindNames[kind] : "KIND_PLAIN";
}

void assign_kinds(IsaSet &set) {
    for (RecordSpec &rec : set.records) {
        const KindRow *row = row_of(set, rec);
        rec.kind = row ? row->kind : KIND_PLAIN;
    }
}

void check_kinds(const IsaSet &set, Diagnostics &diag) {
    for (const RecordSpec &rec : set.records)
        if (const KindRow *row = row_of(set, rec)) check_kind_operands(set, rec, *row, diag);
    if (set.draft) return;
    for (const KindRow &row : kKindRows) {
        if (!on_code(row, set.code)) continue;
        bool found = std::any_of(set.records.begin(), set.records.end(),
                                 [&](const RecordSpec &r) { return row_matches(row, r.name); });
        if (!found)
            diag.error(set.where, std::string("record ") + (row.prefix ? "beginning " : "") +
                                      row.name + " missing: the decoder relies on it (" +
                                      kind_name(row.kind) + ")");
    }
}

} // namespace isagen
