// Internal interface of the recursive-descent demangler: the parse state, the
// text of a parsed construct and the parsing functions shared by its parts.
// Every malformed construct throws Parse_failure, which is caught at the entry
// (demangle.cpp) and never leaves the module.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "demangle/demangle.h"

namespace demangle_parser {

constexpr size_t TEXT_LIMIT = DEMANGLE_BUFFER_SIZE - 1;
constexpr int MAX_DEPTH = 256;
constexpr size_t REMEMBER_BUDGET = size_t(16) << 20; // bytes of remembered text
constexpr size_t REPARSE_BUDGET = size_t(1) << 16;   // bytes parsed again for packs
constexpr size_t MAX_PACK_ITEMS = size_t(1) << 16;   // elements of one argument pack

struct Parse_failure {};

[[noreturn]] inline void fail() {
    throw Parse_failure{};
}

// How the declarator of an enclosing pointer, reference or member pointer
// attaches: after the text, inside new parentheses, or inside open ones.
enum Shape : unsigned char { SHAPE_PLAIN, SHAPE_CALLABLE, SHAPE_OPEN };

// The outermost declarator of a type when it is a reference (for collapsing).
enum Ref_kind : unsigned char { REF_NONE, REF_LVALUE, REF_RVALUE };

struct Text_struct {
    std::string left;
    std::string right;
    std::string last_name;          // repeated by constructors and destructors
    std::vector<Text_struct> items; // elements of an argument pack or expansion,
                                    // which keeps their joined text in left
    size_t quals_at = 0;            // function types: where cv-qualifiers go in right
    const char *source = nullptr;   // read again on reuse: depends on the context
    Shape shape = SHAPE_PLAIN;
    Ref_kind ref = REF_NONE;
    bool is_function = false;
    bool is_pack = false;
};

struct Name_struct {
    Text_struct text;
    bool is_template = false;
    bool is_special = false; // constructor, destructor or conversion operator
    std::string fn_quals;
};

// The pack expansion being parsed: which element, and how many there are
// (-1 until the pattern meets an argument pack).
struct Expansion_struct {
    bool active = false;
    size_t index = 0;
    long size = -1;
};

struct Demangler_struct {
    const char *cursor;
    const char *end;
    std::vector<Text_struct> subs;    // substitution candidates, index order
    std::vector<Text_struct> tparams; // arguments of the latest declared list
    Expansion_struct expansion;
    size_t remembered_bytes = 0;
    size_t reparsed_bytes = 0;
    size_t pack_references = 0; // template parameters read that name a pack
    int depth = 0;
    int local_scope = 0;       // inside the function that encloses a local name
    int closure_signature = 0; // inside the parameter types of a lambda
    int decltype_operand = 0;  // inside decltype or noexcept: calls are read
    bool recording = true;     // off while a pack pattern is parsed again
};

struct Depth_guard {
    Demangler_struct *d;
    explicit Depth_guard(Demangler_struct *dm) : d(dm) {
        if (++d->depth > MAX_DEPTH) fail();
    }
    ~Depth_guard() { --d->depth; }
    Depth_guard(const Depth_guard &) = delete;
    Depth_guard &operator=(const Depth_guard &) = delete;
};

inline char peek(const Demangler_struct *d, size_t ahead = 0) {
    return size_t(d->end - d->cursor) > ahead ? d->cursor[ahead] : '\0';
}

inline bool accept(Demangler_struct *d, char c) {
    if (peek(d) != c || c == '\0') return false;
    ++d->cursor;
    return true;
}

// Accepts a two-letter code.
inline bool accept_code(Demangler_struct *d, const char *code) {
    if (peek(d) != code[0] || peek(d, 1) != code[1]) return false;
    d->cursor += 2;
    return true;
}

inline void expect(Demangler_struct *d, char c) {
    if (!accept(d, c)) fail();
}

inline bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
inline bool is_lower(char c) {
    return c >= 'a' && c <= 'z';
}

// Appends, dropping whatever would pass the output limit.
void put(std::string &s, const std::string &t);
// Inserts at the front, keeping the result within the output limit.
void put_front(std::string &s, const std::string &t);
std::string flat(const Text_struct &t);
Text_struct plain(std::string s, std::string last = {});
// Appends ", " (unless first) and the text; pack elements take their own places.
void join_item(std::string &s, const Text_struct &item, bool *first);
void join_items(std::string &s, const std::vector<Text_struct> &items, bool *first);
// Marks a text as the pack of its items and keeps their joined text.
void close_pack(Text_struct *pack);

void remember(Demangler_struct *d, const Text_struct &t);
size_t parse_count(Demangler_struct *d);
std::string parse_value(Demangler_struct *d);
std::string parse_source_name(Demangler_struct *d);
// [number] _ as 1-based ordinal text: "_" is 1, "0_" is 2.
std::string parse_ordinal(Demangler_struct *d);

struct Operator_struct {
    char code[3];
    const char *text;
    int operands; // 100 for the conversion operator cv
};
const Operator_struct *find_operator(char c0, char c1);

// names.cpp
// <seq-id> _ in base 36.
size_t parse_seq_id(Demangler_struct *d);
void parse_name(Demangler_struct *d, Name_struct *name, bool declaring);
Text_struct parse_substitution(Demangler_struct *d);
Text_struct parse_template_param(Demangler_struct *d);
Text_struct parse_template_arg(Demangler_struct *d);
std::string parse_template_args(Demangler_struct *d, bool declaring);
std::string parse_operator_name(Demangler_struct *d, Name_struct *name);

// types.cpp
Text_struct parse_type(Demangler_struct *d);
Text_struct parse_type_or_pack(Demangler_struct *d);
std::string parse_parameters(Demangler_struct *d);
bool ends_parameters(const Demangler_struct *d, size_t ahead);
// After Dp or sp: the pattern once for every element of the argument pack it
// names (a pack of the texts), or with "..." when it names none.
Text_struct parse_pack_expansion(Demangler_struct *d, Text_struct (*pattern)(Demangler_struct *));
// DT or Dt, the operand and E.
std::string parse_decltype(Demangler_struct *d);
// Reads the type at from again (remembering nothing) and returns to the cursor.
Text_struct parse_type_again(Demangler_struct *d, const char *from);
// Counts bytes parsed a second time against the budget.
void charge_reparse(Demangler_struct *d, size_t bytes);

// expressions.cpp
std::string parse_expression(Demangler_struct *d);
Text_struct parse_expression_pattern(Demangler_struct *d);
std::string parse_literal(Demangler_struct *d);

// demangle.cpp
std::string parse_encoding(Demangler_struct *d, bool inner);

} // namespace demangle_parser
