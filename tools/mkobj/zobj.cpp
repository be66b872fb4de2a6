// Reads an object description statement by statement into a model of the
// file, then writes the model with ElfWriter. Names of sections and symbols
// are resolved only at the end, so a statement may refer to a section or a
// symbol that a later statement defines.
#include "tools/mkobj/zobj.h"

#include <cctype>
#include <map>
#include <optional>

#include "decodelib/encoder.h"
#include "elflib/elfread.h"

namespace zema_test {
namespace {

namespace lib = ZEMADisasmLib;

// A problem in the statement being read; the reader adds file and line.
struct Failure {
    std::string message;
};

[[noreturn]] void fail(const std::string &message) {
    throw Failure{message};
}

// ---- Lexical level -------------------------------------------------------------

// The line without its comment: '#' outside double quotes starts one.
std::string strip_comment(const std::string &line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted && c == '\\' && i + 1 < line.size()) {
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == '#' && !quoted) {
            return line.substr(0, i);
        }
    }
    return line;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

// Blank-separated tokens; a double-quoted part or a parenthesised group
// (which may hold blanks and nested groups) stays inside its token.
std::vector<std::string> tokenize(std::string_view s) {
    std::vector<std::string> out;
    size_t i = 0;
    while (true) {
        while (i < s.size() && is_blank(s[i])) ++i;
        if (i == s.size()) break;
        std::string token;
        int depth = 0;
        bool quoted = false;
        for (; i < s.size(); ++i) {
            char c = s[i];
            if (quoted) {
                token += c;
                if (c == '\\' && i + 1 < s.size()) {
                    token += s[++i];
                } else if (c == '"') {
                    quoted = false;
                }
                continue;
            }
            if (is_blank(c) && depth == 0) break;
            if (c == '"') quoted = true;
            if (c == '(') ++depth;
            if (c == ')' && --depth < 0) fail("')' without '('");
            token += c;
        }
        if (quoted) fail("unterminated quoted text");
        if (depth > 0) fail("missing ')' in '" + token + "'");
        out.push_back(token);
    }
    return out;
}

bool is_quoted(std::string_view t) {
    return t.size() >= 2 && t.front() == '"' && t.back() == '"';
}

// The text of a quoted token without its quotes; inside, \" and \\ stand for
// " and \, and any other backslash is itself (for Windows paths).
// Other tokens stay as they are.
std::string unquote(std::string_view t) {
    if (!is_quoted(t)) return std::string(t);
    std::string out;
    for (size_t i = 1; i + 1 < t.size(); ++i) {
        if (t[i] == '\\' && i + 2 < t.size() && (t[i + 1] == '"' || t[i + 1] == '\\')) ++i;
        out += t[i];
    }
    return out;
}

// Splits NAME=VALUE at the first '=' outside quotes and parentheses.
std::optional<std::pair<std::string, std::string>> split_key(std::string_view t) {
    int depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < t.size(); ++i) {
        char c = t[i];
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c == '=' && depth == 0 && i > 0)
            return std::make_pair(std::string(t.substr(0, i)), std::string(t.substr(i + 1)));
    }
    return std::nullopt;
}

// ---- Numbers -------------------------------------------------------------------

struct Number {
    bool negative = false;
    uint64_t magnitude = 0;
};

