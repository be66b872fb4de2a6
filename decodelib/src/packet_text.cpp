// Packet text: each instruction from its template or special rendering,
// joined into one line, two-S halves on separate lines, the clean-ups
// applied as the text grows.
#include <bit>

#include "decodelib/src/state.h"

namespace ZEMADisasmLib {

namespace {

struct PacketShape {
    long first_s = -1, second_s = -1, x = -1, z = -1;
    bool two_s() const { return second_s >= 0; }
};

PacketShape shape_of_packet() {
    const DecoderState &s = State();
    PacketShape p;
    for (uint32_t i = 0; i < s.count; ++i) {
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

// Whether the compiled template of record `index` of the current tables
// gives the text of these operands.
bool use_compiled(uint32_t index, const OperandList &ops) {
    ArchitectureTables &t = *State().current;
    RecordInfo &info = t.info[index];
    if (info.template_begin == RecordInfo::kTemplateUnbuilt) CompileTemplate(t, index);
    if (info.template_begin < 0 || ops.size() != info.operand_count) return false;
    for (uint32_t sensitive = info.touch_sensitive; sensitive; sensitive &= sensitive - 1) {
        uint32_t k = static_cast<uint32_t>(std::countr_zero(sensitive));
        if (k < ops.size() && !ops.Rendered(k).Untouched(ops[k])) return false;
    }
    return true;
}

// Appends the template with the operand texts at the cursor, which has room
// for `room` more characters; returns the raw length.
size_t append_pieces(const RecordInfo &info, const OperandList &ops, CleanText &out,
                     CleanText::Cursor &c, size_t room) {
    // Locals, since stores through the cursor may alias the tables.
    const ArchitectureTables &t = *State().current;
    const TemplatePiece *piece = t.pieces.data() + info.template_begin;
    const TemplatePiece *last = t.pieces.data() + info.template_end;
    const char *literals = t.literals.data();
    size_t raw = 0;
    for (; piece != last; ++piece) {
        if (piece->operand < 0) {
            const char *literal = literals + piece->literal;
            piece->clean ? c.Clean(literal, piece->length) : c.Text(literal, piece->length);
            raw += piece->length;
            continue;
        }
        const OperandRecord &op = ops[static_cast<size_t>(piece->operand)];
        const RenderedText &rendered = ops.Rendered(static_cast<size_t>(piece->operand));
        if (rendered.Untouched(op)) { // shorter than 16 characters, in a buffer of 128
            rendered.clean ? c.Clean(op.text, rendered.length) : c.Text(op.text, rendered.length);
            raw += rendered.length;
            continue;
        }
        std::string_view text = CurrentText(op);
        out.End(c);
        out.Append(text);
        c = out.Begin(room);
        raw += text.size();
    }
    return raw;
}

// The compiled template that gives the text of decoded instruction i, or
// null when it is replaced, special or needs the general substitution.
const RecordInfo *compiled_template(uint32_t i) {
    DecoderState &s = State();
    const DecodedInstruction &d = s.instructions[i];
    if (d.replaced) return nullptr;
    size_t index = s.current->IndexOf(d.record);
    if (index == SIZE_MAX) return nullptr;
    const RecordInfo &info = s.current->info[index];
    if (info.traits & TRAIT_SPECIAL) return nullptr;
    return use_compiled(static_cast<uint32_t>(index), s.operand_lists[i]) ? &info : nullptr;
}

// Appends the text of decoded instruction i that no compiled template gives,
// without prefix and suffix; returns its raw length.
size_t append_other_body(uint32_t i, CleanText &out) {
    DecoderState &s = State();
    const DecodedInstruction &d = s.instructions[i];
    if (d.replaced) {
        out.Append(d.replacement_text);
        return d.replacement_text.size();
    }
    const OperandList &ops = s.operand_lists[i];
    size_t index = s.current->IndexOf(d.record);
    bool special = index != SIZE_MAX && (s.current->info[index].traits & TRAIT_SPECIAL);
    if (!special || !RenderSpecial(i, s.body))
        SubstituteTemplate(d.record ? d.record->syntax : "", ops, s.body);
    out.Append(s.body);
    return s.body.size();
}

void append_line(uint32_t i, CleanText &target, bool line_feed) {
    const DecodedInstruction &d = State().instructions[i];
    const RecordInfo *compiled = compiled_template(i);
    size_t before = target.Size();
    size_t room = d.prefix_text.size() + d.suffix_text.size() + 2;
    if (compiled) room += compiled->template_room;
    // The separator goes again when the line turns out empty; it is no
    // clean-up character, so nothing before it changes meanwhile.
    CleanText::Cursor c = target.Begin(room);
    if (before) c.Char(line_feed ? '\n' : ' ');
    if (d.prefix_text.size() == 1) // the usual tab
        c.Char(d.prefix_text[0]);
    else
        c.Text(d.prefix_text.data(), d.prefix_text.size());
    size_t raw = d.prefix_text.size() + d.suffix_text.size();
    if (compiled) {
        raw += append_pieces(*compiled, State().operand_lists[i], target, c, room);
    } else {
        target.End(c);
        raw += append_other_body(i, target);
        c = target.Begin(room);
    }
    if (raw == 0) c.Truncate(before);
    c.Text(d.suffix_text.data(), d.suffix_text.size());
    c.Char(';');
    target.End(c);
}

} // namespace

uint32_t FormatPacket(const char **text) {
    DecoderState &s = State();
    PacketShape shape = shape_of_packet();
    bool keep = s.options & OPT_KEEP_PLUS_MINUS, line_feed = s.options & OPT_LINE_SEPARATOR;
    CleanText &first = s.first_part, &second = s.second_part;
    first.Reset(keep);
    second.Reset(keep);
    for (uint32_t i = 0; i < s.count; ++i) {
        long k = static_cast<long>(i);
        bool upper = shape.two_s() && (k == shape.x || k == shape.first_s || k == shape.z);
        append_line(i, upper ? second : first, line_feed);
    }
    // The upper half follows, with no clean-up across the line break.
    if (shape.two_s()) {
        first.AppendRaw("\n\t", 2);
        first.AppendRaw(second.Data(), second.Size());
    }
    const char *whole = first.CStr();
    if (text) *text = whole;
    return s.consumed;
}

} // namespace ZEMADisasmLib
