// Memory-dump run: set-up of the options and the source; reading and
// listing of the dump follow the engine.
#include "dq300/diag.h"
#include "dq300/driver.h"
#include "kelim/kelim.h"

// Stores the option keys of a memory-dump run; an undefined architecture
// records "Invalid architecture version\n".
static void set_dump_options(const Run_struct *run, Option_struct *opt) {
    store_run_options(run, opt, run->compact, 1);
    set_option(opt, 12, static_cast<uint32_t>(run->architecture));
    // The engine reads the core selection; a dump has no header to give one.
    set_core(opt, static_cast<uint8_t>(run->architecture < 0 ? 0 : run->architecture), 0);
}

void run_memory_dump(Run_struct *run, Option_struct *opt) {
    set_dump_options(run, opt);
    opt->input_stream = kl_fopen(run->source_path, "rb");
    if (get_error_code(opt)) report_fatal(get_error_text(opt), opt->source_name);
    kl_fclose(opt->input_stream);
    opt->input_stream = nullptr;
}
