// In-memory model of an architecture description (.isa) as read by the table
// generator, and the entry points of its reader, checker and emitter.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "decodelib/zema_disasm.h"

namespace isagen {

enum class TypeKind { Immediate, Table, Slot };

struct TypeDecl {
    std::string name;
    TypeKind kind = TypeKind::Immediate;
    bool is_signed = false;
    uint32_t shift = 0;
    std::string reloc_name;
    uint32_t reloc_type = 0;
    int32_t reloc_width = -1; // -1: the field's bit count
    uint32_t slot = 0;        // slot code of a slot type
    std::vector<std::pair<uint64_t, std::string>> entries;
    std::string where;
};

struct OperandSpec {
    std::string syntax;
    std::vector<uint32_t> bits; // most significant first
    std::string impl;           // implementation name derived from syntax and bits
};

struct RecordSpec {
    std::string name;
    std::string syntax;
    uint32_t size = 0;
    uint32_t slot = 0;
    uint32_t flags = 0;
    uint64_t value = 0;
    uint64_t mask = 0;
    std::vector<OperandSpec> operands;
    std::string where; // "file:line" plus loop bindings
    ZEMADisasmLib::RecordKind kind = ZEMADisasmLib::KIND_PLAIN;
};

// One field record of the generated field table.
struct FieldSpec {
    std::string impl;
    const TypeDecl *type = nullptr;
    std::vector<uint32_t> bits;
};

struct IsaSet {
    std::string name;
    std::string file;
    std::string where; // of the arch line
    uint32_t code = 0;
    uint32_t word = 0;
    bool draft = false;
    std::map<std::string, TypeDecl> types;
    std::vector<RecordSpec> records; // sorted by name after reading
    std::vector<FieldSpec> fields;   // sorted by implementation name
};

struct SetStats {
    uint32_t aliases = 0;
    uint32_t unreachable = 0;
    uint32_t vocabulary_found = 0;
    uint32_t vocabulary_listed = 0;
};

// Collects "file:line: message" diagnostics.
struct Diagnostics {
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    void error(const std::string &where, const std::string &message) {
        errors.push_back(where + ": " + message);
    }
    void warning(const std::string &where, const std::string &message) {
        warnings.push_back(where + ": warning: " + message);
    }
};

// Fixed vocabulary of the finished sets: set name -> listed mnemonics, plus
// template words accepted outside it.
struct Vocabulary {
    std::map<std::string, std::vector<std::string>> mnemonics;
    std::vector<std::string> exceptions;
};

// Slot code of a slot name ("A", "S", "W", ...), 0 when unknown, and back.
uint32_t slot_code(const std::string &name);
std::string slot_name(uint32_t code);
// Flag bits derived from a record name.
uint32_t flags_from_name(const std::string &name);
// "SYNTAX_imp_bits__H_L_x_H_L_" from the operand's bit list (runs of
// consecutive bits joined, however the description wrote them).
std::string implementation_name(const std::string &syntax, const std::vector<uint32_t> &bits);
// Bits of "H..L,B,..." most significant first; false on a malformed list.
bool parse_bit_list(const std::string &text, std::vector<uint32_t> &bits);

// Reads a description file (with its includes). A file whose first statement
// is not arch is an error (include files are read through include only).
bool read_isa(const std::string &path, IsaSet &set, Diagnostics &diag);
// Reads the descriptions given to the generator into sets[code - 1]. Each set
// must be described exactly once; unless `partial` (test fixtures), all six.
void read_sets(const std::vector<std::string> &paths, bool partial, std::vector<IsaSet> &sets,
               std::vector<bool> &present, Diagnostics &diag);
// Text-level reader used by read_isa and the tests; `dir` resolves includes.
bool read_isa_text(const std::string &file_label, const std::string &text, const std::string &dir,
                   IsaSet &set, Diagnostics &diag);

// Validation; fills stats. Fixed-row checks run only for sets without draft.
void check_set(const IsaSet &set, const Vocabulary &vocabulary, Diagnostics &diag, SetStats &stats);
// Reachability alone (part of check_set), exposed for tests.
void check_reachability(const IsaSet &set, Diagnostics &diag, SetStats &stats);

// Record kinds (record_kinds.cpp): given to the records of a read set from
// their names; checked for the operands each kind reads and, in finished
// sets, for every record the decoder relies on.
void assign_kinds(IsaSet &set);
void check_kinds(const IsaSet &set, Diagnostics &diag);
const char *kind_name(ZEMADisasmLib::RecordKind kind);

// One expanded record per line (zema-isagen --list), and the Markdown
// instruction-set reference of the sets present.
std::string list_record(const IsaSet &set, const RecordSpec &rec);
std::string markdown_reference(const std::vector<IsaSet> &sets, const std::vector<bool> &present);

bool read_vocabulary(const std::string &path, Vocabulary &vocabulary, std::string &error);

// C++ source defining `const GeneratedTables k<symbol>` for one set (empty
// tables when set is null).
std::string emit_tables(const std::string &symbol, const IsaSet *set);

// Winner of the table-order / most-mask-bits rule among `candidates` (indices
// into set.records) for a word, or -1.
int best_match(const IsaSet &set, const std::vector<int> &candidates, uint64_t word);

} // namespace isagen
