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

uint64_t parse_digits(const char *p, int base) {
    uint64_t v = 0;
    for (;; ++p) {
        int d;
        if (*p >= '0' && *p <= '9')
            d = *p - '0';
        else if (base == 16 && *p >= 'a' && *p <= 'f')
            d = *p - 'a' + 10;
        else if (base == 16 && *p >= 'A' && *p <= 'F')
            d = *p - 'A' + 10;
        else
            return v;
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    }
}

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
    std::string T(const char *syntax) const {
        const OperandRecord *op = Find(syntax);
        return op ? std::string(CurrentText(*op)) : std::string();
    }
    int64_t V(const char *syntax) const { return ParseNumber(T(syntax).c_str()); }
    std::string N(int64_t v) const { return FormatNumber(v, State().options); }
    static std::string Reg(const char *prefix, int i) {
        std::string r(prefix);
        r += std::to_string(i);
        return r;
    }
    bool Loop(RecordKind kind);
    bool Nco();
    bool Xtrm(uint32_t arch);
    bool Range();
    std::string Offset(int64_t k) const {
        std::string o(k > 0 ? "+" : "");
        if (k) o += N(k);
        return o;
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
        if (!Has({"ITER_CNT"})) return false;
        return out_ = "set.loop " + N(add(V("ITER_CNT"), 1)), true;
    case KIND_SET_LOOP_REG_SIZE:
        if (!Has({"AS", "LOOP_SIZE_R10"})) return false;
        return out_ = "set.loop " + T("AS") + ", " + N(add(V("LOOP_SIZE_R10"), 1)), true;
    case KIND_SET_LOOP_COUNT_SIZE:
        if (!Has({"ITER_CNT", "LOOP_SIZE_R10"})) return false;
        return out_ = "set.loop " + N(add(V("ITER_CNT"), 1)) + ", " + N(add(V("LOOP_SIZE_R10"), 1)),
               true;
    case KIND_SETC_LOOP_REG:
        if (!Has({"AXG", "C_INSTR_CNT"})) return false;
        return out_ = "setC.loop " + T("AXG") + ", " + N(add(V("C_INSTR_CNT"), 1)), true;
    case KIND_SETB_LOOP_REG:
        if (!Has({"AXG", "B_INSTR_CNT"})) return false;
        return out_ = "setB.loop " + T("AXG") + ", " + N(add(V("B_INSTR_CNT"), 1)), true;
    case KIND_SET_LOOP_ITER_INSTR:
        if (!Has({"C_ITER_CNT", "C_INSTR_CNT"})) return false;
        return out_ = "set.loop " + N(add(V("C_ITER_CNT"), 1)) + ", " + N(add(V("C_INSTR_CNT"), 1)),
               true;
    case KIND_SETC_LOOP_ITER:
        if (!Has({"C_ITER_CNT"})) return false;
        return out_ = "setC.loop " + N(add(V("C_ITER_CNT"), 1)), true;
    case KIND_SETB_LOOP_SHORT:
        if (!Has({"C_ITER_CNT_SHORT"})) return false;
        return out_ = "setB.loop " + N(add(V("C_ITER_CNT_SHORT"), 1)), true;
    case KIND_RIXU_SET_LOOP:
        if (!Has({"SET_LOOP_INDEX", "IM8"})) return false;
        return out_ = "set.loop " + T("SET_LOOP_INDEX") + ", " + N(add(V("IM8"), 1)), true;
    case KIND_RIXU_SET_RANGE:
        if (!Has({"AA", "AS", "IM17"})) return false;
        return out_ = "set.range " + T("AA") + ", " + T("AS") + ", " + N(add(V("IM17"), 1)), true;
    default:
        return false;
    }
}

bool Special::Nco() {
    if (!Has({"NCO_MODE", "NCO_K", "NCO_FREQ", "NCO_NEG_POS"})) return false;
    int64_t freq = V("NCO_FREQ"), sign = V("NCO_NEG_POS");
    int64_t f = freq ? mul(add(mul(2, sign), -1), freq) : add(1LL << 30, -mul(sign, 1LL << 30));
    out_ = "set.nco " + T("NCO_MODE") + ", " + T("NCO_K") + ", " + N(f);
    return true;
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
        out_ = "set.xtrm " + T("UNS1b") + ", " + T("MIN1b") + ", " + T("EV1b") + ", " + N(x);
    else
        out_ = "set.xtrm " + T("Bs_signed") + ", " + T("Bs_min") + ", " + T("Bs_even") + ", " +
               T("XTRM_VALUE_INDEX") + ", " + N(x);
    return true;
}

