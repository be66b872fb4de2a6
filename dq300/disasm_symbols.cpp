// Symbol queries of the engine: the sorted copy of the symbol table, labels
// at and inside an address range, label lines, the equivalence text that
// names the symbol an address points at, and the address an operand denotes.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/instr.h"
#include "demangle/demangle.h"
#include "dq300/disasm.h"
#include "kelim/kelim.h"

using namespace ZEMADisasmLib;

namespace {

// The table every query searches: the sorted copy when one was made.
struct Symbol_view_struct {
    const Elf32_Sym *table;
    uint64_t count;
    bool sorted;
};

Symbol_view_struct symbol_view(const Option_struct *opt) {
    if (opt->sort_symtab && opt->sort_symtab_ptr)
        return {opt->sort_symtab_ptr, opt->sort_symtab_count, true};
    return {opt->symtab, opt->symtab ? opt->symcount : 0, false};
}

// Index of the first entry of the sorted copy whose value is at least value.
uint64_t first_at_or_above(const Symbol_view_struct &v, uint64_t value) {
    const Elf32_Sym *it =
        std::lower_bound(v.table, v.table + v.count, value,
                         [](const Elf32_Sym &s, uint64_t a) { return uint64_t(s.st_value) < a; });
    return uint64_t(it - v.table);
}

bool is_label_type(const Elf32_Sym *s) {
    uint8_t type = elf_st_type(s->st_info);
    return type != STT_SECTION && type != STT_FILE;
}

bool passes_filter(const Elf32_Sym *s, const Space_filter_struct *filter,
                   const Option_struct *opt) {
    if (filter == nullptr) return true;
    if (filter->unset) return s->st_shndx == SHN_ABS;
    const qz_info_entry *qz = opt->elf.qz_info;
    if (qz == nullptr || s->st_shndx >= opt->elf.Ehdr.e_shnum) return false;
    return qz[s->st_shndx].space == filter->space && qz[s->st_shndx].unset == 0;
}

bool is_mapper_name(const char *name) {
    return name[0] == '.' && name[1] == '.';
}

void print_label_line(const Elf32_Sym *s, int32_t file_type, Option_struct *opt) {
    const char *name = symbol_name(opt, s);
    if (elf_st_type(s->st_info) == STT_FUNC) {
        text_append(name, opt);
        text_append("\n\t.type ", opt);
        text_append(name, opt);
        text_append(", @function", opt);
    } else {
        if (opt->mapper_labels && is_mapper_name(name)) return;
        if (!opt->local_symbols && file_type == ET_EXEC && elf_st_bind(s->st_info) != STB_GLOBAL)
            return;
        text_append(name, opt);
    }
    print_unmangled(name, 1, opt);
    text_append("\n", opt);
}

// Whether candidate s replaces the chosen symbol b of an equivalence text.
bool better_equivalent(const Elf32_Sym *b, const Elf32_Sym *s, const Option_struct *opt) {
    const char *bn = symbol_name(opt, b), *sn = symbol_name(opt, s);
    bool b_notype = elf_st_type(b->st_info) == STT_NOTYPE;
    uint8_t s_type = elf_st_type(s->st_info);
    if (b_notype && bn[0] != '_' && sn[0] == '_') return true;
    if (b_notype && strncmp(bn, "DW", 2) == 0) return true;
    if (b_notype && (s_type == STT_OBJECT || s_type == STT_FUNC)) return true;
    return b->st_size == 0 && s->st_size != 0;
}

// Whether any label lies at address within the filter.
bool label_exists(uint64_t address, const Option_struct *opt, const Space_filter_struct *filter) {
    uint64_t cursor = NEW_SEARCH;
    return find_next_label_at(address, &cursor, opt, filter) != nullptr;
}

// Memory-mapped register operands (type 11): the first space that holds a
// symbol at the candidate address names it.
void search_register_space(const InstructionRecord *record, int64_t value, uint64_t scale,
                           const Option_struct *opt, Operand_address_struct *out) {
    bool mvip = record && record->syntax && strncmp(record->syntax, "mvip ", 5) == 0;
    struct Candidate {
        uint64_t address;
        uint32_t space;
        uint64_t marker;
    } candidates[3] = {{uint64_t(value * 4), 0, 0x1000000},
                       {uint64_t(value * 4), 2, 0x4000000},
                       {uint64_t(value) * scale, 1, 0x2000000}};
    bool table = opt->elf.qz_info != nullptr;
    for (int k = 0; k < 3; k++) {
        if (k == 1 && !mvip) continue;
        const Candidate &c = candidates[k];
        Space_filter_struct filter{c.space, 0};
        uint64_t address = table ? c.address : c.address + c.marker;
        if (label_exists(address, opt, table ? &filter : nullptr)) {
            out->address = address;
            out->space = filter;
            return;
        }
    }
    out->address = uint64_t(value) * scale;
    out->space = {1, 0};
}

} // namespace

