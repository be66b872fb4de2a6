// The run options record: everything one run of the disassembler shares
// between its parts (display switches, banner texts, option-parser state, the
// loaded file, the core selection, the error state, the listing text buffer,
// and the working members of the engine, statistics and demangler).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "elflib/elfread.h"

// Error classes of err_code.
enum : uint8_t {
    ERR_NONE = 0,
    ERR_MEMORY = 1,  // memory exhausted
    ERR_DATA = 2,    // bad relocation or section data
    ERR_CONTENT = 3, // bad content
    ERR_OPTION = 4,  // bad option or parameter
};

constexpr size_t DEMANGLE_BUFFER_SIZE = 8000;

struct Label_memo_struct; // the engine's, see label_memo_release
constexpr uint32_t TEXT_INITIAL_CAPACITY = 65536;

struct Option_struct {
    uint8_t hex_display;
    uint8_t pc_display;
    uint8_t compact_output;
    uint8_t statistics;
    uint8_t verbose;
    uint8_t memory_dump;
    uint8_t label_display;
    uint8_t loop_end;
    uint8_t sort_symtab;
    // Indices into sort_symtab_source ordered by value, in table order among
    // equals (owned): an index per symbol rather than a copy of each.
    uint32_t *sort_symtab_ptr;
    // The table the sorted order was made for, so that the sections of one
    // file share one order.
    const Elf32_Sym *sort_symtab_source;
    uint64_t sort_symtab_count;
    // Indices of the label symbols (neither section nor file symbols) ordered
    // by section, then value, in table order among equals: the labels of one
    // section without walking those of the others. Made with sort_symtab_ptr.
    uint32_t *sort_section_ptr; // owned
    uint64_t sort_section_count;
    // The (section << 32 | value) of each of those labels, in that order
    // (owned): a search over plain numbers instead of through the table.
    uint64_t *sort_section_keys;
    // The values the symbols take, as bits at their hashes (owned, made with
    // sort_symtab_ptr): a clear bit answers that no symbol has a value
    // without the search, as for most addresses operands name.
    uint64_t *sort_value_bits;
    uint32_t sort_value_shift; // 64 - log2 of the bit count
    // What the engine found at an address for each symbol filter, per sorted
    // copy; released through label_memo_release.
    Label_memo_struct *label_memo;
    void (*label_memo_release)(Label_memo_struct *memo);
    uint8_t unmangle;
    uint8_t mapper_labels;
    uint32_t arch_version;
    uint8_t bss_sections;
    uint8_t data_sections;
    uint8_t local_symbols;
    char product_name[8];
    char *tool_name;
    char tool_title[13];
    char version_text[256];
    char notice_text[100];
    char option_spec[57];
    int32_t opt_index;
    char *opt_arg;
    char *opt_arg2;
    const char *opt_next; // get_option's next-character pointer
    FILE *input_stream;
    char *source_name;
    Elf_struct elf;
    uint8_t au_count;
    uint8_t arch_code;
    uint8_t err_code;
    char *err_text; // owned

    // Listing text buffer of the current piece of input.
    // 64-bit sizes: one engine call may produce more than 4 GB of text.
    char *text_buffer;
    uint64_t text_length;
    uint64_t text_capacity;
    // text_capacity while text may be added at once (the buffer open, not
    // muted, no error recorded), else 0: text_room's usual case is then one
    // comparison. Set by the slow path, cleared by whatever ends that state.
    uint64_t text_ready_capacity;
    uint8_t text_suppressed;
    // The text last detached and its length: a listing of hundreds of MB is
    // written without measuring it again.
    const char *detached_text;
    uint64_t detached_length;

    // Engine working members.
    uint64_t pc;
    uint32_t core_mode;
    int32_t file_type;
    const char *strtab;
    Elf32_Sym *symtab;
    uint64_t symcount;
    uint8_t piece_continued;
    uint8_t piece_more;

    // Statistics counters.
    uint32_t stat_micro;
    uint32_t stat_packets;
    uint32_t stat_a;
    uint32_t stat_b;
    uint32_t stat_c;
    uint32_t stat_d;
    uint32_t stat_s;
    uint32_t stat_v;
    uint32_t stat_x;
    uint32_t stat_z;
    uint32_t stat_done;
    uint32_t stat_fnop;
    uint32_t stat_rixu_long;
    uint32_t stat_rixu_short;
    uint32_t stat_xabvz;
    uint32_t stat_xcvz;
    uint32_t stat_xsvz;
    uint32_t stat_xdz;
    uint32_t stat_xssz;
    float power_xabvz;
    float power_xcvz;
    float power_xsvz;
    float power_xdz;
    float power_xssz;
    uint32_t stat_nops;
    uint32_t stat_null_patched;
    uint32_t stat_invalid;

    // Demangler result buffers: the demangled text, and "%s{%s}" of the name
    // and that text (grown to fit the longest name).
    char demangle_buffer[DEMANGLE_BUFFER_SIZE];
    char *demangle_joined; // owned
    size_t demangle_joined_size;
};

Option_struct *options_new();
void options_free(Option_struct *opt);
void set_option(Option_struct *opt, int key, uint32_t value);
void set_core(Option_struct *opt, uint8_t arch_code, uint8_t shift);
void set_error(Option_struct *opt, uint8_t error_class, const char *message);
uint8_t get_error_code(const Option_struct *opt);
const char *get_error_text(const Option_struct *opt);

void text_open(Option_struct *opt);
void text_append(const char *text, Option_struct *opt);
// The first length bytes of text (which need no NUL), for callers that know
// the length.
void text_append_n(const char *text, uint64_t length, Option_struct *opt);
// text_room when the buffer must be opened or grown first (or cannot be).
char *text_room_grown(uint64_t length, Option_struct *opt);
// Room for length more bytes (and the NUL): where to write them, or null when
// the text is muted or cannot grow (the error recorded). text_added then
// counts the bytes written there, at most length.
inline char *text_room(uint64_t length, Option_struct *opt) {
    // The usual case, inline: the buffer is open and has the room.
    if (opt->text_ready_capacity > opt->text_length + length)
        return opt->text_buffer + opt->text_length;
    return text_room_grown(length, opt);
}
inline void text_added(uint64_t length, Option_struct *opt) {
    opt->text_length += length;
    opt->text_buffer[opt->text_length] = '\0';
}
void text_grow(uint64_t amount, Option_struct *opt);
// Writes the text so far to out and empties the buffer; records
// "Cannot write the listing\n" when writing fails.
void text_write_out(FILE *out, Option_struct *opt);
char *text_detach(Option_struct *opt);
void text_mute(Option_struct *opt);
void text_unmute(Option_struct *opt);

// Adds 32 zeroed elements to *table (allocating it when null); records class 1
// "Memory allocation has failed..." when that fails.
void grow_table(void **table, int32_t *count, size_t element_size, Option_struct *opt);
// The same with `growth` new elements; a count that would pass INT32_MAX
// records the memory error too.
void grow_table_by(void **table, int32_t *count, int32_t growth, size_t element_size,
                   Option_struct *opt);
