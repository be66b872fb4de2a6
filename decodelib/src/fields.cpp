// Field classes: Extract gathers the field's bits, Render writes its text.
#include "decodelib/src/fields.h"

namespace ZEMADisasmLib {

void TextSink::Put(char c) {
    if (length_ + 1 < capacity_) {
        buffer_[length_++] = c;
        buffer_[length_] = '\0';
    }
}

void TextSink::Put(const char *text) {
    while (text && *text) Put(*text++);
}

void TextSink::PutHex(uint64_t v) {
    char digits[17];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[v & 0xF];
        v >>= 4;
    } while (v);
    while (n) Put(digits[--n]);
}

void TextSink::PutDecimal(uint64_t v) {
    char digits[21];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    while (n) Put(digits[--n]);
}

Field::Field(const FieldRecord *r) : record(r), name(r->name ? r->name : "") {
    uint32_t n = r->bit_count < 128 ? r->bit_count : 128;
    bits.assign(r->bits, r->bits + n);
}

uint64_t Field::Extract(uint64_t word, uint32_t extension, uint32_t boundary) const {
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
    char buffer[128];
    TextSink sink(buffer, sizeof buffer);
    Render(word, extension, boundary, options, sink);
    return buffer;
}

ImmediateField::ImmediateField(const FieldRecord *r) : Field(r), shift(r->shift) {}

void ImmediateField::Render(uint64_t word, uint32_t extension, uint32_t boundary, uint32_t options,
                            TextSink &out) const {
    uint64_t v = Extract(word, extension, boundary);
    uint32_t n = record->bit_count;
    bool negative = record->is_signed && n >= 1 && n <= 64 && ((v >> (n - 1)) & 1);
    if (negative) v = (n == 64 ? 0 : (1ULL << n)) - v; // the magnitude, 2^n - v
    out.Put(negative ? '-' : '+');
    v = shift < 64 ? v << shift : 0;
    if (options & OPT_DECIMAL) {
        out.PutDecimal(v);
    } else {
        out.Put('$');
        out.PutHex(v);
    }
}

EnumeratedField::EnumeratedField(const FieldRecord *r)
    : Field(r), prefix(r->prefix ? r->prefix : "") {}

void EnumeratedField::Render(uint64_t word, uint32_t extension, uint32_t boundary, uint32_t,
                             TextSink &out) const {
    out.Put(prefix.c_str());
    out.PutDecimal(Extract(word, extension, boundary));
}

TabledField::TabledField(const FieldRecord *r) : Field(r), shift(r->shift) {
    uint32_t n = r->entry_count < 128 ? r->entry_count : 128;
    for (uint32_t i = 0; i < n; ++i)
        values.emplace(r->entries[i].value, r->entries[i].text ? r->entries[i].text : "");
    uint64_t top = values.empty() ? 0 : values.rbegin()->first;
    if (top < 256) {
        dense_.assign(top + 1, nullptr);
        for (const auto &[value, text] : values) dense_[value] = text.c_str();
    }
}

void TabledField::Render(uint64_t word, uint32_t extension, uint32_t boundary, uint32_t options,
                         TextSink &out) const {
    uint64_t v = Extract(word, extension, boundary);
    const char *text = nullptr;
    if (v < dense_.size()) {
        text = dense_[v];
    } else if (dense_.empty()) {
        auto it = values.find(v);
        if (it != values.end()) text = it->second.c_str();
    }
    if (!text) text = "Unknown";
    if (shift == 0) return out.Put(text);
    uint64_t number = 0; // leading decimal digits; anything else reads as 0
    for (const char *p = text; *p >= '0' && *p <= '9'; ++p)
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
