// Option keys and buffer listing shared by the run modes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dq300/diag.h"
#include "dq300/disasm.h"
#include "dq300/driver.h"

void store_run_options(const Run_struct *run, Option_struct *opt, uint8_t compact,
                       uint8_t memory_dump) {
    set_option(opt, 1, run->hex_display);
    set_option(opt, 2, run->pc_display);
    set_option(opt, 3, compact);
    set_option(opt, 5, run->statistics);
    set_option(opt, 6, run->verbose);
    set_option(opt, 7, memory_dump);
    set_option(opt, 8, run->label_display);
    set_option(opt, 9, run->loop_end);
    set_option(opt, 11, run->unmangle);
    set_option(opt, 13, run->mapper_labels);
    set_option(opt, 14, run->bss_sections);
    set_option(opt, 15, run->local_symbols);
    set_option(opt, 16, run->data_sections);
}

char *disassemble_memory(const uint8_t *bytes, uint64_t size, uint64_t start, uint64_t end,
                         uint64_t sh_flags, Option_struct *opt, uint8_t *error_class) {
    Buffer_struct buf{};
    buf.file_type = ET_EXEC;
    buf.bytes = bytes;
    buf.size = size;
    buf.sh_type = SHT_PROGBITS;
    buf.sh_flags = sh_flags;
    buf.start = start;
    buf.end = end;
    return disassemble_buffer(&buf, opt, error_class);
}

void write_engine_text(char *text, uint8_t error_class, Option_struct *opt) {
    if (error_class != ERR_NONE) {
        // Freed before the end of the run, which a fuzzing harness takes back.
        std::string message = text;
        free(text);
        report_fatal(message.c_str(), opt->source_name);
    }
    if (text) {
        size_t length = text == opt->detached_text ? opt->detached_length : strlen(text);
        opt->detached_text = nullptr; // freed below: never compared again
        fwrite(text, 1, length, stdout);
        fputc('\n', stdout);
    }
    free(text);
    check_listing_written(opt);
}

void check_listing_written(const Option_struct *opt) {
    if (fflush(stdout) == 0 && !ferror(stdout)) return;
    report_fatal("Cannot write the listing\n", opt->source_name);
}
