// Instructions whose text is computed from operand values: loop counts
// stored minus one, oscillator frequencies, extremum lengths, split ranges
// and register masks.
#include <cstring>
#include <string_view>

#include "decodelib/src/state.h"

namespace ZEMADisasmLib {

namespace {

// Wrapping arithmetic: operand texts may have been rewritten by the driver,
// so values can be anything and must not overflow into undefined behaviour.
int64_t add(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
int64_t mul(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}
int64_t power_of_two(int64_t n) {
    return n >= 0 && n < 64 ? static_cast<int64_t>(1ULL << n) : 0;
}

// The value of the digits at the start of s.
uint64_t parse_digits(std::string_view s, int base) {
    uint64_t v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    }
    return v;
}

int64_t parse_number(std::string_view s) {
    if (s.substr(0, 2) == "-$") return static_cast<int64_t>(0 - parse_digits(s.substr(2), 16));
    if (s.substr(0, 2) == "+$") return static_cast<int64_t>(parse_digits(s.substr(2), 16));
    if (!s.empty() && s[0] == '$') return static_cast<int64_t>(parse_digits(s.substr(1), 16));
    bool negative = !s.empty() && s[0] == '-';
    uint64_t v = parse_digits(s.substr(!s.empty() && (s[0] == '-' || s[0] == '+')), 10);
    return static_cast<int64_t>(negative ? 0 - v : v);
}

// A number as the listing writes it, held without allocating.
class NumberText {
  public:
    NumberText(int64_t value, uint32_t options) {
        TextSink sink(text_, sizeof text_);
        uint64_t magnitude =
            value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        if (value < 0) sink.Put('-');
        if (options & OPT_DECIMAL) {
            sink.PutDecimal(magnitude);
        } else {
            sink.Put('$');
            sink.PutHex(magnitude);
        }
        length_ = sink.Length();
    }
    operator std::string_view() const { return {text_, length_}; }

  private:
    char text_[24]; // "-$" and 16 digits, or "-" and 20
    size_t length_;
};

// Computed texts are a few pieces appended to the instruction text, which
// keeps its room from one instruction to the next: no piece is allocated.
class Special {
  public:
    Special(const DecodedInstruction &d, const OperandList &ops, std::string &out)
        : d_(d), ops_(ops), out_(out) {}

    bool Render(RecordKind kind, uint32_t arch);

  private:
    const OperandRecord *Find(const char *syntax) const {
        for (const OperandRecord &op : ops_)
            if (op.syntax_name && std::strcmp(op.syntax_name, syntax) == 0) return &op;
        return nullptr;
    }
    bool Has(std::initializer_list<const char *> names) const {
        for (const char *n : names)
            if (!Find(n)) return false;
        return true;
    }
    std::string_view T(const char *syntax) const {
        const OperandRecord *op = Find(syntax);
        return op ? CurrentText(*op) : std::string_view();
    }
    int64_t V(const char *syntax) const { return parse_number(T(syntax)); }
    static NumberText N(int64_t v) { return NumberText(v, State().options); }
    void Add(std::initializer_list<std::string_view> pieces) {
        for (std::string_view p : pieces) out_ += p;
    }
    // The text made of the pieces; true, for the renderings to return.
    bool Set(std::initializer_list<std::string_view> pieces) {
        out_.clear();
        Add(pieces);
        return true;
    }
    // A register name of a prefix and a number below 100, between two texts.
    void Reg(std::string_view before, const char *prefix, int i, std::string_view after) {
        char digits[2] = {static_cast<char>('0' + i / 10), static_cast<char>('0' + i % 10)};
        std::string_view number =
            i >= 10 ? std::string_view(digits, 2) : std::string_view(digits + 1, 1);
        Add({before, prefix, number, after});
    }
    bool Loop(RecordKind kind);
    bool Nco();
    bool Xtrm(uint32_t arch);
    bool Range();
    void Address(int64_t offset) {
        out_ += "[sp";
        if (offset > 0) out_ += '+';
        if (offset) out_ += N(offset);
        out_ += ']';
    }
    bool StoreLoadMultiple(bool store);
    bool PushPopMultiple(bool push);

