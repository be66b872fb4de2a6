// Types: builtin and vendor types, qualifiers, pointers and references (which
// collapse as in C++), member pointers, function, array and vector types,
// decltype, pack expansions and parameter lists.
#include "demangle/parser.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace demangle_parser {
namespace {

const char *builtin_type(char c) {
    switch (c) {
    case 'v':
        return "void";
    case 'w':
        return "wchar_t";
    case 'b':
        return "bool";
    case 'c':
        return "char";
    case 'a':
        return "signed char";
    case 'h':
        return "unsigned char";
    case 's':
        return "short";
    case 't':
        return "unsigned short";
    case 'i':
        return "int";
    case 'j':
        return "unsigned int";
    case 'l':
        return "long";
    case 'm':
        return "unsigned long";
    case 'x':
        return "long long";
    case 'y':
        return "unsigned long long";
    case 'n':
        return "__int128";
    case 'o':
        return "unsigned __int128";
    case 'f':
        return "float";
    case 'd':
        return "double";
    case 'e':
        return "long double";
    case 'g':
        return "__float128";
    case 'z':
        return "...";
    default:
        return nullptr;
    }
}

// The builtin types of two letters, D and this one.
const char *d_builtin_type(char c) {
    static const char CODES[] = "siuacnfdeh";
    static const char *const NAMES[] = {
        "char16_t",          "char32_t",  "char8_t",   "auto",       "decltype(auto)",
        "decltype(nullptr)", "decimal32", "decimal64", "decimal128", "half"};
    const char *at = c == '\0' ? nullptr : std::strchr(CODES, c);
    return at ? NAMES[at - CODES] : nullptr;
}

// After DF: _Float<bits>, _Float<bits>x or the 16-bit brain float.
Text_struct parse_float_type(Demangler_struct *d) {
    size_t bits = parse_count(d);
    if (bits == 16 && accept(d, 'b')) return plain("std::bfloat16_t");
    std::string s = "_Float" + std::to_string(bits);
    if (accept(d, 'x')) return plain(s + "x");
    expect(d, '_');
    return plain(s);
}

// Adds a pointer, reference or member-pointer declarator to a type.
void add_mark(Text_struct *t, const std::string &mark) {
    if (t->shape == SHAPE_CALLABLE) {
        put(t->left, "(" + mark);
        put_front(t->right, ")");
        t->shape = SHAPE_OPEN;
    } else {
        put(t->left, mark);
    }
    t->is_function = false;
    t->ref = REF_NONE;
}

// A reference to a reference collapses: only && to && stays &&.
void add_reference(Text_struct *t, Ref_kind kind) {
    if (t->ref == REF_NONE) {
        add_mark(t, kind == REF_LVALUE ? "&" : "&&");
        t->ref = kind;
        return;
    }
    if (t->ref == REF_RVALUE && kind == REF_LVALUE) {
        size_t n = t->left.size();
        if (n >= 2 && t->left.compare(n - 2, 2, "&&") == 0) t->left.pop_back();
        t->ref = REF_LVALUE;
    }
}

void add_qualifiers(Text_struct *t, const std::string &quals) {
    if (t->is_function) {
        size_t at = std::min(t->quals_at, t->right.size());
        if (at == t->right.size()) {
            put(t->right, quals);
        } else {
            t->right.insert(at, quals);
            t->right.resize(std::min(t->right.size(), TEXT_LIMIT));
        }
        t->quals_at = at + quals.size();
    } else if (!t->left.empty() && t->left.back() == '*') {
        put(t->left, quals);
    } else {
        put_front(t->left, quals);
    }
}

// Before F: a noexcept or throw() clause and transaction safety, as written
// after the parameters.
std::string parse_function_suffix(Demangler_struct *d) {
    bool safe = accept_code(d, "Dx");
    std::string s;
    if (accept_code(d, "Do")) {
        s = "noexcept ";
    } else if (accept_code(d, "DO")) {
        ++d->decltype_operand;
        s = "noexcept(" + parse_expression(d);
        --d->decltype_operand;
        expect(d, 'E');
        put(s, ") ");
    } else if (accept_code(d, "Dw")) {
        s = "throw(";
        bool first = true;
        while (!accept(d, 'E')) join_item(s, parse_type_or_pack(d), &first);
        put(s, ") ");
    }
    if (!safe) safe = accept_code(d, "Dx");
    if (safe) put(s, "transaction_safe ");
    return s;
}

Text_struct parse_function_type(Demangler_struct *d, const std::string &suffix) {
    expect(d, 'F');
    Text_struct t;
    if (accept(d, 'Y')) t.left = "extern \"C\" ";
    Text_struct result = parse_type(d);
    std::string params = parse_parameters(d);
    std::string after = accept(d, 'R') ? "& " : accept(d, 'O') ? "&& " : "";
    expect(d, 'E');
    put(after, suffix);
    t.quals_at = params.size();
    t.right = std::move(params);
    put(t.right, after);
    if (result.shape != SHAPE_OPEN) {
        put(t.left, flat(result));
        put(t.left, " ");
    } else {
        // A returned pointer to function or array: the parameters go inside
        // its declarator.
        put(t.left, result.left);
        put(t.right, result.right);
    }
    t.shape = SHAPE_CALLABLE;
    t.is_function = true;
    return t;
}

Text_struct parse_array_type(Demangler_struct *d) {
    expect(d, 'A');
    std::string dim;
    if (is_digit(peek(d))) {
        dim = parse_value(d);
        if (dim == "0") dim = "*";
    } else if (peek(d) == '_') {
        dim = "*";
    } else {
        dim = parse_expression(d);
    }
    expect(d, '_');
    Text_struct t = parse_type(d);
    if (t.shape == SHAPE_PLAIN) put(t.left, " ");
    std::string right = "[" + dim + "]";
    put(right, t.right);
    t.right = right;
    t.shape = SHAPE_CALLABLE;
    t.is_function = false;
    t.ref = REF_NONE;
    return t;
}

// After Dv: the element type and " __vector(" count ")".
Text_struct parse_vector_type(Demangler_struct *d) {
    std::string count;
    if (accept(d, '_')) {
        count = parse_expression(d);
    } else {
        count = std::to_string(parse_count(d));
    }
    expect(d, '_');
    Text_struct t = plain(flat(parse_type(d)));
    put(t.left, " __vector(" + count + ")");
    return t;
}

Text_struct parse_member_pointer(Demangler_struct *d) {
    expect(d, 'M');
    std::string cls = flat(parse_type(d));
    Text_struct t = parse_type(d);
    if (t.shape == SHAPE_CALLABLE) {
        add_mark(&t, cls + "::*");
    } else {
        put(t.left, " " + cls + "::*");
        t.is_function = false;
        t.ref = REF_NONE;
    }
    return t;
}

Text_struct parse_qualified_type(Demangler_struct *d) {
    while (accept(d, 'U')) parse_source_name(d);
    bool is_restrict = accept(d, 'r');
    bool is_volatile = accept(d, 'V');
    bool is_const = accept(d, 'K');
    std::string quals;
    if (is_const) quals += "const ";
    if (is_volatile) quals += "volatile ";
    if (is_restrict) quals += "restrict ";
    Text_struct t = parse_type(d);
    if (!quals.empty()) add_qualifiers(&t, quals);
    return t;
}

} // namespace

