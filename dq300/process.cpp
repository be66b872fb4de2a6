// Object file and archive run.
#include <cstdio>
#include <memory>
#include <string>

#include "common/archive.h"
#include "dq300/diag.h"
#include "dq300/driver.h"
#include "kelim/kelim.h"

namespace {

// One member of a library, listed as a file of its own under its module header.
void list_archive_member(Run_struct *run, Option_struct *opt, const archive_member *m) {
    const char *parent = archive_member_parent(m);
    printf(";-----------------------\n;Module %s from %s\n;-----------------------\n", m->name,
           parent ? parent : "root level");
    if (elf_read(opt->input_stream, long(m->data_offset), &opt->elf) == 0) {
        std::string message = "Unknown entry format ";
        message += m->name;
        message += ". Ignoring...\n";
        report_warning(message.c_str(), opt->source_name);
    } else {
        walk_object_file(run, opt);
    }
    // Also after an ELF file of machine 0, which loads but reads as "not ELF".
    elf_free(&opt->elf);
}

void process_archive(Run_struct *run, Option_struct *opt) {
    // Freed however the listing ends (a harness may take a fatal end back).
    std::unique_ptr<archive_struct, void (*)(archive_struct *)> held(
        archive_open(opt->input_stream), archive_free);
    const archive_struct *ar = held.get();
    if (!ar) report_fatal("Error processing the archive\n", opt->source_name);
    if (run->verbose) fputs("\nProcessing archive...\n", stderr);
    for (size_t i = 0; i < ar->member_count; i++) {
        const archive_member *m = ar->member_table[i];
        if (run->verbose) fprintf(stderr, "\n\nProcessing %s\n\n", m->name);
        if (m->nested) continue;
        list_archive_member(run, opt, m);
    }
    fflush(stdout);
}

} // namespace

void list_object_stream(Run_struct *run, Option_struct *opt) {
    if (elf_read(opt->input_stream, 0, nullptr) == EM_ZEMA) {
        elf_read(opt->input_stream, 0, &opt->elf);
        walk_object_file(run, opt);
        elf_free(&opt->elf);
    } else {
        process_archive(run, opt);
    }
}

void process_file(Run_struct *run, Option_struct *opt) {
    opt->input_stream = kl_fopen(run->source_path, "rb");
    list_object_stream(run, opt);
    kl_fclose(opt->input_stream);
    opt->input_stream = nullptr;
}
