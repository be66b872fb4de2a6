// The ELF reader and the whole listing of an object file. The option set
// comes from identification bytes 9 to 15, which the reader does not look
// at, so that every input lists the same way on every replay.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dq300/driver.h"
#include "elflib/elfread.h"
#include "fuzz/harness.h"
#include "kelim/kelim.h"

namespace {

constexpr size_t OPTION_BYTES = 9;

void choose_options(const uint8_t *data, size_t size, Run_struct *run) {
    uint8_t a = size > OPTION_BYTES ? data[OPTION_BYTES] : 0;
    uint8_t b = size > OPTION_BYTES + 1 ? data[OPTION_BYTES + 1] : 0;
    run->hex_display = a & 1;
    run->pc_display = !(a & 2);
    run->label_display = !(a & 4);
    run->loop_end = a & 8;
    run->unmangle = a & 16;
    run->statistics = a & 32;
    run->mapper_labels = !(a & 64);
    run->local_symbols = !(a & 128);
    run->bss_sections = !(b & 1);
    run->data_sections = !(b & 2);
    run->ignore_relocations = b & 4;
    run->verbose = b & 8;
    run->low = 0;
    run->high = 0xFFFFFFFF;
    if ((b & 0x30) == 0x10 && size > OPTION_BYTES + 4) {
        run->low = uint32_t(data[OPTION_BYTES + 2]) << 4;
        run->high = run->low + (uint32_t(data[OPTION_BYTES + 3]) << 4);
    }
    // Label windows: a start label, an end label, or both.
    if (b & 0x40) run->start_label = strdup("main");
    if (b & 0x80) run->end_label = strdup("end");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Option_struct *opt = fuzz_open_input(data, size);
    if (!opt) return 0;
    Run_struct run{};
    choose_options(data, size, &run);
    try {
        if (elf_read(opt->input_stream, 0, nullptr) == EM_ZEMA) {
            elf_read(opt->input_stream, 0, &opt->elf);
            walk_object_file(&run, opt);
        }
    } catch (const Fuzz_exit &) {
        // A fatal diagnostic: the program would have ended here with status 1.
    }
    free(run.start_label);
    free(run.end_label);
    fuzz_close_input(opt);
    return 0;
}
