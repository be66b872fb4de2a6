// Interactive opcode run: reads lines of hexadecimal digits at a prompt and
// lists each line's bytes as one buffer, until an empty line or the end of
// the input.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dq300/diag.h"
#include "dq300/driver.h"

namespace {

constexpr size_t WORD_GROUP = 8;

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads one whole line with its line end. False at the end of the input,
// and for a last line without a line end, which is left unlisted.
bool read_line(std::string *line) {
    line->clear();
    char chunk[256];
    while (fgets(chunk, sizeof chunk, stdin)) {
        *line += chunk;
        if (!line->empty() && line->back() == '\n') return true;
    }
    return false;
}

// Digits pair up from the left; a lone digit before a blank or the line end
// is a byte of its own.
void parse_bytes(const std::string &text, std::vector<uint8_t> *bytes, Option_struct *opt) {
    for (size_t i = 0; i < text.size(); i++) {
        char c = static_cast<char>(tolower(static_cast<unsigned char>(text[i])));
        if (c == ' ' || c == '\t') continue;
        int high = hex_digit(c);
        if (high < 0)
            report_fatal("Invalid character found in the input string.\n", opt->source_name);
        int low =
            i + 1 < text.size()
                ? hex_digit(static_cast<char>(tolower(static_cast<unsigned char>(text[i + 1]))))
                : -1;
        if (low >= 0) i++;
        bytes->push_back(static_cast<uint8_t>(low >= 0 ? high * 16 + low : high));
    }
}

// Little-endian input: each group of eight bytes is reversed; a last, partial
// group is first filled up with zero bytes.
void reverse_groups(std::vector<uint8_t> *bytes) {
    size_t typed = bytes->size();
    bytes->resize((typed + WORD_GROUP - 1) / WORD_GROUP * WORD_GROUP, 0);
    for (size_t g = 0; g < bytes->size(); g += WORD_GROUP)
        for (size_t k = 0; k < WORD_GROUP / 2; k++)
            std::swap((*bytes)[g + k], (*bytes)[g + WORD_GROUP - 1 - k]);
}

void list_bytes(const std::vector<uint8_t> &bytes, size_t typed, const Run_struct *run,
                Option_struct *opt) {
    uint8_t error_class;
    char *text =
        disassemble_memory(bytes.data(), typed, 0, 0xFFFFFFFF, run->core_mask, opt, &error_class);
    write_engine_text(text, error_class, opt);
}

} // namespace

void list_typed_line(const std::string &line, const Run_struct *run, Option_struct *opt) {
    std::vector<uint8_t> bytes;
    parse_bytes(line, &bytes, opt);
    if (bytes.empty()) return;
    size_t typed = bytes.size();
    if (!run->big_endian) reverse_groups(&bytes);
    list_bytes(bytes, typed, run, opt);
}

void run_interactive(Run_struct *run, Option_struct *opt) {
    if (run->architecture < 0) {
        fputs("Warning: Default architecture is zema\n", stdout);
        fflush(stdout);
    }
    uint32_t arch = run->architecture < 0 ? 0 : static_cast<uint32_t>(run->architecture);
    store_run_options(run, opt, run->compact, 0);
    set_option(opt, 12, arch);
    set_core(opt, static_cast<uint8_t>(arch), run->word_shift);

    std::string line;
    for (;;) {
        fputs("Enter hex opcodes (<return> to exit):", stdout);
        fflush(stdout);
        if (!read_line(&line) || line[0] == '\n' || line[0] == '\0') break;
        line.pop_back();
        list_typed_line(line, run, opt);
    }
}
