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

// Whether a text and a name can overlap in a match of the name: some
// alignment where every character they share agrees.
bool overlaps(std::string_view text, std::string_view name) {
    long t = static_cast<long>(text.size()), n = static_cast<long>(name.size());
    for (long d = 1 - t; d < n; ++d) { // text starts at name position d
        long from = std::max(0L, d), to = std::min(n, d + t);
        bool agree = from < to;
        for (long i = from; agree && i < to; ++i) agree = name[i] == text[i - d];
        if (agree) return true;
    }
    return false;
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

// The texts of a field as its decodes can leave them: as written, lower-cased
// (RIXU operands) and cut to the operand text buffer.
std::vector<std::string> field_texts(const Field &field) {
    std::vector<std::string> texts;
    for (const std::string &text : field.PossibleTexts()) {
        std::string cut = text.substr(0, sizeof(OperandRecord{}.text) - 1);
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
    }
    return chars;
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
        if (overlaps(text, name)) return true;
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
    bool short_one = literal.size() < CleanText::kOverrun;
    if (first || literal.empty() || !CleanText::IsCleanUpChar(literal[0]))
        return short_one ? TemplatePiece::kCopyShort : TemplatePiece::kCopy;
    return short_one ? TemplatePiece::kCheckFirstShort : TemplatePiece::kCheckFirst;
}

// How an operand's text is written after `literal`; a literal keeps its last
// character through the clean-ups.
uint8_t operand_write(std::string_view literal, bool first) {
    bool after_safe = literal.empty() ? first : !CanLead(literal.back());
    return after_safe ? TemplatePiece::kCopy : TemplatePiece::kCheckFirst;
}

// Stores the claimed template as pieces of a literal (perhaps empty) and the
// operand after it (the last one perhaps without); the literals are copied
// into one reserved stretch instead of appended piece by piece.
void store_pieces(ArchitectureTables &t, RecordInfo &info, const TemplateClaims &claims) {
    std::string_view syntax = claims.Syntax();
    info.template_begin = static_cast<int32_t>(t.pieces.size());
    std::string &literals = t.literals;
    size_t end = literals.size() >= CleanText::kOverrun ? literals.size() - CleanText::kOverrun : 0;
    literals.resize(end + syntax.size());
    uint32_t segments = 0;
    claims.Pieces([&](uint32_t begin, uint32_t length, int32_t operand) {
        std::string_view literal = syntax.substr(begin, length);
        bool first = t.pieces.size() == static_cast<size_t>(info.template_begin);
        t.pieces.push_back({static_cast<uint32_t>(end), length, operand,
                            literal_write(literal, first), operand_write(literal, first)});
        std::memcpy(literals.data() + end, literal.data(), length);
        end += length;
        segments += (length != 0) + (operand >= 0);
    });
    literals.resize(end);
    literals.resize(end + CleanText::kOverrun); // zeros
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
    TemplateClaims claims(syntax);
    uint32_t inserted = 0; // operands with a place in the text
    info.touch_sensitive = 0;
    for (uint32_t j = 0; j < listed.size(); ++j) {
        const char *name = listed[j]->name->syntax_name;
        if (!*name) continue;
        // A name may also match in or across the texts inserted before it.
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

void SubstituteTemplate(const char *syntax, const OperandList &operands, std::string &out) {
    out = syntax ? syntax : "";
    for (const OperandRecord &op : operands)
        if (op.syntax_name) substitute(out, op.syntax_name, CurrentText(op));
}

} // namespace ZEMADisasmLib
