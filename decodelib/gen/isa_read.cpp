// Reader of the architecture description format: logical lines, loops and
// includes, type, group and instruction statements.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "decodelib/gen/isa_model.h"

namespace isagen {

namespace {

struct LogicalLine {
    std::string file;
    int line = 0;
    std::string text;
};

struct Token {
    std::string text;
    bool quoted = false;
    size_t quote_begin = std::string::npos; // first character that came from quotes
    size_t quote_end = 0;                   // one past the last such character
};

struct Binding {
    std::string var, text;
    uint64_t value;
};

struct ListEntry {
    std::string text;
    uint64_t value;
};

struct Reader {
    IsaSet &set;
    Diagnostics &diag;
    std::map<std::string, std::vector<ListEntry>> lists;
    std::map<std::string, std::string> list_where;
    std::map<std::string, std::vector<std::string>> groups;
    bool seen_arch = false;
    bool stopped = false; // the top-level file does not begin with arch
    int include_depth = 0;
};

bool parse_number(const std::string &s, uint64_t &out) {
    if (s.empty()) return false;
    int base = 10;
    size_t i = 0;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        base = 16, i = 2;
    else if (s.size() > 2 && s[0] == '0' && (s[1] == 'b' || s[1] == 'B'))
        base = 2, i = 2;
    uint64_t v = 0;
    for (; i < s.size(); ++i) {
        int d;
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return false;
        if (d >= base) return false;
        if (v > (UINT64_MAX - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) return false;
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    }
    out = v;
    return true;
}

bool parse_u32(const std::string &s, uint32_t &out) {
    uint64_t v;
    if (!parse_number(s, v) || v > UINT32_MAX) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

// Removes comments and joins continued lines; line numbers are those of the
// first physical line of each logical line.
std::vector<LogicalLine> logical_lines(const std::string &file, const std::string &text) {
    std::vector<LogicalLine> out;
    std::istringstream in(text);
    std::string raw, pending;
    int number = 0, first = 0;
    while (std::getline(in, raw)) {
        ++number;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::string stripped;
        bool in_quote = false, in_var = false;
        for (size_t i = 0; i < raw.size(); ++i) {
            char c = raw[i];
            if (c == '$' && i + 1 < raw.size() && raw[i + 1] == '{')
                in_var = true;
            else if (c == '}')
                in_var = false;
            if (in_quote && c == '\\' && i + 1 < raw.size()) {
                stripped += c;
                stripped += raw[++i];
                continue;
            }
            if (c == '"') in_quote = !in_quote;
            if (c == '#' && !in_quote && !in_var) break;
            stripped += c;
        }
        bool continued = false;
        size_t end = stripped.find_last_not_of(" \t");
        if (end != std::string::npos && stripped[end] == '\\' && !in_quote) {
            continued = true;
            stripped.erase(end);
        }
        if (pending.empty()) first = number;
        pending += stripped;
        if (continued) {
            pending += ' ';
            continue;
        }
        if (pending.find_first_not_of(" \t") != std::string::npos)
            out.push_back({file, first, pending});
        pending.clear();
    }
    if (pending.find_first_not_of(" \t") != std::string::npos)
        out.push_back({file, first, pending});
    return out;
}

bool tokenize(const std::string &line, std::vector<Token> &tokens, std::string &error) {
    tokens.clear();
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        Token t;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            if (line[i] != '"') {
                t.text += line[i++];
                continue;
            }
            ++i;
            t.quoted = true;
            if (t.quote_begin == std::string::npos) t.quote_begin = t.text.size();
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '\\' && i < line.size()) {
                    t.text += line[i++];
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    t.text += c;
                }
            }
            if (!closed) {
                error = "unterminated quoted text";
                return false;
            }
            t.quote_end = t.text.size();
        }
        tokens.push_back(t);
    }
    return true;
}

std::string where_of(const LogicalLine &l, const std::vector<Binding> &bindings) {
    std::string w = l.file + ":" + std::to_string(l.line);
    if (bindings.empty()) return w;
    w += " (";
    for (size_t i = 0; i < bindings.size(); ++i) {
        if (i) w += ", ";
        w += bindings[i].var + "=" + bindings[i].text;
    }
    return w + ")";
}