void make_sorted_symbols(Option_struct *opt, Elf32_Sym *symtab, uint64_t count) {
    if (opt->sort_symtab_ptr && opt->sort_symtab_source == symtab &&
        opt->sort_symtab_count == count)
        return;
    free(opt->sort_symtab_ptr);
    opt->sort_symtab_ptr = nullptr;
    opt->sort_symtab_source = symtab;
    opt->sort_symtab_count = count;
    if (symtab == nullptr) {
        opt->sort_symtab_count = 0;
        return;
    }
    auto *copy = static_cast<Elf32_Sym *>(kl_malloc((count ? count : 1) * sizeof *symtab));
    if (count) memcpy(copy, symtab, count * sizeof *symtab);
    std::stable_sort(copy, copy + count, [](const Elf32_Sym &a, const Elf32_Sym &b) {
        return a.st_value < b.st_value;
    });
    opt->sort_symtab_ptr = copy;
}

bool parse_operand_value(const char *text, int64_t *value) {
    bool negative = text[0] == '-';
    if (text[0] == '-' || text[0] == '+') text++;
    if (text[0] != '$' || !isxdigit(static_cast<unsigned char>(text[1]))) return false;
    char *end = nullptr;
    uint64_t v = strtoull(text + 1, &end, 16);
    if (*end != '\0') return false;
    *value = negative ? -int64_t(v) : int64_t(v);
    return true;
}

const char *symbol_name(const Option_struct *opt, const Elf32_Sym *sym) {
    return opt->strtab ? opt->strtab + sym->st_name : "";
}

uint64_t symbol_address(uint64_t address, const Buffer_struct *buf) {
    return buf->file_type == ET_EXEC ? address : address - buf->address;
}

uint64_t first_symbol_at(uint64_t address, const Option_struct *opt) {
    Symbol_view_struct v = symbol_view(opt);
    if (!v.sorted) {
        for (uint64_t i = 0; i < v.count; i++)
            if (v.table[i].st_value == address) return i;
        return v.count;
    }
    uint64_t i = first_at_or_above(v, address);
    return i < v.count && v.table[i].st_value == address ? i : v.count;
}

const Elf32_Sym *find_next_label_at(uint64_t address, uint64_t *cursor, const Option_struct *opt,
                                    const Space_filter_struct *filter) {
    Symbol_view_struct v = symbol_view(opt);
    if (address >> 32) return nullptr;
    uint64_t i = *cursor == NEW_SEARCH ? first_symbol_at(address, opt) : *cursor;
    for (; i < v.count; i++) {
        const Elf32_Sym *s = &v.table[i];
        if (v.sorted && s->st_value > address) break;
        if (s->st_value == address && is_label_type(s) && s->st_name != 0 &&
            passes_filter(s, filter, opt)) {
            *cursor = i + 1;
            return s;
        }
    }
    *cursor = v.count;
    return nullptr;
}

