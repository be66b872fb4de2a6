#include "fuzz/harness.h"

#include <cstdio>
#include <cstring>

#include "kelim/kelim.h"

namespace {

[[noreturn]] void return_to_fuzzer(int status) {
    throw Fuzz_exit{status};
}

} // namespace

void fuzz_setup() {
    kl_init();
    kl_set_exit_handler(return_to_fuzzer);
    if (!freopen("/dev/null", "w", stdout)) perror("/dev/null");
}

Option_struct *fuzz_new_record() {
    Option_struct *opt = options_new();
    strcpy(opt->product_name, "zema-kt");
    opt->tool_name = opt->product_name;
    strcpy(opt->option_spec, "B?b?DdE?e?FfL?l?H?h?I?i?JjK?k?NnPpQqR?r?SsUuVvXxZzMmWwTt");
    return opt;
}

Option_struct *fuzz_open_input(const uint8_t *data, size_t size) {
    FILE *stream = size ? fmemopen(const_cast<uint8_t *>(data), size, "rb") : nullptr;
    if (!stream) return nullptr;
    Option_struct *opt = fuzz_new_record();
    opt->input_stream = stream;
    return opt;
}

void fuzz_close_input(Option_struct *opt) {
    elf_free(&opt->elf);
    fclose(opt->input_stream);
    options_free(opt);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_setup();
    return 0;
}
