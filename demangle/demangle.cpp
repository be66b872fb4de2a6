// Recursive-descent demangler. Every malformed construct throws Parse_failure,
// which is caught at the entry (demangle_text) and never leaves this file; all
// remembered components live in containers of the parser state, so both the
// success and the failure path release them.
#include "demangle/demangle.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr size_t TEXT_LIMIT = DEMANGLE_BUFFER_SIZE - 1;
constexpr int MAX_DEPTH = 256;
constexpr size_t REMEMBER_BUDGET = size_t(16) << 20; // bytes of remembered text

struct Parse_failure {};

[[noreturn]] void fail() {
    throw Parse_failure{};
}

// How the declarator of an enclosing pointer, reference or member pointer
// attaches: after the text, inside new parentheses, or inside open ones.
enum Shape : unsigned char { SHAPE_PLAIN, SHAPE_CALLABLE, SHAPE_OPEN };

struct Text_struct {
    std::string left;
    std::string right;
    std::string last_name; // repeated by constructors and destructors
    Shape shape = SHAPE_PLAIN;
    bool is_function = false;
};

struct Name_struct {
    Text_struct text;
    bool is_template = false;
    bool is_special = false; // constructor, destructor or conversion operator
    std::string fn_quals;
};

struct Demangler_struct {
    const char *cursor;
    const char *end;
    std::vector<Text_struct> subs;    // substitution candidates, index order
    std::vector<Text_struct> tparams; // arguments of the latest declared list
    size_t remembered_bytes = 0;
    int depth = 0;
};

struct Operator_struct {
    char code[3];
    const char *text;
    int operands;
};

// Ordered by first letter; lookup stops at the first greater first letter.
const Operator_struct OPERATORS[] = {
    {"aa", "&&", 2},      {"ad", "&", 1},         {"an", "&", 2},   {"aN", "&=", 2},
    {"aS", "=", 2},       {"cl", "()", 0},        {"cm", ",", 2},   {"co", "~", 1},
    {"cv", " ", 100},     {"da", " delete[]", 1}, {"de", "*", 1},   {"dl", " delete", 1},
    {"dv", "/", 2},       {"dV", "/=", 2},        {"eo", "^", 2},   {"eO", "^=", 2},
    {"eq", "==", 2},      {"gt", ">", 2},         {"ge", ">=", 2},  {"ix", "[]", 2},
    {"le", "<=", 2},      {"ls", "<<", 2},        {"lS", "<<=", 2}, {"lt", "<", 2},
    {"mi", "-", 2},       {"mI", "-=", 2},        {"ml", "*", 2},   {"mL", "*=", 2},
    {"mm", "--", 1},      {"na", " new[]", 1},    {"ne", "!=", 2},  {"ng", "-", 1},
    {"nt", "!", 1},       {"nw", " new", 1},      {"oo", "||", 2},  {"or", "|", 2},
    {"oR", "|=", 2},      {"pl", "+", 2},         {"pL", "+=", 2},  {"pm", "->*", 2},
    {"pp", "++", 1},      {"ps", "+", 1},         {"pt", "->", 2},  {"qu", "?", 3},
    {"rm", "%", 2},       {"rM", "%=", 2},        {"rs", ">>", 2},  {"rS", ">>=", 2},
    {"sz", " sizeof", 1}, {"sr", "::", 2},
};

const Operator_struct *find_operator(char c0, char c1) {
    for (const Operator_struct &op : OPERATORS) {
        if (op.code[0] > c0) break;
        if (op.code[0] == c0 && op.code[1] == c1) return &op;
    }
    return nullptr;
}

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

// Appends, dropping whatever would pass the output limit.
void put(std::string &s, const std::string &t) {
    if (s.size() < TEXT_LIMIT) s.append(t, 0, TEXT_LIMIT - s.size());
}

std::string flat(const Text_struct &t) {
    std::string s = t.left;
    put(s, t.right);
    return s;
}

Text_struct plain(std::string s, std::string last = {}) {
    Text_struct t;
    t.left = std::move(s);
    t.last_name = std::move(last);
    return t;
}

struct Depth_guard {
    Demangler_struct *d;
    explicit Depth_guard(Demangler_struct *dm) : d(dm) {
        if (++d->depth > MAX_DEPTH) fail();
    }
    ~Depth_guard() { --d->depth; }
};

char peek(const Demangler_struct *d, size_t ahead = 0) {
    return size_t(d->end - d->cursor) > ahead ? d->cursor[ahead] : '\0';
}

bool accept(Demangler_struct *d, char c) {
    if (peek(d) != c || c == '\0') return false;
    ++d->cursor;
    return true;
}