bool substitute(const std::string &in, const std::vector<Binding> &bindings, std::string &out,
                std::string &error) {
    out.clear();
    for (size_t i = 0; i < in.size();) {
        if (in.compare(i, 2, "${") != 0) {
            out += in[i++];
            continue;
        }
        size_t close = in.find('}', i);
        if (close == std::string::npos) {
            error = "unterminated ${";
            return false;
        }
        std::string var = in.substr(i + 2, close - i - 2);
        bool want_value = !var.empty() && var.back() == '#';
        if (want_value) var.pop_back();
        const Binding *b = nullptr;
        for (auto it = bindings.rbegin(); it != bindings.rend(); ++it)
            if (it->var == var) {
                b = &*it;
                break;
            }
        if (!b) {
            error = "unknown loop variable '" + var + "'";
            return false;
        }
        out += want_value ? std::to_string(b->value) : b->text;
        i = close + 1;
    }
    return true;
}

bool parse_list_entries(const std::vector<Token> &tokens, size_t from, std::vector<ListEntry> &out,
                        std::string &error) {
    for (size_t i = from; i < tokens.size(); ++i) {
        const std::string &s = tokens[i].text;
        size_t eq = s.rfind('=');
        if (eq == std::string::npos || (tokens[i].quoted && eq < tokens[i].quote_end)) {
            out.push_back({s, static_cast<uint64_t>(out.size())});
            continue;
        }
        uint64_t v;
        if (!parse_number(s.substr(eq + 1), v)) {
            error = "bad list value in '" + s + "'";
            return false;
        }
        out.push_back({s.substr(0, eq), v});
    }
    return true;
}

// Expands PRE{A..B}POST into one text per number.
bool expand_braces(const std::string &text, std::vector<std::string> &out, std::string &error) {
    size_t open = text.find('{');
    if (open == std::string::npos) {
        out.push_back(text);
        return true;
    }
    size_t close = text.find('}', open);
    size_t dots = text.find("..", open);
    uint64_t a, b;
    if (close == std::string::npos || dots == std::string::npos || dots > close ||
        !parse_number(text.substr(open + 1, dots - open - 1), a) ||
        !parse_number(text.substr(dots + 2, close - dots - 2), b) || a > b || b - a > 4096) {
        error = "bad range in table entry '" + text + "'";
        return false;
    }
    for (uint64_t n = a; n <= b; ++n)
        out.push_back(text.substr(0, open) + std::to_string(n) + text.substr(close + 1));
    return true;
}

bool parse_table_entry(const Token &t, uint64_t &counter, TypeDecl &type, std::string &error) {
    std::string text = t.text;
    size_t unquoted_head = t.quoted ? t.quote_begin : text.size();
    size_t eq = text.find('=');
    if (eq != std::string::npos && eq < unquoted_head && eq > 0) {
        uint64_t v;
        if (parse_number(text.substr(0, eq), v)) {
            counter = v;
            text.erase(0, eq + 1);
        }
    }
    uint64_t repeat = 1;
    size_t tail = t.quoted ? t.quote_end - (t.text.size() - text.size()) : 0;
    size_t star = text.rfind('*');
    if (star != std::string::npos && star + 1 < text.size() && star >= tail) {
        uint64_t n;
        if (parse_number(text.substr(star + 1), n) && n > 0 && n <= 4096) {
            repeat = n;
            text.erase(star);
        }
    }
    std::vector<std::string> texts;
    if (!expand_braces(text, texts, error)) return false;
    for (uint64_t r = 0; r < repeat; ++r)
        for (const std::string &s : texts) type.entries.push_back({counter++, s});
    return true;
}

bool parse_reloc(const std::string &text, TypeDecl &type) {
    size_t c1 = text.find(':');
    if (c1 == std::string::npos || c1 == 0) return false;
    size_t c2 = text.find(':', c1 + 1);
    type.reloc_name = text.substr(0, c1);
    std::string num =
        text.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
    if (!parse_u32(num, type.reloc_type)) return false;
    if (c2 != std::string::npos) {
        uint32_t w;
        if (!parse_u32(text.substr(c2 + 1), w)) return false;
        type.reloc_width = static_cast<int32_t>(w);
    }
    return true;
}

