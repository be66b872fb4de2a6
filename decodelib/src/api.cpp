// The flat interface the driver uses over the one library state.
#include <algorithm>

#include "decodelib/src/state.h"

namespace ZEMADisasmLib {

std::string_view TextArena::KeepCopy(const char *text) {
    // Measured once and copied as a block: a comment of an address is some
    // fifty characters, too many to copy one at a time.
    size_t n = std::strlen(text);
    if (chunks_.empty() || n > capacity_ - used_) {
        size_t size = std::max(kChunk, n);
        extra_chunks_ = !chunks_.empty() || size > kChunk;
        chunks_.push_back(std::make_unique<char[]>(size));
        used_ = 0;
        capacity_ = size;
    }
    char *place = chunks_.back().get() + used_;
    std::memcpy(place, text, n);
    used_ += n;
    return {place, n};
}

void TextArena::DropChunks() {
    chunks_.clear();
    capacity_ = 0;
    extra_chunks_ = false;
}

uint32_t DecodeInstruction(const uint8_t *bytes, uint64_t available, uint32_t options,
                           uint32_t architecture, uint8_t au_count) {
    DecoderState &s = State();
    s.options = options;
    s.architecture = architecture;
    s.au_count = au_count;
    // The usual case, the same built tables as the last word, without a call.
    if (architecture != s.selected || !s.current->built) SelectArchitecture(architecture);
    uint64_t needed = architecture >= 1 && architecture <= 3 ? 8 : 4;
    if (!bytes || available < needed) {
        // Never read past the caller's data: a short remainder decodes nothing.
        s.count = 0;
        s.texts.Reset();
        s.consumed = 0;
        return 0;
    }
    return DecodeWord(bytes, architecture);
}

uint32_t GetInstructionCount() {
    return State().count;
}

const InstructionRecord *GetInstructionRecord(uint32_t index) {
    DecoderState &s = State();
    return index < s.count ? s.instructions[index].record : nullptr;
}

namespace {

[[gnu::noinline]] void keep_texts(DecodedInstruction &d, const char *prefix, const char *suffix,
                                  const char *replacement) {
    TextArena &texts = State().texts;
    if (prefix) d.prefix_text = texts.Keep(prefix);
    if (suffix) d.suffix_text = texts.Keep(suffix);
    if (replacement) {
        d.replacement_text = texts.Keep(replacement);
        d.replaced = true;
    }
}

} // namespace

void SetInstructionText(uint32_t index, const char *prefix, const char *suffix,
                        const char *replacement) {
    DecoderState &s = State();
    if (index >= s.count) return;
    DecodedInstruction &d = s.instructions[index];
    // The usual call, a one-character prefix alone, needs no copy.
    if (prefix && prefix[0] && !prefix[1] && !suffix && !replacement) {
        d.prefix_text = TextArena::One(prefix[0]);
        return;
    }
    keep_texts(d, prefix, suffix, replacement);
}

RecordKind GetInstructionKind(uint32_t index) {
    DecoderState &s = State();
    if (index >= s.count || !s.current) return KIND_PLAIN;
    const ArchitectureTables &t = *s.current;
    size_t i = t.IndexOf(s.instructions[index].record);
    return i == SIZE_MAX ? KIND_PLAIN : t.info[i].kind;
}

uint32_t GetOperandCount(uint32_t index) {
    DecoderState &s = State();
    return index < s.count ? static_cast<uint32_t>(s.operand_lists[index].size()) : 0;
}

OperandRecord *GetOperand(uint32_t index, uint32_t operand) {
    DecoderState &s = State();
    if (index >= s.count || operand >= s.operand_lists[index].size()) return nullptr;
    return &s.operand_lists[index][operand];
}

void MoveInstruction(uint32_t from, uint32_t to) {
    DecoderState &s = State();
    size_t n = s.count;
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
