// Field objects built from the generated field records: bit gathering and
// operand text rendering.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "decodelib/zema_disasm.h"

namespace ZEMADisasmLib {

// Bounded text sink over a caller buffer; writes past the capacity are
// dropped, so operand texts are cut safely instead of overflowing.
class TextSink {
  public:
    TextSink(char *buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {
        if (capacity_) buffer_[0] = '\0';
    }
    void Put(char c);
    void Put(const char *text);
    void PutHex(uint64_t v);
    void PutDecimal(uint64_t v);
    size_t Length() const { return length_; }

  private:
    char *buffer_;
    size_t capacity_;
    size_t length_ = 0;
};

class Field {
  public:
    explicit Field(const FieldRecord *record);
    virtual ~Field() = default;
    // Writes the operand text of the field's value, cut to capacity - 1.
    virtual void Render(uint64_t word, uint32_t extension, uint32_t boundary, uint32_t options,
                        TextSink &out) const = 0;
    uint64_t Extract(uint64_t word, uint32_t extension, uint32_t boundary) const;
    // Convenience for tests and tools: the rendered text as a string.
    std::string RenderText(uint64_t word, uint32_t extension, uint32_t boundary,
                           uint32_t options) const;

    const FieldRecord *record;
    std::vector<uint32_t> bits;
    std::string name;
};

class ImmediateField : public Field {
  public:
    explicit ImmediateField(const FieldRecord *record);
    void Render(uint64_t word, uint32_t extension, uint32_t boundary, uint32_t options,
                TextSink &out) const override;
    uint32_t shift;
};

class EnumeratedField : public Field {
  public:
    explicit EnumeratedField(const FieldRecord *record);
    void Render(uint64_t word, uint32_t extension, uint32_t boundary, uint32_t options,
                TextSink &out) const override;
    std::string prefix;
};

class TabledField : public Field {
  public:
    explicit TabledField(const FieldRecord *record);
    void Render(uint64_t word, uint32_t extension, uint32_t boundary, uint32_t options,
                TextSink &out) const override;
    std::map<uint64_t, std::string> values;
    uint32_t shift;

  private:
    // Texts of the values below the size of this array, for a lookup without
    // the map search (null: no entry). Points into `values`.
    std::vector<const char *> dense_;
};

// The field object of a record, or null for an unknown kind.
Field *MakeField(const FieldRecord *record);

} // namespace ZEMADisasmLib
