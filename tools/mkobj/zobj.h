// Object descriptions: a readable, line-based text (".zobj") from which the
// tests and examples build ELF32 objects with ElfWriter, instruction words
// coming from the instruction encoder. The format is documented in
// tools/mkobj/ZOBJ.md; a short example:
//
//   elf relocatable little zema1 shift=0
//   section .text progbits flags=ae align=8
//   label main func global size=16
//     packet opXSSZ opS_HI=(mv_gp_I16 GP=g1 IM16R4=0x10) opS_LO=(opS_nop)
//     reloc . 8 main
//     insn jmp_LI17 LI17R8=0
//   symbol COUNT value=4 global abs
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/writers/elf_writer.h"

namespace zema_test {

// One instruction word of the description, in the byte order the decoder
// reads it (before any storage swap), for tools that show what was encoded.
struct ZobjWord {
    std::string section;
    uint32_t offset = 0;
    uint32_t arch = 0; // decoding architecture code, 1..6
    uint8_t au_count = 64;
    unsigned line = 0;
    Bytes bytes;
};

struct ZobjResult {
    bool ok = false;
    std::string error; // "file:line: message" when !ok
    Bytes image;       // the file to write when ok
    std::vector<ZobjWord> words;
};

// Builds the file a description describes; `file_name` only names the
// description in error messages.
ZobjResult build_zobj(std::string_view text, const std::string &file_name);

// The words of one description line, its comment removed; a quoted text or a
// parenthesised group stays one word. False, with the reason, for a broken line.
bool zobj_words(std::string_view line, std::vector<std::string> *words, std::string *error);
// The text of a quoted word (\" and \\ unescaped); other words as they are.
std::string zobj_text(std::string_view word);
// The line without its comment ('#' outside double quotes).
std::string zobj_uncommented(std::string_view line);

} // namespace zema_test
