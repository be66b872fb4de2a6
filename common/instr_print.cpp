// Printing of demangled names; kept apart from the list so that users of the
// list alone do not pull in the demangler.
#include <cstring>

#include "common/instr.h"

const char *demangle_symbol(const char *name, int mode, Option_struct *opt);

namespace {
constexpr int MODE_REFERENCED = 2;
}

void print_unmangled(const char *name, int mode, Option_struct *opt) {
    if (!opt->unmangle || name == nullptr) return;
    const char *plain = demangle_symbol(name, mode, opt);
    if (plain == nullptr || strcmp(plain, name) == 0) return;
    text_append("  ;", opt);
    text_append(plain, opt);
}

void print_comment_record(const Symbol_refs_struct *refs, Option_struct *opt) {
    if (refs == nullptr || opt->strtab == nullptr || !opt->unmangle) return;
    for (int32_t i = 0; i < refs->count; i++)
        print_unmangled(opt->strtab + refs->entries[i]->st_name, MODE_REFERENCED, opt);
}
