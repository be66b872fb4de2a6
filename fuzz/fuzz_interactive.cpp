// The interactive mode's line parser and the listing of the typed words. The
// first byte chooses the architecture, byte order and word size; the rest
// are lines as typed.
#include <cstdlib>
#include <string>

#include "dq300/driver.h"
#include "elflib/elfread.h"
#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Fuzz_input in{data, size};
    uint8_t mode = in.byte();
    static const int32_t architectures[3] = {0, 2, 3};
    Run_struct run{};
    run.architecture = architectures[(mode & 3) % 3];
    run.core_mask = (mode & 4) ? SHF_RIXU : 0;
    run.big_endian = mode & 8;
    run.word_shift = static_cast<uint8_t>(1 + ((mode >> 4) % 6));
    run.compact = mode & 0x80;
    run.hex_display = !run.compact;
    run.pc_display = !run.compact;
    run.label_display = !run.compact;
    run.loop_end = true;
    Option_struct *opt = fuzz_new_record();
    store_run_options(&run, opt, run.compact, 0);
    set_option(opt, 12, static_cast<uint32_t>(run.architecture));
    set_core(opt, static_cast<uint8_t>(run.architecture), run.word_shift);
    std::string rest(reinterpret_cast<const char *>(data) + in.pos, in.left());
    try {
        size_t start = 0;
        while (start < rest.size()) {
            size_t end = rest.find('\n', start);
            if (end == std::string::npos) break; // a last line without its end is not listed
            list_typed_line(rest.substr(start, end - start), &run, opt);
            start = end + 1;
        }
    } catch (const Fuzz_exit &) {
    }
    options_free(opt);
    return 0;
}
