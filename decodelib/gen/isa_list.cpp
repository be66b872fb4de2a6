// Readable views of the expanded descriptions: one line per record for grep,
// and the Markdown instruction-set reference.
#include <cstdio>
#include <map>
#include <sstream>

#include "decodelib/gen/isa_model.h"
#include "decodelib/slot_names.h"

namespace isagen {

namespace {

std::string hex_of(uint64_t v, uint32_t bits) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%0*llx", static_cast<int>((bits + 3) / 4),
                  static_cast<unsigned long long>(v));
    return buffer;
}

// "SYNTAX@H..L,B" from the bit list: consecutive runs joined.
std::string operand_bits(const OperandSpec &op) {
    std::string s = op.syntax + "@";
    for (size_t i = 0; i < op.bits.size();) {
        size_t j = i;
        while (j + 1 < op.bits.size() && op.bits[j + 1] + 1 == op.bits[j]) ++j;
        if (i) s += ",";
        s += std::to_string(op.bits[i]);
        if (j > i) s += ".." + std::to_string(op.bits[j]);
        i = j + 1;
    }
    return s;
}

std::string operands_of(const RecordSpec &rec) {
    std::string s;
    for (const OperandSpec &op : rec.operands) {
        if (!s.empty()) s += ' ';
        s += operand_bits(op);
    }
    return s;
}

std::string flags_of(const RecordSpec &rec) {
    std::string s = hex_of(rec.flags, 12);
    if (rec.kind != ZEMADisasmLib::KIND_PLAIN) s += std::string(" ") + kind_name(rec.kind);
    return s;
}

std::string markdown_cell(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '|') out += '\\';
        out += c;
    }
    return out.empty() ? " " : "`" + out + "`";
}

} // namespace

std::string slot_name(uint32_t code) {
    using ZEMADisasmLib::kSlotNames;
    return std::string(code < sizeof kSlotNames / sizeof kSlotNames[0] ? kSlotNames[code] : "");
}

uint32_t slot_code(const std::string &name) {
    return ZEMADisasmLib::SlotCodeOfName(name);
}

std::string list_record(const IsaSet &set, const RecordSpec &rec) {
    return set.name + "\t" + rec.name + "\t" + std::to_string(rec.size) + "/" +
           slot_name(rec.slot) + "\tvalue=" + hex_of(rec.value, rec.size) +
           " mask=" + hex_of(rec.mask, rec.size) + "\t\"" + rec.syntax + "\"\t" + operands_of(rec) +
           "\tflags=" + flags_of(rec) + "\t" + rec.where + "\n";
}

std::string markdown_reference(const std::vector<IsaSet> &sets, const std::vector<bool> &present) {
    std::ostringstream out;
    out << "# Instruction sets\n\nGenerated from the architecture descriptions. Values and "
           "masks are over the record's own width (a packet slot for slot records); operand "
           "bits are positions in that width, most significant first.\n";
    for (size_t k = 0; k < sets.size(); ++k) {
        if (!present[k]) continue;
        const IsaSet &set = sets[k];
        // One table per size and slot, in the order of the slot codes.
        std::map<std::pair<uint32_t, uint32_t>, std::vector<const RecordSpec *>> tables;
        for (const RecordSpec &rec : set.records) tables[{rec.slot, rec.size}].push_back(&rec);
        out << "\n## " << set.name << "\n";
        for (const auto &[key, records] : tables) {
            out << "\n### " << set.name << " slot " << slot_name(key.first) << ", " << key.second
                << " bits (" << records.size() << " records)\n\n"
                << "| name | value | mask | syntax | operands | flags |\n"
                << "|---|---|---|---|---|---|\n";
            for (const RecordSpec *r : records)
                out << "| " << markdown_cell(r->name) << " | " << hex_of(r->value, r->size) << " | "
                    << hex_of(r->mask, r->size) << " | " << markdown_cell(r->syntax) << " | "
                    << markdown_cell(operands_of(*r)) << " | " << flags_of(*r) << " |\n";
        }
    }
    return out.str();
}

} // namespace isagen
