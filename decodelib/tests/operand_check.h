// A check shared by the tests of the instruction sets' relocation types.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "decodelib/zema_disasm.h"

namespace zt {

// The first instruction of the last decode has an operand named `syntax`
// that carries the relocation (name, type).
inline void expect_operand_relocation(const char *syntax, const char *reloc_name,
                                      uint32_t reloc_type) {
    using namespace ZEMADisasmLib;
    const OperandRecord *found = nullptr;
    for (uint32_t j = 0; j < GetOperandCount(0); ++j)
        if (std::strcmp(GetOperand(0, j)->syntax_name, syntax) == 0) found = GetOperand(0, j);
    ASSERT_NE(found, nullptr) << syntax;
    EXPECT_STREQ(found->reloc_name, reloc_name);
    EXPECT_EQ(found->reloc_type, reloc_type);
}

} // namespace zt
