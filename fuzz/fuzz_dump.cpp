// The .lod reader, the -k configuration parser and the listing of the dump,
// range by range. The first byte chooses the architecture and display, the
// next two the length of the configuration text that follows; the rest is
// the .lod text.
#include <cstdio>
#include <cstdlib>

#include "dq300/driver.h"
#include "dq300/memdump.h"
#include "elflib/elfread.h"
#include "fuzz/harness.h"

namespace {

config_entry *read_config(const uint8_t *text, size_t size) {
    config_entry *head = nullptr;
    if (size == 0) return head;
    FILE *stream = fmemopen(const_cast<uint8_t *>(text), size, "r");
    if (!stream) return head;
    read_config_stream(stream, &head);
    fclose(stream);
    return head;
}

void read_lod(const uint8_t *text, size_t size, Dump_struct *dump) {
    dump->bytes = nullptr;
    dump->size = 0;
    dump->error[0] = '\0';
    FILE *stream = size ? fmemopen(const_cast<uint8_t *>(text), size, "rb") : nullptr;
    if (!stream) return;
    read_dump(stream, size, dump);
    fclose(stream);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Fuzz_input in{data, size};
    uint8_t mode = in.byte();
    size_t config_size = in.u16();
    if (config_size > in.left()) config_size = in.left();
    static const int32_t architectures[4] = {0, 2, 3, -1};
    Run_struct run{};
    run.architecture = architectures[mode & 3];
    run.core_mask = (mode & 4) ? SHF_RIXU : 0;
    run.compact = mode & 8;
    run.hex_display = mode & 16;
    run.statistics = mode & 32;
    run.loop_end = mode & 64;
    run.verbose = mode & 128;
    run.pc_display = run.label_display = true;
    run.low = 0;
    run.high = 0xFFFFFFFF;
    run.config = read_config(data + in.pos, config_size);
    Dump_struct dump;
    read_lod(data + in.pos + config_size, in.left() - config_size, &dump);
    Option_struct *opt = fuzz_new_record();
    store_run_options(&run, opt, run.compact, 1);
    set_option(opt, 12, static_cast<uint32_t>(run.architecture));
    set_core(opt, static_cast<uint8_t>(run.architecture < 0 ? 0 : run.architecture), 0);
    try {
        if (dump.error[0] == '\0') list_memory_dump(&dump, &run, opt);
    } catch (const Fuzz_exit &) {
    }
    free_dump(&dump);
    free_config_entries(run.config);
    options_free(opt);
    return 0;
}
