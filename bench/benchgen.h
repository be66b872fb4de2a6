// Realistic objects for the listing benchmarks: code of one instruction set
// built with the instruction encoder (packets of several filled slots, long
// instructions with vector slots, whole-word instructions), labels about
// every 50 words, a data section, and relocations on a share of the operands
// that can carry one (relocatable files) or jump targets at labels
// (executables, listed with address comments).
#pragma once

#include <cstdint>
#include <string>

#include "tools/writers/elf_writer.h"

namespace benchgen {

enum class Relocations {
    Half, // about half of the relocatable operands, plain entries
    All,  // every relocatable operand, a quarter of them expressions
};

struct Request {
    uint32_t arch = 2; // decoding architecture, 1..6 (ZEMA1-3, RIXU1-3)
    bool executable = false;
    Relocations relocations = Relocations::Half;
    uint32_t words = 4096; // instruction words of the code section
    uint32_t seed = 1;
};

// What was built, for the benchmark's report.
struct Summary {
    uint64_t words = 0;
    uint64_t micro_instructions = 0; // decoded instructions of all words
    uint64_t relocatable_operands = 0;
    uint64_t relocations = 0; // relocated operands and data words
    uint64_t labels = 0;
    uint64_t data_bytes = 0;
};

// The object file, or an empty image for an unknown architecture.
zema_test::Bytes build_object(const Request &request, Summary *summary);

// "zema1" .. "rixu3" to 1..6; 0 for any other name.
uint32_t arch_of_name(const std::string &name);

} // namespace benchgen