void read_type(Reader &r, const std::vector<Token> &t, const std::string &where) {
    if (t.size() < 3) return r.diag.error(where, "type needs a name and a kind");
    TypeDecl type;
    type.name = t[1].text;
    type.where = where;
    size_t i = 3;
    if (t[2].text == "imm") {
        type.kind = TypeKind::Immediate;
    } else if (t[2].text == "table") {
        type.kind = TypeKind::Table;
    } else if (t[2].text.rfind("slot=", 0) == 0) {
        type.kind = TypeKind::Slot;
        type.slot = slot_code(t[2].text.substr(5));
        if (!type.slot) return r.diag.error(where, "unknown slot '" + t[2].text.substr(5) + "'");
    } else {
        return r.diag.error(where, "unknown field kind '" + t[2].text + "'");
    }
    for (; i < t.size() && !t[i].quoted; ++i) {
        const std::string &o = t[i].text;
        if (o == "signed" && type.kind == TypeKind::Immediate)
            type.is_signed = true;
        else if (o.rfind("shift=", 0) == 0 && type.kind != TypeKind::Slot) {
            if (!parse_u32(o.substr(6), type.shift) || type.shift > 63)
                return r.diag.error(where, "bad shift '" + o + "'");
        } else if (o.rfind("reloc=", 0) == 0 && type.kind != TypeKind::Slot) {
            if (!parse_reloc(o.substr(6), type))
                return r.diag.error(where, "bad relocation '" + o + "'");
        } else
            break;
    }
    if (type.kind != TypeKind::Table && i < t.size())
        return r.diag.error(where, "unexpected '" + t[i].text + "' in type " + type.name);
    uint64_t counter = 0;
    std::string error;
    for (; i < t.size(); ++i)
        if (!parse_table_entry(t[i], counter, type, error)) return r.diag.error(where, error);
    if (type.entries.size() > 128)
        return r.diag.error(where, "type " + type.name + " has more than 128 entries");
    if (r.set.types.count(type.name))
        return r.diag.error(where, "duplicate type '" + type.name + "' (first at " +
                                       r.set.types[type.name].where + ")");
    r.set.types[type.name] = type;
}

bool parse_bit_ranges(const std::string &text, std::vector<uint32_t> &bits,
                      std::vector<std::pair<uint32_t, uint32_t>> &ranges) {
    std::stringstream ss(text);
    std::string part;
    while (std::getline(ss, part, ',')) {
        uint32_t hi, lo;
        size_t dots = part.find("..");
        if (dots == std::string::npos) {
            if (!parse_u32(part, hi)) return false;
            lo = hi;
        } else if (!parse_u32(part.substr(0, dots), hi) || !parse_u32(part.substr(dots + 2), lo)) {
            return false;
        }
        if (hi < lo || hi > 127) return false;
        ranges.push_back({hi, lo});
        for (uint32_t b = hi + 1; b-- > lo;) bits.push_back(b);
    }
    return !ranges.empty();
}

bool parse_operand(const std::string &tok, OperandSpec &op) {
    size_t at = tok.find('@');
    if (at == std::string::npos || at == 0) return false;
    op.syntax = tok.substr(0, at);
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    if (!parse_bit_ranges(tok.substr(at + 1), op.bits, ranges)) return false;
    op.impl = implementation_name(op.syntax, op.bits);
    return true;
}

bool parse_encoding(const std::string &term, RecordSpec &rec, std::string &error) {
    if (term == "-") return true;
    size_t eq = term.find('=');
    std::vector<uint32_t> bits;
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    uint64_t v;
    if (eq == std::string::npos || term.find(',') != std::string::npos ||
        !parse_bit_ranges(term.substr(0, eq), bits, ranges) ||
        !parse_number(term.substr(eq + 1), v)) {
        error = "bad encoding term '" + term + "'";
        return false;
    }
    uint32_t hi = ranges[0].first, lo = ranges[0].second, width = hi - lo + 1;
    if (hi >= rec.size || hi > 63) {
        error = "encoding bits " + term.substr(0, eq) + " outside size " + std::to_string(rec.size);
        return false;
    }
    if (width < 64 && (v >> width) != 0) {
        error = "value " + term.substr(eq + 1) + " outside mask of bits " + term.substr(0, eq);
        return false;
    }
    uint64_t m = (width >= 64 ? ~0ULL : ((1ULL << width) - 1)) << lo;
    if (rec.mask & m) {
        error = "encoding bits " + term.substr(0, eq) + " given twice";
        return false;
    }
    rec.mask |= m;
    rec.value |= v << lo;
    return true;
}

