// Generators of object files that cost a quadratic listing time when a
// reader or the listing engine does something per section, per symbol or
// per expression entry that walks all the others. The benchmark lists them
// at growing sizes; zema-hostile writes them as files for timing zema-kt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zema_bench {

using Bytes = std::vector<uint8_t>;

struct Hostile_case {
    const char *name;
    const char *what;
    uint32_t full_size; // n of the file zema-hostile writes
    Bytes (*make)(uint32_t n);
};

// One data word relocated by ((((a+$1)+$1)+...): n operands.
Bytes long_expression(uint32_t n);
// One data word relocated by an expression of n distinct symbols.
Bytes distinct_symbol_expression(uint32_t n);
// n empty code sections.
Bytes empty_sections(uint32_t n);
// n empty code sections and n global symbols of the first one.
Bytes empty_sections_with_globals(uint32_t n);
// n one-word code sections; the first one has n labels at 0 and n at 4.
Bytes labels_in_another_section(uint32_t n);
// An executable of n jumps to one address where n symbols stand.
Bytes symbols_at_a_jump_target(uint32_t n);
// n 8-byte BSS sections; the first one has n labels at 0 and n at 4.
Bytes bss_labels_in_another_section(uint32_t n);

const std::vector<Hostile_case> &hostile_cases();

} // namespace zema_bench
