// Packet text: each instruction from its template or special rendering,
// joined into one line, two-S halves on separate lines, the clean-ups
// applied as the text grows.
#include "decodelib/packet_text.h"
#include "decodelib/src/state.h"

namespace ZEMADisasmLib {

namespace {

struct PacketShape {
    long first_s = -1, second_s = -1, x = -1, z = -1;
    bool two_s() const { return second_s >= 0; }
};

uint32_t slot_of(const DecoderState &s, uint32_t i) {
    const InstructionRecord *r = s.instructions[i].record;
    return r ? r->slot : 0;
}

PacketShape shape_of_packet() {
    const DecoderState &s = State();
    PacketShape p;
    long x = -1, z = -1; // the first X and Z instructions
    for (uint32_t i = 0, n = s.count; i < n; ++i) {
        uint32_t slot = slot_of(s, i);
        if (slot == SLOT_S)
            (p.first_s < 0 ? p.first_s : p.second_s) = i;
        else if (slot == SLOT_X && x < 0)
            x = i;
        else if (slot == SLOT_Z && z < 0)
            z = i;
    }
    // The other slots matter in the packets with two S instructions.
    if (!p.two_s()) return p;
    p.x = x > p.first_s ? -1 : x;
    p.z = z > p.second_s ? -1 : z;
    return p;
}

// What the line writer reads of the current tables, kept in locals: stores
// through the text's char pointer could alias the tables' members.
struct Templates {
    ArchitectureTables &tables;
    const TemplatePiece *pieces = nullptr;
    RecordInfo *info;
    const InstructionRecord *records;
    size_t record_bytes;
    explicit Templates(ArchitectureTables &t)
        : tables(t), info(t.info.data()), records(t.records),
          record_bytes(size_t{t.record_count} * sizeof(InstructionRecord)) {
        Refresh();
    }
    void Refresh() { pieces = tables.pieces.data(); }
    // Whether r is a record of the tables: one unsigned test of the byte
    // offset instead of two of the pointer.
    bool Holds(const InstructionRecord *r) const {
        return reinterpret_cast<uintptr_t>(r) - reinterpret_cast<uintptr_t>(records) < record_bytes;
    }
};

// The compiled template of decoded instruction d when it may give the text
// (prefix and suffix aside), else null: replaced, special and generic records.
const RecordInfo *compiled_template(Templates &v, const DecodedInstruction &d,
                                    const OperandList &ops) {
    if (d.replaced || !v.Holds(d.record)) return nullptr;
    auto index = static_cast<size_t>(d.record - v.records);
    RecordInfo &info = v.info[index];
    // Built templates lead: one test of the sign on the usual path.
    if (info.template_begin < 0) [[unlikely]] {
        if (info.template_begin != RecordInfo::kTemplateUnbuilt) return nullptr;
        CompileTemplate(v.tables, static_cast<uint32_t>(index));
        v.Refresh();
        if (info.template_begin < 0) return nullptr;
    }
    return ops.size() == info.operand_count ? &info : nullptr;
}

// Whether the driver's text for operand k could make a later operand's name
// match where the general substitution would find it: overlapping the name,
// or empty, which joins the texts on either side of its place.
[[gnu::noinline]] bool joins_later_name(const OperandList &ops, size_t k, std::string_view text) {
    if (text.empty()) return true;
    for (size_t j = k + 1, n = ops.size(); j < n; ++j) {
        const char *name = ops[j].syntax_name;
        if (name && *name && TextOverlapsName(text, name)) return true;
    }
    return false;
}

// Writes operand k of a line of compiled template `info` as a piece that
// `write`s as told, at the cursor, which has room for the template's text and
// `extra` more characters; false when the driver rewrote a text that could
// join a later operand's name. The rare rewritten text alone reads the
// template's room and names, so the usual piece keeps neither in a register.
inline bool write_operand(const OperandList &ops, size_t k, uint32_t write, const RecordInfo &info,
                          size_t extra, CleanText &out, CleanText::Cursor &c) {
    const OperandRecord &op = ops[k];
    const RenderedText &rendered = ops.Rendered(k);
    if (rendered.Untouched(op)) { // shorter than 16 characters, in a buffer of 128
        if (!rendered.clean)
            c.Text(op.text, rendered.length);
        else if (write == TemplatePiece::kCopy)
            c.CopyShort(op.text, rendered.length);
        else
            c.CleanAfter(op.text, rendered.length);
        return true;
    }
    std::string_view text = CurrentText(op);
    if (((info.touch_sensitive >> k) & 1) && joins_later_name(ops, k, text)) return false;
    out.End(c);
    out.Append(text);
    c = out.Begin(info.template_room + extra);
    return true;
}

// Writes the compiled template with the operand texts at the cursor, which
// has room for its text and `extra` more characters; the text before it
// ends in no character that can start a pair. False, with the text partly
// written, when the template cannot give it.
[[gnu::always_inline]] inline bool write_pieces(const Templates &v, const RecordInfo &info,
                                                const OperandList &ops, CleanText &out,
                                                CleanText::Cursor &c, size_t extra) {
    const TemplatePiece *piece = v.pieces + info.template_begin;
    const TemplatePiece *last = v.pieces + info.template_end;
    for (; piece != last; ++piece) {
        if (piece->literal_write == TemplatePiece::kCopy)
            c.CopyShort(piece->literal, piece->length);
        else if (piece->literal_write == TemplatePiece::kCheckFirst)
            c.CleanAfterBlock(piece->literal, piece->length);
        else
            c.Text(piece->literal, piece->length);
        if (piece->operand < 0) continue;
        auto k = static_cast<size_t>(piece->operand);
        if (!write_operand(ops, k, piece->operand_write, info, extra, out, c)) return false;
    }
    return true;
}

// Appends the text of decoded instruction i that no compiled template gives,
// without prefix and suffix.
void append_other_body(uint32_t i, CleanText &out) {
    DecoderState &s = State();
    const DecodedInstruction &d = s.instructions[i];
    if (d.replaced) {
        out.Append(d.replacement_text);
        return;
    }
    const OperandList &ops = s.operand_lists[i];
    size_t index = s.current->IndexOf(d.record);
    bool special = index != SIZE_MAX && (s.current->info[index].traits & TRAIT_SPECIAL);
    if (!special || !RenderSpecial(i, s.body))
        SubstituteTemplate(d.record ? d.record->syntax : "", ops, s.body);
    out.Append(s.body);
}

// Appends the line of decoded instruction i: a separator unless first of its
// half (which starts at size `half`), the prefix, the body, the suffix and
// ";". A line with nothing but the ";" goes without its separator; since the
// clean-ups never take a line's first character back, it is one that wrote
// nothing after the separator.
[[gnu::noinline]] void append_line(const DecoderState &s, Templates &v, uint32_t i,
                                   CleanText &target, bool line_feed, size_t half) {
    const DecodedInstruction &d = s.instructions[i];
    const OperandList &ops = s.operand_lists[i];
    std::string_view prefix = d.prefix_text, suffix = d.suffix_text;
    const RecordInfo *compiled =
        prefix.empty() || !CanLead(prefix.back()) ? compiled_template(v, d, ops) : nullptr;
    size_t before = target.Size();
    size_t extra = prefix.size() + suffix.size() + 2;
    size_t room = extra + (compiled ? compiled->template_room : 0);
    // Separators are no clean-up characters.
    CleanText::Cursor c = target.Begin(room);
    if (before != half) c.Plain(line_feed ? '\n' : ' ');
    size_t start = c.Size();
    if (prefix.size() == 1) // the usual tab
        c.Char(prefix[0]);
    else
        c.Text(prefix.data(), prefix.size());
    // The body cannot change the prefix, whose last character starts no pair.
    size_t body = c.Size();
    if (!compiled || !write_pieces(v, *compiled, ops, target, c, extra)) {
        c.Truncate(body);
        target.End(c);
        append_other_body(i, target);
        c = target.Begin(room);
    }
    c.Unpadded(suffix.data(), suffix.size());
    if (c.Size() == start) c.Truncate(before);
    c.Char(';');
    target.End(c);
}

// Appends at the cursor the usual line of decoded instruction d (the text of
// its half starts at size `half`): a one-character prefix that takes part in
// no clean-up, no suffix, a compiled template. False, with nothing appended,
// for any other line.
bool append_usual_line(Templates &v, const DecodedInstruction &d, const OperandList &ops,
                       CleanText &target, CleanText::Cursor &c, char separator, size_t half) {
    // One test for the prefix's and the suffix's lengths.
    if ((d.prefix_text.size() ^ 1) | d.suffix_text.size()) return false;
    char prefix = d.prefix_text[0];
    if (CleanText::IsCleanUpChar(prefix)) return false;
    const RecordInfo *compiled = compiled_template(v, d, ops);
    if (!compiled) return false;
    constexpr size_t kExtra = 3; // separator, prefix and ";"
    size_t room = compiled->template_room + kExtra;
    if (!c.Fits(room)) [[unlikely]] {
        target.End(c);
        c = target.Begin(room);
    }
    size_t before = c.Size();
    c.PlainWhen(separator, before != half);
    c.Plain(prefix);
    if (!write_pieces(v, *compiled, ops, target, c, kExtra)) [[unlikely]] {
        c.Truncate(before);
        return false;
    }
    c.EndLine(); // after the prefix at least
    return true;
}

} // namespace

uint32_t FormatPacket(const char **text) {
    DecoderState &s = State();
    // The appends counted the S instructions: most packets need no pass.
    PacketShape shape = s.s_count < 2 ? PacketShape{} : shape_of_packet();
    bool keep = s.options & OPT_KEEP_PLUS_MINUS, line_feed = s.options & OPT_LINE_SEPARATOR;
    CleanText &text_of_packet = s.packet_part;
    text_of_packet.Reset(keep);
    // Instructions are decoded with some tables selected.
    Templates v(s.count ? *s.current : s.tables[0]);
    const DecodedInstruction *instructions = s.instructions.data();
    const OperandList *lists = s.operand_lists.data();
    char separator = line_feed ? '\n' : ' ';
    // The cursor of the text stays open from line to line.
    CleanText::Cursor c = text_of_packet.Begin(0);
    auto line = [&](uint32_t i, size_t half) {
        if (append_usual_line(v, instructions[i], lists[i], text_of_packet, c, separator, half))
            return;
        text_of_packet.End(c);
        append_line(s, v, i, text_of_packet, line_feed, half);
        c = text_of_packet.Begin(0);
    };
    if (!shape.two_s()) {
        for (uint32_t i = 0, n = s.count; i < n; ++i) line(i, 0);
    } else {
        // The lower half, then the upper one after a line break; no clean-up
        // reaches across the break's tab.
        size_t half = 0;
        for (bool upper : {false, true}) {
            if (upper) {
                if (!c.Fits(2)) [[unlikely]] {
                    text_of_packet.End(c);
                    c = text_of_packet.Begin(2);
                }
                c.Plain('\n');
                c.Plain('\t');
                half = c.Size();
            }
            for (long i = 0, n = s.count; i < n; ++i)
                if ((i == shape.x || i == shape.first_s || i == shape.z) == upper)
                    line(static_cast<uint32_t>(i), half);
        }
    }
    c.Terminate();
    text_of_packet.End(c);
    const char *whole = text_of_packet.Data();
    s.packet_text = whole;
    s.packet_length = text_of_packet.Size();
    if (text) *text = whole;
    return s.consumed;
}

size_t PacketTextLength(const char *text) {
    const DecoderState &s = State();
    return text == s.packet_text ? s.packet_length : SIZE_MAX;
}

} // namespace ZEMADisasmLib
