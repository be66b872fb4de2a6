// Recursive-descent demangler: the entry points, encodings, special names and
// the text helpers shared by the parser's parts. Every malformed construct
// throws Parse_failure, which is caught at the entry (demangle_text) and never
// leaves this module; all remembered components live in containers of the
// parser state, so both the success and the failure path release them.
#include "demangle/demangle.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "demangle/parser.h"

namespace demangle_parser {

void put(std::string &s, const std::string &t) {
    if (s.size() < TEXT_LIMIT) s.append(t, 0, TEXT_LIMIT - s.size());
}

void put_front(std::string &s, const std::string &t) {
    s.insert(0, t);
    s.resize(std::min(s.size(), TEXT_LIMIT));
}

std::string flat(const Text_struct &t) {
    if (t.is_pack) return t.left;
    std::string s = t.left;
    put(s, t.right);
    return s;
}

Text_struct plain(std::string s, std::string last) {
    Text_struct t;
    t.left = std::move(s);
    t.last_name = std::move(last);
    return t;
}

void join_item(std::string &s, const Text_struct &item, bool *first) {
    if (item.is_pack) return join_items(s, item.items, first);
    if (!*first) put(s, ", ");
    put(s, flat(item));
    *first = false;
}

void join_items(std::string &s, const std::vector<Text_struct> &items, bool *first) {
    for (const Text_struct &item : items) {
        if (s.size() >= TEXT_LIMIT) return; // the rest would be dropped
        join_item(s, item, first);
    }
}

void close_pack(Text_struct *pack) {
    pack->is_pack = true;
    pack->left.clear();
    bool first = true;
    join_items(pack->left, pack->items, &first);
}

namespace {

size_t text_size(const Text_struct &t) {
    size_t n = t.left.size() + t.right.size() + t.last_name.size() + 1;
    for (const Text_struct &item : t.items) n += text_size(item);
    return n;
}

} // namespace

void remember(Demangler_struct *d, const Text_struct &t) {
    if (!d->recording) return;
    d->remembered_bytes += text_size(t);
    if (d->remembered_bytes > REMEMBER_BUDGET) fail();
    d->subs.push_back(t);
}

void charge_reparse(Demangler_struct *d, size_t bytes) {
    d->reparsed_bytes += bytes;
    if (d->reparsed_bytes > REPARSE_BUDGET) fail();
}

size_t parse_count(Demangler_struct *d) {
    if (!is_digit(peek(d))) fail();
    size_t n = 0;
    while (is_digit(peek(d))) {
        if (n > (SIZE_MAX - 9) / 10) fail();
        n = n * 10 + size_t(*d->cursor++ - '0');
    }
    return n;
}

// Decimal with an optional leading n for minus, as plain digits.
std::string parse_value(Demangler_struct *d) {
    bool negative = accept(d, 'n');
    if (!is_digit(peek(d))) fail();
    while (peek(d) == '0' && is_digit(peek(d, 1))) ++d->cursor;
    const char *start = d->cursor;
    while (is_digit(peek(d))) ++d->cursor;
    std::string digits(start, d->cursor);
    if (negative && digits != "0") digits.insert(0, "-");
    return digits;
}

std::string parse_source_name(Demangler_struct *d) {
    size_t n = parse_count(d);
    if (n == 0 || n > size_t(d->end - d->cursor)) fail();
    if (std::memchr(d->cursor, '\0', n)) fail();
    std::string s(d->cursor, n);
    d->cursor += n;
    return s;
}

std::string parse_ordinal(Demangler_struct *d) {
    if (accept(d, '_')) return "1";
    size_t n = parse_count(d);
    expect(d, '_');
    return std::to_string(n + 2);
}

namespace {

std::string parse_offset_number(Demangler_struct *d) {
    std::string n = parse_value(d);
    expect(d, '_');
    return n;
}

std::string parse_call_offset(Demangler_struct *d) {
    if (accept(d, 'h')) return "(" + parse_offset_number(d) + ")";
    if (accept(d, 'v')) {
        std::string a = parse_offset_number(d);
        return "(" + a + "," + parse_offset_number(d) + ")";
    }
    return "()";
}

std::string parse_name_text(Demangler_struct *d) {
    Name_struct name;
    parse_name(d, &name, false);
    return name.text.left;
}

// After GR: the object a reference is bound to, and the temporary's number.
std::string parse_reference_temporary(Demangler_struct *d) {
    std::string name = parse_name_text(d);
    std::string number = accept(d, '_') ? "0" : std::to_string(parse_seq_id(d) + 1);
    return "reference temporary #" + number + " for " + name;
}

// After G: guard variables, reference temporaries, transaction clones and
// hidden aliases.
std::string parse_g_special(Demangler_struct *d, bool inner) {
    std::string s;
    if (accept(d, 'V')) {
        s = "guard variable for " + parse_name_text(d);
    } else if (accept(d, 'R')) {
        s = parse_reference_temporary(d);
    } else if (accept_code(d, "Tt")) {
        s = "transaction clone for ";
        put(s, parse_encoding(d, inner));
    } else if (accept_code(d, "Tn")) {
        s = "non-transaction clone for ";
        put(s, parse_encoding(d, inner));
    } else if (accept(d, 'A')) {
        s = "hidden alias for ";
        put(s, parse_encoding(d, inner));
    } else {
        fail();
    }
    return s;
}

// After TC: the construction virtual table of a base inside a derived class.
std::string parse_construction_vtable(Demangler_struct *d) {
    std::string derived = flat(parse_type(d));
    parse_count(d);
    expect(d, '_');
    std::string s = "construction virtual table for ";
    put(s, flat(parse_type(d)));
    put(s, "-in-");
    put(s, derived);
    return s;
}

const char *type_special_word(char c) {
    switch (c) {
    case 'V':
        return "virtual table for ";
    case 'T':
        return "VTT for ";
    case 'I':
        return "typeinfo structure for ";
    case 'S':
        return "typeinfo name for ";
    default:
        return nullptr;
    }
}

// After T: tables, typeinfo, thread-local helpers, template parameter objects
// and thunks.
std::string parse_t_special(Demangler_struct *d, bool inner) {
    std::string s;
    if (const char *word = type_special_word(peek(d))) {
        ++d->cursor;
        s = word;
        put(s, flat(parse_type(d)));
        return s;
    }
    if (accept(d, 'H')) return "TLS init function for " + parse_name_text(d);
    if (accept(d, 'W')) return "TLS wrapper function for " + parse_name_text(d);
    if (accept(d, 'C')) return parse_construction_vtable(d);
    if (accept(d, 'A')) return "template parameter object for " + flat(parse_template_arg(d));
    if (peek(d) == 'h' || peek(d) == 'v') {
        s = "virtual thunk " + parse_call_offset(d) + " to ";
    } else if (accept(d, 'c')) {
        s = "covariant virtual thunk (" + parse_call_offset(d);
        s += parse_call_offset(d) + ") to ";
    } else {
        fail();
    }
    put(s, parse_encoding(d, inner));
    return s;
}

// GCC's clone suffixes (.cold, .isra.0, .constprop.1, ...), each shown as
// " [clone .name]".
std::string parse_clone_suffixes(Demangler_struct *d) {
    std::string s;
    while (peek(d) == '.') {
        const char *start = d->cursor++;
        char c = peek(d);
        if (is_lower(c) || (c >= 'A' && c <= 'Z') || c == '_') {
            while (is_lower(peek(d)) || (peek(d) >= 'A' && peek(d) <= 'Z') || peek(d) == '_')
                ++d->cursor;
        } else if (is_digit(c)) {
            while (is_digit(peek(d))) ++d->cursor;
        } else {
            fail();
        }
        while (peek(d) == '.' && is_digit(peek(d, 1))) {
            ++d->cursor;
            while (is_digit(peek(d))) ++d->cursor;
        }
        put(s, " [clone " + std::string(start, d->cursor) + "]");
    }
    return s;
}

} // namespace

std::string parse_encoding(Demangler_struct *d, bool inner) {
    Depth_guard guard(d);
    if (peek(d) == 'T') {
        ++d->cursor;
        return parse_t_special(d, inner);
    }
    if (peek(d) == 'G' &&
        (peek(d, 1) == 'V' || peek(d, 1) == 'R' || peek(d, 1) == 'T' || peek(d, 1) == 'A')) {
        ++d->cursor;
        return parse_g_special(d, inner);
    }
    Name_struct name;
    parse_name(d, &name, true);
    char next = peek(d);
    if (next == '\0' || next == '.' || (inner && next == 'E')) return name.text.left;
    std::string s;
    Text_struct result;
    bool has_result = name.is_template && !name.is_special;
    if (has_result) result = parse_type(d);
    if (result.shape == SHAPE_OPEN) {
        s = result.left; // a returned pointer to function or array wraps the rest
    } else if (has_result) {
        s = flat(result);
        put(s, " ");
        result = Text_struct{};
    }
    put(s, name.text.left);
    put(s, parse_parameters(d));
    put(s, name.fn_quals);
    put(s, result.right);
    return s;
}

} // namespace demangle_parser

