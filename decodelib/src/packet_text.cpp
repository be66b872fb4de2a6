// Packet text: each instruction from its template or special rendering,
// joined into one line, two-S halves on separate lines, then clean-ups.
#include <cstring>

#include "decodelib/src/state.h"

namespace ZEMADisasmLib {

namespace {

// Replaces every occurrence of name by text, searching on behind each
// inserted text so that a text containing the name is not substituted again.
// Returns whether anything was replaced.
bool substitute(std::string &body, const char *name, const OperandRecord &op) {
    size_t name_length = std::strlen(name);
    if (name_length == 0) return false;
    std::string_view text = CurrentText(op);
    bool replaced = false;
    for (size_t p = body.find(name, 0, name_length); p != std::string::npos;
         p = body.find(name, p, name_length)) {
        body.replace(p, name_length, text);
        p += text.size();
        replaced = true;
    }
    return replaced;
}

// Per operand of a record of the current tables: whether its name occurs in
// the template; null for other records.
const uint8_t *template_flags(const InstructionRecord *r) {
    const ArchitectureTables &t = *State().current;
    size_t i = static_cast<size_t>(r - t.records);
    if (!r || r < t.records || i >= t.record_count) return nullptr;
    return &t.in_syntax[t.operand_begin[i]];
}

void replace_all_repeatedly(std::string &s, const char *from, const char *to) {
    size_t from_length = std::strlen(from);
    for (;;) {
        size_t p = s.find(from, 0, from_length);
        if (p == std::string::npos) return;
        std::string::size_type out = p;
        for (size_t in = p; in < s.size();) {
            if (s.compare(in, from_length, from) == 0) {
                for (const char *t = to; *t; ++t) s[out++] = *t;
                in += from_length;
            } else {
                s[out++] = s[in++];
            }
        }
        s.resize(out);
    }
}

// True when one of the clean-up patterns "+-", ",;", ",," or "++" occurs.
bool needs_clean_up(const std::string &t) {
    const char *begin = t.data(), *end = begin + t.size();
    for (const char *p = begin; (p = static_cast<const char *>(std::memchr(p, '+', end - p)));) {
        if (++p < end && (*p == '-' || *p == '+')) return true;
    }
    for (const char *p = begin; (p = static_cast<const char *>(std::memchr(p, ',', end - p)));) {
        if (++p < end && (*p == ';' || *p == ',')) return true;
    }
    return false;
}

void instruction_body(uint32_t i, std::string &body) {
    DecoderState &s = State();
    const DecodedInstruction &d = s.instructions[i];
    if (RenderSpecial(i, body)) return;
    const InstructionRecord *r = d.record;
    body = r && r->syntax ? r->syntax : "";
    // While the body is still the template, a name absent from the template
    // cannot match, so its search is skipped.
    const uint8_t *in_syntax = template_flags(r);
    bool changed = false;
    int k = 0;
    for (const OperandRecord &op : s.operand_lists[i]) {
        if (!op.syntax_name) continue;
        if (in_syntax && !changed) {
            while (k < 64 && r->operands[k].syntax_name &&
                   r->operands[k].syntax_name != op.syntax_name)
                ++k;
            if (k < 64 && r->operands[k].syntax_name && !in_syntax[k]) continue;
        }
        changed |= substitute(body, op.syntax_name, op);
    }
}

struct PacketShape {
    long first_s = -1, second_s = -1, x = -1, z = -1;
    bool two_s() const { return second_s >= 0; }
};

PacketShape shape_of_packet() {
    const DecoderState &s = State();
    PacketShape p;
    for (size_t i = 0; i < s.instructions.size(); ++i) {
        const InstructionRecord *r = s.instructions[i].record;
        uint32_t slot = r ? r->slot : 0;
        long k = static_cast<long>(i);
        if (slot == SLOT_S && p.first_s < 0)
            p.first_s = k;
        else if (slot == SLOT_S)
            p.second_s = k;
        if (slot == SLOT_X && p.x < 0) p.x = k;
        if (slot == SLOT_Z && p.z < 0) p.z = k;
    }
    if (p.two_s()) {
        if (p.x > p.first_s) p.x = -1;
        if (p.z > p.second_s) p.z = -1;
    }
    return p;
}

} // namespace

uint32_t FormatPacket(const char **text) {
    DecoderState &s = State();
    PacketShape shape = shape_of_packet();
    s.first_part.clear();
    s.second_part.clear();
    const char *separator = (s.options & OPT_LINE_SEPARATOR) ? "\n" : " ";
    for (uint32_t i = 0; i < s.instructions.size(); ++i) {
        const DecodedInstruction &d = s.instructions[i];
        instruction_body(i, s.body);
        const std::string &body = d.replaced ? d.replacement_text : s.body;
        bool line_empty = d.prefix_text.empty() && body.empty() && d.suffix_text.empty();
        long k = static_cast<long>(i);
        bool upper = shape.two_s() && (k == shape.x || k == shape.first_s || k == shape.z);
        std::string &target = upper ? s.second_part : s.first_part;
        if (!target.empty() && !line_empty) target += separator;
        target += d.prefix_text;
        target += body;
        target += d.suffix_text;
        target += ';';
    }
    if (shape.two_s()) {
        s.first_part += "\n\t";
        s.first_part += s.second_part;
    }
    if (needs_clean_up(s.first_part)) {
        if (!(s.options & OPT_KEEP_PLUS_MINUS)) replace_all_repeatedly(s.first_part, "+-", "-");
        replace_all_repeatedly(s.first_part, ",;", ";");
        replace_all_repeatedly(s.first_part, ",,", ",");
        replace_all_repeatedly(s.first_part, "++", "+");
    }
    size_t n = s.first_part.size() < sizeof s.packet_text - 1 ? s.first_part.size()
                                                              : sizeof s.packet_text - 1;
    std::memcpy(s.packet_text, s.first_part.data(), n);
    s.packet_text[n] = '\0';
    if (text) *text = s.packet_text;
    return s.consumed;
}

} // namespace ZEMADisasmLib
