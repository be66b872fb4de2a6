// Syntax templates: the general substitution (each operand's name replaced
// everywhere in turn, texts inserted for earlier operands included), and its
// compiled form, literal pieces and operand positions worked out once per
// record, which gives the same text as long as no operand text can join a
// later operand's name into a match.
#include <algorithm>
#include <cstring>

#include "decodelib/src/clean_text.h"
#include "decodelib/src/state.h"

namespace ZEMADisasmLib {

namespace {

// Replaces every occurrence of name by text, searching on behind each
// inserted text so that a text containing the name is not substituted again.
void substitute(std::string &body, const char *name, std::string_view text) {
    size_t name_length = std::strlen(name);
    if (name_length == 0) return;
    for (size_t p = body.find(name, 0, name_length); p != std::string::npos;
         p = body.find(name, p, name_length)) {
        body.replace(p, name_length, text);
        p += text.size();
    }
}

// The same for every text of a field that renders numbers only: a sign, "$"
// or a digit first, then hexadecimal digits; immediates always begin with a sign.
bool number_overlaps(const Field &field, std::string_view name) {
    auto numeric = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '$' || c == '+' || c == '-';
    };
    bool signed_first = dynamic_cast<const ImmediateField *>(&field) != nullptr;
    if (name.empty() || numeric(name[0])) return true;
    for (char c : name.substr(1))
        if (c == '+' || c == '-' || c == '$' || (!signed_first && c >= '0' && c <= '9'))
            return true;
    return false;
}

// As the decoder lower-cases operand texts: ASCII only, no locale call.
char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lower(std::string text) {
    for (char &c : text) c = ascii_lower(c);
    return text;
}

constexpr size_t kCut = sizeof(OperandRecord{}.text) - 1; // operand texts are cut to this

// The texts of a field as its decodes can leave them: as written, lower-cased
// (RIXU operands) and cut to the operand text buffer.
std::vector<std::string> field_texts(const Field &field) {
    std::vector<std::string> texts;
    for (const std::string &text : field.PossibleTexts()) {
        std::string cut = text.substr(0, kCut);
        for (const std::string &t : {text, lower(text), cut, lower(cut)}) texts.push_back(t);
    }
    return texts;
}

FieldChars &chars_of(ArchitectureTables &t, const Field &field) {
    auto [at, added] = t.field_chars.try_emplace(&field);
    FieldChars &chars = at->second;
    if (!added) return chars;
    // Cutting keeps a prefix: the sets of the cut and lower-cased variants are
    // those of the texts with the lower-cased characters added.
    auto add = [](CharSet &set, char c) {
        set.Add(c);
        set.Add(ascii_lower(c));
    };
    for (const std::string &text : field.PossibleTexts()) {
        for (char c : text) add(chars.all, c);
        if (!text.empty()) add(chars.first, text[0]);
        if (!text.empty()) add(chars.last, text.back());
        if (text.size() >= kCut) add(chars.last, text[kCut - 1]);
    }
    return chars;
}

// What the texts of the appended operands can hold: their characters, and
// which can be empty (an empty text joins the texts on either side of it).
struct OperandTexts {
    TextEnds ends[32];
    uint32_t empty = 0;
};

// Only a table entry written as "" renders nothing (looked up in the values
// rather than through the listed texts, which are built as strings).
bool may_be_empty(const Field &field) {
    auto *tabled = dynamic_cast<const TabledField *>(&field);
    if (!tabled || tabled->shift != 0) return false;
    for (const auto &entry : tabled->values)
        if (entry.second.empty()) return true;
    return false;
}

// The same, remembered by the field's record (looked up for every operand of
// every template compiled).
bool renders_empty(ArchitectureTables &t, const Field &field) {
    auto record = reinterpret_cast<uintptr_t>(field.record);
    auto base = reinterpret_cast<uintptr_t>(t.fields);
    size_t at = (record - base) / sizeof(FieldRecord);
    if (!t.fields || record < base || at >= t.field_count) return may_be_empty(field);
    if (t.field_empty.empty()) t.field_empty.assign(t.field_count, -1);
    int8_t &known = t.field_empty[at];
    if (known < 0) known = may_be_empty(field);
    return known != 0;
}

// The characters are gathered only for templates where a text can be empty.
void note_texts(ArchitectureTables &t, const std::vector<const OperandPlan *> &listed,
                OperandTexts &out) {
    out.empty = 0;
    for (uint32_t k = 0; k < listed.size(); ++k)
        if (renders_empty(t, *listed[k]->field)) out.empty |= 1u << k;
    if (!out.empty) return;
    for (uint32_t k = 0; k < listed.size(); ++k) {
        const Field &field = *listed[k]->field;
        TextEnds &ends = out.ends[k];
        ends = TextEnds{};
        if (field.RendersNumbersOnly()) {
            for (char c : std::string_view("+-$0123456789abcdefABCDEF")) ends.first.Add(c);
            ends.last = ends.first;
            continue;
        }
        const FieldChars &chars = chars_of(t, field);
        ends = {chars.first, chars.last};
        if (!chars.all.bits[0] && !chars.all.bits[1] && !((out.empty >> k) & 1))
            ends.first.bits[0] = ends.first.bits[1] = ends.last.bits[0] = ends.last.bits[1] =
                ~0ULL; // texts not listed: anything
    }
}

bool texts_overlap(ArchitectureTables &t, const Field &field, std::string_view name) {
    FieldChars &chars = chars_of(t, field);
    // An overlap puts the name's first character in a text or a text's first
    // character in the name.
    CharSet in_name;
    for (char c : name) in_name.Add(c);
    if (!chars.all.Has(name[0]) && !chars.first.Meets(in_name)) return false;
    if (!chars.listed) {
        chars.texts = field_texts(field);
        chars.listed = true;
    }
    for (const std::string &text : chars.texts)
        if (TextOverlapsName(text, name)) return true;
    return false;
}

bool field_joins(ArchitectureTables &t, const Field &field, const char *name) {
    int known = t.joins.Find(&field, name);
    if (known >= 0) return known != 0;
    bool joins =
        field.RendersNumbersOnly() ? number_overlaps(field, name) : texts_overlap(t, field, name);
    t.joins.Note(&field, name, joins);
    return joins;
}

// How a literal is written (TemplatePiece::write kinds), `first` when
// nothing of the template comes before it, else an operand's text, which may
// end in anything or be empty.
uint8_t literal_write(std::string_view literal, bool first) {
    if (CleanText::HasPair(literal)) return TemplatePiece::kByChar;
    if (first || literal.empty() || !CleanText::IsCleanUpChar(literal[0]))
        return TemplatePiece::kCopy;
    return TemplatePiece::kCheckFirst;
}

// How an operand's text is written after `literal`; a literal keeps its last
// character through the clean-ups.
uint8_t operand_write(std::string_view literal, bool first) {
    bool after_safe = literal.empty() ? first : !CanLead(literal.back());
    return after_safe ? TemplatePiece::kCopy : TemplatePiece::kCheckFirst;
}

void add_piece(std::vector<TemplatePiece> &pieces, std::string_view literal, int32_t operand,
               uint8_t literal_how, uint8_t operand_how) {
    TemplatePiece piece{};
    std::memcpy(piece.literal, literal.data(), literal.size());
    piece.length = static_cast<uint8_t>(literal.size());
    piece.operand = static_cast<int8_t>(operand);
    piece.literal_write = literal_how;
    piece.operand_write = operand_how;
    pieces.push_back(piece);
}

// Stores a literal (perhaps empty) and the operand after it. A long literal
// is split: a part after the first follows text that, holding no pair with
// it, can be copied after (or all goes character by character).
void add_literal(std::vector<TemplatePiece> &pieces, std::string_view literal, int32_t operand,
                 bool first) {
    uint8_t how = literal_write(literal, first), operand_how = operand_write(literal, first);
    for (; literal.size() > TemplatePiece::kLongest;
         literal.remove_prefix(TemplatePiece::kLongest)) {
        add_piece(pieces, literal.substr(0, TemplatePiece::kLongest), -1, how, 0);
        if (how != TemplatePiece::kByChar) how = TemplatePiece::kCopy;
    }
    add_piece(pieces, literal, operand, how, operand_how);
}

// Stores the claimed template as pieces of a literal and the operand after
// it (the last one perhaps without).
void store_pieces(ArchitectureTables &t, RecordInfo &info, const TemplateClaims &claims) {
    std::string_view syntax = claims.Syntax();
    info.template_begin = static_cast<int32_t>(t.pieces.size());
    uint32_t segments = 0;
    claims.Pieces([&](uint32_t begin, uint32_t length, int32_t operand) {
        bool first = t.pieces.size() == static_cast<size_t>(info.template_begin);
        add_literal(t.pieces, syntax.substr(begin, length), operand, first);
        segments += (length != 0) + (operand >= 0);
    });
    info.template_end = static_cast<int32_t>(t.pieces.size());
    info.template_room = static_cast<uint32_t>(syntax.size() + 32 * segments);
}

} // namespace

