#include "common/rela.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/hex_pairs.h"
#include "kelim/kelim.h"

// Obligations of the callers, reported under this module's name.
#define RELA_ASSERT(expr) ((expr) ? (void)0 : kl_assert_failed(#expr, "common/rela", __LINE__))
// A structural condition that a malformed file breaks. Like every failure of
// the engine it is recorded and ends the run through the front end, with the
// message of a broken input check; the engine unwinds in order on the way.
#define RELA_INPUT_CHECK(expr, opt) ((expr) ? true : (record_input_check(#expr, opt), false))

namespace {

constexpr const char *SOURCE = "common/rela";
constexpr const char *INVALID_RELA = "Invalid .rela info\n";
constexpr const char *INVALID_ENTRY = "Invalid entry in rela_to_chr()\n";
constexpr const char *UNDEFINED_SYMBOL =
    "A symbol in .rela parser used for address evaluation is undefined\n";
constexpr uint32_t NOT_FOUND = UINT32_MAX;
constexpr uint32_t LAST_OPERATOR = 23;
constexpr int32_t OP_NEGATE = 1, OP_ADD = 7, OP_SUBTRACT = 8;

void record_input_check(const char *condition, Option_struct *opt) {
    char *message = kl_input_check_text(condition, SOURCE);
    set_error(opt, ERR_DATA, message);
    free(message);
}

uint32_t type_of(const Elf32_Rela *r) {
    return elf_r_type(r->r_info);
}
bool is_operand(uint32_t type) {
    return type == R_EXPR_OPERAND || type == R_EXPR_DOT_OPERAND;
}

// Index of the first R_EXPR_END among the first `limit` entries at address.
uint32_t find_expr_end(const Elf32_Rela *rela, uint32_t limit, uint64_t address) {
    for (uint32_t k = 0; k < limit && rela[k].r_offset == address; k++)
        if (type_of(&rela[k]) == R_EXPR_END) return k;
    return NOT_FOUND;
}

// Writes a piece of at most a few characters (the literals around a name).
char *put_short(char *p, std::string_view piece) {
    for (char c : piece) *p++ = c;
    return p;
}

// Writes "<lead><name><mark><8 upper-case hex digits of value><tail>" at p,
// the number left out when mark is empty; returns the end. Written by hand,
// the literal pieces measured where they are written: every relocated
// operand of a listing makes one or two of these.
char *put_joined(char *p, std::string_view lead, std::string_view name, std::string_view mark,
                 uint32_t value, std::string_view tail) {
    p = put_short(p, lead);
    memcpy(p, name.data(), name.size());
    p = put_short(p + name.size(), mark);
    if (!mark.empty()) {
        for (int shift = 24; shift >= 0; shift -= 8, p += 2)
            memcpy(p, UPPER_HEX_PAIRS.text + 2 * ((value >> shift) & 0xFF), 2);
    }
    return put_short(p, tail);
}

// Appends put_joined's text to out.
void append_joined(std::string *out, std::string_view lead, std::string_view name,
                   std::string_view mark, uint32_t value, std::string_view tail) {
    size_t at = out->size();
    out->resize(at + lead.size() + name.size() + mark.size() + (mark.empty() ? 0 : 8) +
                tail.size());
    put_joined(out->data() + at, lead, name, mark, value, tail);
}

uint32_t magnitude(int32_t v) {
    return v < 0 ? 0u - uint32_t(v) : uint32_t(v);
}

// Characters of an ordinary relocation's text besides the name.
constexpr size_t ORDINARY_FRAME = sizeof "(+$00000000)" - 1;

// "(name+$hex)" or "(name-$hex)" at p; returns the end.
char *put_ordinary(char *p, std::string_view name, int32_t addend) {
    if (addend >= 0) return put_joined(p, "(", name, "+$", uint32_t(addend), ")");
    return put_joined(p, "(", name, "-$", magnitude(addend), ")");
}

// An operator's text is written around its operands: before, the left
// operand, between, the right (or only) operand, after. Every result stands
// in its own parentheses, so the postfix order alone fixes the grouping.
struct op_row_struct {
    int arity;
    std::string_view before;
    std::string_view between;
    std::string_view after;
};

// Texts of the operator codes 0 to 23.
const op_row_struct op_table[LAST_OPERATOR + 1] = {
    {0, "", "", ""},     {1, "-(", "", ")"},   {1, "~(", "", ")"},   {1, "!(", "", ")"},
    {2, "(", "*", ")"},  {2, "(", "/", ")"},   {2, "(", "%", ")"},   {2, "(", "+", ")"},
    {2, "(", "-", ")"},  {2, "(", "<<<", ")"}, {2, "(", ">>>", ")"}, {2, "(", "<<", ")"},
    {2, "(", ">>", ")"}, {2, "(", "<", ")"},   {2, "(", "<=", ")"},  {2, "(", ">", ")"},
    {2, "(", ">=", ")"}, {2, "(", "==", ")"},  {2, "(", "!=", ")"},  {2, "(", "&", ")"},
    {2, "(", "|", ")"},  {2, "(", "^", ")"},   {2, "(", "&&", ")"},  {2, "(", "||", ")"},
};

constexpr uint32_t NO_NODE = UINT32_MAX;

// An operand, or an operator applied to the nodes below it, in the node pool
// of one rendering: no allocation per node, and nothing to free one by one.
// The text is written once, from the finished tree: formatting each
// operator's text from its operands' texts would copy a long left operand
// once per operator.
struct expr_node_struct {
    uint32_t code;  // operator code; 0 for an operand
    uint32_t left;  // node indices, NO_NODE when absent
    uint32_t right; // the only operand of a unary operator
    size_t text;    // operand text: its start and length in the rendering's texts
    size_t length;
};

uint32_t unary_value(uint32_t code, uint32_t v) {
    if (code == 1) return 0u - v;
    if (code == 2) return ~v;
    return v == 0;
}

// Returns false for a division or remainder by zero.
bool binary_value(uint32_t code, uint32_t l, uint32_t r, uint32_t *out) {
    switch (code) {
    case 4:
        *out = l * r;
        return true;
    case 5:
        if (r == 0) return false;
        *out = l / r;
        return true;
    case 6:
        if (r == 0) return false;
        *out = l % r;
        return true;
    case 7:
        *out = l + r;
        return true;
    case 8:
        *out = l - r;
        return true;
    case 9:
    case 11:
        *out = l << (r % 32);
        return true;
    case 10:
    case 12:
        *out = l >> (r % 32);
        return true;
    case 13:
        *out = l < r;
        return true;
    case 14:
        *out = l <= r;
        return true;
    case 15:
        *out = l > r;
        return true;
    case 16:
        *out = l >= r;
        return true;
    case 17:
        *out = l == r;
        return true;
    case 18:
        *out = l != r;
        return true;
    case 19:
        *out = l & r;
        return true;
    case 20:
        *out = l | r;
        return true;
    case 21:
        *out = l ^ r;
        return true;
    case 22:
        *out = l && r;
        return true;
    default:
        *out = l || r;
        return true;
    }
}

// A node to write, or (node NO_NODE) a literal of an operator.
struct tree_item_struct {
    uint32_t node;
    std::string_view literal;
};

// Working state of one rendering.
struct render_struct {
    const char *strtab;
    const Elf32_Sym *symtab;
    Symbol_refs_struct **refs;
    Option_struct *opt;
    uint64_t symcount;
    bool computing;
    // Working storage, kept from one rendering to the next (see scratch()).
    std::vector<uint32_t> &trees;  // node indices
    std::vector<uint32_t> &values; // only when computing
    std::vector<expr_node_struct> &nodes;
    std::string &texts; // the operand texts, one after another
    std::string &out;   // the text of a tree
    std::vector<tree_item_struct> &work;
};

// Storage of the renderings, emptied but kept for the next one: nearly all
// relocations are small, and allocating it anew cost more than the rendering.
struct scratch_struct {
    std::vector<uint32_t> trees, values;
    std::vector<expr_node_struct> nodes;
    std::string texts, out;
    std::vector<tree_item_struct> work;
};

scratch_struct &scratch() {
    static thread_local scratch_struct s;
    s.trees.clear();
    s.values.clear();
    s.nodes.clear();
    s.texts.clear();
    s.out.clear();
    s.work.clear();
    return s;
}

// The text of a tree in the scratch output, depth first without recursion
// (an expression may nest as deep as it has entries).
const char *tree_text(const render_struct *r, uint32_t root) {
    std::string &out = r->out;
    std::vector<tree_item_struct> &work = r->work;
    work.push_back({root, {}});
    while (!work.empty()) {
        tree_item_struct it = work.back();
        work.pop_back();
        if (it.node == NO_NODE) {
            out += it.literal;
            continue;
        }
        const expr_node_struct &n = r->nodes[it.node];
        if (n.code == 0) {
            out.append(r->texts, n.text, n.length);
            continue;
        }
        const op_row_struct &row = op_table[n.code];
        out += row.before;
        work.push_back({NO_NODE, row.after});
        work.push_back({n.right, {}});
        if (row.arity == 2) {
            work.push_back({NO_NODE, row.between});
            work.push_back({n.left, {}});
        }
    }
    return out.c_str();
}

bool valid_symbol(const render_struct *r, uint32_t sym_index) {
    return sym_index < r->symcount;
}

uint32_t symbol_value(const render_struct *r, const Elf32_Sym *sym) {
    if (sym->st_shndx != 0) return sym->st_value;
    set_error(r->opt, ERR_DATA, UNDEFINED_SYMBOL);
    return 0;
}

void push_value(render_struct *r, uint32_t v) {
    r->values.push_back(v);
}

uint32_t pop_value(render_struct *r) {
    if (r->values.empty()) return 0;
    uint32_t v = r->values.back();
    r->values.pop_back();
    return v;
}

// The top tree, taken off the stack; NO_NODE when it is empty.
uint32_t pop_tree(render_struct *r) {
    if (r->trees.empty()) return NO_NODE;
    uint32_t t = r->trees.back();
    r->trees.pop_back();
    return t;
}

// Appends the text of operand entry e to the texts; its value to *value.
void operand_text(render_struct *r, const Elf32_Rela *e, int32_t addend, uint32_t *value) {
    uint32_t sym_index = elf_r_sym(e->r_info);
    std::string *out = &r->texts;
    *value = uint32_t(addend);
    if (sym_index == 0) {
        if (addend == 0) return append_joined(out, "0", "", "", 0, "");
        if (addend > 0) return append_joined(out, "", "", "$", uint32_t(addend), "");
        return append_joined(out, "", "", "-$", magnitude(addend), "");
    }
    const Elf32_Sym *sym = &r->symtab[sym_index];
    const char *name = r->strtab + sym->st_name;
    bool by_value = r->opt->mapper_labels && strncmp(name, "..", 2) == 0;
    if (by_value || r->computing) *value = symbol_value(r, sym);
    if (by_value) return append_joined(out, "", "", "$", *value, "");
    if (addend == 0) return append_joined(out, "", name, "", 0, "");
    if (addend > 0) return append_joined(out, "(", name, "+$", uint32_t(addend), ")");
    append_joined(out, "(", name, "-$", magnitude(addend), ")");
}

// Pushes the text (and value) of operand entry e.
bool render_operand(render_struct *r, const Elf32_Rela *e, uint32_t following, uint32_t expr_type) {
    uint32_t sym_index = elf_r_sym(e->r_info);
    if (!valid_symbol(r, sym_index)) return false;
    add_symbol_reference(&r->symtab[sym_index], r->refs, r->opt);
    int32_t addend = rela_scale_addend(e, following, expr_type, r->opt->arch_code);
    uint32_t value;
    std::string &texts = r->texts;
    size_t start = texts.size();
    operand_text(r, e, addend, &value);
    if (type_of(e) == R_EXPR_DOT_OPERAND) {
        if (texts.compare(start, std::string::npos, "0") == 0) {
            texts[start] = '.';
        } else {
            texts.insert(start, 1, '(');
            texts += "+.)";
        }
    }
    r->trees.push_back(uint32_t(r->nodes.size()));
    r->nodes.push_back({0, NO_NODE, NO_NODE, start, texts.size() - start});
    if (r->computing) push_value(r, value);
    return true;
}

// Applies operator entry e to the stacks; false on a malformed expression.
bool render_operator(render_struct *r, const Elf32_Rela *e) {
    uint32_t code = uint32_t(e->r_addend);
    if (code > LAST_OPERATOR) {
        set_error(r->opt, ERR_DATA, INVALID_ENTRY);
        return false;
    }
    const op_row_struct &row = op_table[code];
    if (row.arity == 0) return true;
    if (r->trees.size() < size_t(row.arity)) {
        set_error(r->opt, ERR_DATA, INVALID_RELA);
        return false;
    }
    expr_node_struct n{code, NO_NODE, pop_tree(r), 0, 0};
    if (row.arity == 2) n.left = pop_tree(r);
    r->trees.push_back(uint32_t(r->nodes.size()));
    r->nodes.push_back(n);
    if (!r->computing) return true;
    uint32_t rv = pop_value(r), result;
    if (row.arity == 1) {
        result = unary_value(code, rv);
    } else if (!binary_value(code, pop_value(r), rv, &result)) {
        set_error(r->opt, ERR_DATA, INVALID_RELA);
        return false;
    }
    push_value(r, result);
    return true;
}

const char *render_ordinary(render_struct *r, const Elf32_Rela *rela) {
    uint32_t sym_index = elf_r_sym(rela->r_info);
    if (!valid_symbol(r, sym_index)) {
        set_error(r->opt, ERR_DATA, INVALID_RELA);
        return nullptr;
    }
    const Elf32_Sym *sym = &r->symtab[sym_index];
    add_symbol_reference(sym, r->refs, r->opt);
    int32_t addend = rela_scale_addend(rela, 0, type_of(rela), r->opt->arch_code);
    std::string_view name = r->strtab + sym->st_name;
    r->out.resize(name.size() + ORDINARY_FRAME);
    put_ordinary(r->out.data(), name, addend);
    if (r->computing && sym->st_shndx == 0) set_error(r->opt, ERR_DATA, UNDEFINED_SYMBOL);
    return r->out.c_str();
}

const char *render_expression(render_struct *r, const Elf32_Rela *rela, uint32_t end,
                              uint32_t *value_out) {
    uint32_t expr_type = uint32_t(rela[end].r_addend);
    for (uint32_t k = 0; k < end; k++) {
        bool ok = is_operand(type_of(&rela[k]))
                      ? render_operand(r, &rela[k], end - k - 1, expr_type)
                      : render_operator(r, &rela[k]);
        if (!ok) {
            if (get_error_code(r->opt) == ERR_NONE) set_error(r->opt, ERR_DATA, INVALID_RELA);
            return nullptr;
        }
    }
    uint32_t root = pop_tree(r);
    if (root == NO_NODE) {
        set_error(r->opt, ERR_DATA, INVALID_RELA);
        return nullptr;
    }
    const char *text = tree_text(r, root);
    if (r->computing) {
        uint32_t v = pop_value(r);
        if (value_out) *value_out = v;
    }
    // More than one text left: the text is still given, the error ends the run.
    // The condition is named as the message has always named it.
    if (!r->trees.empty()) record_input_check("s->is_empty(s)", r->opt);
    return text;
}

} // namespace

