// The constant tables the generator emits for each instruction set. They hold
// no pointers (texts are offsets into one text block, operand lists, field bits
// and value entries ranges of shared arrays), so they need no relocation when
// the program loads and a set's pages are read only when the set is listed.
// The library expands a set into the public records on first use.
#pragma once

#include <cstdint>

#include "decodelib/zema_disasm.h"

namespace ZEMADisasmLib {

struct PackedOperand {
    uint32_t syntax_name, field_name; // offsets into GeneratedTables::text
};

struct PackedRecord {
    uint32_t name, syntax; // text offsets
    uint32_t size, slot, flags;
    uint32_t operand_begin, operand_count; // into GeneratedTables::operands
    uint64_t value, mask;
};

struct PackedEntry {
    uint64_t value;
    uint32_t text;
};

struct PackedField {
    uint32_t kind, name, shift;
    uint32_t bit_begin, bit_count;     // into GeneratedTables::bits
    uint32_t entry_begin, entry_count; // into GeneratedTables::entries
    uint32_t reloc_name, reloc_type, reloc_width;
    uint8_t is_signed;
};

struct GeneratedTables {
    const char *text; // NUL-ended texts; offset 0 is the empty text
    uint32_t text_size;
    const PackedRecord *records; // sorted by name
    uint32_t record_count;
    const PackedOperand *operands;
    uint32_t operand_count;
    const PackedField *fields;
    uint32_t field_count;
    const uint8_t *bits; // bit positions, most significant first per field
    uint32_t bit_count;
    const PackedEntry *entries;
    uint32_t entry_count;
    const RecordKindEntry *kinds; // records of another kind than KIND_PLAIN
    uint32_t kind_count;
};

extern const GeneratedTables kTablesZEMA1, kTablesZEMA2, kTablesZEMA3, kTablesRIXU1, kTablesRIXU2,
    kTablesRIXU3;

// Installs generated tables (test fixtures) in place of an architecture's own,
// as InstallTables does; the expanded records live as long as the program.
void InstallGeneratedTables(uint32_t arch, const GeneratedTables &tables);

} // namespace ZEMADisasmLib
