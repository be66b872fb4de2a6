// Interactive opcode run: set-up of the options; the read-and-list loop
// follows the engine.
#include <cstdio>

#include "dq300/driver.h"

void run_interactive(Run_struct *run, Option_struct *opt) {
    if (run->architecture < 0) {
        fputs("Warning: Default architecture is zema\n", stdout);
        fflush(stdout);
    }
    uint32_t arch = run->architecture < 0 ? 0 : static_cast<uint32_t>(run->architecture);
    store_run_options(run, opt, run->compact, 0);
    set_option(opt, 12, arch);
    set_core(opt, static_cast<uint8_t>(arch), run->word_shift);
}