// Decimal, 0x hexadecimal or 0b binary, with an optional sign.
std::optional<Number> parse_number(std::string_view t) {
    Number n;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        n.negative = t[0] == '-';
        t.remove_prefix(1);
    }
    unsigned base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    } else if (t.size() > 2 && t[0] == '0' && (t[1] == 'b' || t[1] == 'B')) {
        base = 2;
        t.remove_prefix(2);
    }
    if (t.empty()) return std::nullopt;
    for (char c : t) {
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = unsigned(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = unsigned(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = unsigned(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        if (digit >= base) return std::nullopt;
        if (n.magnitude > (UINT64_MAX - digit) / base) return std::nullopt;
        n.magnitude = n.magnitude * base + digit;
    }
    if (n.magnitude == 0) n.negative = false;
    return n;
}

Number number(std::string_view t, const std::string &what) {
    std::optional<Number> n = parse_number(t);
    if (!n) fail(what + " '" + std::string(t) + "' is not a number");
    return *n;
}

// An unsigned value of at most `max`.
uint64_t unsigned_value(std::string_view t, const std::string &what, uint64_t max) {
    Number n = number(t, what);
    if (n.negative || n.magnitude > max)
        fail(what + " " + std::string(t) + " is out of range (0 to " + std::to_string(max) + ")");
    return n.magnitude;
}

// A 32-bit field that may be written signed (-0x80000000 .. 0xFFFFFFFF), as
// two's complement.
uint32_t word_value(std::string_view t, const std::string &what) {
    Number n = number(t, what);
    if (n.negative ? n.magnitude > 0x80000000u : n.magnitude > 0xFFFFFFFFu)
        fail(what + " " + std::string(t) + " does not fit 32 bits");
    return n.negative ? uint32_t(0u - uint32_t(n.magnitude)) : uint32_t(n.magnitude);
}

// A value of `bits` bits (8 or 16 here), also written signed.
uint32_t small_value(std::string_view t, const std::string &what, unsigned bits) {
    Number n = number(t, what);
    uint64_t limit = 1ull << bits;
    if (n.negative ? n.magnitude > limit / 2 : n.magnitude >= limit)
        fail(what + " " + std::string(t) + " does not fit " + std::to_string(bits) + " bits");
    return uint32_t((n.negative ? limit - n.magnitude : n.magnitude) & (limit - 1));
}

// ---- Architectures ----------------------------------------------------------

const char *const kIsaNames[] = {"", "zema1", "zema2", "zema3", "rixu1", "rixu2", "rixu3"};

std::string isa_name(uint32_t isa) {
    return isa >= 1 && isa <= 6 ? kIsaNames[isa] : "isa " + std::to_string(isa);
}

// The decoding architecture of a section, as the listing engine chooses it
// from the file's architecture code and the section's RIXU flag.
uint32_t isa_of(uint32_t arch_code, bool rixu) {
    uint32_t base = arch_code == 0 ? 1 : arch_code <= 2 ? 2 : arch_code == 3 ? 3 : 0;
    return base == 0 ? 0 : rixu ? base + 3 : base;
}

// ---- The model ------------------------------------------------------------------

constexpr uint64_t kMaxSection = 64u << 20;

// A symbol named in a relocation: by name, or by raw index ("@N").
struct SymbolRef {
    std::string name;
    std::optional<uint32_t> index; // set for "@N" and for "no symbol" (0)
};

// Symbol (optional) and signed addend of a relocation operand.
struct Target {
    SymbolRef symbol;
    uint32_t addend = 0;
};

struct Reloc {
    uint32_t offset, type;
    SymbolRef symbol;
    uint32_t addend;
    unsigned line;
};

struct Section {
    std::string name;
    uint32_t type = SHT_PROGBITS, flags = 0, addr = 0, align = 1, info = 0;
    std::optional<uint32_t> link, entsize, size, offset;
    bool link_symtab = false, link_strtab = false;
    uint32_t isa = 0;
    Bytes data;
    std::vector<Reloc> relocs;
};

struct Symbol {
    std::string name;
    uint32_t value = 0, size = 0;
    uint8_t type = STT_NOTYPE, bind = STB_LOCAL, other = 0;
    std::string section_name; // resolved at the end when set
    uint16_t shndx = 0;
    unsigned line = 0;
};

struct QzEntry {
    std::string section_name; // empty: raw bytes, or section given by number
    uint32_t section = 0, space = 0;
    Bytes raw;
    bool is_raw = false;
    unsigned line = 0;
};

class Reader {
  public:
    explicit Reader(ZobjResult *result) : result_(result) {}

    // The statement starting at a line.
    void at(unsigned line) { line_ = line; }
    unsigned line() const { return line_; }
    void statement(const std::vector<std::string> &t);
    Bytes finish();

  private:
    // Statements.
    void header(const std::vector<std::string> &t);
    void section(const std::vector<std::string> &t);
    void symbol(const std::vector<std::string> &t);
    void label(const std::vector<std::string> &t);
    void instruction(const std::vector<std::string> &t, bool packet);
    void values(const std::vector<std::string> &t, unsigned bytes);
    void fill(const std::vector<std::string> &t);
    void align(const std::vector<std::string> &t);
    void reloc(const std::vector<std::string> &t);
    void expression(const std::vector<std::string> &t);
    void qzinfo(const std::vector<std::string> &t);

    // Helpers.
    Section &current(const std::string &statement);
    Section &reloc_section(const std::vector<std::string> &t, size_t *end);
    uint32_t offset_value(std::string_view t, const Section &s);
    Target target(std::string_view t);
    uint64_t encode(uint32_t isa, const std::vector<std::string> &t, size_t first, bool packet);
    uint64_t operand_value(uint32_t isa, const lib::FieldRecord &field, const std::string &name,
                           const std::string &value);
    void append(Section &s, const Bytes &b) {
        grow(s, b.size());
        s.data.insert(s.data.end(), b.begin(), b.end());
    }
    void grow(const Section &s, uint64_t bytes);
    uint16_t section_index(const std::string &name);
    uint32_t symbol_index(const SymbolRef &r, unsigned line);

    ZobjResult *result_;
    unsigned line_ = 0;
    bool have_header_ = false, binary_ = false;
    ByteOrder order_ = ByteOrder::Little;
    uint16_t e_type_ = ET_REL, machine_ = EM_ZEMA;
    uint32_t arch_code_ = 0, shift_ = 0, entry_ = 0, version_ = 1;
    std::optional<uint32_t> raw_flags_;
    std::optional<uint16_t> ehsize_, phentsize_, shentsize_, shnum_, shstrndx_;
    bool force_symtab_ = false;
    std::vector<Section> sections_;
    std::vector<Symbol> symbols_;
    std::vector<QzEntry> qz_;
};

// ---- Statements -------------------------------------------------------------------

void Reader::statement(const std::vector<std::string> &t) {
    const std::string &word = t[0];
    if (word == "elf" || word == "binary") {
        if (have_header_) fail("'" + word + "' must be the first statement, and only one");
        header(t);
        return;
    }
    if (!have_header_) fail("the first statement must be 'elf' or 'binary'");
    if (word == "repeat") {
        if (t.size() < 3) fail("'repeat' takes a count and a statement: repeat 4 insn fnop");
        uint64_t count = unsigned_value(t[1], "repeat count", 0x100000);
        std::vector<std::string> inner(t.begin() + 2, t.end());
        if (inner[0] == "repeat" || inner[0] == "elf" || inner[0] == "binary")
            fail("'" + inner[0] + "' cannot be repeated");
        for (uint64_t i = 0; i < count; ++i) statement(inner);
    } else if (word == "section") {
        section(t);
    } else if (word == "symbol") {
        symbol(t);
    } else if (word == "label") {
        label(t);
    } else if (word == "insn" || word == "packet") {
        instruction(t, word == "packet");
    } else if (word == "byte") {
        values(t, 1);
    } else if (word == "hword") {
        values(t, 2);
    } else if (word == "word") {
        values(t, 4);
    } else if (word == "fill") {
        fill(t);
    } else if (word == "align") {
        align(t);
    } else if (word == "reloc") {
        reloc(t);
    } else if (word == "expr") {
        expression(t);
    } else if (word == "qzinfo") {
        qzinfo(t);
    } else {
        fail("unknown statement '" + word + "'");
    }
}

void Reader::header(const std::vector<std::string> &t) {
    have_header_ = true;
    binary_ = t[0] == "binary";
    std::optional<uint32_t> arch;
    for (size_t i = 1; i < t.size(); ++i) {
        const std::string &w = t[i];
        if (w == "little" || w == "big") {
            order_ = w == "big" ? ByteOrder::Big : ByteOrder::Little;
            continue;
        }
        if (w == "zema1" || w == "zema2" || w == "zema3") {
            arch = w == "zema1" ? 0 : w == "zema2" ? 2 : 3;
            continue;
        }
        if (!binary_ && (w == "relocatable" || w == "executable")) {
            e_type_ = w == "executable" ? ET_EXEC : ET_REL;
            continue;
        }
        if (!binary_ && w == "symtab") {
            force_symtab_ = true;
            continue;
        }
        auto kv = split_key(w);
        if (!kv) fail("unknown word '" + w + "' in '" + t[0] + "'");
        const auto &[k, v] = *kv;
        if (k == "arch") {
            if (v == "zema1" || v == "zema2" || v == "zema3")
                arch = v == "zema1" ? 0 : v == "zema2" ? 2 : 3;
            else
                arch = uint32_t(unsigned_value(v, "architecture code", 0xFF));
        } else if (k == "shift") {
            shift_ = uint32_t(unsigned_value(v, "word shift", 0xFF));
        } else if (binary_) {
            fail("unknown setting '" + k + "' in 'binary'");
        } else if (k == "type") {
            e_type_ = uint16_t(unsigned_value(v, "e_type", 0xFFFF));
        } else if (k == "flags") {
            raw_flags_ = word_value(v, "e_flags");
        } else if (k == "machine") {
            machine_ = uint16_t(unsigned_value(v, "e_machine", 0xFFFF));
        } else if (k == "entry") {
            entry_ = word_value(v, "e_entry");
        } else if (k == "version") {
            version_ = word_value(v, "e_version");
        } else if (k == "ehsize") {
            ehsize_ = uint16_t(unsigned_value(v, "e_ehsize", 0xFFFF));
        } else if (k == "phentsize") {
            phentsize_ = uint16_t(unsigned_value(v, "e_phentsize", 0xFFFF));
        } else if (k == "shentsize") {
            shentsize_ = uint16_t(unsigned_value(v, "e_shentsize", 0xFFFF));
        } else if (k == "shnum") {
            shnum_ = uint16_t(unsigned_value(v, "e_shnum", 0xFFFF));
        } else if (k == "shstrndx") {
            shstrndx_ = uint16_t(unsigned_value(v, "e_shstrndx", 0xFFFF));
        } else {
            fail("unknown setting '" + k + "' in 'elf'");
        }
    }
    if (raw_flags_ && (arch || shift_))
        fail("give either flags= or the architecture and shift, not both");
    if (raw_flags_) {
        arch_code_ = *raw_flags_ & 0xFF;
        shift_ = (*raw_flags_ >> 8) & 0xFF;
    } else {
        arch_code_ = arch.value_or(0);
    }
    if (binary_) {
        // The bytes of a non-ELF file live in one unnamed buffer.
        sections_.push_back(Section{});
        sections_.back().isa = isa_of(arch_code_, false);
    }
}

uint32_t section_type(const std::string &w) {
    if (w == "progbits") return SHT_PROGBITS;
    if (w == "nobits") return SHT_NOBITS;
    if (w == "overlay") return SHT_OVERLAY;
    if (w == "overlay2") return SHT_OVERLAY2;
    return 0;
}

// Flags as letters w, a, e and the word rixu, or numbers, joined by ',' or '+'.
uint32_t section_flags(const std::string &v) {
    uint32_t flags = 0;
    size_t start = 0;
    while (start <= v.size()) {
        size_t end = v.find_first_of(",+", start);
        if (end == std::string::npos) end = v.size();
        std::string item = v.substr(start, end - start);
        start = end + 1;
        if (item.empty() || item == "none") continue;
        if (item == "rixu") {
            flags |= SHF_RIXU;
        } else if (item.find_first_not_of("wae") == std::string::npos) {
            for (char c : item)
                flags |= c == 'w' ? SHF_WRITE : c == 'a' ? SHF_ALLOC : SHF_EXECINSTR;
        } else if (parse_number(item)) {
            flags |= word_value(item, "section flag");
        } else {
            fail("unknown section flag '" + item + "' (letters w a e, rixu, or a number)");
        }
    }
    return flags;
}

void Reader::section(const std::vector<std::string> &t) {
    if (binary_) fail("a binary file has no sections");
    if (t.size() < 2) fail("'section' needs a name");
    Section s;
    s.name = unquote(t[1]);
    std::optional<uint32_t> isa;
    for (size_t i = 2; i < t.size(); ++i) {
        const std::string &w = t[i];
        if (section_type(w)) {
            s.type = section_type(w);
            continue;
        }
        auto kv = split_key(w);
        if (!kv) fail("unknown word '" + w + "' in 'section'");
        const auto &[k, v] = *kv;
        if (k == "type") {
            s.type = section_type(v) ? section_type(v) : word_value(v, "section type");
        } else if (k == "flags") {
            s.flags = section_flags(v);
        } else if (k == "addr") {
            s.addr = word_value(v, "address");
        } else if (k == "align") {
            s.align = word_value(v, "alignment");
        } else if (k == "info") {
            s.info = word_value(v, "sh_info");
        } else if (k == "link") {
            if (v == "symtab")
                s.link_symtab = true;
            else if (v == "strtab")
                s.link_strtab = true;
            else
                s.link = word_value(v, "sh_link");
        } else if (k == "entsize") {
            s.entsize = word_value(v, "sh_entsize");
        } else if (k == "size") {
            s.size = word_value(v, "size");
        } else if (k == "offset") {
            s.offset = word_value(v, "sh_offset");
        } else if (k == "isa") {
            for (uint32_t a = 1; a <= 6; ++a)
                if (v == kIsaNames[a]) isa = a;
            if (!isa) fail("unknown instruction set '" + v + "' (zema1..3, rixu1..3)");
        } else {
            fail("unknown setting '" + k + "' in 'section'");
        }
    }
    s.isa = isa ? *isa : isa_of(arch_code_, (s.flags & SHF_RIXU) != 0);
    sections_.push_back(std::move(s));
}

uint8_t symbol_type(const std::string &w) {
    static const std::map<std::string, uint8_t> types = {{"notype", STT_NOTYPE},
                                                         {"object", STT_OBJECT},
                                                         {"func", STT_FUNC},
                                                         {"section", STT_SECTION},
                                                         {"file", STT_FILE}};
    auto it = types.find(w);
    return it == types.end() ? 0xFF : it->second;
}

uint8_t symbol_bind(const std::string &w) {
    if (w == "local") return STB_LOCAL;
    if (w == "global") return STB_GLOBAL;
    if (w == "weak") return 2;
    return 0xFF;
}

// Settings shared by 'symbol' and 'label'; false when the word is not one.
bool symbol_setting(Symbol &y, const std::string &w) {
    if (symbol_type(w) != 0xFF) {
        y.type = symbol_type(w);
        return true;
    }
    if (symbol_bind(w) != 0xFF) {
        y.bind = symbol_bind(w);
        return true;
    }
    auto kv = split_key(w);
    if (!kv) return false;
    const auto &[k, v] = *kv;
    if (k == "size") {
        y.size = word_value(v, "symbol size");
    } else if (k == "type") {
        y.type = symbol_type(v) != 0xFF ? symbol_type(v) : uint8_t(unsigned_value(v, "type", 15));
    } else if (k == "bind") {
        y.bind = symbol_bind(v) != 0xFF ? symbol_bind(v) : uint8_t(unsigned_value(v, "bind", 15));
    } else if (k == "other") {
        y.other = uint8_t(unsigned_value(v, "st_other", 0xFF));
    } else {
        return false;
    }
    return true;
}

// A section of a symbol: a name, a number, or one of abs, undef, common.
void symbol_section(Symbol &y, const std::string &v) {
    y.section_name.clear();
    if (v == "abs") {
        y.shndx = SHN_ABS;
    } else if (v == "undef") {
        y.shndx = 0;
    } else if (v == "common") {
        y.shndx = 0xFFF2;
    } else if (parse_number(v)) {
        y.shndx = uint16_t(unsigned_value(v, "section index", 0xFFFF));
    } else {
        y.section_name = unquote(v);
    }
}

void Reader::symbol(const std::vector<std::string> &t) {
    if (binary_) fail("a binary file has no symbols");
    if (t.size() < 2) fail("'symbol' needs a name");
    Symbol y;
    y.name = unquote(t[1]);
    y.line = line_;
    for (size_t i = 2; i < t.size(); ++i) {
        const std::string &w = t[i];
        if (symbol_setting(y, w)) continue;
        if (w == "abs" || w == "undef") {
            symbol_section(y, w);
            continue;
        }
        auto kv = split_key(w);
        if (kv && kv->first == "value") {
            y.value = word_value(kv->second, "symbol value");
        } else if (kv && kv->first == "section") {
            symbol_section(y, kv->second);
        } else {
            fail("unknown word '" + w + "' in 'symbol'");
        }
    }
    symbols_.push_back(y);
}

void Reader::label(const std::vector<std::string> &t) {
    Section &s = current("label");
    if (binary_) fail("a binary file has no symbols");
    if (t.size() < 2) fail("'label' needs a name");
    Symbol y;
    y.name = unquote(t[1]);
    y.line = line_;
    y.section_name = s.name;
    uint32_t offset = uint32_t(s.data.size());
    for (size_t i = 2; i < t.size(); ++i) {
        const std::string &w = t[i];
        if (symbol_setting(y, w)) continue;
        auto kv = split_key(w);
        if (!kv || kv->first != "at") fail("unknown word '" + w + "' in 'label'");
        offset = offset_value(kv->second, s);
    }
    // Relocatable files hold section offsets, executables addresses.
    y.value = e_type_ == ET_EXEC ? s.addr + offset : offset;
    symbols_.push_back(y);
}

void Reader::instruction(const std::vector<std::string> &t, bool packet) {
    Section &s = current(t[0]);
    if (t.size() < 2) fail("'" + t[0] + "' needs a record name");
    if (s.isa == 0)
        fail("architecture code " + std::to_string(arch_code_) +
             " selects no instruction set; give the section an isa=");
    uint64_t bits = encode(s.isa, t, 1, packet);
    const lib::InstructionRecord *r = lib::FindRecord(s.isa, t[1]);
    unsigned width = s.isa <= 3 ? 64 : 32;
    if (r->size != width && r->slot != lib::SLOT_WORD)
        fail(t[1] + " is a " + std::to_string(r->size) +
             "-bit slot record; place it in a slot of a packet format");
    Bytes b = lib::WordBytes(bits, width);
    ZobjWord word;
    word.section = s.name;
    word.offset = uint32_t(s.data.size());
    word.arch = s.isa;
    word.au_count = shift_ == 0 ? 64 : uint8_t(1u << (shift_ & 7));
    word.line = line_;
    word.bytes = b;
    result_->words.push_back(word);
    // The listing engine swaps the bytes of each 16-bit unit of a big-endian
    // file's code before decoding, so that order is stored here.
    if (order_ == ByteOrder::Big)
        for (size_t i = 0; i + 1 < b.size(); i += 2) std::swap(b[i], b[i + 1]);
    append(s, b);
}

void Reader::values(const std::vector<std::string> &t, unsigned bytes) {
    Section &s = current(t[0]);
    if (t.size() < 2) fail("'" + t[0] + "' needs at least one value");
    ByteSink sink{order_, {}};
    for (size_t i = 1; i < t.size(); ++i) {
        if (bytes == 1) sink.u8(uint8_t(small_value(t[i], "byte", 8)));
        if (bytes == 2) sink.u16(uint16_t(small_value(t[i], "half word", 16)));
        if (bytes == 4) sink.u32(word_value(t[i], "word"));
    }
    append(s, sink.bytes);
}

void Reader::fill(const std::vector<std::string> &t) {
    Section &s = current("fill");
    if (t.size() < 2) fail("'fill' needs a byte count");
    uint64_t count = unsigned_value(t[1], "byte count", kMaxSection);
    grow(s, count);
    Bytes pattern;
    for (size_t i = 2; i < t.size(); ++i) pattern.push_back(uint8_t(small_value(t[i], "byte", 8)));
    if (pattern.empty()) pattern.push_back(0);
    s.data.reserve(s.data.size() + count);
    for (uint64_t i = 0; i < count; ++i) s.data.push_back(pattern[i % pattern.size()]);
}

void Reader::align(const std::vector<std::string> &t) {
    Section &s = current("align");
    if (t.size() < 2 || t.size() > 3) fail("'align' needs a boundary and an optional byte");
    uint64_t boundary = unsigned_value(t[1], "boundary", 0x10000);
    if (boundary == 0) fail("boundary must not be 0");
    uint8_t value = t.size() == 3 ? uint8_t(small_value(t[2], "byte", 8)) : 0;
    grow(s, boundary);
    while (s.data.size() % boundary) s.data.push_back(value);
}

// RELA entries of the current section, or of the section named by a
// trailing "in=NAME"; *end is the number of tokens before that setting.
Section &Reader::reloc_section(const std::vector<std::string> &t, size_t *end) {
    if (binary_) fail("a binary file has no relocations");
    *end = t.size();
    auto kv = split_key(t.back());
    if (t.size() > 1 && kv && kv->first == "in") {
        *end = t.size() - 1;
        std::string name = unquote(kv->second);
        for (Section &s : sections_)
            if (s.name == name) return s;
        fail("no section named '" + name + "' (sections must be described before 'in=')");
    }
    return current(t[0]);
}

void Reader::reloc(const std::vector<std::string> &t) {
    size_t end;
    Section &s = reloc_section(t, &end);
    if (end != 4) fail("'reloc' takes an offset, a type and a target: reloc . 8 main+4");
    Target g = target(t[3]);
    s.relocs.push_back(
        {offset_value(t[1], s), word_value(t[2], "relocation type"), g.symbol, g.addend, line_});
}

// Operator codes of expression entries by their operator text.
const std::map<std::string, uint32_t> &operator_codes() {
    static const std::map<std::string, uint32_t> codes = {
        {"neg", 1}, {"~", 2},   {"!", 3},   {"*", 4},    {"/", 5},   {"%", 6},
        {"+", 7},   {"-", 8},   {"<<<", 9}, {">>>", 10}, {"<<", 11}, {">>", 12},
        {"<", 13},  {"<=", 14}, {">", 15},  {">=", 16},  {"==", 17}, {"!=", 18},
        {"&", 19},  {"|", 20},  {"^", 21},  {"&&", 22},  {"||", 23}};
    return codes;
}

// The inside of "word(...)" when the token has that form.
std::optional<std::string> call_argument(const std::string &t, const std::string &word) {
    if (t.size() > word.size() + 1 && t.compare(0, word.size() + 1, word + "(") == 0 &&
        t.back() == ')')
        return t.substr(word.size() + 1, t.size() - word.size() - 2);
    return std::nullopt;
}

void Reader::expression(const std::vector<std::string> &t) {
    size_t end;
    Section &s = reloc_section(t, &end);
    if (end < 3) fail("'expr' takes an offset and the entries of the expression");
    uint32_t offset = offset_value(t[1], s);
    const auto &codes = operator_codes();
    for (size_t i = 2; i < end; ++i) {
        const std::string &w = t[i];
        Reloc r{offset, 0xFD, {"", 0}, 0, line_};
        auto op = codes.find(w);
        if (op != codes.end()) {
            r.type = 0xFE;
            r.addend = op->second;
        } else if (auto code = call_argument(w, "op")) {
            r.type = 0xFE;
            r.addend = word_value(*code, "operator code");
        } else if (auto type = call_argument(w, "end")) {
            r.type = 0xFF;
            r.addend = word_value(*type, "relocation type");
        } else if (auto dot = call_argument(w, "dot")) {
            Target g = target(*dot);
            r.type = 0xFC;
            r.symbol = g.symbol;
            r.addend = g.addend;
        } else {
            Target g = target(w);
            r.symbol = g.symbol;
            r.addend = g.addend;
        }
        s.relocs.push_back(r);
    }
}

void Reader::qzinfo(const std::vector<std::string> &t) {
    if (binary_) fail("a binary file has no QZ info");
    QzEntry q;
    q.line = line_;
    if (t.size() >= 2 && t[1] == "raw") {
        q.is_raw = true;
        for (size_t i = 2; i < t.size(); ++i)
            q.raw.push_back(uint8_t(small_value(t[i], "byte", 8)));
    } else {
        if (t.size() != 3) fail("'qzinfo' takes a section and a memory space: qzinfo .data 0");
        if (parse_number(t[1]))
            q.section = word_value(t[1], "section index");
        else
            q.section_name = unquote(t[1]);
        q.space = word_value(t[2], "memory space");
    }
    qz_.push_back(q);
}

// ---- Helpers ----------------------------------------------------------------------

// Contents stay below 64 MB, so that a slip in a count cannot exhaust memory.
void Reader::grow(const Section &s, uint64_t bytes) {
    if (s.data.size() + bytes > kMaxSection) fail("a section's contents may not exceed 64 MB");
}

Section &Reader::current(const std::string &statement) {
    if (sections_.empty()) fail("'" + statement + "' outside a section");
    return sections_.back();
}

// An offset in a section: a number, or "." (the offset where the next
// contents go) optionally followed by +N or -N.
uint32_t Reader::offset_value(std::string_view t, const Section &s) {
    if (t.empty() || t[0] != '.') return word_value(t, "offset");
    int64_t here = int64_t(s.data.size());
    t.remove_prefix(1);
    if (t.empty()) return uint32_t(here);
    if (t[0] != '+' && t[0] != '-') fail("an offset is a number, '.', '.+N' or '.-N'");
    Number n = number(t, "offset");
    int64_t v = n.negative ? here - int64_t(n.magnitude) : here + int64_t(n.magnitude);
    if (v < 0 || v > 0xFFFFFFFF) fail("offset ." + std::string(t) + " is out of range");
    return uint32_t(v);
}

// A relocation target: a constant, NAME, "NAME"+N, NAME-N, or @INDEX±N.
Target Reader::target(std::string_view t) {
    Target g;
    if (parse_number(t)) {
        g.symbol.index = 0;
        g.addend = word_value(t, "addend");
        return g;
    }
    std::string_view name = t, rest;
    if (!t.empty() && t[0] == '"') {
        size_t close = t.find('"', 1);
        if (close == std::string_view::npos) fail("unterminated quoted name");
        name = t.substr(0, close + 1);
        rest = t.substr(close + 1);
    } else {
        // The addend is a trailing +N or -N that reads as a number.
        for (size_t i = t.size(); i-- > 1;) {
            if ((t[i] == '+' || t[i] == '-') && parse_number(t.substr(i))) {
                name = t.substr(0, i);
                rest = t.substr(i);
                break;
            }
        }
    }
    if (!rest.empty()) {
        if (rest[0] != '+' && rest[0] != '-') fail("'" + std::string(t) + "' is not NAME+N");
        g.addend = word_value(rest, "addend");
    }
    if (!name.empty() && name[0] == '@') {
        g.symbol.index = word_value(name.substr(1), "symbol index");
    } else {
        g.symbol.name = unquote(name);
        if (g.symbol.name.empty()) fail("empty symbol name");
    }
    return g;
}

std::string operand_list(const lib::InstructionRecord *r) {
    std::string out;
    for (const lib::OperandName *op = r->operands; op->syntax_name; ++op)
        out += std::string(out.empty() ? "" : " ") + op->syntax_name;
    return out.empty() ? "none" : out;
}

// Encodes t[first] (a record name) with the operands t[first+1..].
uint64_t Reader::encode(uint32_t isa, const std::vector<std::string> &t, size_t first,
                        bool packet) {
    const std::string &name = t[first];
    const lib::InstructionRecord *r = lib::FindRecord(isa, name);
    if (!r) fail("no " + isa_name(isa) + " record named '" + name + "'");
    if (packet && std::string_view(r->syntax) != r->name)
        fail(name + " is not a packet format; use 'insn' for it");
    uint64_t bits = r->value;
    std::vector<std::string> given;
    for (size_t i = first + 1; i < t.size(); ++i) {
        auto kv = split_key(t[i]);
        if (!kv) fail("operand '" + t[i] + "' of " + name + " is not NAME=VALUE");
        const auto &[k, v] = *kv;
        const lib::OperandName *op = r->operands;
        while (op->syntax_name && k != op->syntax_name && k != op->field_name) ++op;
        if (!op->syntax_name)
            fail(name + " has no operand " + k + " (operands: " + operand_list(r) + ")");
        for (const std::string &g : given)
            if (g == op->syntax_name) fail("operand " + k + " of " + name + " given twice");
        given.push_back(op->syntax_name);
        const lib::FieldRecord *field = lib::FindField(isa, op->field_name);
        if (!field) fail("no field record for operand " + k + " of " + name);
        uint64_t raw = operand_value(isa, *field, k, v);
        if (!lib::PlaceField(*field, raw, &bits))
            fail("value " + v + " does not fit the " + std::to_string(field->bit_count) +
                 "-bit operand " + k + " of " + name);
    }
    return bits;
}

// The raw field bits of an operand value: a number (negative ones as two's
// complement of signed fields), a text of the field's value table, or a
// nested record "(NAME OPERAND=VALUE ...)" for a packet slot.
uint64_t Reader::operand_value(uint32_t isa, const lib::FieldRecord &field, const std::string &name,
                               const std::string &value) {
    if (value.size() >= 2 && value.front() == '(' && value.back() == ')') {
        std::vector<std::string> inner =
            tokenize(std::string_view(value).substr(1, value.size() - 2));
        if (inner.empty()) fail("empty record in operand " + name);
        return encode(isa, inner, 0, false);
    }
    std::optional<Number> n = is_quoted(value) ? std::nullopt : parse_number(value);
    if (n) {
        if (!n->negative) return n->magnitude;
        if (field.kind != 1 || !field.is_signed)
            fail("operand " + name + " is not signed; " + value + " needs a signed field");
        uint32_t bits = field.bit_count;
        if (bits == 0 || bits > 64 || (bits < 64 && n->magnitude > (1ull << (bits - 1))))
            fail("value " + value + " does not fit the " + std::to_string(bits) + "-bit operand " +
                 name);
        uint64_t v = 0 - n->magnitude;
        return bits == 64 ? v : v & ((1ull << bits) - 1);
    }
    std::string text = unquote(value);
    std::string known;
    for (uint32_t i = 0; i < field.entry_count && i < 128; ++i) {
        const char *e = field.entries[i].text;
        if (e && text == e) return field.entries[i].value;
        if (e && known.size() < 200) known += std::string(known.empty() ? "" : " ") + "'" + e + "'";
    }
    if (known.empty()) fail("operand " + name + " takes a number, not '" + value + "'");
    fail("'" + text + "' is not a value of operand " + name + " (values: " + known + ")");
}

uint16_t Reader::section_index(const std::string &name) {
    uint16_t found = 0;
    for (size_t i = 0; i < sections_.size(); ++i) {
        if (sections_[i].name != name) continue;
        if (found) fail("two sections are named '" + name + "'; give the index instead");
        found = uint16_t(i + 1);
    }
    if (!found) fail("no section named '" + name + "'");
    return found;
}

uint32_t Reader::symbol_index(const SymbolRef &r, unsigned line) {
    line_ = line;
    if (r.index) return *r.index;
    uint32_t found = 0;
    for (size_t i = 0; i < symbols_.size(); ++i) {
        if (symbols_[i].name != r.name) continue;
        if (found) fail("two symbols are named '" + r.name + "'; give @INDEX instead");
        found = uint32_t(i + 1);
    }
    if (!found) fail("no symbol named '" + r.name + "'");
    return found;
}

Bytes Reader::finish() {
    if (!have_header_) fail("the description is empty; it needs an 'elf' or 'binary' statement");
    if (binary_) return sections_[0].data;

    ElfWriter w(order_);
    w.type(e_type_).machine(machine_).entry(entry_).version(version_);
    w.flags(raw_flags_ ? *raw_flags_ : (arch_code_ & 0xFF) | ((shift_ & 0xFF) << 8));
    if (ehsize_) w.ehsize(*ehsize_);
    if (phentsize_) w.phentsize(*phentsize_);
    if (shentsize_) w.shentsize(*shentsize_);
    if (shnum_) w.shnum(*shnum_);
    if (shstrndx_) w.shstrndx(*shstrndx_);
    if (force_symtab_) w.with_symtab();

    for (const Section &s : sections_) {
        SectionBuilder b = w.section(s.name);
        b.type(s.type).flags(s.flags).addr(s.addr).align(s.align).info(s.info).data(s.data);
        if (s.link) b.link(*s.link);
        if (s.entsize) b.entsize(*s.entsize);
        if (s.size) b.size(*s.size);
        if (s.offset) b.offset(*s.offset);
    }
    // One RELA section per section with relocations, after the described ones.
    for (size_t i = 0; i < sections_.size(); ++i) {
        if (sections_[i].relocs.empty()) continue;
        RelocBuilder rb = w.rela(uint32_t(i + 1), ".rela" + sections_[i].name);
        for (const Reloc &r : sections_[i].relocs)
            rb.add(r.offset, r.type, symbol_index(r.symbol, r.line), int32_t(r.addend));
    }
    for (const Symbol &y : symbols_) {
        line_ = y.line;
        uint16_t shndx = y.section_name.empty() ? y.shndx : section_index(y.section_name);
        w.symbol(y.name).value(y.value).size(y.size).type(y.type).bind(y.bind).other(y.other).shndx(
            shndx);
    }
    for (const QzEntry &q : qz_) {
        line_ = q.line;
        if (q.is_raw)
            w.qz_raw(q.raw);
        else
            w.qz_space(q.section_name.empty() ? q.section : section_index(q.section_name), q.space);
    }
    for (size_t i = 0; i < sections_.size(); ++i) {
        if (sections_[i].link_symtab) w.section_at(uint32_t(i + 1)).link(w.symtab_index());
        if (sections_[i].link_strtab) w.section_at(uint32_t(i + 1)).link(w.strtab_index());
    }
    return w.build();
}

} // namespace

ZobjResult build_zobj(std::string_view text, const std::string &file_name) {
    ZobjResult result;
    Reader reader(&result);
    try {
        size_t pos = 0;
        unsigned line = 0;
        while (pos < text.size()) {
            // One statement: a line, joined with the next while it ends in '\'.
            reader.at(line + 1);
            std::string statement;
            while (pos < text.size()) {
                size_t eol = text.find('\n', pos);
                if (eol == std::string_view::npos) eol = text.size();
                std::string physical = strip_comment(std::string(text.substr(pos, eol - pos)));
                pos = eol + 1;
                ++line;
                while (!physical.empty() && is_blank(physical.back())) physical.pop_back();
                bool more = !physical.empty() && physical.back() == '\\';
                if (more) physical.pop_back();
                if (!statement.empty()) statement += " ";
                statement += physical;
                if (!more) break;
            }
            std::vector<std::string> tokens = tokenize(statement);
            if (!tokens.empty()) reader.statement(tokens);
        }
        result.image = reader.finish();
        result.ok = true;
    } catch (const Failure &f) {
        result.words.clear();
        // Names are resolved at the end; such problems report the line that used the name.
        result.error = file_name + ":" + std::to_string(reader.line()) + ": " + f.message;
    }
    return result;
}

} // namespace zema_test

namespace zema_test {

bool zobj_words(std::string_view line, std::vector<std::string> *words, std::string *error) {
    try {
        *words = tokenize(strip_comment(std::string(line)));
        return true;
    } catch (const Failure &f) {
        *error = f.message;
        return false;
    }
}

std::string zobj_text(std::string_view word) {
    return unquote(word);
}

std::string zobj_uncommented(std::string_view line) {
    return strip_comment(std::string(line));
}

} // namespace zema_test
