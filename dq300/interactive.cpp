// Interactive opcode run: set-up of the options; the read-and-list loop
// follows the engine.
#include <cstdio>

#include "dq300/driver.h"

// Stores the option keys of an interactive run.
static void set_interactive_options(const Run_struct *run, Option_struct *opt, uint32_t arch) {
    set_option(opt, 1, run->hex_display);
    set_option(opt, 2, run->pc_display);
    set_option(opt, 3, run->compact);
    set_option(opt, 5, run->statistics);
    set_option(opt, 6, run->verbose);
    set_option(opt, 7, 0);
    set_option(opt, 8, run->label_display);
    set_option(opt, 9, run->loop_end);
    set_option(opt, 11, run->unmangle);
    set_option(opt, 12, arch);
    set_option(opt, 13, run->mapper_labels);
    set_option(opt, 14, run->bss_sections);
    set_option(opt, 15, run->local_symbols);
    set_option(opt, 16, run->data_sections);
}

void run_interactive(Run_struct *run, Option_struct *opt) {
    if (run->architecture < 0) {
        fputs("Warning: Default architecture is zema\n", stdout);
        fflush(stdout);
    }
    uint32_t arch = run->architecture < 0 ? 0 : static_cast<uint32_t>(run->architecture);
    set_interactive_options(run, opt, arch);
    set_core(opt, static_cast<uint8_t>(arch), run->word_shift);
}