namespace {

using namespace demangle_parser;

// Demangles a "_Z" name into text; false when the name is not one or is
// malformed (including text left after the encoding).
bool demangle_text(const char *name, std::string *text) {
    if (!name || name[0] != '_' || name[1] != 'Z') return false;
    Demangler_struct d;
    d.cursor = name + 2;
    d.end = name + std::strlen(name);
    try {
        *text = parse_encoding(&d, false);
        put(*text, parse_clone_suffixes(&d));
        return d.cursor == d.end;
    } catch (const Parse_failure &) {
        return false;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

void copy_cut(const char *text, size_t length, char *buffer, size_t size) {
    size_t n = length < size - 1 ? length : size - 1;
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
}

} // namespace

void demangle(const char *name, char *buffer, size_t size) {
    if (!buffer || size == 0) return;
    if (!name) {
        buffer[0] = '\0';
        return;
    }
    std::string text;
    if (demangle_text(name, &text))
        copy_cut(text.data(), text.size(), buffer, size);
    else
        copy_cut(name, std::strlen(name), buffer, size);
}

const char *demangle_symbol(const char *name, int mode, Option_struct *opt) {
    if (mode == 0 || !name || !opt) return name;
    const char *rest = (name[0] == '_' && name[1] == '_' && name[2] == 'Z') ? name + 1 : name;
    std::string text;
    if (!demangle_text(rest, &text)) return name;
    copy_cut(text.data(), text.size(), opt->demangle_buffer, DEMANGLE_BUFFER_SIZE);
    if (std::strcmp(opt->demangle_buffer, rest) == 0) return name;
    if (mode == 1) return opt->demangle_buffer;
    size_t need = std::strlen(name) + TEXT_LIMIT + 3;
    if (opt->demangle_joined_size < need) {
        char *grown = static_cast<char *>(std::realloc(opt->demangle_joined, need));
        if (!grown) return name;
        opt->demangle_joined = grown;
        opt->demangle_joined_size = need;
    }
    std::snprintf(opt->demangle_joined, opt->demangle_joined_size, "%s{%s}", name,
                  opt->demangle_buffer);
    return opt->demangle_joined;
}
