// Expressions of template arguments, array dimensions, decltype and noexcept
// operands: operators, literals, template and function parameters, calls,
// member access, casts, sizeof forms, folds and unresolved names.
#include "demangle/parser.h"

namespace demangle_parser {
namespace {

// Ordered by first letter; lookup stops at the first greater first letter.
const Operator_struct OPERATORS[] = {
    {"aa", "&&", 2},      {"ad", "&", 1},         {"an", "&", 2},         {"aN", "&=", 2},
    {"aS", "=", 2},       {"aw", " co_await", 1}, {"cl", "()", 0},        {"cm", ",", 2},
    {"co", "~", 1},       {"cv", " ", 100},       {"da", " delete[]", 1}, {"de", "*", 1},
    {"dl", " delete", 1}, {"dv", "/", 2},         {"dV", "/=", 2},        {"eo", "^", 2},
    {"eO", "^=", 2},      {"eq", "==", 2},        {"gt", ">", 2},         {"ge", ">=", 2},
    {"ix", "[]", 2},      {"le", "<=", 2},        {"ls", "<<", 2},        {"lS", "<<=", 2},
    {"lt", "<", 2},       {"mi", "-", 2},         {"mI", "-=", 2},        {"ml", "*", 2},
    {"mL", "*=", 2},      {"mm", "--", 1},        {"na", " new[]", 1},    {"ne", "!=", 2},
    {"ng", "-", 1},       {"nt", "!", 1},         {"nw", " new", 1},      {"oo", "||", 2},
    {"or", "|", 2},       {"oR", "|=", 2},        {"pl", "+", 2},         {"pL", "+=", 2},
    {"pm", "->*", 2},     {"pp", "++", 1},        {"ps", "+", 1},         {"pt", "->", 2},
    {"qu", "?", 3},       {"rm", "%", 2},         {"rM", "%=", 2},        {"rs", ">>", 2},
    {"rS", ">>=", 2},     {"sz", " sizeof", 1},   {"sr", "::", 2},        {"ss", "<=>", 2},
};

std::string parse_expression_list(Demangler_struct *d) {
    std::string s;
    bool first = true;
    while (!accept(d, 'E')) join_item(s, plain(parse_expression(d)), &first);
    return s;
}

std::string parse_simple_id(Demangler_struct *d) {
    std::string s = parse_source_name(d);
    if (peek(d) == 'I') put(s, parse_template_args(d, false));
    return s;
}

// The type that qualifies an unresolved name: a template parameter, decltype,
// substitution or (std::) class name, each with optional template arguments.
// All but a bare substitution are candidates, and again with their arguments.
std::string parse_unresolved_type(Demangler_struct *d) {
    char c = peek(d);
    bool substituted = c == 'S' && peek(d, 1) != 't';
    Text_struct t;
    if (c == 'T')
        t = parse_template_param(d);
    else if (c == 'D')
        t = plain(parse_decltype(d));
    else if (substituted)
        t = parse_substitution(d);
    else if (accept_code(d, "St"))
        t = plain("std::" + parse_source_name(d));
    else
        t = plain(parse_source_name(d));
    if (!substituted) remember(d, t);
    if (peek(d) != 'I') return flat(t);
    if (substituted) remember(d, t);
    t = plain(flat(t));
    put(t.left, parse_template_args(d, false));
    remember(d, t);
    return t.left;
}

std::string parse_base_unresolved_name(Demangler_struct *d) {
    if (is_digit(peek(d))) return parse_simple_id(d);
    if (accept_code(d, "on")) {
        Name_struct name;
        std::string s = parse_operator_name(d, &name);
        if (peek(d) == 'I') put(s, parse_template_args(d, false));
        return s;
    }
    if (!accept_code(d, "dn")) fail();
    return "~" + parse_unresolved_type(d);
}

// After sr: a name qualified by a type, or by levels after srN.
std::string parse_unresolved_name(Demangler_struct *d) {
    bool levels = accept(d, 'N');
    std::string s = parse_unresolved_type(d);
    while (levels && !accept(d, 'E')) {
        put(s, "::");
        put(s, parse_simple_id(d));
        remember(d, plain(s));
    }
    put(s, "::");
    put(s, parse_base_unresolved_name(d));
    return s;
}

// sr introduces an unresolved name unless both operands are expressions.
bool is_unresolved_scope(const Demangler_struct *d) {
    char c = peek(d, 2);
    if (c == 'N' || is_digit(c) || c == 'D' || c == 'S') return true;
    if (c != 'T') return false;
    size_t i = 3;
    while (is_digit(peek(d, i))) ++i;
    if (peek(d, i) != '_') return false;
    char next = peek(d, i + 1), after = peek(d, i + 2);
    return is_digit(next) || next == 'I' || ((next == 'o' || next == 'd') && after == 'n');
}

// After fp, or fL and its level and p.
std::string parse_function_param(Demangler_struct *d) {
    if (accept(d, 'T')) return "this";
    while (accept(d, 'r') || accept(d, 'V') || accept(d, 'K')) {
    }
    return "{parm#" + parse_ordinal(d) + "}";
}

const Operator_struct *parse_binary_operator(Demangler_struct *d) {
    const Operator_struct *op = find_operator(peek(d), peek(d, 1));
    if (!op || op->operands != 2) fail();
    d->cursor += 2;
    return op;
}

// After f: a function parameter or a fold expression.
std::string parse_f_expression(Demangler_struct *d) {
    char kind = peek(d);
    if (kind == '\0') fail();
    ++d->cursor;
    if (kind == 'p') return parse_function_param(d);
    if (kind == 'L' && is_digit(peek(d))) {
        parse_count(d);
        expect(d, 'p');
        return parse_function_param(d);
    }
    if (kind != 'l' && kind != 'r' && kind != 'L' && kind != 'R') fail();
    std::string op = parse_binary_operator(d)->text;
    std::string s = "(";
    if (kind == 'l') put(s, "..." + op);
    put(s, parse_expression(d));
    if (kind != 'l') put(s, op + "...");
    if (kind == 'L' || kind == 'R') put(s, op + parse_expression(d));
    put(s, ")");
    return s;
}

std::string parse_member_access(Demangler_struct *d, const char *op) {
    std::string s = "(" + parse_expression(d);
    put(s, op);
    put(s, parse_expression(d));
    put(s, ")");
    return s;
}

std::string parse_call(Demangler_struct *d) {
    std::string s = parse_expression(d);
    put(s, "(" + parse_expression_list(d) + ")");
    return s;
}

std::string parse_cast(Demangler_struct *d, const char *word) {
    std::string s = word;
    put(s, "<" + flat(parse_type(d)) + ">(");
    put(s, parse_expression(d));
    put(s, ")");
    return s;
}

// sizeof... of a template parameter that names a pack reads as its length.
std::string parse_sizeof_pack(Demangler_struct *d) {
    const char *start = d->cursor;
    if (peek(d) == 'T') {
        ++d->cursor;
        size_t index = accept(d, '_') ? 0 : parse_count(d) + 1;
        if (index > 0) expect(d, '_');
        if (index < d->tparams.size() && d->tparams[index].is_pack)
            return std::to_string(d->tparams[index].items.size());
        d->cursor = start;
    }
    return "sizeof...(" + parse_expression(d) + ")";
}

std::string parse_typed_expression(Demangler_struct *d, const char *code) {
    std::string c = code;
    if (c == "st") return " sizeof(" + flat(parse_type(d)) + ")";
    if (c == "at") return "alignof(" + flat(parse_type(d)) + ")";
    if (c == "ti") return "typeid(" + flat(parse_type(d)) + ")";
    if (c == "dc") return parse_cast(d, "dynamic_cast");
    if (c == "sc") return parse_cast(d, "static_cast");
    if (c == "cc") return parse_cast(d, "const_cast");
    if (c == "rc") return parse_cast(d, "reinterpret_cast");
    std::string s = flat(parse_type(d)); // tl
    put(s, "{" + parse_expression_list(d) + "}");
    return s;
}

std::string parse_operand_expression(Demangler_struct *d, const char *code) {
    std::string c = code;
    if (c == "dt") return parse_member_access(d, ".");
    if (c == "ds") return parse_member_access(d, ".*");
    if (c == "az") return "alignof(" + parse_expression(d) + ")";
    if (c == "nx") return "noexcept(" + parse_expression(d) + ")";
    if (c == "te") return "typeid(" + parse_expression(d) + ")";
    if (c == "tw") return "throw " + parse_expression(d);
    if (c == "sp") return flat(parse_pack_expansion(d, parse_expression_pattern));
    if (c == "sZ") return parse_sizeof_pack(d);
    if (c == "gs") return "::" + parse_expression(d);
    if (c == "il") return "{" + parse_expression_list(d) + "}";
    if (c == "sr") return parse_unresolved_name(d);
    if (c == "cl") return parse_call(d);
    if (c == "on" || c == "dn") {
        d->cursor -= 2;
        return parse_base_unresolved_name(d);
    }
    std::string s = "sizeof...("; // sP
    bool first = true;
    while (!accept(d, 'E')) join_item(s, parse_template_arg(d), &first);
    put(s, ")");
    return s;
}

// The expression forms beyond the operator table; false when the text at the
// cursor is none of them.
bool parse_special_expression(Demangler_struct *d, std::string *s) {
    static const char *const TYPED[] = {"st", "at", "ti", "dc", "sc", "cc", "rc", "tl"};
    static const char *const OPERAND[] = {"dt", "ds", "az", "nx", "te", "tw", "sp", "sZ",
                                          "gs", "il", "on", "dn", "sP", "sr", "cl"};
    char c0 = peek(d), c1 = peek(d, 1);
    if (c0 == 'f') {
        ++d->cursor;
        *s = parse_f_expression(d);
        return true;
    }
    if (accept_code(d, "tr")) {
        *s = "throw";
        return true;
    }
    for (const char *code : TYPED) {
        if (!accept_code(d, code)) continue;
        *s = parse_typed_expression(d, code);
        return true;
    }
    if (c0 == 's' && c1 == 'r' && !is_unresolved_scope(d)) return false;
    if (c0 == 'c' && c1 == 'l' && d->decltype_operand == 0) return false;
    for (const char *code : OPERAND) {
        if (!accept_code(d, code)) continue;
        *s = parse_operand_expression(d, code);
        return true;
    }
    return false;
}

std::string parse_conversion(Demangler_struct *d) {
    std::string s = "((" + flat(parse_type(d));
    put(s, ")");
    if (accept(d, '_')) {
        put(s, "(" + parse_expression_list(d) + "))");
        return s;
    }
    put(s, parse_expression(d));
    put(s, ")");
    return s;
}

std::string parse_operator_expression(Demangler_struct *d) {
    char c = peek(d);
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
    default:
        return parse_conversion(d);
    }
}

const char *literal_suffix(char c) {
    switch (c) {
    case 'a':
    case 'c':
    case 'h':
    case 'i':
    case 's':
        return "";
    case 'j':
    case 't':
        return "u";
    case 'l':
        return "l";
    case 'm':
        return "ul";
    case 'x':
        return "ll";
    case 'y':
        return "ull";
    case 'b':
        return "bool";
    default:
        return nullptr;
    }
}

// The value of a literal of another type: a decimal number, or for floating
// types the hexadecimal digits of its representation, in brackets.
std::string parse_typed_value(Demangler_struct *d, const std::string &type) {
    bool is_float =
        type == "float" || type == "double" || type == "long double" || type == "__float128";
    const char *start = d->cursor;
    bool hex_letter = false;
    while (is_float && (is_digit(peek(d)) || (peek(d) >= 'a' && peek(d) <= 'f'))) {
        hex_letter = hex_letter || !is_digit(peek(d));
        ++d->cursor;
    }
    if (hex_letter) return "[" + std::string(start, d->cursor) + "]";
    d->cursor = start;
    return parse_value(d);
}

} // namespace

const Operator_struct *find_operator(char c0, char c1) {
    for (const Operator_struct &op : OPERATORS) {
        if (op.code[0] > c0) break;
        if (op.code[0] == c0 && op.code[1] == c1) return &op;
    }
    return nullptr;
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
    const char *suffix = literal_suffix(c);
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
        std::string type = flat(parse_type(d));
        s = "(" + type + ")";
        put(s, parse_typed_value(d, type));
    }
    expect(d, 'E');
    return s;
}

Text_struct parse_expression_pattern(Demangler_struct *d) {
    return plain(parse_expression(d));
}

std::string parse_expression(Demangler_struct *d) {
    Depth_guard guard(d);
    char c = peek(d);
    if (c == 'T') return flat(parse_template_param(d));
    if (c == 'L') return parse_literal(d);
    if (is_digit(c)) return parse_simple_id(d);
    std::string s;
    if (parse_special_expression(d, &s)) return s;
    return parse_operator_expression(d);
}

} // namespace demangle_parser
