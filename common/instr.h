// The symbol reference list: the symbols one relocation expression mentions,
// once each, and the printing of their demangled names.
#pragma once

#include <cstdint>

#include "dq300/options.h"
#include "elflib/elfread.h"

struct Symbol_refs_struct {
    const Elf32_Sym **entries;
    int32_t count;
    int32_t capacity;
    // The st_name values listed, as an open-addressing set (name + 1, 0 free).
    uint32_t *name_slots;
    uint32_t name_slot_count; // a power of two
};

// Appends sym to *refs (creating the list) unless an entry with the same
// st_name is present. Does nothing when refs is null or an error is recorded.
// The entries array doubles as it grows (32 entries at least).
void add_symbol_reference(const Elf32_Sym *sym, Symbol_refs_struct **refs, Option_struct *opt);
void release_symbol_references(Symbol_refs_struct *refs);

// With -n, appends "  ;" and the demangled form of each entry's name.
void print_comment_record(const Symbol_refs_struct *refs, Option_struct *opt);
// With -n, appends "  ;" and the demangled name when it differs from name.
void print_unmangled(const char *name, int mode, Option_struct *opt);
