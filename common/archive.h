// Archive reader: indexes a Unix ar library (symbol table "/ ", long-name
// table "//", archives nested inside members) into one table of members in
// file order, each knowing the level that holds it.
//
//   archive_struct *ar = archive_open(stream); // null: no "!<arch>\n" magic
//   for (size_t i = 0; i < ar->member_count; i++) list(ar->member_table[i]);
//   archive_free(ar);
//
// Malformed archives end the run through the support library: a short read
// through kl_fread, a broken structural rule through KL_INPUT_CHECK (source
// "common/archive"). A header without its "`\n" trailer quietly ends the
// reading of its level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "kelim/kl_container.h"
#include "kelim/kl_dispenser.h"

constexpr uint32_t AR_MAGIC_SIZE = 8;
constexpr uint32_t AR_HEADER_SIZE = 60;
constexpr uint32_t AR_LEVEL_BUCKETS = 1031;
// Largest long-name table, and so largest offset into it.
constexpr uint32_t AR_LONG_NAMES_MAX = 65535;
// Levels (the archive itself and every nested archive) one file may hold:
// each level costs a hash container of AR_LEVEL_BUCKETS buckets.
constexpr uint32_t AR_MAX_LEVELS = 10000;
// The name index of a level takes names of at most AR_INDEX_NAME_MAX
// characters into bucket chains of at most AR_INDEX_CHAIN_MAX entries, so
// that indexing costs a bounded time per member whatever the names; other
// names are found through the level's member list.
constexpr uint32_t AR_INDEX_NAME_MAX = 255;
constexpr uint32_t AR_INDEX_CHAIN_MAX = 16;

// One member header, each field terminated.
struct archive_header {
    char name[17];
    char date[13];
    char uid[7];
    char gid[7];
    char mode[9];
    char size[11];
    char trailer[3];
};

struct archive_level;

struct archive_member {
    char *name;       // heap text, or a name of the level's long-name table
    bool shared_name; // name lies in the level's long-name table
    uint32_t date;
    uint32_t uid;
    uint32_t gid;
    uint32_t mode;
    uint64_t size;
    uint64_t data_offset;  // file offset of the data, just after the header
    archive_level *nested; // set when the data is itself an archive
    archive_level *parent; // the level holding this member
};

struct archive_symbol {
    char *name;             // heap text
    archive_member *member; // the member whose data starts at data_offset, or null
    uint64_t data_offset;
};

struct archive_level {
    kl_containerT *members_by_name; // first member of each name (see AR_INDEX_CHAIN_MAX)
    bool index_partial;             // some names are only in the member list
    archive_member **members;       // owned, in file order
    size_t member_count;
    size_t member_capacity;
    archive_member *container; // the member holding this level, null for the top level
    uint64_t end;              // file offset where the level's data ends
    char *long_names;          // the "//" table, '/' turned into terminators, or null
    uint64_t long_names_size;
};

struct archive_struct {
    FILE *stream;
    archive_member **member_table; // every member of every level, by data offset
    archive_symbol *symbol_table;  // by name
    size_t member_count;
    size_t symbol_count;
    size_t symbol_capacity;
    kl_dispenserT *levels; // most recently read first; owns the levels
};

// Indexes the archive read from the start of the stream; null when the
// stream does not begin with the ar magic.
archive_struct *archive_open(FILE *stream);
void archive_free(archive_struct *ar);

// The member holding the first level (most recently read first) that has a
// member of this name: its name, or null for the top level or an unknown name.
const char *archive_parent_name(archive_struct *ar, const char *member_name);
// The name of the nested archive that holds the member, or null at the top level.
const char *archive_member_parent(const archive_member *member);

// Reads one 60-byte header at the stream position; true when its trailer is "`\n".
bool archive_read_header(FILE *stream, archive_header *header);
