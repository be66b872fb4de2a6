// The listing engine: code windows (packets), data and BSS pieces, labels,
// equates and the symbol queries they share. Every entry appends its text to
// the options record's text buffer and returns it detached, or returns the
// recorded error text with the error class in *error_class.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/hex_pairs.h"
#include "common/instr.h"
#include "decodelib/packet_text.h"
#include "decodelib/zema_disasm.h"
#include "dq300/options.h"
#include "elflib/elfread.h"

// Largest piece of a data or BSS section listed by one engine call.
constexpr uint64_t DATA_PIECE_SIZE = 0x200000;

// One section (or buffer) with the window of it to list, and everything the
// engine may look up for it. A piece of a large data section is a window.
struct Buffer_struct {
    int32_t file_type;    // e_type: 1 relocatable, 2 executable
    const uint8_t *bytes; // contents, null for SHT_NOBITS
    uint64_t size;        // bytes of the section
    uint64_t address;     // section address: address of bytes[0]
    uint32_t index;       // section index, 0 for dumps and typed input
    uint32_t name;        // sh_name
    uint32_t sh_type;
    uint64_t sh_flags;
    const char *strtab;   // symbol names, or null
    const char *shstrtab; // section names, or null
    Elf32_Sym *symtab;    // host order, or null
    uint64_t symcount;
    // Indices of the section's global symbols in table order (the ".global"
    // lines after its section line), found by the file walk.
    const uint32_t *globals;
    uint64_t global_count;
    Elf32_Rela *rela; // the section's RELA entries (file order), or null
    uint64_t rela_count;
    uint8_t rela_present; // 1 when rela holds the section's entries
    uint8_t rela_sorted;  // rela is in offset order already (one copy for all pieces)
    uint64_t start;       // window, inclusive
    uint64_t end;
    // The bytes are the run's own heap copy, read by nothing but this
    // window: the packet loop gives the pages it has listed back to the
    // system, so that a large section and its listing are not held at once.
    uint8_t release_listed;
    // Where the packet loop writes the listing so far every few KiB of code,
    // so that a large section's listing is never held whole; null: the
    // whole text is returned.
    FILE *listing_out;
};

// Relocation cursor of one window: the offset-ordered working copy and the
// position in it (current is null once the walk has passed the last entry).
struct Rela_cursor_struct {
    Elf32_Rela *entries;
    uint32_t count;
    uint32_t index;
    Elf32_Rela *current;
};

// Asked several times per packet: the field itself, without a call.
inline bool has_error(const Option_struct *opt) {
    return opt->err_code != ERR_NONE;
}
// Ends an engine entry on a recorded error: drops the text built so far and
// returns a copy of the error text, its class in *error_class.
char *engine_error(Option_struct *opt, uint8_t *error_class);
// Makes the sorted symbol copy (when the run sorts) and records the tables of
// the buffer and the file type for the symbol queries.
void use_buffer_symbols(const Buffer_struct *buf, int32_t file_type, Option_struct *opt);
// The buffer's relocations ordered by offset: a heap copy, or rela itself
// when rela_sorted (not to be freed then); null when it has none. Records
// "Invalid .rela info\n" when they cannot be read.
Elf32_Rela *buffer_relocations(const Buffer_struct *buf, Option_struct *opt);

// Engine entries (section walk).
char *disassemble_buffer(const Buffer_struct *buf, Option_struct *opt, uint8_t *error_class);
char *dump_data_piece(const Buffer_struct *buf, Option_struct *opt, uint8_t *error_class);
char *print_equ_block(const char *strtab, const Elf32_Sym *symtab, uint64_t symcount,
                      int32_t file_type, Option_struct *opt, uint8_t *error_class);

void check_buffer_args(Option_struct *opt, const uint8_t *bytes, uint64_t size, int32_t file_type,
                       uint32_t sh_type, uint64_t start, uint64_t end);
void clip_window(uint64_t *start, uint64_t *end, uint64_t address, uint64_t size);
// The entries ordered by r_offset, equal offsets in file order (heap copy),
// or null when present is not 1.
Elf32_Rela *sort_relocations(const Elf32_Rela *rela, uint64_t count, uint8_t present);
// Whether the entries are ordered by r_offset already.
bool relocations_in_order(const Elf32_Rela *rela, uint64_t count);
void select_core(Option_struct *opt, uint64_t sh_flags);
uint32_t render_flags(const Option_struct *opt);

