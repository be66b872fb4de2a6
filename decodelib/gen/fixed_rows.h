// Fixed facts about the finished instruction sets that the generator checks
// the descriptions against: counts, packet formats, telling rows, short value
// tables and the operands the special renderings read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace isagen {

struct SetTotals {
    const char *set;
    uint32_t records, fields;
};

// Records of one size and slot (slot 0: any slot of that size).
struct CountRule {
    const char *set;
    uint32_t size, slot, count;
};

// Sizes listed together share one count (the ZEMA3 sub-slot records).
struct SharedCountRule {
    const char *set;
    uint32_t slot;
    std::vector<uint32_t> sizes;
    uint32_t count;
};

struct FormatRow {
    const char *set, *name;
    uint64_t value, mask;
    const char *fields; // operand list in description syntax
};

struct TellingRow {
    const char *set, *name, *syntax;
    uint32_t size, slot, flags;
    uint64_t value, mask;
    std::vector<std::string> operands;
};

struct FieldRow {
    const char *set, *impl;
    uint32_t kind;
    const char *bits; // description syntax
    uint32_t shift;
    const char *reloc_name;
    uint32_t reloc_type, reloc_width;
    bool is_signed;
    std::vector<std::string> entries; // texts of values 0, 1, ...
};

struct ValueTableRow {
    std::vector<std::string> sets, syntax_names;
    bool complete; // false: only the first values are fixed
    std::vector<std::string> texts;
};

extern const std::vector<SetTotals> kSetTotals;
extern const std::vector<CountRule> kCountRules;
extern const std::vector<SharedCountRule> kSharedCountRules;
extern const std::vector<FormatRow> kFormatRows;
extern const std::vector<TellingRow> kTellingRows;
extern const std::vector<FieldRow> kFieldRows;
extern const std::vector<ValueTableRow> kValueTableRows;
extern const std::vector<ValueTableRow> kRegisterBitRows;
std::string format_fields(const FormatRow &row);
// Operands of the record kinds whose text the computed texts read as a number
// (loop counts, masks, offsets, line bits): they must be immediates.
extern const std::vector<std::string> kNumericOperands;

} // namespace isagen