void read_instruction(Reader &r, const std::vector<Token> &t, const std::string &where) {
    if (!r.seen_arch) return r.diag.error(where, "arch must be the first statement");
    RecordSpec rec;
    rec.where = where;
    rec.name = t[0].text;
    if (t.size() < 3 || t[0].quoted) return r.diag.error(where, "incomplete instruction line");
    size_t slash = t[1].text.find('/');
    if (slash == std::string::npos || !parse_u32(t[1].text.substr(0, slash), rec.size) ||
        rec.size == 0 || rec.size > 64)
        return r.diag.error(where, "bad size/slot '" + t[1].text + "'");
    rec.slot = slot_code(t[1].text.substr(slash + 1));
    if (!rec.slot) return r.diag.error(where, "unknown slot '" + t[1].text.substr(slash + 1) + "'");
    size_t i = 2;
    std::string error;
    for (; i < t.size() && !t[i].quoted; ++i)
        if (!parse_encoding(t[i].text, rec, error)) return r.diag.error(where, error);
    if (i >= t.size()) return r.diag.error(where, "missing syntax template");
    rec.syntax = t[i++].text;
    std::vector<std::string> operand_tokens;
    for (; i < t.size(); ++i) {
        if (t[i].text.size() > 1 && t[i].text[0] == '+' && !t[i].quoted) {
            auto g = r.groups.find(t[i].text.substr(1));
            if (g == r.groups.end())
                return r.diag.error(where, "unknown group '" + t[i].text.substr(1) + "'");
            operand_tokens.insert(operand_tokens.end(), g->second.begin(), g->second.end());
        } else {
            operand_tokens.push_back(t[i].text);
        }
    }
    for (const std::string &ot : operand_tokens) {
        OperandSpec op;
        if (!parse_operand(ot, op)) return r.diag.error(where, "bad operand '" + ot + "'");
        rec.operands.push_back(op);
    }
    if (rec.operands.size() > 63) return r.diag.error(where, "more than 63 operands");
    rec.flags = flags_from_name(rec.name);
    // RIXU words carry no memory-access flags: only jumps, returns and nops
    // are marked there (the statistics read nothing else of a RIXU record).
    if (r.set.word == 32) rec.flags &= ~(0x10u | 0x100u | 0x200u);
    r.set.records.push_back(rec);
}

void read_arch(Reader &r, const std::vector<Token> &t, const std::string &where) {
    static const char *const names[] = {"", "ZEMA1", "ZEMA2", "ZEMA3", "RIXU1", "RIXU2", "RIXU3"};
    if (r.seen_arch) return r.diag.error(where, "second arch statement");
    r.seen_arch = true;
    if (t.size() != 4) return r.diag.error(where, "arch needs NAME code=N word=W");
    r.set.name = t[1].text;
    r.set.where = where;
    if (t[2].text.rfind("code=", 0) != 0 || !parse_u32(t[2].text.substr(5), r.set.code) ||
        t[3].text.rfind("word=", 0) != 0 || !parse_u32(t[3].text.substr(5), r.set.word))
        return r.diag.error(where, "arch needs NAME code=N word=W");
    if (r.set.code < 1 || r.set.code > 6 || r.set.name != names[r.set.code])
        return r.diag.error(where, "unknown set '" + r.set.name + "' or code mismatch");
    if (r.set.word != (r.set.code <= 3 ? 64u : 32u))
        return r.diag.error(where, "word width of " + r.set.name + " must be " +
                                       std::to_string(r.set.code <= 3 ? 64 : 32));
}

void run_lines(Reader &r, const std::vector<LogicalLine> &lines, size_t begin, size_t end,
               std::vector<Binding> &bindings, const std::string &dir);

size_t matching_end(const std::vector<LogicalLine> &lines, size_t for_line, size_t end) {
    int depth = 0;
    for (size_t i = for_line; i < end; ++i) {
        std::istringstream ss(lines[i].text);
        std::string w;
        ss >> w;
        if (w == "for")
            ++depth;
        else if (w == "end" && --depth == 0)
            return i;
    }
    return end;
}