// Section line (".section name, "wae", @progbits") and the section's globals.
void print_section_line(const Buffer_struct *buf, Option_struct *opt);
void print_section_globals(const Buffer_struct *buf, Option_struct *opt);
void print_org_line(uint64_t address, Option_struct *opt);
void print_address_line(uint64_t pc, Option_struct *opt);
// The 8 lower-case hex digits of value (no NUL). Inline and unrolled: one
// per packet.
inline void format_hex8(uint32_t value, char *out) {
    memcpy(out, LOWER_HEX_PAIRS.text + 2 * (value >> 24), 2);
    memcpy(out + 2, LOWER_HEX_PAIRS.text + 2 * ((value >> 16) & 0xFF), 2);
    memcpy(out + 4, LOWER_HEX_PAIRS.text + 2 * ((value >> 8) & 0xFF), 2);
    memcpy(out + 6, LOWER_HEX_PAIRS.text + 2 * (value & 0xFF), 2);
}
// The address line of pc into line (ADDRESS_LINE_SIZE bytes, no NUL); its length.
constexpr uint32_t ADDRESS_LINE_SIZE = 20;
// format_address_line of an address above 32 bits.
uint32_t format_long_address_line(uint64_t pc, char *line);
inline uint32_t format_address_line(uint64_t pc, char *line) {
    // "#%08llx:\n"
    if (pc >> 32) return format_long_address_line(pc, line);
    line[0] = '#';
    format_hex8(uint32_t(pc), line + 1);
    line[9] = ':';
    line[10] = '\n';
    return 11;
}

// The address line of the packet before, so that the next one, nearly always
// in the same 256 bytes, only rewrites its last two digits.
struct Address_line_struct {
    uint64_t high; // pc >> 8 of line; UINT64_MAX before the first
    uint32_t length;
    char line[ADDRESS_LINE_SIZE];
};
// format_address_line through *last: ADDRESS_LINE_SIZE bytes are written.
inline uint32_t format_next_address_line(uint64_t pc, Address_line_struct *last, char *line) {
    if ((pc >> 8) != last->high) {
        last->length = format_address_line(pc, last->line);
        last->high = pc >> 8;
    } else {
        memcpy(last->line + last->length - 4, LOWER_HEX_PAIRS.text + 2 * (pc & 0xFF), 2);
    }
    memcpy(line, last->line, ADDRESS_LINE_SIZE);
    return last->length;
}

// Symbols and labels.
constexpr uint64_t NEW_SEARCH = UINT64_MAX;

struct Space_filter_struct {
    uint32_t space;
    uint32_t unset; // 1: only absolute symbols
};

void make_sorted_symbols(Option_struct *opt, Elf32_Sym *symtab, uint64_t count);
uint64_t first_symbol_at(uint64_t address, const Option_struct *opt);
const Elf32_Sym *find_next_label_at(uint64_t address, uint64_t *cursor, const Option_struct *opt,
                                    const Space_filter_struct *filter);
const Elf32_Sym *find_inner_label(uint64_t start, uint64_t length, const Buffer_struct *buf,
                                  Option_struct *opt);
// The labels of buf's section at a value in symbol terms, in table order:
// the next one per call (*cursor starts as NEW_SEARCH), null after the last.
const Elf32_Sym *next_section_label(uint64_t value, const Buffer_struct *buf, uint64_t *cursor,
                                    const Option_struct *opt);
void print_labels_at(uint64_t address, const Buffer_struct *buf, Option_struct *opt);

// A forward walk through the labels of one section in value order, in step
// with a listing position that only grows: the packet loop asks it whether a
// packet holds any label before it searches for them.
struct Label_cursor_struct {
    const Elf32_Sym *table;
    const uint32_t *order; // the labels ordered by section and value; null: no such order
    uint64_t count;
    uint64_t index; // first label of the section not below the last query
    // Its listing address (value plus bias); UINT64_MAX after the section's
    // last label; 0 without the order, so that every query asks the slow path.
    uint64_t next;
    uint64_t bias; // listing address of symbol value 0: the section's in relocatable files
    uint32_t section;
};
void label_cursor_start(Label_cursor_struct *cursor, uint64_t address, const Buffer_struct *buf,
                        const Option_struct *opt);
