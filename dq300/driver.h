// Per-run flags of the driver and the run modes it dispatches to.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "dq300/options.h"

// One token of a -k configuration file.
struct config_entry {
    char *text;          // heap copy
    uint8_t end_of_line; // a newline followed this token (directly or after a comment)
    config_entry *next;
};

struct Run_struct {
    char *source_path; // heap copy, null for interactive runs
    uint32_t low;
    uint32_t high;
    bool pc_display;
    bool hex_display;
    bool verbose;
    bool compact;
    bool label_display;
    bool memory_dump;
    char *start_label; // heap copy or null
    char *end_label;   // heap copy or null
    bool statistics;
    bool loop_end;
    bool ignore_relocations;
    bool mapper_labels;
    bool unmangle;
    bool bss_sections;
    bool local_symbols;
    bool data_sections;
    bool quiet;
    // Interactive input.
    bool interactive;
    bool big_endian;
    uint8_t word_shift;
    // -arch: -1 when not given.
    int32_t architecture;
    uint64_t core_mask;
    config_entry *config; // head of the -k entries, or null
};

// Stores the option keys common to every run mode; compact output and the
// memory-dump flag differ per mode.
void store_run_options(const Run_struct *run, Option_struct *opt, uint8_t compact,
                       uint8_t memory_dump);

// Lists one object file or archive.
void process_file(Run_struct *run, Option_struct *opt);
// The same for the stream already open in opt->input_stream.
void list_object_stream(Run_struct *run, Option_struct *opt);
// Lists the loaded object file opt->elf (section walk).
void walk_object_file(Run_struct *run, Option_struct *opt);
void run_interactive(Run_struct *run, Option_struct *opt);
// One line typed in interactive mode, without its line end: its hex digits as
// bytes, through the engine, the listing on standard output. A character
// other than a digit or a blank ends the run.
void list_typed_line(const std::string &line, const Run_struct *run, Option_struct *opt);
void run_memory_dump(Run_struct *run, Option_struct *opt);

// Lists bytes held in memory (a dump, typed words) as one code buffer at
// address 0 of an executable; the engine's text, or its error text.
char *disassemble_memory(const uint8_t *bytes, uint64_t size, uint64_t start, uint64_t end,
                         uint64_t sh_flags, Option_struct *opt, uint8_t *error_class);
// Writes a listing with a newline and frees it; an error text ends the run.
void write_engine_text(char *text, uint8_t error_class, Option_struct *opt);
// Flushes standard output; a listing that did not reach it (a full disk, an
// output error) ends the run with status 1, never as a success.
void check_listing_written(const Option_struct *opt);

// Appends one entry per token of the configuration file after *tail (which
// is advanced) and returns the number of entries read.
int read_config_file(const char *path, config_entry **tail, Option_struct *opt);
int read_config_stream(FILE *stream, config_entry **tail);
void free_config_entries(config_entry *head);