Text_struct parse_pack_expansion(Demangler_struct *d, Text_struct (*pattern)(Demangler_struct *)) {
    Expansion_struct outer = d->expansion;
    d->expansion = Expansion_struct{true, 0, -1};
    const char *start = d->cursor;
    Text_struct first = pattern(d);
    const char *end = d->cursor;
    long size = d->expansion.size;
    Text_struct pack;
    if (size < 0) {
        pack = plain(flat(first));
        put(pack.left, "...");
    } else if (size > 0) {
        size_t bytes = first.left.size() + first.right.size();
        pack.items.push_back(std::move(first));
        bool recording = d->recording;
        d->recording = false;
        for (long i = 1; i < size && bytes < TEXT_LIMIT; ++i) {
            charge_reparse(d, size_t(end - start));
            d->cursor = start;
            d->expansion.index = size_t(i);
            pack.items.push_back(pattern(d));
            bytes += pack.items.back().left.size() + pack.items.back().right.size() + 2;
            if (d->cursor != end) fail();
        }
        d->recording = recording;
        d->cursor = end;
    }
    if (size >= 0) close_pack(&pack);
    d->expansion = outer;
    return pack;
}

namespace {

// Types after D that are not builtin.
Text_struct parse_d_type(Demangler_struct *d) {
    char c = peek(d, 1);
    if (c == 'p') {
        d->cursor += 2;
        return parse_pack_expansion(d, parse_type);
    }
    if (c == 'T' || c == 't') return plain(parse_decltype(d));
    if (c == 'v') {
        d->cursor += 2;
        return parse_vector_type(d);
    }
    if (c == 'o' || c == 'O' || c == 'w' || c == 'x') {
        std::string suffix = parse_function_suffix(d);
        return parse_function_type(d, suffix);
    }
    fail();
}

Text_struct parse_template_param_type(Demangler_struct *d) {
    Text_struct t = parse_template_param(d);
    if (peek(d) == 'I') {
        remember(d, t);
        put(t.left, parse_template_args(d, false));
        t.ref = REF_NONE;
    }
    return t;
}

Text_struct parse_compound_type(Demangler_struct *d) {
    char c = peek(d);
    Text_struct t;
    switch (c) {
    case 'u':
        ++d->cursor;
        return plain(parse_source_name(d));
    case 'r':
    case 'V':
    case 'K':
    case 'U':
        return parse_qualified_type(d);
    case 'C':
    case 'G':
        ++d->cursor;
        t = parse_type(d);
        put_front(t.left, c == 'C' ? "complex " : "imaginary ");
        return t;
    case 'P':
        ++d->cursor;
        t = parse_type(d);
        add_mark(&t, "*");
        return t;
    case 'R':
    case 'O':
        ++d->cursor;
        t = parse_type(d);
        add_reference(&t, c == 'R' ? REF_LVALUE : REF_RVALUE);
        return t;
    case 'M':
        return parse_member_pointer(d);
    case 'F':
        return parse_function_type(d, "");
    case 'A':
        return parse_array_type(d);
    case 'T':
        return parse_template_param_type(d);
    case 'D':
        return parse_d_type(d);
    default:
        break;
    }
    if (!is_digit(c) && c != 'N' && c != 'Z' && c != 'S') fail();
    Name_struct name;
    parse_name(d, &name, false);
    return name.text;
}

} // namespace

