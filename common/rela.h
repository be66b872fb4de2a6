// Relocation expressions: walking a section's offset-ordered RELA entries in
// step with the listing, and rendering the entries of one relocation as
// operand text such as (buffer+$00000010) or ((start-end)>>$00000002).
#pragma once

#include <cstdint>

#include "common/instr.h"
#include "decodelib/zema_disasm.h"
#include "dq300/options.h"
#include "elflib/elfread.h"

constexpr uint32_t R_EXPR_DOT_OPERAND = 0xFC;
constexpr uint32_t R_EXPR_OPERAND = 0xFD;
constexpr uint32_t R_EXPR_OPERATOR = 0xFE;
constexpr uint32_t R_EXPR_END = 0xFF;
constexpr uint32_t R_DATA_WORD = 12;

// InstructionRecord flag bit asking rela_to_chr to compute the value.
constexpr uint32_t FLAG_RELA_VALUE = 0x8;

// Moves the cursor past every entry below address; the cursor becomes null
// at the end of the table. The cursor must point at an entry.
void rela_seek(Elf32_Rela **rela, uint32_t count, uint32_t *index, uint64_t address);

// 2: no relocation starts at address; 1: found (and with consume 1 skipped);
// 0: the entries are malformed (error state set).
int rela_next(int consume, Elf32_Rela **rela, uint32_t *index, uint32_t count, uint64_t address,
              Option_struct *opt);

// Entries of the relocation that starts at rela (0 with consume 0).
uint32_t rela_entry_count(int consume, const Elf32_Rela *rela, uint32_t rela_length,
                          uint64_t address, Option_struct *opt);

// 4 when a relocated data word lies at address, else 0.
uint32_t rela_data_size(Elf32_Rela **rela, uint32_t *index, uint32_t count, uint64_t address,
                        Option_struct *opt);

// Heap text of the relocation starting at rela, or null on failure (error
// state set; an expression that leaves more than one text records the error
// and still gives its text). Symbol indices must be below symcount.
// rela_length bounds the entries that may be read (0: the caller has counted
// them with rela_next or rela_data_size).
char *rela_to_chr(const Elf32_Rela *rela, const char *strtab, const Elf32_Sym *symtab_ptr,
                  uint64_t symcount, const ZEMADisasmLib::InstructionRecord *instr,
                  Symbol_refs_struct **refs, Option_struct *opt, uint32_t *value_out,
                  uint32_t rela_length = 0);

// rela_to_chr's text in storage kept for the next rendering: valid until the
// next call on the thread.
const char *rela_text(const Elf32_Rela *rela, const char *strtab, const Elf32_Sym *symtab_ptr,
                      uint64_t symcount, const ZEMADisasmLib::InstructionRecord *instr,
                      Symbol_refs_struct **refs, Option_struct *opt, uint32_t *value_out,
                      uint32_t rela_length = 0);

// rela_text's text of an ordinary relocation (one symbol and addend, no
// expression), written into text, room bytes with the NUL, and no symbol
// named; its length. 0, with nothing recorded, when the relocation is of
// another form, has an error, or its text does not fit: rela_text gives it.
size_t rela_ordinary_text(const Elf32_Rela *rela, const char *strtab, const Elf32_Sym *symtab_ptr,
                          uint64_t symcount, const ZEMADisasmLib::InstructionRecord *instr,
                          uint8_t arch_code, char *text, size_t room);

// Addend of entry divided by the addressable unit of type, when the scaling
// rule applies; `following` is the number of entries of the same expression
// after entry (before its end). The entry itself is not changed.
int32_t rela_scale_addend(const Elf32_Rela *entry, uint32_t following, uint32_t type,
                          uint8_t arch_code);
uint32_t rela_addend_shift(uint32_t type, uint8_t arch_code);
