#include "common/instr.h"

#include <cstdlib>

#include "kelim/kelim.h"

namespace {

constexpr int32_t REFS_GROWTH = 32;

bool already_listed(const Symbol_refs_struct *list, const Elf32_Sym *sym) {
    for (int32_t i = 0; i < list->count; i++)
        if (list->entries[i]->st_name == sym->st_name) return true;
    return false;
}

} // namespace

void add_symbol_reference(const Elf32_Sym *sym, Symbol_refs_struct **refs, Option_struct *opt) {
    if (refs == nullptr || sym == nullptr || get_error_code(opt) != ERR_NONE) return;
    if (*refs == nullptr) {
        Symbol_refs_struct *list = static_cast<Symbol_refs_struct *>(kl_calloc(1, sizeof *list));
        grow_table(reinterpret_cast<void **>(&list->entries), &list->capacity,
                   sizeof(const Elf32_Sym *), opt);
        if (get_error_code(opt) != ERR_NONE) {
            free(list->entries);
            free(list);
            return;
        }
        *refs = list;
    }
    Symbol_refs_struct *list = *refs;
    if (already_listed(list, sym)) return;
    if (list->count >= list->capacity) {
        // Grow a copy so that a failed growth leaves the list as it was.
        void *entries = list->entries;
        int32_t capacity = list->capacity;
        grow_table(&entries, &capacity, sizeof(const Elf32_Sym *), opt);
        if (get_error_code(opt) != ERR_NONE) return;
        list->entries = static_cast<const Elf32_Sym **>(entries);
        list->capacity = capacity;
    }
    list->entries[list->count++] = sym;
}

void release_symbol_references(Symbol_refs_struct *refs) {
    if (refs == nullptr) return;
    free(refs->entries);
    free(refs);
}
