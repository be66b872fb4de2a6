// Names: nested, local and unscoped names and their components (source names,
// constructors and destructors, operators, closures, unnamed types, ABI tags),
// substitutions, template arguments and template parameters.
#include "demangle/parser.h"

#include <cstdint>
#include <utility>

namespace demangle_parser {
namespace {

Text_struct abbreviation(const char *full, const char *last) {
    return plain(full, last);
}

// Sa, Sb, Ss, Si, So, Sd; nullptr when the code is none of them.
const char *const *find_abbreviation(char c) {
    static const char *const TABLE[][3] = {
        {"a", "std::allocator", "allocator"}, {"b", "std::basic_string", "basic_string"},
        {"s", "std::string", "string"},       {"i", "std::istream", "istream"},
        {"o", "std::ostream", "ostream"},     {"d", "std::iostream", "iostream"},
    };
    for (const auto &row : TABLE)
        if (row[0][0] == c) return row;
    return nullptr;
}

} // namespace

size_t parse_seq_id(Demangler_struct *d) {
    size_t seq = 0;
    bool any = false;
    for (char c = peek(d); c != '_'; c = peek(d)) {
        size_t digit;
        if (is_digit(c))
            digit = size_t(c - '0');
        else if (c >= 'A' && c <= 'Z')
            digit = size_t(c - 'A' + 10);
        else
            fail();
        if (seq > (SIZE_MAX - 35) / 36) fail();
        seq = seq * 36 + digit;
        any = true;
        ++d->cursor;
    }
    if (!any) fail();
    expect(d, '_');
    return seq;
}

namespace {

std::string parse_abi_tags(Demangler_struct *d) {
    std::string s;
    while (accept(d, 'B')) {
        put(s, "[abi:");
        put(s, parse_source_name(d));
        put(s, "]");
    }
    return s;
}

// The mark of a constructor (C) or destructor (D) variant by its digit;
// nullptr for none. The unified variant 4 is the scope of local names only:
// there it stands for the function as written.
const char *variant_mark(const Demangler_struct *d, char c, char kind) {
    static const char *const CONSTRUCTOR[] = {nullptr, "", "[base]", "[new]", nullptr, "[unified]"};
    static const char *const DESTRUCTOR[] = {"[virtual]", "",      "[base]",
                                             nullptr,     nullptr, "[unified]"};
    if (kind == '4') return d->local_scope > 0 ? "" : nullptr;
    if (kind < '0' || kind > '5') return nullptr;
    return (c == 'C' ? CONSTRUCTOR : DESTRUCTOR)[kind - '0'];
}

// After CI: an inheriting constructor, named after the base class it comes from.
std::string parse_inheriting_constructor(Demangler_struct *d, Name_struct *name) {
    char kind = peek(d);
    const char *mark = kind == '3' || kind == '4' ? nullptr : variant_mark(d, 'C', kind);
    if (!mark) fail();
    ++d->cursor;
    Text_struct base = parse_type(d);
    name->is_special = true;
    std::string s = base.last_name.empty() ? flat(base) : base.last_name;
    put(s, mark);
    return s;
}

std::string parse_constructor_or_destructor(Demangler_struct *d, Name_struct *name) {
    char c = peek(d), kind = peek(d, 1);
    if (c == 'C' && kind == 'I') {
        d->cursor += 2;
        return parse_inheriting_constructor(d, name);
    }
    if (kind == '\0') fail();
    d->cursor += 2;
    const std::string &last = name->text.last_name;
    if (last.empty()) fail();
    name->is_special = true;
    const char *mark = variant_mark(d, c, kind);
    if (!mark) fail();
    std::string s = c == 'D' ? "~" + last : last;
    put(s, mark);
    return s;
}

// After Ul: the parameter types of a lambda, E and its number.
std::string parse_closure(Demangler_struct *d) {
    ++d->closure_signature;
    std::string s = "{lambda" + parse_parameters(d);
    --d->closure_signature;
    expect(d, 'E');
    put(s, "#" + parse_ordinal(d) + "}");
    return s;
}

// After DC: the names of a structured binding.
std::string parse_structured_binding(Demangler_struct *d) {
    std::string s = "[" + parse_source_name(d);
    while (!accept(d, 'E')) {
        put(s, ", ");
        put(s, parse_source_name(d));
    }
    put(s, "]");
    return s;
}

} // namespace

std::string parse_operator_name(Demangler_struct *d, Name_struct *name) {
    char c = peek(d), c1 = peek(d, 1);
    if (c == 'v' && is_digit(c1)) {
        d->cursor += 2;
        return "operator " + parse_source_name(d);
    }
    if (accept_code(d, "li")) return "operator\"\" " + parse_source_name(d);
    const Operator_struct *op = is_lower(c) ? find_operator(c, c1) : nullptr;
    if (!op) fail();
    d->cursor += 2;
    if (op->operands == 100) {
        name->is_special = true;
        return "operator " + flat(parse_type(d));
    }
    return std::string("operator") + op->text;
}

namespace {

std::string parse_unqualified_core(Demangler_struct *d, Name_struct *name) {
    char c = peek(d);
    std::string s;
    if (is_digit(c)) {
        s = parse_source_name(d);
    } else if (accept_code(d, "Ut")) {
        s = "{unnamed type#" + parse_ordinal(d) + "}";
    } else if (accept_code(d, "Ul")) {
        s = parse_closure(d);
    } else if (accept_code(d, "DC")) {
        return parse_structured_binding(d);
    } else if (c == 'C' || c == 'D') {
        return parse_constructor_or_destructor(d, name);
    } else {
        return parse_operator_name(d, name);
    }
    name->text.last_name = s;
    return s;
}

// An unqualified name; an internal-linkage mark before it changes nothing in
// the readable form, ABI tags after it are shown.
std::string parse_unqualified(Demangler_struct *d, Name_struct *name) {
    accept(d, 'L');
    std::string s = parse_unqualified_core(d, name);
    put(s, parse_abi_tags(d));
    return s;
}

void join_component(Name_struct *name, const std::string &part, bool have_prefix) {
    if (have_prefix) put(name->text.left, "::");
    put(name->text.left, part);
}

// The cv- and ref-qualifiers of a member function after N.
void parse_member_qualifiers(Demangler_struct *d, Name_struct *name) {
    bool is_restrict = accept(d, 'r');
    bool is_volatile = accept(d, 'V');
    bool is_const = accept(d, 'K');
    if (is_const) name->fn_quals += "const ";
    if (is_volatile) name->fn_quals += "volatile ";
    if (is_restrict) name->fn_quals += "restrict ";
    if (accept(d, 'R'))
        name->fn_quals += "& ";
    else if (accept(d, 'O'))
        name->fn_quals += "&& ";
}

// One component of a nested name; false when it is a substitution, which is
// not remembered again.
bool parse_nested_component(Demangler_struct *d, Name_struct *name, bool have, bool *pending_std,
                            bool declaring) {
    char c = peek(d), c1 = peek(d, 1);
    if (c == 'S' && !have) {
        name->text = parse_substitution(d);
        return false;
    }
    if (c == 'T' && !have) {
        name->text = parse_template_param(d);
    } else if (c == 'D' && (c1 == 'T' || c1 == 't') && !have) {
        name->text = plain(parse_decltype(d));
    } else if (c == 'I') {
        if (!have) fail();
        put(name->text.left, parse_template_args(d, declaring));
        name->is_template = true;
    } else {
        std::string part = parse_unqualified(d, name);
        if (*pending_std) part.insert(0, "std::");
        *pending_std = false;
        join_component(name, part, have);
    }
    return true;
}

void parse_nested(Demangler_struct *d, Name_struct *name, bool declaring) {
    expect(d, 'N');
    parse_member_qualifiers(d, name);
    bool have = false, pending_std = false;
    while (!accept(d, 'E')) {
        if (peek(d) != 'I') name->is_special = false;
        name->is_template = false;
        if (peek(d) == 'S' && peek(d, 1) == 't' && !have) {
            d->cursor += 2;
            pending_std = true;
            continue;
        }
        bool fresh = parse_nested_component(d, name, have, &pending_std, declaring);
        have = true;
        if (peek(d) != 'E' && fresh) remember(d, name->text);
    }
    if (!have || pending_std) fail();
}

// _ digit, or __ number _ for numbers of two digits or more. An underscore
// without a number is left to what follows (the reference temporary's end).
void parse_discriminator(Demangler_struct *d, std::string *text) {
    const char *underscore = d->cursor;
    if (!accept(d, '_')) return;
    bool long_form = accept(d, '_');
    if (!is_digit(peek(d))) {
        d->cursor = underscore;
        return;
    }
    const char *start = d->cursor;
    while (is_digit(peek(d))) ++d->cursor;
    std::string digits(start, d->cursor);
    if (long_form) expect(d, '_');
    put(*text, " # " + digits);
}

void parse_local(Demangler_struct *d, Name_struct *name, bool declaring) {
    expect(d, 'Z');
    ++d->local_scope;
    std::string text = parse_encoding(d, true);
    --d->local_scope;
    expect(d, 'E');
    if (accept(d, 's')) {
        put(text, "literal string");
        name->text = plain(text);
    } else {
        if (peek(d) == 'd' && (is_digit(peek(d, 1)) || peek(d, 1) == '_')) {
            ++d->cursor;
            put(text, "::{default arg#" + parse_ordinal(d) + "}");
        }
        Name_struct entity;
        parse_name(d, &entity, declaring);
        put(text, "::");
        put(text, entity.text.left);
        *name = entity;
        name->text.left = text;
    }
    parse_discriminator(d, &name->text.left);
}

} // namespace

void parse_name(Demangler_struct *d, Name_struct *name, bool declaring) {
    Depth_guard guard(d);
    char c = peek(d);
    if (c == 'N') return parse_nested(d, name, declaring);
    if (c == 'Z') return parse_local(d, name, declaring);
    if (c == 'S' && peek(d, 1) != 't') {
        name->text = parse_substitution(d);
    } else {
        bool is_std = c == 'S';
        if (is_std) d->cursor += 2;
        std::string part = parse_unqualified(d, name);
        name->text.left = is_std ? "std::" + part : part;
        if (peek(d) == 'I') remember(d, name->text);
    }
    if (peek(d) == 'I') {
        put(name->text.left, parse_template_args(d, declaring));
        name->is_template = true;
    }
}

// After an S that is not St: S_, S<seq>_ or a std abbreviation.
Text_struct parse_substitution(Demangler_struct *d) {
    expect(d, 'S');
    if (const char *const *row = find_abbreviation(peek(d))) {
        ++d->cursor;
        return abbreviation(row[1], row[2]);
    }
    size_t index = accept(d, '_') ? 0 : parse_seq_id(d) + 1;
    if (index >= d->subs.size()) fail();
    const Text_struct &t = d->subs[index];
    // A closure's auto:N reused outside its parameters stands for the call
    // operator's template argument, a pack for the element being expanded.
    if (t.source) return parse_type_again(d, t.source);
    return t;
}

Text_struct parse_template_param(Demangler_struct *d) {
    expect(d, 'T');
    size_t index = 0;
    if (!accept(d, '_')) {
        index = parse_count(d) + 1;
        expect(d, '_');
    }
    if (d->closure_signature > 0) return plain("auto:" + std::to_string(index + 1));
    if (index >= d->tparams.size()) return plain("__T" + std::to_string(index + 1));
    const Text_struct &arg = d->tparams[index];
    if (!arg.is_pack) return arg;
    ++d->pack_references;
    if (!d->expansion.active) return plain(flat(arg));
    Expansion_struct &x = d->expansion;
    if (x.size < 0) x.size = long(arg.items.size());
    if (x.index < arg.items.size()) return arg.items[x.index];
    if (arg.items.empty()) return Text_struct{};
    fail();
}

Text_struct parse_template_arg(Demangler_struct *d) {
    if (accept(d, 'X')) {
        // An expanded pack gives arguments of their own.
        Text_struct arg = accept_code(d, "sp") ? parse_pack_expansion(d, parse_expression_pattern)
                                               : plain(parse_expression(d));
        expect(d, 'E');
        return arg;
    }
    if (peek(d) == 'L') return plain(parse_expression(d));
    if (!accept(d, 'J')) return parse_type_or_pack(d);
    Depth_guard guard(d);
    Text_struct pack;
    while (!accept(d, 'E')) {
        Text_struct arg = parse_template_arg(d);
        if (arg.is_pack)
            for (Text_struct &item : arg.items) pack.items.push_back(std::move(item));
        else
            pack.items.push_back(std::move(arg));
        if (pack.items.size() > MAX_PACK_ITEMS) fail();
    }
    close_pack(&pack);
    return pack;
}

std::string parse_template_args(Demangler_struct *d, bool declaring) {
    Depth_guard guard(d);
    expect(d, 'I');
    std::vector<Text_struct> args;
    while (!accept(d, 'E')) args.push_back(parse_template_arg(d));
    if (args.empty()) fail();
    std::string s = "<";
    bool first = true;
    join_items(s, args, &first);
    put(s, s.back() == '>' ? " >" : ">");
    if (declaring) d->tparams = std::move(args);
    return s;
}

} // namespace demangle_parser