size_t TemplateClaims::ClaimIn(size_t begin, size_t end, std::string_view name, int32_t operand,
                               Place *out) {
    const char *text = syntax_.data(), *rest = name.data() + 1;
    size_t n = name.size(), added = 0;
    char first = name[0];
    for (size_t p = begin; p + n <= end;) {
        size_t same = 1;
        if (text[p] == first)
            while (same < n && text[p + same] == rest[same - 1]) ++same;
        if (text[p] != first || same < n) {
            ++p;
            continue;
        }
        out[added++] = {static_cast<uint16_t>(p), static_cast<uint16_t>(p + n), operand};
        p += n;
    }
    return added;
}

bool TemplateClaims::Claim(std::string_view name, int32_t operand) {
    if (name.empty() || name.size() > syntax_.size()) return false;
    // Each free stretch, before each place and after the last, is searched
    // on its own; the lists are merged as they go.
    size_t merged = 0, begin = 0;
    for (uint32_t k = 0; k < count_; ++k) {
        merged += ClaimIn(begin, claims_[k].begin, name, operand, spare_ + merged);
        spare_[merged++] = claims_[k];
        begin = claims_[k].end;
    }
    merged += ClaimIn(begin, syntax_.size(), name, operand, spare_ + merged);
    bool found = merged > count_;
    std::swap(claims_, spare_);
    count_ = static_cast<uint32_t>(merged);
    return found;
}

