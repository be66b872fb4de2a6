// Field classes: Extract gathers the field's bits, Render writes its text.
#include "decodelib/src/fields.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "decodelib/src/clean_text.h"

namespace ZEMADisasmLib {

void TextSink::Put(const char *text) {
    if (text) Put(text, std::strlen(text));
}

void TextSink::Put(const char *text, size_t n) {
    size_t room = length_ + 1 < capacity_ ? capacity_ - 1 - length_ : 0;
    if (n > room) {
        cut_ = true;
        n = room;
    }
    if (n == 0) return;
    std::memcpy(buffer_ + length_, text, n);
    length_ += n;
}

void TextSink::PutHex(uint64_t v) {
    char digits[16];
    int n = 16;
    do {
        digits[--n] = kHexDigits[v & 0xF];
        v >>= 4;
    } while (v);
    Put(digits + n, static_cast<size_t>(16 - n));
}

void TextSink::PutDecimal(uint64_t v) {
    char digits[20];
    int n = 20;
    do {
        digits[--n] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    Put(digits + n, static_cast<size_t>(20 - n));
}

Field::Field(const FieldRecord *r) : record(r), name(r->name ? r->name : "") {
    uint32_t n = r->bit_count < 128 ? r->bit_count : 128;
    bits.assign(r->bits, r->bits + n);
    uint32_t top = 0;
    for (uint32_t p : bits) {
        if (p >= 64 || n > 64) return; // bit by bit
        if (p + 1 > top) top = p + 1;
        if (run_count_ && runs_[run_count_ - 1].from == p + 1) {
            Run &run = runs_[run_count_ - 1];
            run.from = p;
            run.width++;
        } else if (run_count_ < kMaxRuns) {
            runs_[run_count_++] = {p, 1, 0};
        } else {
            return;
        }
    }
    for (uint32_t k = 0; k < run_count_; ++k)
        runs_[k].mask = runs_[k].width >= 64 ? ~0ULL : (1ULL << runs_[k].width) - 1;
    fast_limit_ = top;
}

uint64_t Field::ExtractBits(uint64_t word, uint32_t extension, uint32_t boundary) const {
    uint64_t result = 0;
    for (uint32_t p : bits) {
        uint64_t bit;
        if (p < boundary)
            bit = p < 64 ? (word >> p) & 1 : 0;
        else
            bit = p - boundary < 32 ? (extension >> (p - boundary)) & 1 : 0;
        result = (result << 1) | bit;
    }
    return result;
}

std::string Field::RenderText(uint64_t word, uint32_t extension, uint32_t boundary,
                              uint32_t options) const {
    std::vector<char> buffer(128);
    for (;;) {
        bool cut;
        {
            TextSink sink(buffer.data(), buffer.size());
            Render(word, extension, boundary, options, sink);
            cut = sink.Cut();
        } // the sink terminates the text before the buffer may grow
        if (!cut) return buffer.data();
        buffer.resize(buffer.size() * 4);
    }
}

ImmediateField::ImmediateField(const FieldRecord *r) : Field(r), shift(r->shift) {}

size_t WriteDecimal(uint64_t v, char *at) {
    size_t n = 1;
    for (uint64_t rest = v / 10; rest; rest /= 10) ++n;
    for (size_t i = n; i-- > 0; v /= 10) at[i] = static_cast<char>('0' + v % 10);
    return n;
}

void ImmediateField::Render(uint64_t word, uint32_t extension, uint32_t boundary, uint32_t options,
                            TextSink &out) const {
    char text[32] = {};
    out.PutReadable<sizeof text>(text, FormatImmediate(Extract(word, extension, boundary),
                                                       record->bit_count, record->is_signed, shift,
                                                       options & OPT_DECIMAL, text));
}

EnumeratedField::EnumeratedField(const FieldRecord *r)
    : Field(r), prefix(r->prefix ? r->prefix : "") {
    texts_clean_ = !CleanText::HasPair(prefix + "0");
}

void EnumeratedField::Render(uint64_t word, uint32_t extension, uint32_t boundary, uint32_t,
                             TextSink &out) const {
    out.Put(prefix.data(), prefix.size());
    out.PutDecimal(Extract(word, extension, boundary));
}

TabledField::TabledField(const FieldRecord *r) : Field(r), shift(r->shift) {
    uint32_t n = r->entry_count < 128 ? r->entry_count : 128;
    values.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        values.emplace_back(r->entries[i].value, r->entries[i].text ? r->entries[i].text : "");
    // A sorted vector instead of a map: built in a fraction of the time, and
    // the first entry of a repeated value stays the one that counts.
    std::stable_sort(values.begin(), values.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    values.erase(std::unique(values.begin(), values.end(),
                             [](const auto &a, const auto &b) { return a.first == b.first; }),
                 values.end());
    uint64_t top = values.empty() ? 0 : values.back().first;
    if (top < 256) {
        dense_.assign(top + 1, Dense{nullptr, 0});
        for (const auto &[value, text] : values)
            dense_[value] = {text.data(), static_cast<uint32_t>(text.size())};
        if (shift == 0) note_short_texts();
    }
    if (shift == 0)
        for (const auto &entry : values)
            if (CleanText::HasPair(entry.second)) texts_clean_ = false;
}

void TabledField::note_short_texts() {
    short_texts_.assign(dense_.size(), {});
    short_lengths_.assign(dense_.size(), kNoShortText);
    for (size_t v = 0; v < dense_.size(); ++v) {
        if (!dense_[v].text || dense_[v].length >= 16) continue;
        std::memcpy(short_texts_[v].data(), dense_[v].text, dense_[v].length);
        short_lengths_[v] = static_cast<uint8_t>(dense_[v].length);
        for (char c : short_texts_[v])
            if (c >= 'A' && c <= 'Z') short_lower_ = false;
    }
}

std::vector<std::string> TabledField::PossibleTexts() const {
    std::vector<std::string> texts{"Unknown"};
    for (const auto &entry : values) texts.emplace_back(entry.second);
    return texts;
}

void TabledField::Render(uint64_t word, uint32_t extension, uint32_t boundary, uint32_t options,
                         TextSink &out) const {
    uint64_t v = Extract(word, extension, boundary);
    uint32_t length = 0;
    if (const char *padded = PaddedText(v, length)) return out.PutReadable<16>(padded, length);
    Dense text{nullptr, 0};
    if (v < dense_.size()) {
        text = dense_[v];
    } else if (dense_.empty()) {
        auto it =
            std::lower_bound(values.begin(), values.end(), v,
                             [](const auto &entry, uint64_t key) { return entry.first < key; });
        if (it != values.end() && it->first == v)
            text = {it->second.data(), static_cast<uint32_t>(it->second.size())};
    }
    if (!text.text) text = {"Unknown", 7};
    if (shift == 0) return out.Put(text.text, text.length);
    uint64_t number = 0; // leading decimal digits; anything else reads as 0
    for (const char *p = text.text; *p >= '0' && *p <= '9'; ++p)
        number = number * 10 + static_cast<uint64_t>(*p - '0');
    number = shift < 64 ? number << shift : 0;
    if (options & OPT_DECIMAL) {
        out.PutDecimal(number);
    } else {
        out.Put('$');
        out.PutHex(number);
    }
}

Field *MakeField(const FieldRecord *record) {
    switch (record->kind) {
    case 0:
        return new EnumeratedField(record);
    case 1:
        return new ImmediateField(record);
    case 2:
        return new TabledField(record);
    default:
        return nullptr;
    }
}

} // namespace ZEMADisasmLib