const Elf32_Sym *find_inner_label(uint64_t start, uint64_t length, const Buffer_struct *buf,
                                  Option_struct *opt) {
    Symbol_view_struct v = symbol_view(opt);
    uint64_t low = symbol_address(start, buf);
    uint64_t high = low + length;
    const Elf32_Sym *found = nullptr;
    // The sorted copy is ordered stably by value, so its first candidate at or
    // above low is the lowest one, first in table order among equal values.
    uint64_t i = v.sorted ? first_at_or_above(v, low) : 0;
    for (; i < v.count; i++) {
        const Elf32_Sym *s = &v.table[i];
        if (v.sorted && s->st_value > high) break;
        if (s->st_value < low || s->st_value > high || !is_label_type(s) ||
            s->st_shndx != buf->index)
            continue;
        if (found == nullptr || s->st_value < found->st_value) found = s;
        if (v.sorted) break;
    }
    if (found && found->st_value % 4 != 0)
        set_error(opt, ERR_CONTENT, "Found label at non word aligned address\n");
    return found;
}

void print_labels_at(uint64_t address, const Buffer_struct *buf, Option_struct *opt) {
    if (opt->strtab == nullptr || !opt->label_display) return;
    Symbol_view_struct v = symbol_view(opt);
    uint64_t value = symbol_address(address, buf);
    for (uint64_t i = first_symbol_at(value, opt); i < v.count; i++) {
        const Elf32_Sym *s = &v.table[i];
        if (s->st_value != value) {
            if (v.sorted) break;
            continue;
        }
        if (is_label_type(s) && s->st_shndx == buf->index) print_label_line(s, buf->file_type, opt);
    }
}

char *equivalence_text(uint64_t address, Option_struct *opt, const Space_filter_struct *filter) {
    char head[40];
    snprintf(head, sizeof head, "is equivalent to $%08x", static_cast<uint32_t>(address));
    if (!opt->strtab || !opt->symtab || !opt->label_display) return kl_strdup(head);
    const Elf32_Sym *best = nullptr;
    uint64_t cursor = NEW_SEARCH;
    while (const Elf32_Sym *s = find_next_label_at(address, &cursor, opt, filter)) {
        if (opt->mapper_labels && is_mapper_name(symbol_name(opt, s))) continue;
        if (best == nullptr || better_equivalent(best, s, opt)) best = s;
    }
    if (best == nullptr) return kl_strdup(head);
    const char *name = symbol_name(opt, best);
    std::string text = head;
    text += " (";
    text += name;
    const char *plain = opt->unmangle ? demangle_symbol(name, 1, opt) : nullptr;
    if (plain && strcmp(plain, name) != 0) {
        text += '{';
        text += plain;
        text += '}';
    }
    text += ')';
    return kl_strdup(text.c_str());
}

bool operand_address(const InstructionRecord *record, const OperandRecord *operand,
                     Option_struct *opt, Operand_address_struct *out) {
    if (operand->reloc_type == 0 || operand->reloc_width == 0) return false;
    if (!parse_operand_value(operand->text, &out->value)) return false;
    uint64_t scale;
    switch (opt->arch_code) {
    case 0:
    case 1:
        scale = 4;
        break;
    case 2:
        scale = 2;
        break;
    case 3:
        scale = 1;
        break;
    default:
        set_error(opt, ERR_OPTION, "Invalid architecture version\n");
        return false;
    }
    uint32_t mode = opt->core_mode, type = operand->reloc_type;
    bool zema = mode >= ARCH_ZEMA1 && mode <= ARCH_ZEMA3;
    bool rixu = mode >= ARCH_RIXU1 && mode <= ARCH_RIXU3;
    bool has_table = opt->elf.qz_info != nullptr;
    uint64_t scaled = uint64_t(out->value) * scale, by_word = uint64_t(out->value) * 4;
    auto set = [&](uint64_t address, uint32_t space, uint64_t marker) {
        out->address = has_table ? address : address + marker;
        out->space = {space, 0};
        return true;
    };
    bool program = type == 4 || type == 5 || type == 9 || type == 13 || type == 14 || type == 15;
    if (zema &&
        (program || (mode == ARCH_ZEMA1 && type == 20) || (mode == ARCH_ZEMA3 && type == 30)))
        return set(scaled, 1, 0x2000000);
    if (rixu && type == 17) return set(scaled, 1, 0x8000000);
    if (zema && type == 8) return set(by_word, 0, 0x1000000);
    if (rixu && type == 16) return set(by_word, 2, 0x4000000);
    if (zema && type == 11) {
        search_register_space(record, out->value, scale, opt, out);
        return true;
    }
    return false;
}
