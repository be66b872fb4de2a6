// Encoder and table access for tests and tools: look up generated records and
// fields, and build instruction words from a record and raw operand values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "decodelib/zema_disasm.h"

namespace ZEMADisasmLib {

// (operand syntax name or implementation name, raw value) pairs.
using OperandValues = std::vector<std::pair<std::string, uint64_t>>;

// Instruction table of an architecture code (1..6); empty for other codes.
uint32_t TableSize(uint32_t arch);
const InstructionRecord *TableRecord(uint32_t arch, uint32_t i);
const InstructionRecord *FindRecord(uint32_t arch, std::string_view name);

// Field table of an architecture code.
uint32_t FieldTableSize(uint32_t arch);
const FieldRecord *FieldTableRecord(uint32_t arch, uint32_t i);
const FieldRecord *FindField(uint32_t arch, std::string_view impl_name);

// The record's value with each operand's raw value placed at its bits (most
// significant value bit at the field's first position). False for an unknown
// record or operand name, or a value wider than its field; *bits is then left
// unchanged. Operands not named keep 0.
bool EncodeRecord(uint32_t arch, const InstructionRecord *record, const OperandValues &values,
                  uint64_t *bits);
bool Encode(uint32_t arch, std::string_view record, const OperandValues &values, uint64_t *bits);

// A ZEMA packet from a format record and its slot values, for example
// EncodePacket(ARCH_ZEMA1, "opXABVZ", {{"opA", a}, {"opB", b}}, &bits). Slot
// fields are operands of the format record, so this is Encode under its own name.
bool EncodePacket(uint32_t arch, std::string_view format, const OperandValues &slots,
                  uint64_t *bits);

// Places a raw value at a field's bits; false when the value is too wide.
bool PlaceField(const FieldRecord &field, uint64_t value, uint64_t *bits);

// The low `width` bits (64 or 32) as little-endian bytes, the order the
// decoder reads them.
std::vector<uint8_t> WordBytes(uint64_t bits, unsigned width);

} // namespace ZEMADisasmLib