// label_cursor_any once the cursor must move past labels (or has no order).
bool label_cursor_passing(Label_cursor_struct *cursor, uint64_t address, uint64_t size);
const char *symbol_name(const Option_struct *opt, const Elf32_Sym *sym);
// Address in symbol terms: relocatable symbols count from their section.
inline uint64_t symbol_address(uint64_t address, const Buffer_struct *buf) {
    return buf->file_type == ET_EXEC ? address : address - buf->address;
}
// False only when no label of the section lies at an address in
// [address, address + size - 1]; address never decreases between calls.
inline bool label_cursor_any(Label_cursor_struct *cursor, uint64_t address, uint64_t size) {
    // Once per packet: most packets leave the cursor where it is.
    if (cursor->next >= address) return cursor->next - address < size;
    return label_cursor_passing(cursor, address, size);
}

// Appends ";\t\t// address $vvvvvvvv is equivalent to $aaaaaaaa (name)" to
// out: an operand's value as written and the address it stands for.
void append_address_comment(uint32_t value, uint64_t address, Option_struct *opt,
                            const Space_filter_struct *filter, std::string *out);

struct Operand_address_struct {
    int64_t value; // the operand's value as written
    uint64_t address;
    Space_filter_struct space;
};
// Reads an operand text "$hex", "+$hex" or "-$hex"; false for any other text.
bool parse_operand_value(const char *text, int64_t *value);
// False when the operand names no address (or an error was recorded).
bool operand_address(const ZEMADisasmLib::InstructionRecord *record,
                     const ZEMADisasmLib::OperandRecord *operand, Option_struct *opt,
                     Operand_address_struct *out);

// Packets and loop ends.
struct Loop_state_struct {
    int64_t pending_size[9];
    uint64_t end_offset[8];
    uint32_t open;
};

bool accept_inner_label_packet();
void track_loop_ends(uint32_t instruction, uint64_t offset_after, Loop_state_struct *loops,
                     std::string *comment);
// Inserts the names of the labels at the inner label's address before the
// last line of the packet text; heap text, or null with class 3 recorded.
char *insert_inner_labels(const char *packet_text, const Elf32_Sym *label, const Buffer_struct *buf,
                          Option_struct *opt);

// Listing lines. A packet without buf has no labels at it; its address line
// is written through *last.
void print_packet(const uint8_t *bytes, uint32_t size, const char *text, uint32_t count,
                  const Buffer_struct *buf, Address_line_struct *last, Option_struct *opt);
// Longest hex line; longer items are cut at a whole group.
constexpr uint32_t HEX_LINE_SIZE = 80;
// The hex line of a packet into line (HEX_LINE_SIZE bytes, no NUL); its length.
uint32_t format_packet_hex(const uint8_t *bytes, uint32_t size, char *line);
// The lines of a packet after its labels, in one piece: with `lead` its
// address line (through *last) and hex line first. Inline, as the packet
// loop's own code: one per packet.
inline void print_packet_body(const uint8_t *bytes, uint32_t size, const char *text, uint32_t count,
                              bool lead, Address_line_struct *last, Option_struct *opt) {
    // The library's own packet text comes with its length; any other (with
    // inner labels) is measured.
    uint64_t length = ZEMADisasmLib::PacketTextLength(text);
    if (length == SIZE_MAX) length = strlen(text);
    char *room = text_room(ADDRESS_LINE_SIZE + HEX_LINE_SIZE + length + 10, opt);
    if (room == nullptr) return;
    char *p = room;
    if (lead && opt->pc_display) p += format_next_address_line(opt->pc, last, p);
    if (lead && opt->hex_display) p += format_packet_hex(bytes, size, p);
    // A compact body is led by a tab; otherwise braces enclose a packet of
    // several instructions.
    bool braces = !opt->compact_output && count > 1;
    *p = '\t';
    p += opt->compact_output != 0;
    if (braces) {
        memcpy(p, "\t\t{\n", 4);
        p += 4;
    }
    memcpy(p, text, length);
    p += length;
    memcpy(p, "\n\t\t}\n", 5);
    p += braces ? 5 : 1;
    text_added(uint64_t(p - room), opt);
}
// The bytes as 16-bit units from the last to the first, each unit second
// byte first (an odd count byte by byte, from the last).
void print_hex_codification(const uint8_t *bytes, uint32_t size, Option_struct *opt);
// One data item: relocated (rela_size 1, 2 or 4) or `size` plain bytes; the
// labels of buf at it first (buf null: none lies there).
void print_data_item(const uint8_t *bytes, uint32_t size, uint32_t rela_size,
                     Rela_cursor_struct *cursor, const Buffer_struct *buf, Option_struct *opt);
void print_data_bytes(const Buffer_struct *buf, Option_struct *opt);
void print_bss(const Buffer_struct *buf, Option_struct *opt);
