// Installs the small fixture tables of the tests in place of the generated
// ones for the lifetime of a test, and helpers to decode built words.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decodelib/encoder.h"
#include "decodelib/src/generated_tables.h"
#include "decodelib/src/state.h"

namespace ZEMADisasmLib {
extern const GeneratedTables kFixtureTablesZEMA1, kFixtureTablesZEMA2, kFixtureTablesZEMA3,
    kFixtureTablesRIXU1, kFixtureTablesRIXU2, kFixtureTablesRIXU3;
} // namespace ZEMADisasmLib

namespace zt {

using namespace ZEMADisasmLib;

inline const GeneratedTables &fixture(uint32_t arch) {
    static const GeneratedTables *const all[] = {&kFixtureTablesZEMA1, &kFixtureTablesZEMA2,
                                                 &kFixtureTablesZEMA3, &kFixtureTablesRIXU1,
                                                 &kFixtureTablesRIXU2, &kFixtureTablesRIXU3};
    return *all[arch - 1];
}

// Test base: every architecture runs on the fixture tables (RIXU2/3 on the
// RIXU1 fixture); the generated tables are put back afterwards.
class FixtureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (uint32_t arch = 1; arch <= 6; ++arch)
            InstallGeneratedTables(arch, fixture(arch <= 4 ? arch : 4));
    }
    void TearDown() override {
        for (uint32_t arch = 1; arch <= 6; ++arch) RestoreGeneratedTables(arch);
    }
};

// Installs a RIXU1 table of one 32-bit record "x" (matched by bit 31) over
// the given fields; the record must outlive the test.
inline void install_one_record(InstructionRecord &record, const char *syntax,
                               std::initializer_list<OperandName> operands,
                               const FieldRecord *fields, uint32_t field_count) {
    record = {};
    record.name = "x";
    record.syntax = syntax;
    record.size = 32;
    record.slot = SLOT_WORD;
    int k = 0;
    for (const OperandName &op : operands) record.operands[k++] = op;
    record.value = record.mask = 0x80000000;
    InstallTables(ARCH_RIXU1, &record, 1, fields, field_count);
}

inline uint64_t encode(uint32_t arch, const char *record, const OperandValues &values = {}) {
    uint64_t bits = 0;
    EXPECT_TRUE(Encode(arch, record, values, &bits)) << record;
    return bits;
}

// Decodes a word with the given options; returns the record names in order.
inline std::vector<std::string> decode(uint32_t arch, uint64_t bits, uint32_t options = OPT_RENDER,
                                       uint8_t au_count = 64) {
    unsigned width = arch <= 3 ? 64 : 32;
    std::vector<uint8_t> bytes = WordBytes(bits, width);
    EXPECT_EQ(DecodeInstruction(bytes.data(), bytes.size(), options, arch, au_count), width / 8);
    std::vector<std::string> names;
    for (uint32_t i = 0; i < GetInstructionCount(); ++i)
        names.push_back(GetInstructionRecord(i)->name);
    return names;
}

inline std::string packet_text() {
    const char *text = nullptr;
    FormatPacket(&text);
    return text ? text : "";
}

inline std::string decode_text(uint32_t arch, uint64_t bits, uint32_t options = OPT_RENDER,
                               uint8_t au_count = 64) {
    decode(arch, bits, options, au_count);
    return packet_text();
}

} // namespace zt
