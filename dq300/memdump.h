// Reading of .lod memory dumps: lines of eight hexadecimal byte values. Only
// lines of exactly DUMP_DATA_LINE characters (newline and any carriage
// return included) are data; shorter lines are skipped, longer ones end the
// run. The readers return what went wrong instead of ending the run, so that
// they can be driven on any bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr size_t DUMP_DATA_LINE = 26;
constexpr size_t DUMP_LINE_LIMIT = 27; // a line this long or longer is an error

// Lines are found in large blocks of the stream, not character by character:
// a dump of hundreds of megabytes must read at the speed of the disk.
struct Dump_reader_struct {
    FILE *stream;
    uint64_t unread; // bytes of the stream not yet in the block
    char *block;     // heap
    size_t capacity; // bytes of the block
    size_t begin;    // next character of the block
    size_t end;      // end of the characters read into the block
    uint64_t line_number;
};

// Reads `size` bytes of `stream` from its current position.
void dump_reader_open(Dump_reader_struct *reader, FILE *stream, uint64_t size);
void dump_reader_close(Dump_reader_struct *reader);

// Copies the next line with its newline into `line` (room for `limit`
// characters and a terminator) and returns its length in characters. The end
// of the file ends an unterminated last line and counts as its last
// character (stored as a newline). Returns 0 at the end of the file, and
// `limit` for a line of `limit` characters or more, which is not stored whole.
size_t read_dump_line(Dump_reader_struct *reader, char *line, size_t limit);

// The eight values of a data line as "%x %x %x %x %x %x %x %x" reads them
// (blanks between and before them, an optional sign and 0x prefix), each
// cut to its low 8 bits. False when the line does not start with eight
// hexadecimal numbers.
bool parse_dump_values(const char *line, size_t length, uint8_t *values);

struct Dump_struct {
    uint8_t *bytes; // heap; byte i is address i
    uint64_t size;
    char error[96]; // the message that ends the run, or empty
};

// Reads the data lines of the `size` bytes of `stream` into dump->bytes.
void read_dump(FILE *stream, uint64_t size, Dump_struct *dump);
void free_dump(Dump_struct *dump);

struct Run_struct;
struct Option_struct;
// Lists a dump read with read_dump as a memory-dump run does: whole, within
// -l and -h, or range by range from the -k entries of the run.
void list_memory_dump(const Dump_struct *dump, const Run_struct *run, Option_struct *opt);
