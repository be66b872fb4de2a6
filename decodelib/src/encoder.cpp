// Table access and the encoder used by tests and tools to build words.
#include "decodelib/encoder.h"

#include "decodelib/src/state.h"

namespace ZEMADisasmLib {

uint32_t TableSize(uint32_t arch) {
    const ArchitectureTables *t = TablesOf(arch);
    return t ? t->record_count : 0;
}

const InstructionRecord *TableRecord(uint32_t arch, uint32_t i) {
    return i < TableSize(arch) ? &TablesOf(arch)->records[i] : nullptr;
}

const InstructionRecord *FindRecord(uint32_t arch, std::string_view name) {
    for (uint32_t i = 0; i < TableSize(arch); ++i)
        if (name == TablesOf(arch)->records[i].name) return &TablesOf(arch)->records[i];
    return nullptr;
}

uint32_t FieldTableSize(uint32_t arch) {
    const ArchitectureTables *t = TablesOf(arch);
    return t ? t->field_count : 0;
}

const FieldRecord *FieldTableRecord(uint32_t arch, uint32_t i) {
    return i < FieldTableSize(arch) ? &TablesOf(arch)->fields[i] : nullptr;
}

const FieldRecord *FindField(uint32_t arch, std::string_view impl_name) {
    const ArchitectureTables *t = TablesOf(arch);
    if (!t) return nullptr;
    auto it = t->field_map.find(std::string(impl_name));
    if (it != t->field_map.end()) return it->second->record;
    for (uint32_t i = 0; i < t->field_count; ++i) // records that built no field object
        if (t->fields[i].name && impl_name == t->fields[i].name) return &t->fields[i];
    return nullptr;
}

bool PlaceField(const FieldRecord &field, uint64_t value, uint64_t *bits) {
    uint32_t n = field.bit_count;
    if (n > 128 || (n < 64 && (value >> n) != 0)) return false;
    uint64_t out = *bits;
    for (uint32_t k = 0; k < n; ++k) {
        uint32_t pos = field.bits[k], from = n - 1 - k;
        uint64_t bit = from < 64 ? (value >> from) & 1 : 0;
        if (pos >= 64) {
            if (bit) return false;
            continue;
        }
        out = (out & ~(1ULL << pos)) | (bit << pos);
    }
    *bits = out;
    return true;
}

bool EncodeRecord(uint32_t arch, const InstructionRecord *record, const OperandValues &values,
                  uint64_t *bits) {
    if (!record) return false;
    uint64_t out = record->value;
    for (const auto &[name, value] : values) {
        const FieldRecord *field = nullptr;
        for (const OperandName *op = record->operands; op->syntax_name && !field; ++op)
            if (name == op->syntax_name || name == op->field_name)
                field = FindField(arch, op->field_name);
        if (!field || !PlaceField(*field, value, &out)) return false;
    }
    *bits = out;
    return true;
}

bool Encode(uint32_t arch, std::string_view record, const OperandValues &values, uint64_t *bits) {
    return EncodeRecord(arch, FindRecord(arch, record), values, bits);
}

bool EncodePacket(uint32_t arch, std::string_view format, const OperandValues &slots,
                  uint64_t *bits) {
    return Encode(arch, format, slots, bits);
}

std::vector<uint8_t> WordBytes(uint64_t bits, unsigned width) {
    std::vector<uint8_t> out;
    for (unsigned i = 0; i < width / 8; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    return out;
}

} // namespace ZEMADisasmLib