// What can stand before each place is gathered from the left and what can
// stand after it from the right, so that runs of neighbouring places cost
// one pass.
bool TemplateClaims::MatchesAcross(std::string_view name, const TextEnds *ends,
                                   uint32_t empty) const {
    if (name.size() < 2) return false;
    CharSet before[kLongest], after;
    for (uint32_t k = 0; k < count_; ++k) {
        const Place &at = claims_[k];
        before[k] = CharSet{};
        if (k > 0 && claims_[k - 1].end == at.begin) {
            auto previous = static_cast<uint32_t>(claims_[k - 1].operand);
            before[k] = ends[previous].last;
            if ((empty >> previous) & 1) before[k].Add(before[k - 1]);
        } else if (at.begin > 0) {
            before[k].Add(syntax_[at.begin - 1]);
        }
    }
    for (uint32_t k = count_; k-- > 0;) {
        const Place &at = claims_[k];
        CharSet next;
        if (k + 1 < count_ && claims_[k + 1].begin == at.end) {
            auto following = static_cast<uint32_t>(claims_[k + 1].operand);
            next = ends[following].first;
            if ((empty >> following) & 1) next.Add(after);
        } else if (at.end < syntax_.size()) {
            next.Add(syntax_[at.end]);
        }
        after = next;
        if (!((empty >> static_cast<uint32_t>(at.operand)) & 1)) continue;
        for (size_t i = 0; i + 1 < name.size(); ++i)
            if (before[k].Has(name[i]) && after.Has(name[i + 1])) return true;
    }
    return false;
}

void CompileTemplate(ArchitectureTables &t, uint32_t index) {
    RecordInfo &info = t.info[index];
    if (info.traits & TRAIT_SPECIAL) {
        info.template_begin = RecordInfo::kTemplateSpecial;
        return;
    }
    std::string_view syntax = t.records[index].syntax ? t.records[index].syntax : "";
    if (syntax.size() > TemplateClaims::kLongest) {
        info.template_begin = RecordInfo::kTemplateGeneric;
        return;
    }
    // The appended operands: plans that are no slots (a scratch list kept
    // between calls; the library runs on one thread).
    static std::vector<const OperandPlan *> listed;
    listed.clear();
    for (uint32_t k = 0; k < info.plan_count; ++k)
        if (!t.plans[info.plan_begin + k].slot) listed.push_back(&t.plans[info.plan_begin + k]);
    if (listed.size() > 32) {
        info.template_begin = RecordInfo::kTemplateGeneric;
        return;
    }
    static OperandTexts texts;
    note_texts(t, listed, texts);
    TemplateClaims claims(syntax);
    uint32_t inserted = 0; // operands with a place in the text
    info.touch_sensitive = 0;
    for (uint32_t j = 0; j < listed.size(); ++j) {
        const char *name = listed[j]->name->syntax_name;
        if (!*name) continue;
        // A name may also match in or across the texts inserted before it.
        if (texts.empty && claims.MatchesAcross(name, texts.ends, texts.empty)) {
            info.template_begin = RecordInfo::kTemplateGeneric;
            return;
        }
        for (uint32_t k = 0; k < j; ++k) {
            if (!((inserted >> k) & 1)) continue;
            if (field_joins(t, *listed[k]->field, name)) {
                info.template_begin = RecordInfo::kTemplateGeneric;
                return;
            }
            info.touch_sensitive |= 1u << k;
        }
        if (claims.Claim(name, static_cast<int32_t>(j))) inserted |= 1u << j;
    }
    store_pieces(t, info, claims);
}

// Looked at for every rewritten operand text before a later name: each
// alignment is tried only where its first shared characters agree.
bool TextOverlapsName(std::string_view text, std::string_view name) {
    if (text.empty() || name.empty()) return false;
    // The text begins inside the name.
    for (size_t d = 1; d < name.size(); ++d)
        if (name[d] == text[0] && name.substr(d, text.size()) == text.substr(0, name.size() - d))
            return true;
    // The name begins inside the text, or where the text begins.
    for (size_t i = text.find(name[0]); i != std::string_view::npos; i = text.find(name[0], i + 1))
        if (text.substr(i, name.size()) == name.substr(0, text.size() - i)) return true;
    return false;
}

void SubstituteTemplate(const char *syntax, const OperandList &operands, std::string &out) {
    out = syntax ? syntax : "";
    for (const OperandRecord &op : operands)
        if (op.syntax_name) substitute(out, op.syntax_name, CurrentText(op));
}

} // namespace ZEMADisasmLib
