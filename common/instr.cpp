#include "common/instr.h"

#include <cstdlib>

#include "kelim/kelim.h"

namespace {

constexpr int32_t REFS_GROWTH = 32;
constexpr const char *NO_MEMORY = "Memory allocation has failed...";

uint32_t name_slot(uint32_t name, uint32_t slot_count) {
    return (name * 2654435761u) & (slot_count - 1);
}

// Whether the name set holds st_name `name`. Slots hold a name plus one; 0 is
// a free slot.
bool name_listed(const Symbol_refs_struct *list, uint32_t name) {
    for (uint32_t k = name_slot(name, list->name_slot_count);;
         k = (k + 1) & (list->name_slot_count - 1)) {
        if (list->name_slots[k] == 0) return false;
        if (list->name_slots[k] == name + 1) return true;
    }
}

void insert_name(uint32_t *slots, uint32_t slot_count, uint32_t name) {
    uint32_t k = name_slot(name, slot_count);
    while (slots[k] != 0) k = (k + 1) & (slot_count - 1);
    slots[k] = name + 1;
}

// Makes room for one more entry: the array doubles (by REFS_GROWTH at
// least) and the name set stays at most half full, so that a list of n
// symbols costs O(n) however many distinct names one expression mentions.
// False, with class 1 recorded and the list unchanged, when memory runs out.
bool make_room(Symbol_refs_struct *list, Option_struct *opt) {
    if (list->count < list->capacity) return true;
    int32_t growth = list->capacity > REFS_GROWTH ? list->capacity : REFS_GROWTH;
    uint32_t slot_count = 2 * uint32_t(list->capacity + growth);
    auto *slots = static_cast<uint32_t *>(calloc(slot_count, sizeof(uint32_t)));
    if (slots == nullptr) {
        set_error(opt, ERR_MEMORY, NO_MEMORY);
        return false;
    }
    void *entries = list->entries;
    int32_t capacity = list->capacity;
    grow_table_by(&entries, &capacity, growth, sizeof(const Elf32_Sym *), opt);
    if (get_error_code(opt) != ERR_NONE) {
        free(slots);
        return false;
    }
    list->entries = static_cast<const Elf32_Sym **>(entries);
    list->capacity = capacity;
    for (int32_t i = 0; i < list->count; i++)
        insert_name(slots, slot_count, list->entries[i]->st_name);
    free(list->name_slots);
    list->name_slots = slots;
    list->name_slot_count = slot_count;
    return true;
}

} // namespace

void add_symbol_reference(const Elf32_Sym *sym, Symbol_refs_struct **refs, Option_struct *opt) {
    if (refs == nullptr || sym == nullptr || get_error_code(opt) != ERR_NONE) return;
    if (*refs == nullptr) {
        auto *list = static_cast<Symbol_refs_struct *>(kl_calloc(1, sizeof(Symbol_refs_struct)));
        if (!make_room(list, opt)) {
            free(list);
            return;
        }
        *refs = list;
    }
    Symbol_refs_struct *list = *refs;
    if (name_listed(list, sym->st_name) || !make_room(list, opt)) return;
    insert_name(list->name_slots, list->name_slot_count, sym->st_name);
    list->entries[list->count++] = sym;
}

void release_symbol_references(Symbol_refs_struct *refs) {
    if (refs == nullptr) return;
    free(refs->entries);
    free(refs->name_slots);
    free(refs);
}
