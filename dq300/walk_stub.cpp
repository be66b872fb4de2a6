// Section walk placeholder: stores the object-file options and the core of
// the loaded file; the listing itself is produced by the full walk.
#include "dq300/diag.h"
#include "dq300/driver.h"

void walk_object_file(Run_struct *run, Option_struct *opt) {
    store_run_options(run, opt, 1, 0);
    set_option(opt, 10, 1);
    uint32_t flags = opt->elf.Ehdr.e_flags;
    set_core(opt, static_cast<uint8_t>(flags & 0xFF), static_cast<uint8_t>((flags >> 8) & 0xFF));
    if (get_error_code(opt)) report_fatal(get_error_text(opt), opt->source_name);
}