uint32_t rela_addend_shift(uint32_t type, uint8_t arch_code) {
    switch (type) {
    case 4:
    case 5:
    case 9:
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
    case 17:
    case 20:
        return arch_code == 2 ? 1 : 2;
    case 8:
    case 16:
        return 2;
    case 10:
        return arch_code == 0 ? 2 : 0;
    default:
        return 0;
    }
}

int32_t rela_scale_addend(const Elf32_Rela *entry, uint32_t following, uint32_t type,
                          uint8_t arch_code) {
    auto is_add_op = [](const Elf32_Rela *e, bool negate_too) {
        int32_t code = e->r_addend;
        return type_of(e) == R_EXPR_OPERATOR &&
               (code == OP_ADD || code == OP_SUBTRACT || (negate_too && code == OP_NEGATE));
    };
    bool scaled = elf_r_sym(entry->r_info) != 0 || type_of(entry) == R_EXPR_DOT_OPERAND;
    if (!scaled && following >= 1) scaled = is_add_op(&entry[1], true);
    if (!scaled && following >= 2)
        scaled = is_operand(type_of(&entry[1])) && is_add_op(&entry[2], false);
    if (!scaled) return entry->r_addend;
    return entry->r_addend >> rela_addend_shift(type, arch_code);
}

void rela_seek(Elf32_Rela **rela, uint32_t count, uint32_t *index, uint64_t address) {
    RELA_ASSERT(rela && *rela);
    while (*index < count && (*rela)->r_offset < address) {
        ++*rela;
        ++*index;
    }
    if (*index >= count) *rela = nullptr;
}