bool Special::Range() {
    const char *syntax = d_.record->syntax ? d_.record->syntax : "";
    const char *comma = std::strchr(syntax, ',');
    if (!comma || !Has({"IM22"})) return false;
    uint64_t v = static_cast<uint64_t>(V("IM22")), b, w;
    if (State().au_count < 32)
        b = (v >> 13) & 0x1FF, w = (v >> 3) & 0x1FF;
    else
        b = (v >> 11) & 0x7FF, w = v & 0x7FF;
    out_ = std::string(syntax, comma) + ", " + N(static_cast<int64_t>(b)) + ", " +
           N(static_cast<int64_t>(w));
    return true;
}

bool Special::StoreLoadMultiple(bool store) {
    bool wide = Has({"Is16", "MASK_32"});
    if (!wide && !Has({"Is10", "MASK_5"})) return false;
    uint64_t mask = static_cast<uint64_t>(V(wide ? "MASK_32" : "MASK_5"));
    std::string address = "[sp" + Offset(V(wide ? "Is16" : "Is10")) + "]", regs;
    auto reg = [&](const std::string &name) { regs += store ? ", " + name : name + ", "; };
    if (wide) {
        for (int i = 0; i < 20; ++i)
            if ((mask >> (12 + i)) & 1) reg(Reg("a", i));
        for (int i = 0; i < 12; ++i)
            if ((mask >> i) & 1) reg(Reg("g", i));
    } else {
        static const char *const names[] = {"rSt", "rV", "rS2", "rS1", "rS0"};
        for (int i = 0; i < 5; ++i)
            if ((mask >> i) & 1) reg(names[i]);
    }
    out_ = store ? "stm " + address + regs : "ldm " + regs + address;
    return true;
}

bool Special::PushPopMultiple(bool push) {
    if (!Has({"MASK_16", "BIT_AREGS"})) return false;
    uint64_t mask = static_cast<uint64_t>(V("MASK_16"));
    out_ = push ? "pushm" : "popm";
    bool first = true;
    auto reg = [&](const std::string &name) {
        out_ += (first ? " " : ", ") + name;
        first = false;
    };
    if (V("BIT_AREGS") == 0) {
        for (int i = 0; i < 4; ++i)
            if ((mask >> (12 + i)) & 1) reg(Reg("a", i));
        for (int i = 0; i < 12; ++i)
            if ((mask >> i) & 1) reg(Reg("g", i));
    } else {
        for (int i = 4; i < 20; ++i)
            if ((mask >> (i - 4)) & 1) reg(Reg("a", i));
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
    if (!text) return 0;
    std::string_view s(text);
    if (s.size() >= 2 && s.substr(0, 2) == "-$")
        return static_cast<int64_t>(0 - parse_digits(text + 2, 16));
    if (s.size() >= 2 && s.substr(0, 2) == "+$")
        return static_cast<int64_t>(parse_digits(text + 2, 16));
    if (!s.empty() && s[0] == '$') return static_cast<int64_t>(parse_digits(text + 1, 16));
    bool negative = !s.empty() && s[0] == '-';
    const char *digits = text + (!s.empty() && (s[0] == '-' || s[0] == '+') ? 1 : 0);
    uint64_t v = parse_digits(digits, 10);
    return static_cast<int64_t>(negative ? 0 - v : v);
}

std::string FormatNumber(int64_t value, uint32_t options) {
    char buffer[32];
    {
        TextSink sink(buffer, sizeof buffer);
        uint64_t magnitude =
            value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        if (value < 0) sink.Put('-');
        if (options & OPT_DECIMAL) {
            sink.PutDecimal(magnitude);
        } else {
            sink.Put('$');
            sink.PutHex(magnitude);
        }
    }
    return buffer;
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
