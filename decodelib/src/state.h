// Library state: per-architecture tables with their field maps and match
// index, the one DecoderState, and the internal decoding operations.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "decodelib/src/fields.h"
#include "decodelib/zema_disasm.h"

namespace ZEMADisasmLib {

// Per-record properties worked out once from the name.
enum : uint8_t { TRAIT_TWO_S = 0x1, TRAIT_SPECIAL = 0x2 };

using FieldMap = std::map<std::string, std::unique_ptr<Field>>;

// Candidates of one (size, slot) class, ordered by mask bit count descending
// with table order kept on ties, split into buckets on a few fixed bits so
// that the first matching candidate of a word's bucket is the winner.
struct MatchClass {
    uint32_t size = 0;
    uint32_t slot = 0; // 0: whole words (any slot, flag bit 0 clear)
    uint64_t key_mask = 0;
    std::vector<uint32_t> key_bits; // positions gathered into the bucket number
    // Candidates with their mask and value copied beside the record index, so
    // that a scan stays in one cache-friendly array.
    struct Candidate {
        uint64_t mask, value;
        uint32_t index;
    };
    std::vector<std::vector<Candidate>> buckets;
};

struct ArchitectureTables {
    const InstructionRecord *records = nullptr;
    uint32_t record_count = 0;
    const FieldRecord *fields = nullptr;
    uint32_t field_count = 0;
    FieldMap field_map;
    // Field objects of each record's operands (null when missing from the map).
    std::vector<uint32_t> operand_begin; // per record, into operand_fields
    std::vector<const Field *> operand_fields;
    std::vector<uint8_t> operand_slot; // slot code of a directly decoded slot field, else 0
    std::vector<uint8_t> in_syntax;    // the operand's syntax name occurs in the template
    std::vector<uint8_t> traits;       // per record: TRAIT_ bits
    std::vector<MatchClass> classes;
    int16_t class_of[65][23]; // [size][slot], slot 0 the whole-word class; -1 none
    const InstructionRecord *loop_markers[4] = {}; // loop_begin_0/1, loop_end_0/1
    std::vector<const InstructionRecord *> swbreaks;
};

// An operand's current text: the driver's long text when it set one, else
// the text buffer, which the driver may have overwritten and which is read
// at most to its size.
inline std::string_view CurrentText(const OperandRecord &op) {
    if (op.long_text) return op.long_text;
    return std::string_view(op.text, strnlen(op.text, sizeof op.text));
}

// Operand list of one decoded instruction. Cleared lists keep their records
// so that later decodes overwrite them instead of constructing new ones.
class OperandList {
  public:
    size_t size() const { return count_; }
    void clear() { count_ = 0; }
    OperandRecord &Append() {
        if (count_ == items_.size()) items_.emplace_back();
        return items_[count_++];
    }
    OperandRecord &operator[](size_t i) { return items_[i]; }
    const OperandRecord *begin() const { return items_.data(); }
    const OperandRecord *end() const { return items_.data() + count_; }

  private:
    std::vector<OperandRecord> items_;
    size_t count_ = 0;
};

struct WordItem {
    uint64_t bits = 0;
    uint32_t width = 0;
    uint8_t flag = 0;
};

struct DecoderState {
    DecoderState();
    WordItem word;
    std::vector<DecodedInstruction> instructions;
    std::vector<OperandList> operand_lists; // one per instruction; later ones are spare
    uint32_t consumed = 0;
    uint32_t options = 0;
    char packet_text[4096] = {};
    uint32_t architecture = 1;
    uint32_t selected = 1; // code of the current tables selection
    uint8_t au_count = 0;
    InstructionRecord invalid;
    ArchitectureTables tables[6];
    ArchitectureTables *current = nullptr;
    // Working texts of FormatPacket, kept to avoid allocating per packet.
    std::string first_part, second_part, body;
};

DecoderState &State();

// Replaces the tables of an architecture (tests install small fixtures).
void InstallTables(uint32_t arch, const InstructionRecord *records, uint32_t record_count,
                   const FieldRecord *fields, uint32_t field_count);
// Puts the generated tables of an architecture back.
void RestoreGeneratedTables(uint32_t arch);
ArchitectureTables *TablesOf(uint32_t arch);

void SelectArchitecture(uint32_t arch);
uint32_t DecodeWord(const uint8_t *bytes, uint32_t arch);
const InstructionRecord *MatchWord(uint64_t bits, uint32_t width, uint8_t flag);
const InstructionRecord *MatchSlot(uint64_t value, uint32_t width, uint32_t slot);
// The plain scan of the whole current table (slot 0: whole-word match).
const InstructionRecord *MatchLinear(uint64_t bits, uint32_t width, uint8_t flag, uint32_t slot);
void DecodeSlot(uint64_t value, uint32_t width, uint32_t slot);
const Field *FindFieldObject(const char *impl_name);
// Slot code of a slot field that the packet decoder decodes directly, else 0.
uint32_t DirectSlotCode(const char *syntax_name);
// TRAIT_ bits of a record name under an architecture code.
uint8_t RecordTraits(const char *name, uint32_t arch);
// Slot code of a packet slot field name ("opA" 1, "opS_LO" 5, ...); 22 otherwise.
uint32_t SlotOfField(const char *syntax_name);

// Special renderings; true when the instruction's text was written to out.
bool RenderSpecial(uint32_t index, std::string &out);
int64_t ParseNumber(const char *text);
std::string FormatNumber(int64_t value, uint32_t options);

} // namespace ZEMADisasmLib
