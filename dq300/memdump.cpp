// Memory-dump run: reads the data lines of a .lod file into one buffer and
// lists it as code, whole or range by range from a -k configuration file.
#include "dq300/memdump.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dq300/cmdline.h"
#include "dq300/diag.h"
#include "dq300/driver.h"
#include "kelim/kelim.h"

namespace {

constexpr size_t DUMP_BLOCK = size_t{1} << 20;
constexpr size_t DUMP_LINE_VALUES = 8;

// Moves the characters not yet read to the front of the block and fills the
// rest of it from the stream.
void refill(Dump_reader_struct *r) {
    size_t kept = r->end - r->begin;
    memmove(r->block, r->block + r->begin, kept);
    r->begin = 0;
    size_t count = static_cast<size_t>(std::min<uint64_t>(r->unread, r->capacity - kept));
    if (count) kl_fread(r->block + kept, 1, count, r->stream);
    r->end = kept + count;
    r->unread -= count;
}

// Takes `chars` characters of the block as the next line; `at_end` when the
// end of the file ends the line and stands for its newline.
size_t take_line(Dump_reader_struct *r, char *line, size_t chars, bool at_end, size_t limit) {
    size_t length = chars + (at_end ? 1 : 0);
    if (length >= limit) return limit;
    memcpy(line, r->block + r->begin, chars);
    if (at_end) line[chars] = '\n';
    line[length] = '\0';
    r->begin += chars;
    r->line_number++;
    return length;
}

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Value of each character as a hexadecimal digit, -1 for the others.
constexpr std::array<int8_t, 256> HEX_DIGIT = [] {
    std::array<int8_t, 256> table{};
    for (int c = 0; c < 256; c++) {
        bool decimal = c >= '0' && c <= '9', lower = c >= 'a' && c <= 'f',
             upper = c >= 'A' && c <= 'F';
        table[c] = static_cast<int8_t>(decimal ? c - '0'
                                       : lower ? c - 'a' + 10
                                       : upper ? c - 'A' + 10
                                               : -1);
    }
    return table;
}();

int hex_value(char c) {
    return HEX_DIGIT[static_cast<unsigned char>(c)];
}

// The layout dumps are written in, "HH HH HH HH HH HH HH HH", read without
// the general conversion: false for any other line.
bool read_plain_values(const char *line, size_t length, uint8_t *values) {
    if (length <= 3 * DUMP_LINE_VALUES) return false;
    for (size_t k = 0; k < DUMP_LINE_VALUES; k++) {
        int high = hex_value(line[3 * k]), low = hex_value(line[3 * k + 1]);
        if ((high | low) < 0 || (k + 1 < DUMP_LINE_VALUES && line[3 * k + 2] != ' ')) return false;
        values[k] = static_cast<uint8_t>(high << 4 | low);
    }
    // A digit right after the last value would belong to it.
    return hex_value(line[3 * DUMP_LINE_VALUES - 1]) < 0;
}

// One "%x" conversion from p; the low 8 bits of the value go to *value.
// Returns the character after the number, or null when there is none. As
// the C library reads it, "0x" alone is the number 0.
const char *parse_hex(const char *p, const char *end, uint8_t *value) {
    while (p < end && is_space(*p)) p++;
    bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) p++;
    bool prefix = end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    if (prefix) p += 2;
    const char *digits = p;
    unsigned low = 0;
    for (int d; p < end && (d = hex_value(*p)) >= 0; p++) low = ((low << 4) | unsigned(d)) & 0xFF;
    if (p == digits && !prefix) return nullptr;
    *value = static_cast<uint8_t>(negative ? 0u - low : low);
    return p;
}

} // namespace

void dump_reader_open(Dump_reader_struct *reader, FILE *stream, uint64_t size) {
    reader->stream = stream;
    reader->unread = size;
    // Room for a whole small file; a line left over is always far shorter
    // than a block.
    reader->capacity = size < DUMP_BLOCK ? static_cast<size_t>(size) + 1 : DUMP_BLOCK;
    reader->block = static_cast<char *>(kl_malloc(reader->capacity));
    reader->begin = 0;
    reader->end = 0;
    reader->line_number = 0;
}

void dump_reader_close(Dump_reader_struct *reader) {
    free(reader->block);
    reader->block = nullptr;
}

size_t read_dump_line(Dump_reader_struct *reader, char *line, size_t limit) {
    line[0] = '\0';
    for (;;) {
        size_t available = reader->end - reader->begin;
        const char *start = reader->block + reader->begin;
        const void *newline = memchr(start, '\n', std::min(available, limit));
        if (newline) {
            size_t chars = static_cast<size_t>(static_cast<const char *>(newline) - start) + 1;
            return take_line(reader, line, chars, false, limit);
        }
        if (available >= limit) return limit;
        if (reader->unread == 0)
            return available ? take_line(reader, line, available, true, limit) : 0;
        refill(reader);
    }
}

bool parse_dump_values(const char *line, size_t length, uint8_t *values) {
    if (read_plain_values(line, length, values)) return true;
    const char *p = line, *end = line + length;
    for (size_t i = 0; i < DUMP_LINE_VALUES; i++) {
        p = parse_hex(p, end, &values[i]);
        if (!p) return false;
    }
    return true;
}

