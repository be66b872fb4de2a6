// The archive reader and the listing of its members, as zema-kt lists a file
// that is not a ZEMA object. An ar archive has no bytes that the reader
// ignores, so the option set follows the input's size.
#include <cstdio>

#include "dq300/driver.h"
#include "elflib/elfread.h"
#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Option_struct *opt = fuzz_open_input(data, size);
    if (!opt) return 0;
    Run_struct run{};
    run.pc_display = run.label_display = run.mapper_labels = true;
    run.bss_sections = run.data_sections = run.local_symbols = true;
    run.high = 0xFFFFFFFF;
    run.hex_display = size % 2;
    run.verbose = size % 3 == 0;
    run.unmangle = size % 5 == 0;
    try {
        list_object_stream(&run, opt);
    } catch (const Fuzz_exit &) {
    }
    fuzz_close_input(opt);
    return 0;
}
