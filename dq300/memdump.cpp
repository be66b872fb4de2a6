// Memory-dump run: set-up of the options and the source; reading and
// listing of the dump follow the engine.
#include "dq300/diag.h"
#include "dq300/driver.h"
#include "kelim/kelim.h"

// Stores the option keys of a memory-dump run; an undefined architecture
// records "Invalid architecture version\n".
static void set_dump_options(const Run_struct *run, Option_struct *opt) {
    set_option(opt, 1, run->hex_display);
    set_option(opt, 2, run->pc_display);
    set_option(opt, 3, run->compact);
    set_option(opt, 5, run->statistics);
    set_option(opt, 6, run->verbose);
    set_option(opt, 7, 1);
    set_option(opt, 8, run->label_display);
    set_option(opt, 9, run->loop_end);
    set_option(opt, 11, run->unmangle);
    set_option(opt, 12, static_cast<uint32_t>(run->architecture));
    set_option(opt, 13, run->mapper_labels);
    set_option(opt, 14, run->bss_sections);
    set_option(opt, 15, run->local_symbols);
    set_option(opt, 16, run->data_sections);
    // The engine reads the core selection; a dump has no header to give one.
    set_core(opt, static_cast<uint8_t>(run->architecture < 0 ? 0 : run->architecture), 0);
}

void run_memory_dump(Run_struct *run, Option_struct *opt) {
    set_dump_options(run, opt);
    opt->input_stream = kl_fopen(run->source_path, "r");
    if (get_error_code(opt)) report_fatal(get_error_text(opt), opt->source_name);
    kl_fclose(opt->input_stream);
    opt->input_stream = nullptr;
}