void read_dump(FILE *stream, uint64_t size, Dump_struct *dump) {
    Dump_reader_struct reader;
    dump_reader_open(&reader, stream, size);
    char line[DUMP_LINE_LIMIT + 1];
    // The first line comes before the dump buffer: a stream that cannot be
    // read (a directory, whose size means nothing) fails as a read.
    size_t length = read_dump_line(&reader, line, DUMP_LINE_LIMIT);
    // A data line of 26 characters holds 8 bytes: a third of the file suffices.
    uint64_t capacity = size / 3;
    dump->bytes = static_cast<uint8_t *>(kl_malloc(static_cast<size_t>(capacity) + 1));
    dump->size = 0;
    dump->error[0] = '\0';
    for (; length != 0; length = read_dump_line(&reader, line, DUMP_LINE_LIMIT)) {
        if (length >= DUMP_LINE_LIMIT) {
            snprintf(dump->error, sizeof dump->error, "Line too long\n");
            break;
        }
        if (length != DUMP_DATA_LINE) continue;
        KL_ASSERT(dump->size + DUMP_LINE_VALUES <= capacity);
        if (!parse_dump_values(line, length, dump->bytes + dump->size)) {
            snprintf(dump->error, sizeof dump->error,
                     "Line %llu has %zu characters but not eight hexadecimal values\n",
                     static_cast<unsigned long long>(reader.line_number), DUMP_DATA_LINE);
            break;
        }
        dump->size += DUMP_LINE_VALUES;
    }
    dump_reader_close(&reader);
}

void free_dump(Dump_struct *dump) {
    free(dump->bytes);
    dump->bytes = nullptr;
    dump->size = 0;
}

namespace {

// Stores the option keys of a memory-dump run; an undefined architecture
// records "Invalid architecture version\n", which the first listing reports.
void set_dump_options(const Run_struct *run, Option_struct *opt) {
    store_run_options(run, opt, run->compact, 1);
    set_option(opt, 12, static_cast<uint32_t>(run->architecture));
    // A dump has no file header to name its core: the -arch architecture,
    // with the widest word (64 addressable units).
    set_core(opt, static_cast<uint8_t>(run->architecture < 0 ? 0 : run->architecture), 0);
}

void load_dump(const Run_struct *run, Option_struct *opt, Dump_struct *dump) {
    FILE *stream = kl_fopen(run->source_path, "rb");
    kl_fseek(stream, 0, SEEK_END);
    long size = kl_ftell(stream);
    kl_fseek(stream, 0, SEEK_SET);
    read_dump(stream, static_cast<uint64_t>(size), dump);
    kl_fclose(stream);
    if (dump->error[0]) report_fatal(dump->error, opt->source_name);
}

// Lists low..high of the dump; a high address beyond the dump becomes its
// last byte (an empty dump gets the engine's diagnostic).
char *list_dump_range(const Dump_struct *dump, uint32_t low, uint32_t *high, const Run_struct *run,
                      Option_struct *opt, uint8_t *error_class) {
    if (*high > dump->size) *high = static_cast<uint32_t>(dump->size - 1);
    if (low > *high)
        report_fatal("High address must be greater than low address\n", opt->source_name);
    return disassemble_memory(dump->bytes, dump->size, low, *high, run->core_mask, opt,
                              error_class);
}

void list_whole_dump(const Dump_struct *dump, const Run_struct *run, Option_struct *opt) {
    uint32_t high = run->high;
    uint8_t error_class;
    char *text = list_dump_range(dump, run->low, &high, run, opt, &error_class);
    write_engine_text(text, error_class, opt);
}

uint32_t config_address(const char *digits, const char *not_hex, const Option_struct *opt) {
    if (!is_hex_string(digits)) report_fatal(not_hex, opt->source_name);
    return read_hex_address(digits);
}

void apply_config_token(const char *token, uint32_t *low, uint32_t *high,
                        const Option_struct *opt) {
    if (token[0] == 'h') {
        *high = config_address(token + 1, "High address should be hexa\n", opt);
    } else if (token[0] == 'l') {
        *low = config_address(token + 1, "Low address should be hexa\n", opt);
    } else {
        std::string message = "Invalid option specified in config file: ";
        message += token;
        message += '\n';
        report_fatal(message.c_str(), opt->source_name);
    }
}

void print_range_header(int line, uint32_t low, uint32_t high, const Option_struct *opt) {
    if (opt->verbose) fprintf(stderr, "Processing line in %d config file\n", line);
    auto from = static_cast<unsigned long>(low), to = static_cast<unsigned long>(high);
    if (opt->compact_output)
        printf(";di p:$%08lX..$%08lX\n", from, to);
    else
        printf("-----------------------------------------\nDisassembling from $%08lX to $%08lX:\n",
               from, to);
}

// One listing per line of the configuration that gives addresses, each after
// its header. The first range starts from -l and -h, every later one from the
// whole address space.
void list_config_ranges(const Dump_struct *dump, const Run_struct *run, Option_struct *opt) {
    uint32_t low = run->low, high = run->high;
    int line = 0;
    for (const config_entry *entry = run->config; entry; entry = entry->next) {
        apply_config_token(entry->text, &low, &high, opt);
        if (!entry->end_of_line && entry->next) continue;
        line++;
        uint8_t error_class;
        char *text = list_dump_range(dump, low, &high, run, opt, &error_class);
        print_range_header(line, low, high, opt);
        write_engine_text(text, error_class, opt);
        low = 0;
        high = 0xFFFFFFFF;
    }
}

} // namespace

void list_memory_dump(const Dump_struct *dump, const Run_struct *run, Option_struct *opt) {
    // An empty dump gets the engine's diagnostic before any range header.
    if (run->config && dump->size != 0)
        list_config_ranges(dump, run, opt);
    else
        list_whole_dump(dump, run, opt);
}

void run_memory_dump(Run_struct *run, Option_struct *opt) {
    set_dump_options(run, opt);
    Dump_struct dump;
    load_dump(run, opt, &dump);
    list_memory_dump(&dump, run, opt);
    free_dump(&dump);
}