void include_file(Reader &r, const std::string &name, const std::string &where,
                  std::vector<Binding> &bindings, const std::string &dir) {
    if (r.include_depth > 8) return r.diag.error(where, "includes nested too deeply");
    std::ifstream in(dir + "/" + name, std::ios::binary);
    if (!in) return r.diag.error(where, "cannot read include '" + name + "'");
    std::stringstream ss;
    ss << in.rdbuf();
    std::vector<LogicalLine> lines = logical_lines(name, ss.str());
    ++r.include_depth;
    run_lines(r, lines, 0, lines.size(), bindings, dir);
    --r.include_depth;
}

void run_for(Reader &r, const std::vector<Token> &t, const std::vector<LogicalLine> &lines,
             size_t body_begin, size_t body_end, std::vector<Binding> &bindings,
             const std::string &dir, const std::string &where) {
    if (t.size() < 4 || t[2].text != "in") return r.diag.error(where, "for needs VAR in LIST");
    std::vector<ListEntry> entries;
    std::string error;
    if (t.size() == 4 && t[3].text.find('=') == std::string::npos) {
        auto l = r.lists.find(t[3].text);
        if (l == r.lists.end()) return r.diag.error(where, "unknown list '" + t[3].text + "'");
        entries = l->second;
    } else if (!parse_list_entries(t, 3, entries, error)) {
        return r.diag.error(where, error);
    }
    for (const ListEntry &e : entries) {
        bindings.push_back({t[1].text, e.text, e.value});
        run_lines(r, lines, body_begin, body_end, bindings, dir);
        bindings.pop_back();
    }
}

void run_lines(Reader &r, const std::vector<LogicalLine> &lines, size_t begin, size_t end,
               std::vector<Binding> &bindings, const std::string &dir) {
    for (size_t i = begin; i < end && !r.stopped; ++i) {
        std::string where = where_of(lines[i], bindings), text, error;
        std::vector<Token> t;
        if (!substitute(lines[i].text, bindings, text, error) || !tokenize(text, t, error)) {
            r.diag.error(where, error);
            continue;
        }
        if (t.empty()) continue;
        const std::string &kw = t[0].quoted ? std::string() : t[0].text;
        if (!r.seen_arch && kw != "arch" && r.include_depth == 0) {
            // Include files are read through `include`; a file given to the
            // generator describes a set, and a misspelt arch must not make it
            // pass for an include.
            r.diag.error(where, "first statement '" + kw +
                                    "' is not arch: a description begins with arch NAME code=N "
                                    "word=W");
            r.stopped = true;
            return;
        }
        if (kw == "for") {
            size_t close = matching_end(lines, i, end);
            if (close == end) {
                r.diag.error(where, "for without end");
                return;
            }
            run_for(r, t, lines, i + 1, close, bindings, dir, where);
            i = close;
        } else if (kw == "end") {
            r.diag.error(where, "end without for");
        } else if (kw == "arch") {
            read_arch(r, t, where);
        } else if (kw == "draft" && t.size() == 1) {
            r.set.draft = true;
        } else if (kw == "include" && t.size() == 2) {
            include_file(r, t[1].text, where, bindings, dir);
        } else if (kw == "type") {
            read_type(r, t, where);
        } else if (kw == "group" && t.size() >= 2) {
            std::vector<std::string> ops;
            for (size_t k = 2; k < t.size(); ++k) ops.push_back(t[k].text);
            if (r.groups.count(t[1].text))
                r.diag.error(where, "duplicate group '" + t[1].text + "'");
            r.groups[t[1].text] = ops;
        } else if (kw == "list" && t.size() >= 2) {
            std::vector<ListEntry> entries;
            if (!parse_list_entries(t, 2, entries, error)) r.diag.error(where, error);
            auto [first, fresh] = r.list_where.emplace(t[1].text, where);
            if (!fresh)
                r.diag.error(where,
                             "list '" + t[1].text + "' redefined (first at " + first->second + ")");
            else
                r.lists[t[1].text] = entries;
        } else {
            read_instruction(r, t, where);
        }
    }
}