uint32_t rela_entry_count(int consume, const Elf32_Rela *rela, uint32_t rela_length,
                          uint64_t address, Option_struct *opt) {
    uint32_t inc = 0;
    RELA_ASSERT(rela_length && (inc < rela_length) && (rela->r_offset == address));
    uint32_t first = type_of(rela);
    uint32_t count = 1;
    if (is_operand(first) || first == R_EXPR_END) {
        inc = find_expr_end(rela, rela_length, address);
        if (!RELA_INPUT_CHECK(inc > 0, opt)) return 0;
        if (inc == NOT_FOUND) {
            set_error(opt, ERR_DATA, INVALID_RELA);
            return 0;
        }
        count = inc + 1;
    }
    return consume ? count : 0;
}

int rela_next(int consume, Elf32_Rela **rela, uint32_t *index, uint32_t count, uint64_t address,
              Option_struct *opt) {
    RELA_ASSERT(rela);
    if (*rela == nullptr || count == 0) return 2;
    rela_seek(rela, count, index, address);
    if (*rela == nullptr || (*rela)->r_offset != address) return 2;
    // Nearly every relocation is one ordinary entry: nothing to look for.
    uint32_t type = type_of(*rela);
    uint32_t n = is_operand(type) || type == R_EXPR_END
                     ? rela_entry_count(consume, *rela, count - *index, address, opt)
                     : uint32_t(consume != 0);
    if (consume) {
        *index += n;
        *rela = *index < count ? *rela + n : nullptr;
    }
    return get_error_code(opt) == ERR_NONE ? 1 : 0;
}

