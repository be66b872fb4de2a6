// Option keys shared by the three run modes.
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
