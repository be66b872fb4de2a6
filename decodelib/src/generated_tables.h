// The constant tables the generator emits for each instruction set.
#pragma once

#include <cstdint>

#include "decodelib/zema_disasm.h"

namespace ZEMADisasmLib {

struct GeneratedTables {
    const InstructionRecord *records; // sorted by name
    uint32_t record_count;
    const FieldRecord *fields;
    uint32_t field_count;
    const RecordKindEntry *kinds; // records of another kind than KIND_PLAIN
    uint32_t kind_count;
};

extern const GeneratedTables kTablesZEMA1, kTablesZEMA2, kTablesZEMA3, kTablesRIXU1, kTablesRIXU2,
    kTablesRIXU3;

} // namespace ZEMADisasmLib