    const DecodedInstruction &d_;
    const OperandList &ops_;
    std::string &out_;
};

bool Special::Loop(RecordKind kind) {
    switch (kind) {
    case KIND_SET_LOOP_COUNT:
        return Has({"ITER_CNT"}) && Set({"set.loop ", N(add(V("ITER_CNT"), 1))});
    case KIND_SET_LOOP_REG_SIZE:
        return Has({"AS", "LOOP_SIZE_R10"}) &&
               Set({"set.loop ", T("AS"), ", ", N(add(V("LOOP_SIZE_R10"), 1))});
    case KIND_SET_LOOP_COUNT_SIZE:
        return Has({"ITER_CNT", "LOOP_SIZE_R10"}) &&
               Set({"set.loop ", N(add(V("ITER_CNT"), 1)), ", ", N(add(V("LOOP_SIZE_R10"), 1))});
    case KIND_SETC_LOOP_REG:
        return Has({"AXG", "C_INSTR_CNT"}) &&
               Set({"setC.loop ", T("AXG"), ", ", N(add(V("C_INSTR_CNT"), 1))});
    case KIND_SETB_LOOP_REG:
        return Has({"AXG", "B_INSTR_CNT"}) &&
               Set({"setB.loop ", T("AXG"), ", ", N(add(V("B_INSTR_CNT"), 1))});
    case KIND_SET_LOOP_ITER_INSTR:
        return Has({"C_ITER_CNT", "C_INSTR_CNT"}) &&
               Set({"set.loop ", N(add(V("C_ITER_CNT"), 1)), ", ", N(add(V("C_INSTR_CNT"), 1))});
    case KIND_SETC_LOOP_ITER:
        return Has({"C_ITER_CNT"}) && Set({"setC.loop ", N(add(V("C_ITER_CNT"), 1))});
    case KIND_SETB_LOOP_SHORT:
        return Has({"C_ITER_CNT_SHORT"}) && Set({"setB.loop ", N(add(V("C_ITER_CNT_SHORT"), 1))});
    case KIND_RIXU_SET_LOOP:
        return Has({"SET_LOOP_INDEX", "IM8"}) &&
               Set({"set.loop ", T("SET_LOOP_INDEX"), ", ", N(add(V("IM8"), 1))});
    case KIND_RIXU_SET_RANGE:
        return Has({"AA", "AS", "IM17"}) &&
               Set({"set.range ", T("AA"), ", ", T("AS"), ", ", N(add(V("IM17"), 1))});
    default:
        return false;
    }
}

bool Special::Nco() {
    if (!Has({"NCO_MODE", "NCO_K", "NCO_FREQ", "NCO_NEG_POS"})) return false;
    int64_t freq = V("NCO_FREQ"), sign = V("NCO_NEG_POS");
    int64_t f = freq ? mul(add(mul(2, sign), -1), freq) : add(1LL << 30, -mul(sign, 1LL << 30));
    return Set({"set.nco ", T("NCO_MODE"), ", ", T("NCO_K"), ", ", N(f)});
}

bool Special::Xtrm(uint32_t arch) {
    const char *n_name = arch == 1 ? "IM4" : "Iu6";
    const char *l_name = arch == 1 ? "LINE1b" : "B_line";
    if (arch == 1 ? !Has({"UNS1b", "MIN1b", "EV1b", "IM4", "LINE1b"})
                  : !Has({"Bs_signed", "Bs_min", "Bs_even", "Iu6", "B_line", "XTRM_VALUE_INDEX"}))
        return false;
    int64_t n = V(n_name), l = V(l_name), au = State().au_count;
    int64_t x = add(mul(mul(mul(2, add(n, 1)), au), l), mul(add(1, -l), power_of_two(n)));
    if (arch == 1)
        return Set({"set.xtrm ", T("UNS1b"), ", ", T("MIN1b"), ", ", T("EV1b"), ", ", N(x)});
    return Set({"set.xtrm ", T("Bs_signed"), ", ", T("Bs_min"), ", ", T("Bs_even"), ", ",
                T("XTRM_VALUE_INDEX"), ", ", N(x)});
}

bool Special::Range() {
    std::string_view syntax = d_.record->syntax ? d_.record->syntax : "";
    size_t comma = syntax.find(',');
    if (comma == std::string_view::npos || !Has({"IM22"})) return false;
    uint64_t v = static_cast<uint64_t>(V("IM22")), b, w;
    if (State().au_count < 32)
        b = (v >> 13) & 0x1FF, w = (v >> 3) & 0x1FF;
    else
        b = (v >> 11) & 0x7FF, w = v & 0x7FF;
    return Set({syntax.substr(0, comma), ", ", N(static_cast<int64_t>(b)), ", ",
                N(static_cast<int64_t>(w))});
}

bool Special::StoreLoadMultiple(bool store) {
    bool wide = Has({"Is16", "MASK_32"});
    if (!wide && !Has({"Is10", "MASK_5"})) return false;
    uint64_t mask = static_cast<uint64_t>(V(wide ? "MASK_32" : "MASK_5"));
    int64_t offset = V(wide ? "Is16" : "Is10");
    out_ = store ? "stm " : "ldm ";
    if (store) Address(offset);
    std::string_view before = store ? ", " : "", after = store ? "" : ", ";
    if (wide) {
        for (int i = 0; i < 20; ++i)
            if ((mask >> (12 + i)) & 1) Reg(before, "a", i, after);
        for (int i = 0; i < 12; ++i)
            if ((mask >> i) & 1) Reg(before, "g", i, after);
    } else {
        static const char *const names[] = {"rSt", "rV", "rS2", "rS1", "rS0"};
        for (int i = 0; i < 5; ++i)
            if ((mask >> i) & 1) Add({before, names[i], after});
    }
    if (!store) Address(offset);
    return true;
}

bool Special::PushPopMultiple(bool push) {
    if (!Has({"MASK_16", "BIT_AREGS"})) return false;
    uint64_t mask = static_cast<uint64_t>(V("MASK_16"));
    out_ = push ? "pushm" : "popm";
    bool first = true;
    auto reg = [&](const char *prefix, int i) {
        Reg(first ? " " : ", ", prefix, i, "");
        first = false;
    };
    if (V("BIT_AREGS") == 0) {
        for (int i = 0; i < 4; ++i)
            if ((mask >> (12 + i)) & 1) reg("a", i);
        for (int i = 0; i < 12; ++i)
            if ((mask >> i) & 1) reg("g", i);
    } else {
        for (int i = 4; i < 20; ++i)
            if ((mask >> (i - 4)) & 1) reg("a", i);
    }
    return true;
}

bool Special::Render(RecordKind kind, uint32_t arch) {
    switch (kind) {
    case KIND_SET_NCO:
        return Nco();
    case KIND_SET_XTRM:
        return Xtrm(arch);
    case KIND_SET_RANGE_SPLIT:
        return Range();
    case KIND_STORE_MULTIPLE:
        return StoreLoadMultiple(true);
    case KIND_LOAD_MULTIPLE:
        return StoreLoadMultiple(false);
    case KIND_PUSH_MULTIPLE:
        return PushPopMultiple(true);
    case KIND_POP_MULTIPLE:
        return PushPopMultiple(false);
    default:
        return Loop(kind);
    }
}

} // namespace

int64_t ParseNumber(const char *text) {
    return text ? parse_number(text) : 0;
}

std::string FormatNumber(int64_t value, uint32_t options) {
    return std::string(std::string_view(NumberText(value, options)));
}

uint8_t TraitsOfKind(RecordKind kind) {
    switch (kind) {
    case KIND_PLAIN:
    case KIND_LOOP_BEGIN_0:
    case KIND_LOOP_BEGIN_1:
    case KIND_LOOP_END_0:
    case KIND_LOOP_END_1:
    case KIND_LOOP_BEGIN:
    case KIND_COUNT:
        return 0;
    case KIND_TWO_S_FORMAT:
        return TRAIT_TWO_S;
    case KIND_NULL:
        return TRAIT_NULL;
    case KIND_SWBREAK:
        return TRAIT_SWBREAK;
    case KIND_SWBREAK_UPPER:
        return TRAIT_SWBREAK_UPPER;
    case KIND_SWBREAK_LOWER:
        return TRAIT_SWBREAK_LOWER;
    default:
        return TRAIT_SPECIAL;
    }
}

bool RenderSpecial(uint32_t index, std::string &out) {
    DecoderState &s = State();
    if (index >= s.count || !s.instructions[index].record) return false;
    // Records of the current tables carry their traits; others (INVALID) are plain.
    const ArchitectureTables &t = *s.current;
    size_t i = t.IndexOf(s.instructions[index].record);
    if (i == SIZE_MAX || !(t.info[i].traits & TRAIT_SPECIAL)) return false;
    Special special(s.instructions[index], s.operand_lists[index], out);
    return special.Render(t.info[i].kind, s.architecture);
}

} // namespace ZEMADisasmLib