Text_struct parse_type_or_pack(Demangler_struct *d) {
    Depth_guard guard(d);
    char c = peek(d);
    if (const char *builtin = builtin_type(c)) {
        ++d->cursor;
        return plain(builtin);
    }
    if (c == 'D') {
        if (const char *builtin = d_builtin_type(peek(d, 1))) {
            d->cursor += 2;
            return plain(builtin);
        }
        if (accept_code(d, "DF")) return parse_float_type(d);
    }
    const char *start = d->cursor;
    size_t pack_references = d->pack_references;
    Text_struct t;
    if (c == 'S' && peek(d, 1) != 't') {
        t = parse_substitution(d);
        if (peek(d) != 'I') return t;
        if (t.is_pack) t = plain(flat(t));
        put(t.left, parse_template_args(d, false));
        t.ref = REF_NONE;
    } else {
        t = parse_compound_type(d);
    }
    // A type that names a closure's auto parameter or an argument pack reads
    // differently where it is reused (outside the closure, in an expansion).
    bool depends = d->closure_signature > 0 || d->pack_references != pack_references;
    t.source = depends ? start : nullptr;
    remember(d, t);
    return t;
}

Text_struct parse_type(Demangler_struct *d) {
    Text_struct t = parse_type_or_pack(d);
    if (t.is_pack) return plain(flat(t));
    return t;
}

Text_struct parse_type_again(Demangler_struct *d, const char *from) {
    const char *resume = d->cursor;
    bool recording = d->recording;
    d->cursor = from;
    d->recording = false;
    Text_struct t = parse_type_or_pack(d);
    charge_reparse(d, size_t(d->cursor - from));
    d->cursor = resume;
    d->recording = recording;
    return t;
}

std::string parse_decltype(Demangler_struct *d) {
    if (!accept_code(d, "DT") && !accept_code(d, "Dt")) fail();
    ++d->decltype_operand;
    std::string e = parse_expression(d);
    --d->decltype_operand;
    expect(d, 'E');
    // A binary expression brings its own parentheses.
    size_t depth = 0, closes_first = std::string::npos;
    for (size_t i = 0; i < e.size() && closes_first == std::string::npos; ++i) {
        if (e[i] == '(') ++depth;
        if (e[i] == ')' && depth > 0 && --depth == 0) closes_first = i;
    }
    if (!e.empty() && e[0] == '(' && closes_first == e.size() - 1) return "decltype" + e;
    return "decltype(" + e + ")";
}

bool ends_parameters(const Demangler_struct *d, size_t ahead) {
    char c = peek(d, ahead);
    if (c == '\0' || c == 'E' || c == '.') return true;
    return (c == 'R' || c == 'O') && peek(d, ahead + 1) == 'E';
}

std::string parse_parameters(Demangler_struct *d) {
    if (peek(d) == 'v' && ends_parameters(d, 1)) {
        ++d->cursor;
        return "()";
    }
    std::string s = "(";
    bool first = true, any = false;
    while (!ends_parameters(d, 0)) {
        join_item(s, parse_type_or_pack(d), &first);
        any = true;
    }
    if (!any) fail();
    put(s, ")");
    return s;
}

} // namespace demangle_parser
