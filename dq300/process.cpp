// Object file and archive run.
#include "dq300/diag.h"
#include "dq300/driver.h"
#include "kelim/kelim.h"

void process_file(Run_struct *run, Option_struct *opt) {
    opt->input_stream = kl_fopen(run->source_path, "rb");
    if (elf_read(opt->input_stream, 0, nullptr) == EM_ZEMA) {
        elf_read(opt->input_stream, 0, &opt->elf);
        walk_object_file(run, opt);
        elf_free(&opt->elf);
    } else {
        // Archives are not read yet: report what the reader reports for a
        // file without archive magic.
        report_fatal("Error processing the archive\n", opt->source_name);
    }
    kl_fclose(opt->input_stream);
    opt->input_stream = nullptr;
}