uint32_t rela_data_size(Elf32_Rela **rela, uint32_t *index, uint32_t count, uint64_t address,
                        Option_struct *opt) {
    RELA_ASSERT(rela);
    if (*rela == nullptr || count == 0) return 0;
    rela_seek(rela, count, index, address);
    const Elf32_Rela *e = *rela;
    if (e == nullptr || e->r_offset != address) return 0;
    // Only the entries of this relocation (same offset) are looked at.
    for (uint32_t k = 0; k < count - *index && e[k].r_offset == address; k++) {
        uint32_t type = type_of(&e[k]);
        if (type == R_DATA_WORD) return 4;
        if (type == R_EXPR_END) {
            if (e[k].r_addend == int32_t(R_DATA_WORD)) return 4;
            break;
        }
    }
    set_error(opt, ERR_DATA, INVALID_RELA);
    return 0;
}

const char *rela_text(const Elf32_Rela *rela, const char *strtab, const Elf32_Sym *symtab_ptr,
                      uint64_t symcount, const ZEMADisasmLib::InstructionRecord *instr,
                      Symbol_refs_struct **refs, Option_struct *opt, uint32_t *value_out,
                      uint32_t rela_length) {
    RELA_ASSERT(symtab_ptr);
    RELA_ASSERT(rela);
    scratch_struct &s = scratch();
    render_struct r{
        strtab,  symtab_ptr, refs,    opt,     symcount, instr && (instr->flags & FLAG_RELA_VALUE),
        s.trees, s.values,   s.nodes, s.texts, s.out,    s.work};
    if (!is_operand(type_of(rela))) return render_ordinary(&r, rela);

    uint32_t end = find_expr_end(rela, rela_length ? rela_length : NOT_FOUND, rela->r_offset);
    if (end == NOT_FOUND) {
        set_error(opt, ERR_DATA, INVALID_RELA);
        return nullptr;
    }
    r.trees.reserve(end);
    r.nodes.reserve(end);
    if (r.computing) r.values.reserve(end);
    return render_expression(&r, rela, end, value_out);
}