void derive_fields(IsaSet &set) {
    std::map<std::string, FieldSpec> fields;
    for (const RecordSpec &rec : set.records)
        for (const OperandSpec &op : rec.operands) {
            auto type = set.types.find(op.syntax);
            if (type == set.types.end() || fields.count(op.impl)) continue;
            fields[op.impl] = {op.impl, &type->second, op.bits};
        }
    for (auto &f : fields) set.fields.push_back(f.second);
}

} // namespace

uint32_t flags_from_name(const std::string &n) {
    auto starts = [&](const char *p) { return n.rfind(p, 0) == 0; };
    auto ends = [&](const std::string &s) {
        return n.size() >= s.size() && n.compare(n.size() - s.size(), s.size(), s) == 0;
    };
    bool sp_token =
        n == "sp" || starts("sp_") || ends("_sp") || n.find("_sp_") != std::string::npos;
    uint32_t f = 0;
    if (starts("jmp") || starts("jsr") || starts("rts")) f |= 0x4;
    if (starts("push") || starts("pop") || starts("jsr") || sp_token) f |= 0x10;
    if (starts("rts")) f |= 0x20;
    if (n == "nop" || n == "fnop" || starts("nop_") || ends("_nop")) f |= 0x40;
    if (n == "null") f |= 0x80;
    if (starts("ld") || starts("pop") || starts("stld")) f |= 0x100;
    if (starts("st") || starts("push")) f |= 0x200;
    if (starts("mvip") || starts("bsetip") || starts("bclrip") || starts("clrip")) f |= 0x400;
    return f;
}

std::string implementation_name(const std::string &syntax, const std::vector<uint32_t> &bits) {
    std::string s = syntax + "_imp_bits__";
    for (size_t i = 0; i < bits.size();) {
        size_t j = i;
        while (j + 1 < bits.size() && bits[j + 1] + 1 == bits[j]) ++j;
        if (i) s += "x_";
        s += std::to_string(bits[i]) + "_" + std::to_string(bits[j]) + "_";
        i = j + 1;
    }
    return s;
}

bool parse_bit_list(const std::string &text, std::vector<uint32_t> &bits) {
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    return parse_bit_ranges(text, bits, ranges);
}

bool read_isa_text(const std::string &file_label, const std::string &text, const std::string &dir,
                   IsaSet &set, Diagnostics &diag) {
    Reader r{set, diag, {}, {}, {}, false, false, 0};
    set.file = file_label;
    std::vector<LogicalLine> lines = logical_lines(file_label, text);
    std::vector<Binding> bindings;
    run_lines(r, lines, 0, lines.size(), bindings, dir);
    if (r.stopped) return false;
    if (!r.seen_arch) {
        diag.error(file_label + ":1", "no arch statement: the file describes no set");
        return false;
    }
    std::stable_sort(set.records.begin(), set.records.end(),
                     [](const RecordSpec &a, const RecordSpec &b) { return a.name < b.name; });
    derive_fields(set);
    assign_kinds(set);
    return true;
}

bool read_isa(const std::string &path, IsaSet &set, Diagnostics &diag) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        diag.error(path, "cannot read file");
        return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string label = slash == std::string::npos ? path : path.substr(slash + 1);
    return read_isa_text(label, ss.str(), dir, set, diag);
}

void read_sets(const std::vector<std::string> &paths, bool partial, std::vector<IsaSet> &sets,
               std::vector<bool> &present, Diagnostics &diag) {
    static const char *const names[] = {"ZEMA1", "ZEMA2", "ZEMA3", "RIXU1", "RIXU2", "RIXU3"};
    sets.assign(6, IsaSet{});
    present.assign(6, false);
    std::vector<std::string> where(6);
    for (const std::string &path : paths) {
        IsaSet set;
        if (!read_isa(path, set, diag) || set.code < 1 || set.code > 6) continue;
        size_t k = set.code - 1;
        if (present[k]) {
            diag.error(set.where,
                       "second description of " + set.name + " (first at " + where[k] + ")");
            continue;
        }
        present[k] = true;
        where[k] = set.where;
        sets[k] = std::move(set);
    }
    if (partial) return;
    for (size_t k = 0; k < 6; ++k)
        if (!present[k])
            diag.error("zema-isagen", std::string("no description of ") + names[k] +
                                          " among the files given (six sets are needed)");
}

} // namespace isagen
