// Packet-level rules: whether a packet with a label inside may be listed as
// a packet, the insertion of such labels into its text, and the loop-end
// marks of option -f.
#include <cstdlib>
#include <cstring>
#include <string>

#include "dq300/disasm.h"
#include "kelim/kelim.h"

using namespace ZEMADisasmLib;

namespace {

constexpr uint32_t MAX_OPEN_LOOPS = 8;

// The loop size operand: "$hex" (as a constant expression prints it), the
// signed "+$hex" of a plain immediate, or a decimal number.
int64_t loop_size_of(uint32_t instruction) {
    uint32_t n = GetOperandCount(instruction);
    for (uint32_t j = 0; j < n; j++) {
        const OperandRecord *op = GetOperand(instruction, j);
        if (!op->syntax_name || strcmp(op->syntax_name, "LOOP_SIZE_R10") != 0) continue;
        int64_t size;
        return parse_operand_value(op->text, &size) ? size : strtoll(op->text, nullptr, 10);
    }
    return 0;
}

} // namespace

bool accept_inner_label_packet() {
    uint32_t count = GetInstructionCount();
    uint32_t s_slots = 0;
    for (uint32_t i = 0; i < count; i++) {
        const InstructionRecord *r = GetInstructionRecord(i);
        if (r && r->slot == SLOT_S) s_slots++;
    }
    return count >= 2 && s_slots >= 2;
}

void track_loop_ends(uint32_t instruction, uint64_t offset_after, Loop_state_struct *loops,
                     std::string *comment) {
    RecordKind kind = GetInstructionKind(instruction);
    if (kind == KIND_SET_LOOP_COUNT_SIZE || kind == KIND_SET_LOOP_REG_SIZE)
        loops->pending_size[loops->open] = loop_size_of(instruction);
    if (kind == KIND_LOOP_BEGIN && loops->open < MAX_OPEN_LOOPS) {
        loops->end_offset[loops->open] =
            offset_after + 8 * static_cast<uint64_t>(loops->pending_size[loops->open]);
        loops->open++;
    }
    if (loops->open > 0 && loops->end_offset[loops->open - 1] == offset_after) {
        loops->open--;
        comment->insert(0, ";\tloop_end");
    }
}

char *insert_inner_labels(const char *packet_text, const Elf32_Sym *label, const Buffer_struct *buf,
                          Option_struct *opt) {
    std::string names;
    uint64_t cursor = NEW_SEARCH;
    while (const Elf32_Sym *s = next_section_label(label->st_value, buf, &cursor, opt)) {
        if (s->st_name == 0) continue;
        names += '\n';
        names += symbol_name(opt, s);
    }
    std::string text(packet_text);
    size_t split = text.rfind("\n\t");
    if (split == std::string::npos) {
        set_error(opt, ERR_CONTENT, "String match not found to print labels inside VLES");
        return nullptr;
    }
    text.insert(split, names);
    return kl_strdup(text.c_str());
}