void expect(Demangler_struct *d, char c) {
    if (!accept(d, c)) fail();
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_lower(char c) {
    return c >= 'a' && c <= 'z';
}

void remember(Demangler_struct *d, const Text_struct &t) {
    d->remembered_bytes += t.left.size() + t.right.size() + t.last_name.size() + 1;
    if (d->remembered_bytes > REMEMBER_BUDGET) fail();
    d->subs.push_back(t);
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

Text_struct parse_type(Demangler_struct *d);
void parse_name(Demangler_struct *d, Name_struct *name, bool declaring);
std::string parse_encoding(Demangler_struct *d, bool inner);
std::string parse_expression(Demangler_struct *d);

std::string parse_template_args(Demangler_struct *d, bool declaring) {
    Depth_guard guard(d);
    expect(d, 'I');
    std::vector<Text_struct> args;
    std::string s = "<";
    while (!accept(d, 'E')) {
        Text_struct arg;
        if (accept(d, 'X')) {
            arg = plain(parse_expression(d));
            expect(d, 'E');
        } else if (peek(d) == 'L') {
            arg = plain(parse_expression(d));
        } else {
            arg = parse_type(d);
        }
        if (!args.empty()) put(s, ", ");
        put(s, flat(arg));
        args.push_back(std::move(arg));
    }
    if (args.empty()) fail();
    put(s, s.back() == '>' ? " >" : ">");
    if (declaring) d->tparams = std::move(args);
    return s;
}

Text_struct parse_template_param(Demangler_struct *d) {
    expect(d, 'T');
    size_t index = 0;
    if (!accept(d, '_')) {
        index = parse_count(d) + 1;
        expect(d, '_');
    }
    if (index < d->tparams.size()) return d->tparams[index];
    return plain("__T" + std::to_string(index + 1));
}

Text_struct abbreviation(const char *full, const char *last) {
    return plain(full, last);
}

// After an S that is not St: S_, S<seq>_ or a std abbreviation.
Text_struct parse_substitution(Demangler_struct *d) {
    expect(d, 'S');
    switch (peek(d)) {
    case 'a':
        ++d->cursor;
        return abbreviation("std::allocator", "allocator");
    case 'b':
        ++d->cursor;
        return abbreviation("std::basic_string", "basic_string");
    case 's':
        ++d->cursor;
        return abbreviation("std::string", "string");
    case 'i':
        ++d->cursor;
        return abbreviation("std::istream", "istream");
    case 'o':
        ++d->cursor;
        return abbreviation("std::ostream", "ostream");
    case 'd':
        ++d->cursor;
        return abbreviation("std::iostream", "iostream");
    default:
        break;
    }
    size_t index = 0;
    if (!accept(d, '_')) {
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
        index = seq + 1;
    }
    if (index >= d->subs.size()) fail();
    return d->subs[index];
}

std::string parse_unqualified(Demangler_struct *d, Name_struct *name) {
    char c = peek(d);
    const std::string &last = name->text.last_name;
    if (is_digit(c)) {
        std::string s = parse_source_name(d);
        name->text.last_name = s;
        return s;
    }
    if (c == 'C' || c == 'D') {
        char kind = peek(d, 1);
        d->cursor += 2;
        if (last.empty()) fail();
        name->is_special = true;
        if (c == 'C') {
            if (kind == '1') return last;
            if (kind == '2') return last + "[base]";
            if (kind == '3') return last + "[new]";
        } else {
            if (kind == '0') return "~" + last + "[virtual]";
            if (kind == '1') return "~" + last;
            if (kind == '2') return "~" + last + "[base]";
        }
        fail();
    }
    if (c == 'v' && is_digit(peek(d, 1))) {
        d->cursor += 2;
        return "operator " + parse_source_name(d);
    }
    if (is_lower(c)) {
        const Operator_struct *op = find_operator(c, peek(d, 1));
        if (!op) fail();
        d->cursor += 2;
        if (op->operands == 100) {
            name->is_special = true;
            return "operator " + flat(parse_type(d));
        }
        return std::string("operator") + op->text;
    }
    fail();
}

void join_component(Name_struct *name, const std::string &part, bool have_prefix) {
    if (have_prefix) put(name->text.left, "::");
    put(name->text.left, part);
}

void parse_nested(Demangler_struct *d, Name_struct *name, bool declaring) {
    expect(d, 'N');
    bool is_const = false, is_volatile = false, is_restrict = false;
    is_restrict = accept(d, 'r');
    is_volatile = accept(d, 'V');
    is_const = accept(d, 'K');
    if (is_const) name->fn_quals += "const ";
    if (is_volatile) name->fn_quals += "volatile ";
    if (is_restrict) name->fn_quals += "restrict ";
    bool have = false, pending_std = false;
    while (!accept(d, 'E')) {
        char c = peek(d);
        bool substituted = false;
        if (c != 'I') name->is_special = false;
        name->is_template = false;
        if (c == 'S' && peek(d, 1) == 't' && !have) {
            d->cursor += 2;
            pending_std = true;
            continue;
        }
        if (c == 'S' && !have) {
            name->text = parse_substitution(d);
            substituted = true;
        } else if (c == 'T' && !have) {
            name->text = parse_template_param(d);
        } else if (c == 'I') {
            if (!have) fail();
            put(name->text.left, parse_template_args(d, declaring));
            name->is_template = true;
        } else {
            std::string part = parse_unqualified(d, name);
            if (pending_std) part.insert(0, "std::");
            pending_std = false;
            join_component(name, part, have);
        }
        have = true;
        if (peek(d) != 'E' && !substituted) remember(d, name->text);
    }
    if (!have || pending_std) fail();
}

void parse_local(Demangler_struct *d, Name_struct *name, bool declaring) {
    expect(d, 'Z');
    std::string text = parse_encoding(d, true);
    expect(d, 'E');
    if (accept(d, 's')) {
        put(text, "literal string");
        name->text = plain(text);
    } else {
        Name_struct entity;
        parse_name(d, &entity, declaring);
        put(text, "::");
        put(text, entity.text.left);
        *name = entity;
        name->text.left = text;
    }
    if (accept(d, '_')) {
        if (!is_digit(peek(d))) fail();
        const char *start = d->cursor;
        while (is_digit(peek(d))) ++d->cursor;
        put(name->text.left, " # " + std::string(start, d->cursor));
    }
}

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

// Adds a pointer, reference or member-pointer declarator to a type.
void add_mark(Text_struct *t, const std::string &mark) {
    if (t->shape == SHAPE_CALLABLE) {
        put(t->left, "(" + mark);
        t->right.insert(0, ")");
        t->right.resize(std::min(t->right.size(), TEXT_LIMIT));
        t->shape = SHAPE_OPEN;
    } else {
        put(t->left, mark);
    }
    t->is_function = false;
}

void add_qualifiers(Text_struct *t, const std::string &quals) {
    if (t->is_function)
        put(t->right, quals);
    else if (!t->left.empty() && t->left.back() == '*')
        put(t->left, quals);
    else
        t->left = quals + t->left, t->left.resize(std::min(t->left.size(), TEXT_LIMIT));
}

std::string parse_parameters(Demangler_struct *d) {
    if (peek(d) == 'v' && (peek(d, 1) == '\0' || peek(d, 1) == 'E')) {
        ++d->cursor;
        return "()";
    }
    std::string s = "(";
    bool first = true;
    while (peek(d) != '\0' && peek(d) != 'E') {
        if (!first) put(s, ", ");
        put(s, flat(parse_type(d)));
        first = false;
    }
    if (first) fail();
    put(s, ")");
    return s;
}

Text_struct parse_function_type(Demangler_struct *d) {
    expect(d, 'F');
    Text_struct t;
    if (accept(d, 'Y')) t.left = "extern \"C\" ";
    put(t.left, flat(parse_type(d)));
    put(t.left, " ");
    t.right = parse_parameters(d);
    expect(d, 'E');
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

Text_struct parse_type(Demangler_struct *d) {
    Depth_guard guard(d);
    char c = peek(d);
    if (const char *builtin = builtin_type(c)) {
        ++d->cursor;
        return plain(builtin);
    }
    Text_struct t;
    switch (c) {
    case 'u':
        ++d->cursor;
        t = plain(parse_source_name(d));
        break;
    case 'r':
    case 'V':
    case 'K':
    case 'U':
        t = parse_qualified_type(d);
        break;
    case 'C':
    case 'G':
        ++d->cursor;
        t = parse_type(d);
        t.left.insert(0, c == 'C' ? "complex " : "imaginary ");
        t.left.resize(std::min(t.left.size(), TEXT_LIMIT));
        break;
    case 'P':
    case 'R':
    case 'O':
        ++d->cursor;
        t = parse_type(d);
        add_mark(&t, c == 'P' ? "*" : c == 'R' ? "&" : "&&");
        break;
    case 'M':
        t = parse_member_pointer(d);
        break;
    case 'F':
        t = parse_function_type(d);
        break;
    case 'A':
        t = parse_array_type(d);
        break;
    case 'T':
        t = parse_template_param(d);
        if (peek(d) == 'I') {
            remember(d, t);
            put(t.left, parse_template_args(d, false));
        }
        break;
    case 'S':
        if (peek(d, 1) != 't') {
            t = parse_substitution(d);
            if (peek(d) != 'I') return t;
            put(t.left, parse_template_args(d, false));
            break;
        }
        [[fallthrough]];
    default:
        if (is_digit(c) || c == 'N' || c == 'Z' || c == 'S') {
            Name_struct name;
            parse_name(d, &name, false);
            t = name.text;
            break;
        }
        fail();
    }
    remember(d, t);
    return t;
}

// After the L: a literal, or an encoding introduced by _Z or Z.
std::string parse_literal(Demangler_struct *d) {
    expect(d, 'L');
    if (peek(d) == 'Z' || (peek(d) == '_' && peek(d, 1) == 'Z')) {
        d->cursor += peek(d) == '_' ? 2 : 1;
        std::string s = parse_encoding(d, true);
        expect(d, 'E');
        return s;
    }
    char c = peek(d);
    const char *suffix = nullptr;
    switch (c) {
    case 'a':
    case 'c':
    case 'h':
    case 'i':
    case 's':
        suffix = "";
        break;
    case 'j':
    case 't':
        suffix = "u";
        break;
    case 'l':
        suffix = "l";
        break;
    case 'm':
        suffix = "ul";
        break;
    case 'x':
        suffix = "ll";
        break;
    case 'y':
        suffix = "ull";
        break;
    case 'b':
        suffix = "bool";
        break;
    default:
        break;
    }
    std::string s;
    if (suffix) {
        ++d->cursor;
        std::string value = parse_value(d);
        if (c == 'b' && value == "0")
            s = "false";
        else if (c == 'b' && value == "1")
            s = "true";
        else
            s = value + suffix;
    } else {
        s = "(" + flat(parse_type(d)) + ")";
        put(s, parse_value(d));
    }
    expect(d, 'E');
    return s;
}

std::string parse_expression(Demangler_struct *d) {
    Depth_guard guard(d);
    char c = peek(d);
    if (c == 'T') return flat(parse_template_param(d));
    if (c == 'L') return parse_literal(d);
    const Operator_struct *op = is_lower(c) ? find_operator(c, peek(d, 1)) : nullptr;
    if (!op || op->operands == 0) fail();
    d->cursor += 2;
    std::string s;
    switch (op->operands) {
    case 1:
        s = op->text;
        put(s, parse_expression(d));
        return s;
    case 2:
        s = "(" + parse_expression(d);
        put(s, op->text);
        put(s, parse_expression(d));
        put(s, ")");
        return s;
    case 3:
        s = "(" + parse_expression(d);
        put(s, "?");
        put(s, parse_expression(d));
        put(s, ":");
        put(s, parse_expression(d));
        put(s, ")");
        return s;
    default: // cv: a cast
        s = "((" + flat(parse_type(d));
        put(s, ")");
        put(s, parse_expression(d));
        put(s, ")");
        return s;
    }
}

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

std::string parse_special(Demangler_struct *d, bool inner) {
    if (accept(d, 'G')) {
        expect(d, 'V');
        Name_struct name;
        parse_name(d, &name, false);
        return "guard variable for " + name.text.left;
    }
    expect(d, 'T');
    const char *word = nullptr;
    switch (peek(d)) {
    case 'V':
        word = "virtual table for ";
        break;
    case 'T':
        word = "VTT for ";
        break;
    case 'I':
        word = "typeinfo structure for ";
        break;
    case 'S':
        word = "typeinfo name for ";
        break;
    default:
        break;
    }
    std::string s;
    if (word) {
        ++d->cursor;
        s = word;
        put(s, flat(parse_type(d)));
        return s;
    }
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

std::string parse_encoding(Demangler_struct *d, bool inner) {
    Depth_guard guard(d);
    if (peek(d) == 'T' || (peek(d) == 'G' && peek(d, 1) == 'V')) return parse_special(d, inner);
    Name_struct name;
    parse_name(d, &name, true);
    if (peek(d) == '\0' || (inner && peek(d) == 'E')) return name.text.left;
    std::string s;
    if (name.is_template && !name.is_special) {
        s = flat(parse_type(d));
        put(s, " ");
    }
    put(s, name.text.left);
    put(s, parse_parameters(d));
    put(s, name.fn_quals);
    return s;
}

// Demangles a "_Z" name into text; false when the name is not one or is
// malformed (including text left after the encoding).
bool demangle_text(const char *name, std::string *text) {
    if (!name || name[0] != '_' || name[1] != 'Z') return false;
    Demangler_struct d;
    d.cursor = name + 2;
    d.end = name + std::strlen(name);
    try {
        *text = parse_encoding(&d, false);
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
