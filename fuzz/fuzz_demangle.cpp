// The demangler: the name with the output buffer cut at a size chosen by the
// first byte, and the three modes of demangle_symbol.
#include <string>
#include <vector>

#include "demangle/demangle.h"
#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Fuzz_input in{data, size};
    size_t cut = in.byte();
    std::string name(reinterpret_cast<const char *>(data) + in.pos, in.left());
    name = name.c_str(); // up to the first NUL, as a name in a string table
    std::vector<char> small(cut + 1);
    demangle(name.c_str(), small.data(), small.size());
    Option_struct *opt = fuzz_new_record();
    for (int mode = 0; mode < 3; mode++) demangle_symbol(name.c_str(), mode, opt);
    options_free(opt);
    return 0;
}