size_t rela_ordinary_text(const Elf32_Rela *rela, const char *strtab, const Elf32_Sym *symtab_ptr,
                          uint64_t symcount, const ZEMADisasmLib::InstructionRecord *instr,
                          uint8_t arch_code, char *text, size_t room) {
    if (is_operand(type_of(rela))) return 0;
    uint32_t sym_index = elf_r_sym(rela->r_info);
    if (sym_index >= symcount) return 0;
    const Elf32_Sym *sym = &symtab_ptr[sym_index];
    // The value of an undefined symbol is an error: rela_text records it.
    if (instr && (instr->flags & FLAG_RELA_VALUE) && sym->st_shndx == 0) return 0;
    std::string_view name = strtab + sym->st_name;
    if (name.size() + ORDINARY_FRAME >= room) return 0;
    int32_t addend = rela_scale_addend(rela, 0, type_of(rela), arch_code);
    char *end = put_ordinary(text, name, addend);
    *end = '\0';
    return size_t(end - text);
}

char *rela_to_chr(const Elf32_Rela *rela, const char *strtab, const Elf32_Sym *symtab_ptr,
                  uint64_t symcount, const ZEMADisasmLib::InstructionRecord *instr,
                  Symbol_refs_struct **refs, Option_struct *opt, uint32_t *value_out,
                  uint32_t rela_length) {
    const char *text =
        rela_text(rela, strtab, symtab_ptr, symcount, instr, refs, opt, value_out, rela_length);
    return text ? kl_strdup(text) : nullptr;
}
