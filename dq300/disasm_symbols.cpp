// Symbol queries of the engine: the sorted copy of the symbol table, labels
// at and inside an address range, label lines, the equivalence text that
// names the symbol an address points at, and the address an operand denotes.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

#include "common/instr.h"
#include "demangle/demangle.h"
#include "dq300/disasm.h"
#include "kelim/kelim.h"

using namespace ZEMADisasmLib;

namespace {

// The table every query searches, in sorted order when one was made.
struct Symbol_view_struct {
    const Elf32_Sym *table;
    const uint32_t *order; // positions in table, or null: table order
    uint64_t count;
    bool sorted;
    const Elf32_Sym &at(uint64_t i) const { return order ? table[order[i]] : table[i]; }
};

Symbol_view_struct symbol_view(const Option_struct *opt) {
    if (opt->sort_symtab && opt->sort_symtab_ptr)
        return {opt->sort_symtab_source, opt->sort_symtab_ptr, opt->sort_symtab_count, true};
    return {opt->symtab, nullptr, opt->symtab ? opt->symcount : 0, false};
}

uint64_t value_hash(uint64_t value, uint32_t shift) {
    return (value * 0x9E3779B97F4A7C15ULL) >> shift;
}

// False when no symbol has the value (the sorted copy's filter says so).
bool may_hold_value(uint64_t value, const Option_struct *opt) {
    if (opt->sort_value_bits == nullptr) return true;
    uint64_t h = value_hash(value, opt->sort_value_shift);
    return (opt->sort_value_bits[h / 64] >> (h % 64)) & 1;
}

// Index of the first entry of the sorted order whose value is at least value.
uint64_t first_at_or_above(const Symbol_view_struct &v, uint64_t value) {
    const Elf32_Sym *table = v.table;
    const uint32_t *it =
        std::lower_bound(v.order, v.order + v.count, value, [table](uint32_t s, uint64_t a) {
            return uint64_t(table[s].st_value) < a;
        });
    return uint64_t(it - v.order);
}

bool is_label_type(const Elf32_Sym *s) {
    uint8_t type = elf_st_type(s->st_info);
    return type != STT_SECTION && type != STT_FILE;
}

// The labels of one section: the section view when there is one, else the
// whole table to be filtered.
struct Section_view_struct {
    const Elf32_Sym *table;
    const uint32_t *order; // positions in table, or null: table order
    uint64_t count;
    bool by_section;      // order holds only the labels, ordered by section and value
    const uint64_t *keys; // with by_section: (section << 32 | value) of each
    const Elf32_Sym &at(uint64_t i) const { return order ? table[order[i]] : table[i]; }
};

Section_view_struct section_view(const Option_struct *opt) {
    if (opt->sort_symtab && opt->sort_section_ptr)
        return {opt->sort_symtab_source, opt->sort_section_ptr, opt->sort_section_count, true,
                opt->sort_section_keys};
    Symbol_view_struct v = symbol_view(opt);
    return {v.table, v.order, v.count, false, nullptr};
}

// Index of the first label of the section view at or above (section, value).
uint64_t first_in_section(const Section_view_struct &v, uint32_t section, uint64_t value) {
    const uint64_t *end = v.keys + v.count;
    // Values have 32 bits: one above them is past every label of the section.
    if (value > UINT32_MAX)
        return uint64_t(std::upper_bound(v.keys, end, uint64_t(section) << 32 | UINT32_MAX) -
                        v.keys);
    return uint64_t(std::lower_bound(v.keys, end, uint64_t(section) << 32 | value) - v.keys);
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

} // namespace

// What the labels at an address hold for one filter: the first that passes
// it, and the one an equivalence text names. Remembered per sorted copy for
// the addresses that hold many symbols, so that n operands naming such an
// address cost one walk of its symbols, not n; a walk of a few symbols is
// cheaper to repeat than to keep, and keeping every address an operand names
// would cost memory in step with the code.
struct Label_memo_struct {
    struct Key {
        uint64_t address;
        uint32_t space;
        uint8_t filter; // 0 none, 1 absolute symbols only, 2 the space
        bool mapper_labels;
        bool operator==(const Key &) const = default;
    };
    struct Key_hash {
        size_t operator()(const Key &k) const {
            return std::hash<uint64_t>()(k.address * 31 + k.space * 7 + k.filter * 2 +
                                         k.mapper_labels);
        }
    };
    struct Found {
        const Elf32_Sym *first;
        const Elf32_Sym *best;
    };
    std::unordered_map<Key, Found, Key_hash> found;
};

namespace {

// Symbols at one address from which on a walk over them is remembered.
constexpr uint64_t LONG_WALK = 16;

void release_label_memo(Label_memo_struct *memo) {
    delete memo;
}

void forget_labels(Option_struct *opt) {
    if (opt->label_memo) opt->label_memo_release(opt->label_memo);
    opt->label_memo = nullptr;
}

// Whether the walk over the symbols at address, starting at position first
// of the view, visits at least LONG_WALK of them.
bool long_walk(uint64_t address, uint64_t first, const Option_struct *opt) {
    Symbol_view_struct v = symbol_view(opt);
    if (!v.sorted) return v.count >= LONG_WALK;
    return first < v.count && v.count - first >= LONG_WALK &&
           v.at(first + LONG_WALK - 1).st_value == address;
}

Label_memo_struct::Found walk_labels_at(uint64_t address, uint64_t first, const Option_struct *opt,
                                        const Space_filter_struct *filter) {
    Label_memo_struct::Found f{nullptr, nullptr};
    uint64_t cursor = first;
    while (const Elf32_Sym *s = find_next_label_at(address, &cursor, opt, filter)) {
        if (f.first == nullptr) f.first = s;
        if (opt->mapper_labels && is_mapper_name(symbol_name(opt, s))) continue;
        if (f.best == nullptr || better_equivalent(f.best, s, opt)) f.best = s;
    }
    return f;
}

[[gnu::noinline]] Label_memo_struct::Found find_labels_at(uint64_t address, Option_struct *opt,
                                                          const Space_filter_struct *filter) {
    Label_memo_struct::Key key{address, 0, 0, opt->mapper_labels != 0};
    if (filter) {
        key.space = filter->unset ? 0 : filter->space;
        key.filter = filter->unset ? 1 : 2;
    }
    if (opt->label_memo) {
        auto it = opt->label_memo->found.find(key);
        if (it != opt->label_memo->found.end()) return it->second;
    }
    uint64_t first = first_symbol_at(address, opt);
    Label_memo_struct::Found f = walk_labels_at(address, first, opt, filter);
    if (!long_walk(address, first, opt)) return f;
    if (opt->label_memo == nullptr) {
        opt->label_memo = new Label_memo_struct;
        opt->label_memo_release = release_label_memo;
    }
    opt->label_memo->found.emplace(key, f);
    return f;
}

// Most addresses operands name hold no symbol at all: the filter answers
// them without the search's set-up.
inline Label_memo_struct::Found labels_at(uint64_t address, Option_struct *opt,
                                          const Space_filter_struct *filter) {
    if (symbol_view(opt).sorted && !may_hold_value(address, opt)) return {nullptr, nullptr};
    return find_labels_at(address, opt, filter);
}

// Whether any label lies at address within the filter.
bool label_exists(uint64_t address, Option_struct *opt, const Space_filter_struct *filter) {
    return labels_at(address, opt, filter).first != nullptr;
}

// Memory-mapped register operands (type 11): the first space that holds a
// symbol at the candidate address names it.
void search_register_space(const InstructionRecord *record, int64_t value, uint64_t scale,
                           Option_struct *opt, Operand_address_struct *out) {
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

// At least 8 bits per symbol: one address in 8 or fewer that holds no
// symbol still goes to the search.
void note_symbol_values(Option_struct *opt, const Elf32_Sym *symtab, uint64_t count) {
    uint32_t bits_log2 = 6;
    while (bits_log2 < 40 && (uint64_t(1) << bits_log2) < 8 * count) bits_log2++;
    uint64_t words = (uint64_t(1) << bits_log2) / 64;
    opt->sort_value_bits = static_cast<uint64_t *>(kl_calloc(words, sizeof(uint64_t)));
    opt->sort_value_shift = 64 - bits_log2;
    for (uint64_t i = 0; i < count; i++) {
        uint64_t h = value_hash(symtab[i].st_value, opt->sort_value_shift);
        opt->sort_value_bits[h / 64] |= uint64_t(1) << (h % 64);
    }
}

// The labels' positions ordered by section, then value, equal ones in table
// order, and their keys in that order.
void sort_labels(Option_struct *opt, const Elf32_Sym *symtab, uint64_t count) {
    auto *labels = static_cast<uint32_t *>(kl_malloc((count ? count : 1) * sizeof(uint32_t)));
    uint64_t n = 0;
    for (uint64_t i = 0; i < count; i++)
        if (is_label_type(&symtab[i])) labels[n++] = uint32_t(i);
    std::stable_sort(labels, labels + n, [symtab](uint32_t i, uint32_t j) {
        const Elf32_Sym &a = symtab[i], &b = symtab[j];
        return a.st_shndx != b.st_shndx ? a.st_shndx < b.st_shndx : a.st_value < b.st_value;
    });
    auto *keys = static_cast<uint64_t *>(kl_malloc((n ? n : 1) * sizeof(uint64_t)));
    for (uint64_t k = 0; k < n; k++)
        keys[k] = uint64_t(symtab[labels[k]].st_shndx) << 32 | symtab[labels[k]].st_value;
    opt->sort_section_ptr = labels;
    opt->sort_section_keys = keys;
    opt->sort_section_count = n;
}

} // namespace

void make_sorted_symbols(Option_struct *opt, Elf32_Sym *symtab, uint64_t count) {
    if (opt->sort_symtab_ptr && opt->sort_symtab_source == symtab &&
        opt->sort_symtab_count == count)
        return;
    free(opt->sort_symtab_ptr);
    free(opt->sort_section_ptr);
    free(opt->sort_section_keys);
    free(opt->sort_value_bits);
    opt->sort_symtab_ptr = nullptr;
    opt->sort_section_ptr = nullptr;
    opt->sort_section_keys = nullptr;
    opt->sort_value_bits = nullptr;
    opt->sort_section_count = 0;
    forget_labels(opt);
    opt->sort_symtab_source = symtab;
    opt->sort_symtab_count = count;
    if (symtab == nullptr) {
        opt->sort_symtab_count = 0;
        return;
    }
    // An ELF32 table holds fewer than 2^28 symbols: 32-bit positions do.
    auto *by_value = static_cast<uint32_t *>(kl_malloc((count ? count : 1) * sizeof(uint32_t)));
    for (uint64_t i = 0; i < count; i++) by_value[i] = uint32_t(i);
    std::stable_sort(by_value, by_value + count, [symtab](uint32_t a, uint32_t b) {
        return symtab[a].st_value < symtab[b].st_value;
    });
    opt->sort_symtab_ptr = by_value;
    sort_labels(opt, symtab, count);
    note_symbol_values(opt, symtab, count);
}

namespace {

// Hex digit values by character, -1 for any other: one load per digit.
constexpr std::array<int8_t, 256> hex_digit_values = [] {
    std::array<int8_t, 256> t{};
    for (int c = 0; c < 256; c++)
        t[size_t(c)] = int8_t(c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1);
    return t;
}();

int hex_digit_value(char c) {
    return hex_digit_values[static_cast<unsigned char>(c)];
}

} // namespace

bool parse_operand_value(const char *text, int64_t *value) {
    bool negative = text[0] == '-';
    if (text[0] == '-' || text[0] == '+') text++;
    if (text[0] != '$' || hex_digit_value(text[1]) < 0) return false;
    const char *p = text + 1;
    // Read as the C library reads base 16: a "0x" may lead the digits, and a
    // value past 64 bits saturates.
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hex_digit_value(p[2]) >= 0) p += 2;
    const char *digits = p;
    uint64_t v = 0;
    for (int d; (d = hex_digit_value(*p)) >= 0; p++) v = v << 4 | uint64_t(d);
    if (*p != '\0') return false;
    // Only zeros were shifted out unless more than 16 digits follow the
    // leading ones: the rare long text is looked at again.
    if (p - digits > 16) {
        while (*digits == '0') digits++;
        if (p - digits > 16) v = UINT64_MAX;
    }
    // Negated as unsigned: the lowest value has no positive counterpart.
    *value = int64_t(negative ? 0 - v : v);
    return true;
}

const char *symbol_name(const Option_struct *opt, const Elf32_Sym *sym) {
    return opt->strtab ? opt->strtab + sym->st_name : "";
}

uint64_t first_symbol_at(uint64_t address, const Option_struct *opt) {
    Symbol_view_struct v = symbol_view(opt);
    if (!v.sorted) {
        for (uint64_t i = 0; i < v.count; i++)
            if (v.at(i).st_value == address) return i;
        return v.count;
    }
    if (!may_hold_value(address, opt)) return v.count;
    uint64_t i = first_at_or_above(v, address);
    return i < v.count && v.at(i).st_value == address ? i : v.count;
}

const Elf32_Sym *find_next_label_at(uint64_t address, uint64_t *cursor, const Option_struct *opt,
                                    const Space_filter_struct *filter) {
    Symbol_view_struct v = symbol_view(opt);
    if (address >> 32) return nullptr;
    uint64_t i = *cursor == NEW_SEARCH ? first_symbol_at(address, opt) : *cursor;
    for (; i < v.count; i++) {
        const Elf32_Sym *s = &v.at(i);
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
    Section_view_struct v = section_view(opt);
    uint64_t low = symbol_address(start, buf);
    uint64_t high = low + length;
    const Elf32_Sym *found = nullptr;
    // Both views are ordered stably by value (within the section), so the
    // first candidate at or above low is the lowest one, first in table order
    // among equal values.
    uint64_t i = v.by_section ? first_in_section(v, buf->index, low) : 0;
    for (; i < v.count; i++) {
        const Elf32_Sym *s = &v.at(i);
        if (v.by_section && (s->st_shndx != buf->index || s->st_value > high)) break;
        if (s->st_value < low || s->st_value > high || !is_label_type(s) ||
            s->st_shndx != buf->index)
            continue;
        if (found == nullptr || s->st_value < found->st_value) found = s;
        if (v.by_section) break;
    }
    if (found && found->st_value % 4 != 0)
        set_error(opt, ERR_CONTENT, "Found label at non word aligned address\n");
    return found;
}

const Elf32_Sym *next_section_label(uint64_t value, const Buffer_struct *buf, uint64_t *cursor,
                                    const Option_struct *opt) {
    Section_view_struct v = section_view(opt);
    if (v.by_section) {
        uint64_t i = *cursor == NEW_SEARCH ? first_in_section(v, buf->index, value) : *cursor;
        bool here = i < v.count && v.at(i).st_shndx == buf->index && v.at(i).st_value == value;
        *cursor = here ? i + 1 : v.count;
        return here ? &v.at(i) : nullptr;
    }
    for (uint64_t i = *cursor == NEW_SEARCH ? 0 : *cursor; i < v.count; i++) {
        const Elf32_Sym *s = &v.at(i);
        if (s->st_value == value && is_label_type(s) && s->st_shndx == buf->index) {
            *cursor = i + 1;
            return s;
        }
    }
    *cursor = v.count;
    return nullptr;
}

void print_labels_at(uint64_t address, const Buffer_struct *buf, Option_struct *opt) {
    if (opt->strtab == nullptr || !opt->label_display) return;
    uint64_t value = symbol_address(address, buf), cursor = NEW_SEARCH;
    while (const Elf32_Sym *s = next_section_label(value, buf, &cursor, opt))
        print_label_line(s, buf->file_type, opt);
}

namespace {

// The listing address of the label at the cursor, or past every address
// when the section's labels are done.
void label_cursor_look(Label_cursor_struct *c) {
    const Elf32_Sym *s = c->index < c->count ? &c->table[c->order[c->index]] : nullptr;
    c->next = s && s->st_shndx == c->section ? s->st_value + c->bias : UINT64_MAX;
}

} // namespace

void label_cursor_start(Label_cursor_struct *cursor, uint64_t address, const Buffer_struct *buf,
                        const Option_struct *opt) {
    Section_view_struct v = section_view(opt);
    *cursor = {nullptr, nullptr, 0, 0, 0, address - symbol_address(address, buf), buf->index};
    if (!v.by_section) return;
    cursor->table = v.table;
    cursor->order = v.order;
    cursor->count = v.count;
    cursor->index = first_in_section(v, buf->index, symbol_address(address, buf));
    label_cursor_look(cursor);
}

bool label_cursor_passing(Label_cursor_struct *cursor, uint64_t address, uint64_t size) {
    if (cursor->order == nullptr) return true;
    while (cursor->next < address) {
        cursor->index++;
        label_cursor_look(cursor);
    }
    return cursor->next - address < size;
}

namespace {

// Appends " (name)" of the label at address, if any, to out.
void append_equivalent_name(uint64_t address, Option_struct *opt, const Space_filter_struct *filter,
                            std::string *out) {
    if (!opt->strtab || !opt->symtab || !opt->label_display) return;
    const Elf32_Sym *best = labels_at(address, opt, filter).best;
    if (best == nullptr) return;
    const char *name = symbol_name(opt, best);
    *out += " (";
    *out += name;
    const char *plain = opt->unmangle ? demangle_symbol(name, 1, opt) : nullptr;
    if (plain && strcmp(plain, name) != 0) {
        *out += '{';
        *out += plain;
        *out += '}';
    }
    *out += ')';
}

} // namespace

void append_address_comment(uint32_t value, uint64_t address, Option_struct *opt,
                            const Space_filter_struct *filter, std::string *out) {
    // ";\t\t// address $%08x is equivalent to $%08x", written at once
    char head[] = ";\t\t// address $00000000 is equivalent to $00000000";
    constexpr size_t equivalent = sizeof ";\t\t// address $00000000 is equivalent to $" - 1;
    format_hex8(value, head + sizeof ";\t\t// address $" - 1);
    format_hex8(static_cast<uint32_t>(address), head + equivalent);
    out->append(head, sizeof head - 1);
    append_equivalent_name(address, opt, filter, out);
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
