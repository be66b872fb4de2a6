// Field objects built from the generated field records: bit gathering and
// operand text rendering.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "decodelib/zema_disasm.h"

namespace ZEMADisasmLib {

// Bounded text sink over a caller buffer; writes past the capacity are
// dropped and remembered (Cut), so that the caller can render the whole text
// elsewhere. The text is terminated when the sink goes out of scope (or by
// Terminate).
class TextSink {
  public:
    TextSink(char *buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {
        if (capacity_) buffer_[0] = '\0';
    }
    ~TextSink() { Terminate(); }
    TextSink(const TextSink &) = delete;
    TextSink &operator=(const TextSink &) = delete;

    void Put(char c) {
        if (length_ + 1 < capacity_)
            buffer_[length_++] = c;
        else
            cut_ = true;
    }
    void Put(const char *text);
    void Put(const char *text, size_t n);
    void PutHex(uint64_t v);
    void PutDecimal(uint64_t v);
    // n < kReadable characters of a text that can be read for kReadable
    // bytes, copied as one fixed block while there is room for it.
    template <size_t kReadable> void PutReadable(const char *text, size_t n) {
        if (length_ + kReadable < capacity_) {
            std::memcpy(buffer_ + length_, text, kReadable);
            length_ += n;
        } else {
            Put(text, n);
        }
    }
    size_t Length() const { return length_; }
    bool Cut() const { return cut_; }
    void Terminate() {
        if (capacity_) buffer_[length_] = '\0';
    }

  private:
    char *buffer_;
    size_t capacity_;
    size_t length_ = 0;
    bool cut_ = false;
};

class Field {
  public:
    explicit Field(const FieldRecord *record);
    virtual ~Field() = default;
    // Writes the operand text of the field's value, cut to capacity - 1.
    virtual void Render(uint64_t word, uint32_t extension, uint32_t boundary, uint32_t options,
                        TextSink &out) const = 0;
    uint64_t Extract(uint64_t word, uint32_t extension, uint32_t boundary) const {
        if (boundary >= fast_limit_) {
            uint64_t v = (word >> runs_[0].from) & runs_[0].mask;
            for (uint32_t k = 1; k < run_count_; ++k)
                v = (v << runs_[k].width) | ((word >> runs_[k].from) & runs_[k].mask);
            return v;
        }
        return ExtractBits(word, extension, boundary);
    }
    // Whether every value of the field is one run of the word below bit 64,
    // gathered as (word >> from) & mask.
    bool OneRun(uint32_t &from, uint64_t &mask) const {
        if (run_count_ != 1 || fast_limit_ > 64) return false;
        from = runs_[0].from;
        mask = runs_[0].mask;
        return true;
    }
    // One above the highest bit position when the field is gathered in runs
    // (Extract takes them while the boundary is at least this), else UINT32_MAX.
    uint32_t RunLimit() const { return fast_limit_; }
    // Convenience for tests and tools: the rendered text as a string.
    std::string RenderText(uint64_t word, uint32_t extension, uint32_t boundary,
                           uint32_t options) const;
    // Whether the field's texts can only be "+$hex", "-$hex" or the decimal
    // forms (no other characters), which the packet text relies on.
    virtual bool RendersNumbersOnly() const { return false; }
    // The texts a value of the field can render as (for fields that are not
    // numbers only), without the lower-case forms.
    virtual std::vector<std::string> PossibleTexts() const { return {}; }
    // Whether no text of the field holds a pair the packet clean-ups change
    // ("++", "+-", ",," or ",;").
    bool TextsClean() const { return texts_clean_; }

    const FieldRecord *record;
    std::vector<uint32_t> bits;
    std::string name;

  protected:
    bool texts_clean_ = true;

  private:
    uint64_t ExtractBits(uint64_t word, uint32_t extension, uint32_t boundary) const;

