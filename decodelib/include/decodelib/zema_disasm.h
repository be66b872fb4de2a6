// The ZEMA/RIXU instruction decoding library: the flat interface the driver
// uses over the one library state, and the records it hands out.
#pragma once

#include <cstdint>
#include <string_view>

namespace ZEMADisasmLib {

// Architecture codes (decoding modes).
enum : uint32_t { ARCH_ZEMA1 = 1, ARCH_ZEMA2, ARCH_ZEMA3, ARCH_RIXU1, ARCH_RIXU2, ARCH_RIXU3 };

// Slot codes of InstructionRecord::slot.
enum : uint32_t {
    SLOT_INVALID = 0,
    SLOT_A = 1,
    SLOT_B,
    SLOT_C,
    SLOT_D,
    SLOT_S,
    SLOT_VS0,
    SLOT_VS1,
    SLOT_VS2,
    SLOT_VAU,
    SLOT_VROT,
    SLOT_VR,
    SLOT_VD,
    SLOT_VROR,
    SLOT_VROL,
    SLOT_VLD,
    SLOT_VWR,
    SLOT_VSAU,
    SLOT_X,
    SLOT_Z,
    SLOT_DONE,
    SLOT_FNOP,
    SLOT_WORD,
};

// Flag bits of InstructionRecord::flags.
enum : uint32_t {
    FLAG_WORD = 0x1,
    FLAG_JUMP = 0x4,
    FLAG_STACK = 0x10,
    FLAG_RETURN = 0x20,
    FLAG_NOP = 0x40,
    FLAG_NULL = 0x80,
    FLAG_LOAD = 0x100,
    FLAG_STORE = 0x200,
    FLAG_IP = 0x400,
};

// What the library and the driver do with a record beyond substituting its
// template. The table generator derives the kind from the record names the
// behaviour belongs to, and fails when a set lacks a record it relies on.
enum RecordKind : uint8_t {
    KIND_PLAIN = 0,
    // Texts computed from operand values.
    KIND_SET_LOOP_COUNT,      // ZEMA1 loop count
    KIND_SET_LOOP_REG_SIZE,   // ZEMA1 loop register and size (a loop size of -f)
    KIND_SET_LOOP_COUNT_SIZE, // ZEMA1 loop count and size (a loop size of -f)
    KIND_SET_NCO,
    KIND_SET_XTRM,
    KIND_SET_RANGE_SPLIT, // ZEMA1 22-bit range split in two
    KIND_SETC_LOOP_REG,
    KIND_SETB_LOOP_REG,
    KIND_SET_LOOP_ITER_INSTR,
    KIND_SETC_LOOP_ITER,
    KIND_SETB_LOOP_SHORT,
    KIND_STORE_MULTIPLE,
    KIND_LOAD_MULTIPLE,
    KIND_PUSH_MULTIPLE,
    KIND_POP_MULTIPLE,
    KIND_RIXU_SET_LOOP,
    KIND_RIXU_SET_RANGE,
    // Packet structure.
    KIND_TWO_S_FORMAT, // packet format with two S slots
    KIND_NULL,         // the empty S slot
    KIND_SWBREAK,
    KIND_SWBREAK_UPPER, // ZEMA1 marker of the upper half only
    KIND_SWBREAK_LOWER,
    KIND_LOOP_BEGIN_0, // RIXU loop-control markers
    KIND_LOOP_BEGIN_1,
    KIND_LOOP_END_0,
    KIND_LOOP_END_1,
    KIND_LOOP_BEGIN, // ZEMA hardware loop start (loop ends of -f)
    KIND_COUNT
};

struct RecordKindEntry {
    uint32_t index; // into the instruction table
    RecordKind kind;
};

// Option bits of DecodeInstruction.
enum : uint32_t {
    OPT_RENDER = 0x1,
    OPT_DECIMAL = 0x2,
    OPT_KEEP_PLUS_MINUS = 0x4,
    OPT_LINE_SEPARATOR = 0x8,
};

struct ValueEntry {
    uint64_t value;
    const char *text;
};

struct FieldRecord {
    uint32_t kind; // 0 enumerated, 1 immediate, 2 tabled
    const char *name;
    const char *prefix;
    uint32_t shift;
    uint32_t bit_count;
    uint32_t bits[128]; // most significant first
    uint32_t entry_count;
    ValueEntry entries[128];
    const char *reloc_name;
    uint32_t reloc_type;
    uint32_t reloc_width;
    uint8_t is_signed;
};

struct OperandName {
    const char *syntax_name; // null ends the list
    const char *field_name;
};

struct InstructionRecord {
    const char *name;
    const char *syntax;
    uint32_t size;
    uint32_t slot;
    uint32_t flags;
    int32_t id;
    const char *text1, *text2, *text3, *text4;
    OperandName operands[64];
    const char *text5, *text6;
    uint64_t value;
    uint64_t mask;
};

struct OperandRecord {
    const char *syntax_name;
    const char *field_name;
    char text[128];
    const char *reloc_name;
    uint32_t reloc_type;
    uint32_t reloc_width;
    uint32_t is_signed;
    // A driver-written text too long for `text` (a relocation expression);
    // when set, the packet text uses it instead. Owned by the driver, which
    // keeps it alive until FormatPacket; every decode clears it.
    const char *long_text;
};

// The texts are kept by the library until the next decode.
struct DecodedInstruction {
    const InstructionRecord *record;
    std::string_view prefix_text;
    std::string_view suffix_text;
    std::string_view replacement_text;
    bool replaced = false;
};

uint32_t DecodeInstruction(const uint8_t *bytes, uint64_t available, uint32_t options,
                           uint32_t architecture, uint8_t au_count);
uint32_t FormatPacket(const char **text);
uint32_t GetInstructionCount();
const InstructionRecord *GetInstructionRecord(uint32_t index);
void SetInstructionText(uint32_t index, const char *prefix, const char *suffix,
                        const char *replacement);
// Kind of decoded instruction `index` (KIND_PLAIN for INVALID or a bad index).
RecordKind GetInstructionKind(uint32_t index);
uint32_t GetOperandCount(uint32_t index);
// The operands of one instruction are consecutive records: GetOperand(i, j)
// is GetOperand(i, 0) + j.
OperandRecord *GetOperand(uint32_t index, uint32_t operand);
void MoveInstruction(uint32_t from, uint32_t to);
uint32_t GetByteOrder();
const char *GetLibraryVersion();
const char *GetModelVersion();

} // namespace ZEMADisasmLib
