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

    bool Render(uint32_t arch);

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
    bool Named(const char *n) const { return std::strcmp(d_.record->name, n) == 0; }
    bool Begins(const char *p) const {
        return std::strncmp(d_.record->name, p, std::strlen(p)) == 0;
    }

    bool Loop(uint32_t arch);
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

bool Special::Loop(uint32_t arch) {
    if (arch == 1) {
        if (Named("set_loop_I") && Has({"ITER_CNT"}))
            return out_ = "set.loop " + N(add(V("ITER_CNT"), 1)), true;
        if (Named("set_loop_asX_I") && Has({"AS", "LOOP_SIZE_R10"}))
            return out_ = "set.loop " + T("AS") + ", " + N(add(V("LOOP_SIZE_R10"), 1)), true;
        if (Named("set_loop_I_I") && Has({"ITER_CNT", "LOOP_SIZE_R10"}))
            return out_ = "set.loop " + N(add(V("ITER_CNT"), 1)) + ", " +
                          N(add(V("LOOP_SIZE_R10"), 1)),
                   true;
        return false;
    }
    if (arch == 2 || arch == 3) {
        if ((Named("setC_loop_aX_INSTR") || Named("setC_loop_agX_INSTR")) &&
            Has({"AXG", "C_INSTR_CNT"}))
            return out_ = "setC.loop " + T("AXG") + ", " + N(add(V("C_INSTR_CNT"), 1)), true;
        if (Named("setB_loop_agX_INSTR") && Has({"AXG", "B_INSTR_CNT"}))
            return out_ = "setB.loop " + T("AXG") + ", " + N(add(V("B_INSTR_CNT"), 1)), true;
        if (Named("set_loop_ITER_INSTR") && Has({"C_ITER_CNT", "C_INSTR_CNT"}))
            return out_ = "set.loop " + N(add(V("C_ITER_CNT"), 1)) + ", " +
                          N(add(V("C_INSTR_CNT"), 1)),
                   true;
        if (Named("setC_loop_ITER") && Has({"C_ITER_CNT"}))
            return out_ = "setC.loop " + N(add(V("C_ITER_CNT"), 1)), true;
        if (Named("setB_loop_Iu11") && Has({"C_ITER_CNT_SHORT"}))
            return out_ = "setB.loop " + N(add(V("C_ITER_CNT_SHORT"), 1)), true;
        return false;
    }
    if (Named("set_loop") && Has({"SET_LOOP_INDEX", "IM8"}))
        return out_ = "set.loop " + T("SET_LOOP_INDEX") + ", " + N(add(V("IM8"), 1)), true;
    if (arch == 4 && Named("set_range_aY_asA_Iu17") && Has({"AA", "AS", "IM17"}))
        return out_ = "set.range " + T("AA") + ", " + T("AS") + ", " + N(add(V("IM17"), 1)), true;
    return false;
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

bool Special::Render(uint32_t arch) {
    if (arch == 1) {
        if (Named("set_loop_I") || Named("set_loop_I_I") || Named("set_loop_asX_I"))
            return Loop(arch);
        if (Named("set_nco")) return Nco();
        if (Named("set_xtrm")) return Xtrm(arch);
        if (Begins("set_range1_r") || Begins("set_range2_r")) return Range();
        return false;
    }
    if (arch == 2 || arch == 3) {
        if (Named("set_xtrm")) return Xtrm(arch);
        if (Begins("stm")) return StoreLoadMultiple(true);
        if (Begins("ldm")) return StoreLoadMultiple(false);
        if (arch == 3 && Begins("pushm")) return PushPopMultiple(true);
        if (arch == 3 && Begins("popm")) return PushPopMultiple(false);
        return Loop(arch);
    }
    if (arch >= 4 && arch <= 6) return Loop(arch);
    return false;
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

uint8_t RecordTraits(const char *name, uint32_t arch) {
    auto is = [name](const char *n) { return std::strcmp(name, n) == 0; };
    auto begins = [name](const char *p) { return std::strncmp(name, p, std::strlen(p)) == 0; };
    uint8_t traits = 0;
    if ((arch == 1 && is("opXSSZ")) || ((arch == 2 || arch == 3) && is("opXXSSZ")))
        traits |= TRAIT_TWO_S;
    if (is("null")) traits |= TRAIT_NULL;
    if (is("swbreak")) traits |= TRAIT_SWBREAK;
    if (is("swbreak_upper")) traits |= TRAIT_SWBREAK_UPPER;
    if (is("swbreak_lower")) traits |= TRAIT_SWBREAK_LOWER;
    bool special = false;
    if (arch == 1)
        special = is("set_loop_I") || is("set_loop_I_I") || is("set_loop_asX_I") || is("set_nco") ||
                  is("set_xtrm") || begins("set_range1_r") || begins("set_range2_r");
    else if (arch == 2 || arch == 3)
        special = is("setC_loop_aX_INSTR") || is("setC_loop_agX_INSTR") ||
                  is("setB_loop_agX_INSTR") || is("set_loop_ITER_INSTR") || is("setB_loop_Iu11") ||
                  is("setC_loop_ITER") || is("set_xtrm") || begins("stm") || begins("ldm") ||
                  begins("pushm") || begins("popm");
    else if (arch >= 4 && arch <= 6)
        special = is("set_loop") || (arch == 4 && is("set_range_aY_asA_Iu17"));
    return special ? traits | TRAIT_SPECIAL : traits;
}

bool RenderSpecial(uint32_t index, std::string &out) {
    DecoderState &s = State();
    if (index >= s.count || !s.instructions[index].record) return false;
    // Records of the current tables carry their traits; others (INVALID) are plain.
    const ArchitectureTables &t = *s.current;
    size_t i = t.IndexOf(s.instructions[index].record);
    if (i == SIZE_MAX || !(t.info[i].traits & TRAIT_SPECIAL)) return false;
    Special special(s.instructions[index], s.operand_lists[index], out);
    return special.Render(s.architecture);
}

} // namespace ZEMADisasmLib
