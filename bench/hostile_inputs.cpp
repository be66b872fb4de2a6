#include "bench/hostile_inputs.h"

#include "decodelib/encoder.h"
#include "elflib/elfread.h"
#include "tools/writers/elf_writer.h"

namespace zema_bench {

namespace {

using zema_test::ElfWriter;

constexpr uint32_t R_EXPR_OPERAND = 0xFD, R_EXPR_OPERATOR = 0xFE, R_EXPR_END = 0xFF;
constexpr int32_t OP_ADD = 7;
constexpr uint32_t CODE = SHF_ALLOC | SHF_EXECINSTR;

Bytes expression_file(uint32_t n, bool distinct) {
    ElfWriter w;
    uint32_t data = w.section(".data").flags(SHF_ALLOC | SHF_WRITE).data(Bytes(4, 0)).index();
    std::vector<uint32_t> symbols;
    for (uint32_t k = 0; k < (distinct ? n : 1); k++)
        symbols.push_back(w.symbol("s" + std::to_string(k)).shndx(uint16_t(data)).index());
    auto rela = w.rela(data);
    rela.add(0, R_EXPR_OPERAND, symbols[0], 0);
    for (uint32_t k = 1; k < n; k++) {
        rela.add(0, R_EXPR_OPERAND, distinct ? symbols[k] : 0, distinct ? 0 : 1);
        rela.add(0, R_EXPR_OPERATOR, 0, OP_ADD);
    }
    rela.add(0, R_EXPR_END, 0, 12);
    return w.build();
}

Bytes sections_file(uint32_t n, uint32_t globals) {
    ElfWriter w;
    for (uint32_t k = 0; k < n; k++) w.section(".text").flags(CODE);
    for (uint32_t k = 0; k < globals; k++)
        w.symbol("g" + std::to_string(k)).shndx(1).bind(STB_GLOBAL).type(STT_FUNC);
    return w.build();
}

Bytes word(uint64_t bits) {
    return ZEMADisasmLib::WordBytes(bits, 64);
}

} // namespace

Bytes long_expression(uint32_t n) {
    return expression_file(n, false);
}

Bytes distinct_symbol_expression(uint32_t n) {
    return expression_file(n, true);
}

Bytes empty_sections(uint32_t n) {
    return sections_file(n, 0);
}

Bytes empty_sections_with_globals(uint32_t n) {
    return sections_file(n, n);
}

Bytes labels_in_another_section(uint32_t n) {
    ElfWriter w;
    for (uint32_t k = 0; k < n; k++) w.section(".text").flags(CODE).data(Bytes(8, 0));
    for (uint32_t k = 0; k < 2 * n; k++)
        w.symbol("L" + std::to_string(k)).value(k % 2 * 4).shndx(1);
    return w.build();
}

Bytes symbols_at_a_jump_target(uint32_t n) {
    uint64_t jump = 0;
    ZEMADisasmLib::Encode(ZEMADisasmLib::ARCH_ZEMA1, "jmp_LI17", {{"LI17R8", 0x40}}, &jump);
    Bytes code;
    for (uint32_t k = 0; k < n; k++) {
        Bytes b = word(jump);
        code.insert(code.end(), b.begin(), b.end());
    }
    ElfWriter w;
    w.type(ET_EXEC);
    uint32_t text = w.section(".text").flags(CODE).data(code).index();
    // Program addresses of ZEMA1 count words and carry their space's marker.
    for (uint32_t k = 0; k < n; k++)
        w.symbol("T" + std::to_string(k)).value(0x1000000 + 0x40 * 4).shndx(uint16_t(text));
    return w.build();
}

Bytes bss_labels_in_another_section(uint32_t n) {
    ElfWriter w;
    for (uint32_t k = 0; k < n; k++)
        w.section(".bss").type(SHT_NOBITS).flags(SHF_ALLOC | SHF_WRITE).size(8);
    for (uint32_t k = 0; k < 2 * n; k++)
        w.symbol("B" + std::to_string(k)).value(k % 2 * 4).shndx(1);
    return w.build();
}

const std::vector<Hostile_case> &hostile_cases() {
    static const std::vector<Hostile_case> cases = {
        {"long_expression", "an expression of n operands", 60000, long_expression},
        {"distinct_symbol_expression", "an expression of n distinct symbols", 60000,
         distinct_symbol_expression},
        {"empty_sections", "n empty code sections", 65000, empty_sections},
        {"empty_sections_with_globals", "n empty sections, n globals", 60000,
         empty_sections_with_globals},
        {"labels_in_another_section", "n sections, 2n labels in the first", 30000,
         labels_in_another_section},
        {"symbols_at_a_jump_target", "n jumps to n symbols at one address", 30000,
         symbols_at_a_jump_target},
        {"bss_labels_in_another_section", "n BSS sections, 2n labels in the first", 30000,
         bss_labels_in_another_section},
    };
    return cases;
}

} // namespace zema_bench
