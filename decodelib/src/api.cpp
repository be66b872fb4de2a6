// The flat interface the driver uses over the one library state.
#include <algorithm>

#include "decodelib/src/state.h"

namespace ZEMADisasmLib {

uint32_t DecodeInstruction(const uint8_t *bytes, uint64_t available, uint32_t options,
                           uint32_t architecture, uint8_t au_count) {
    DecoderState &s = State();
    s.options = options;
    s.architecture = architecture;
    s.au_count = au_count;
    SelectArchitecture(architecture);
    uint64_t needed = architecture >= 1 && architecture <= 3 ? 8 : 4;
    if (!bytes || available < needed) {
        // Never read past the caller's data: a short remainder decodes nothing.
        s.instructions.clear();
        s.consumed = 0;
        return 0;
    }
    s.consumed = DecodeWord(bytes, architecture);
    return s.consumed;
}

uint32_t GetInstructionCount() {
    return static_cast<uint32_t>(State().instructions.size());
}

const InstructionRecord *GetInstructionRecord(uint32_t index) {
    DecoderState &s = State();
    return index < s.instructions.size() ? s.instructions[index].record : nullptr;
}

void SetInstructionText(uint32_t index, const char *prefix, const char *suffix,
                        const char *replacement) {
    DecoderState &s = State();
    if (index >= s.instructions.size()) return;
    DecodedInstruction &d = s.instructions[index];
    if (prefix) d.prefix_text = prefix;
    if (suffix) d.suffix_text = suffix;
    if (replacement) {
        d.replacement_text = replacement;
        d.replaced = true;
    }
}

uint32_t GetOperandCount(uint32_t index) {
    DecoderState &s = State();
    return index < s.instructions.size() ? static_cast<uint32_t>(s.operand_lists[index].size()) : 0;
}

OperandRecord *GetOperand(uint32_t index, uint32_t operand) {
    DecoderState &s = State();
    if (index >= s.instructions.size() || operand >= s.operand_lists[index].size()) return nullptr;
    return &s.operand_lists[index][operand];
}

void MoveInstruction(uint32_t from, uint32_t to) {
    DecoderState &s = State();
    size_t n = s.instructions.size();
    if (from >= n || to >= n || from == to) return;
    auto move = [from, to](auto &v) {
        if (from < to)
            std::rotate(v.begin() + from, v.begin() + from + 1, v.begin() + to);
        else
            std::rotate(v.begin() + to, v.begin() + from, v.begin() + from + 1);
    };
    move(s.instructions);
    move(s.operand_lists);
}

uint32_t GetByteOrder() {
    return 0;
}

} // namespace ZEMADisasmLib
