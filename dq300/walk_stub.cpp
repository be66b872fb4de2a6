// Section walk placeholder: stores the object-file options and the core of
// the loaded file; the listing itself is produced by the full walk.
#include "dq300/diag.h"
#include "dq300/driver.h"

void walk_object_file(Run_struct *run, Option_struct *opt) {
    set_option(opt, 1, run->hex_display);
    set_option(opt, 2, run->pc_display);
    set_option(opt, 3, 1);
    set_option(opt, 5, run->statistics);
    set_option(opt, 6, run->verbose);
    set_option(opt, 7, 0);
    set_option(opt, 8, run->label_display);
    set_option(opt, 9, run->loop_end);
    set_option(opt, 10, 1);
    set_option(opt, 11, run->unmangle);
    set_option(opt, 13, run->mapper_labels);
    set_option(opt, 14, run->bss_sections);
    set_option(opt, 15, run->local_symbols);
    set_option(opt, 16, run->data_sections);
    uint32_t flags = opt->elf.Ehdr.e_flags;
    set_core(opt, static_cast<uint8_t>(flags & 0xFF), static_cast<uint8_t>((flags >> 8) & 0xFF));
    if (get_error_code(opt)) report_fatal(get_error_text(opt), opt->source_name);
}
