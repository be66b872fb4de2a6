// The decoding library: words of all six instruction sets through
// DecodeInstruction and FormatPacket, with the annotations the engine makes
// (texts around instructions, an operand text replaced by a long one, an
// instruction moved). The first byte chooses the set, the second the render
// options and the word size; the rest are the words.
#include <string>

#include "decodelib/zema_disasm.h"
#include "fuzz/harness.h"

using namespace ZEMADisasmLib;

namespace {

void annotate(uint8_t how, const std::string &long_text) {
    uint32_t count = GetInstructionCount();
    for (uint32_t i = 0; i < count; i++) {
        GetInstructionRecord(i);
        uint32_t operands = GetOperandCount(i);
        for (uint32_t j = 0; j < operands; j++) {
            OperandRecord *op = GetOperand(i, j);
            if ((how & 1) && op->reloc_type != 0) op->long_text = long_text.c_str();
        }
        SetInstructionText(i, "\t", i + 1 == count ? ";\tcomment" : "",
                           (how & 2) && i == 0 ? "replaced" : nullptr);
    }
    if ((how & 4) && count > 1) MoveInstruction(count - 1, 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Fuzz_input in{data, size};
    uint32_t architecture = 1 + in.byte() % 6;
    uint8_t settings = in.byte();
    uint32_t options = settings & 0xF;
    auto au_count = static_cast<uint8_t>(2u << ((settings >> 4) % 6));
    const std::string long_text(300, 'e');
    const uint8_t *word = data + in.pos;
    uint64_t available = in.left();
    while (available > 0) {
        uint32_t consumed = DecodeInstruction(word, available, options, architecture, au_count);
        if (consumed == 0) break;
        annotate(word[0], long_text);
        const char *text = nullptr;
        FormatPacket(&text);
        word += consumed;
        available -= consumed;
    }
    GetInstructionCount(); // after a short remainder
    return 0;
}