    // The bit list as runs of consecutive descending positions, gathered
    // with one shift and mask each while every position lies below the
    // boundary (fast_limit_); otherwise bit by bit.
    struct Run {
        uint32_t from, width;
        uint64_t mask;
    };
    static constexpr uint32_t kMaxRuns = 4;
    Run runs_[kMaxRuns] = {};
    uint32_t run_count_ = 0;
    uint32_t fast_limit_ = UINT32_MAX;
};

inline constexpr char kHexDigits[] = "0123456789abcdef";

// The two hex digits of every byte, so that digits are written in pairs.
inline constexpr struct HexPairs {
    char at[512] = {};
    constexpr HexPairs() {
        for (int b = 0; b < 256; ++b) {
            at[2 * b] = kHexDigits[b >> 4];
            at[2 * b + 1] = kHexDigits[b & 0xF];
        }
    }
} kHexPairs;

// Writes the decimal digits of v at `at`; returns their count.
size_t WriteDecimal(uint64_t v, char *at);

// Writes the text of an immediate's raw value v of bit_count bits, shifted
// left by shift: "+$hex", "-$hex" or, decimal, the signed number; `out` has
// room for 32 bytes. Returns the length (at most 22); no terminator. Inline:
// it is written for most operands of a decode.
[[gnu::always_inline]] inline size_t FormatImmediate(uint64_t v, uint32_t bit_count, bool is_signed,
                                                     uint32_t shift, bool decimal, char *out) {
    uint32_t n = bit_count;
    bool negative = is_signed && n >= 1 && n <= 64 && ((v >> (n - 1)) & 1);
    if (negative) v = (n == 64 ? 0 : (1ULL << n)) - v; // the magnitude, 2^n - v
    v = shift < 64 ? v << shift : 0;
    out[0] = negative ? '-' : '+';
    if (decimal) return 1 + WriteDecimal(v, out + 1);
    out[1] = '$';
    if (v < 16) {
        out[2] = kHexDigits[v];
        return 3;
    }
    size_t digits = (static_cast<size_t>(std::bit_width(v)) + 3) / 4;
    char *at = out + 2 + digits;
    for (; v > 0xF; v >>= 8) {
        at -= 2;
        std::memcpy(at, &kHexPairs.at[2 * (v & 0xFF)], 2);
    }
    if (v) *--at = kHexDigits[v]; // an odd count's leading digit
    return 2 + digits;
}

// The values v of an immediate below which its text is "+$" and the one
// hexadecimal digit of v << shift (shift below 4; 0 otherwise).
inline uint64_t SmallImmediateBound(uint32_t bit_count, bool is_signed, uint32_t shift) {
    uint64_t bound = shift < 4 ? 16u >> shift : 1; // a shifted 1 needs two digits
    if (is_signed && bit_count >= 1 && bit_count <= 64)
        bound = std::min<uint64_t>(bound, 1ULL << (bit_count - 1)); // the sign bit clear
    return bound;
}

class ImmediateField : public Field {
  public:
    explicit ImmediateField(const FieldRecord *record);
    void Render(uint64_t word, uint32_t extension, uint32_t boundary, uint32_t options,
                TextSink &out) const override;
    bool RendersNumbersOnly() const override { return true; }
    uint32_t shift;
};

class EnumeratedField : public Field {
  public:
    explicit EnumeratedField(const FieldRecord *record);
    void Render(uint64_t word, uint32_t extension, uint32_t boundary, uint32_t options,
                TextSink &out) const override;
    bool RendersNumbersOnly() const override { return prefix.empty(); }
    std::string prefix;
};

class TabledField : public Field {
  public:
    explicit TabledField(const FieldRecord *record);
    void Render(uint64_t word, uint32_t extension, uint32_t boundary, uint32_t options,
                TextSink &out) const override;
    bool RendersNumbersOnly() const override { return shift != 0; }
    std::vector<std::string> PossibleTexts() const override;
    // The text of value v when the field writes entry texts as they are
    // (shift 0) and v's is shorter than 16 characters: 16 readable bytes,
    // zeros after the text; else null.
    const char *PaddedText(uint64_t v, uint32_t &length) const {
        if (v >= short_lengths_.size() || short_lengths_[v] == kNoShortText) return nullptr;
        length = short_lengths_[v];
        return short_texts_[v].data();
    }
    // The tables behind PaddedText, indexed by value, for callers that look
    // texts up without the object (a length of kNoShortText: none).
    struct ShortTexts {
        const std::array<char, 16> *texts;
        const uint8_t *lengths;
        size_t count;
    };
    ShortTexts Shorts() const {
        return {short_texts_.data(), short_lengths_.data(), short_lengths_.size()};
    }
    static constexpr uint8_t kNoShortText = 0xFF;
    // Whether no short text holds an upper-case letter.
    bool ShortTextsLowerCase() const { return short_lower_; }
    // Entry texts by value, ascending, the first entry of a value kept; they
    // point into the records, which outlive the field.
    std::vector<std::pair<uint64_t, std::string_view>> values;
    uint32_t shift;

  private:
    void note_short_texts();

    // Texts of the values below the size of this array, for a lookup without
    // a search (null: no entry). Point into `values`.
    struct Dense {
        const char *text;
        uint32_t length;
    };
    std::vector<Dense> dense_;
    // Texts shorter than 16 characters (entry texts written as they are),
    // by value like dense_, zero-padded to 16 bytes, and their lengths.
    std::vector<std::array<char, 16>> short_texts_;
    std::vector<uint8_t> short_lengths_;
    bool short_lower_ = true;
};

// The field object of a record, or null for an unknown kind.
Field *MakeField(const FieldRecord *record);

} // namespace ZEMADisasmLib
