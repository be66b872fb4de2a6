// Builds the bundled example object demo.eld: a small relocatable ZEMA1
// program with a code section of several packet kinds, a loop, a call-free
// jump to a label, a data section with a relocated word and a BSS section.
// The words come from the instruction encoder, so the example always matches
// the current instruction tables.
#include <cstdio>
#include <string>
#include <vector>

#include "decodelib/encoder.h"
#include "elflib/elfread.h"
#include "tests/support/elf_writer.h"

using namespace ZEMADisasmLib;

namespace {

uint64_t encode(const char *record, const OperandValues &values) {
    uint64_t bits = 0;
    if (!Encode(ARCH_ZEMA1, record, values, &bits)) {
        fprintf(stderr, "mkexample: cannot encode %s\n", record);
        exit(1);
    }
    return bits;
}

void append_word(zema_test::Bytes *code, uint64_t bits) {
    for (uint8_t b : WordBytes(bits, 64)) code->push_back(b);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: mkexample <output.eld>\n");
        return 1;
    }
    uint64_t rts_z = encode("rts", {});
    zema_test::Bytes code;
    append_word(&code, encode("mv_aX_I17", {{"AA", 0}, {"IM17R13", 0x10}}));
    append_word(&code, encode("add_aX_Is17", {{"AA", 1}, {"IM17sR13", 0x1FFFF}}));
    append_word(&code, encode("jmp_LI17", {{"LI17R8", 0}}));
    append_word(&code, encode("mv_aX_I17", {{"AA", 2}, {"IM17R13", 0x20}, {"opZ", rts_z}}));
    append_word(&code, encode("done", {}));

    zema_test::ElfWriter w;
    w.flags(0x0000); // ZEMA1, 64 addressable units
    uint32_t text = w.section(".text")
                        .type(SHT_PROGBITS)
                        .flags(SHF_ALLOC | SHF_EXECINSTR)
                        .align(8)
                        .data(code)
                        .index();
    uint32_t data = w.section(".data")
                        .type(SHT_PROGBITS)
                        .flags(SHF_ALLOC | SHF_WRITE)
                        .data({0x01, 0x02, 0x03, 0x04, 0, 0, 0, 0})
                        .index();
    uint32_t bss =
        w.section(".bss").type(SHT_NOBITS).flags(SHF_ALLOC | SHF_WRITE).size(0x40).index();
    w.symbol("demo.zsrc").type(STT_FILE).shndx(SHN_ABS);
    w.symbol("BUFFER_WORDS").value(0x10).shndx(SHN_ABS).bind(STB_GLOBAL);
    uint32_t main_sym =
        w.symbol("main").value(0).size(40).type(STT_FUNC).shndx(text).bind(STB_GLOBAL).index();
    w.symbol("again").value(16).shndx(text);
    w.symbol("table").value(0).size(8).type(STT_OBJECT).shndx(data).bind(STB_GLOBAL);
    w.symbol("buffer").value(0x20).size(0x20).type(STT_OBJECT).shndx(bss);
    w.rela(text).add(16, 8, main_sym, 0);
    w.rela(data).add(4, 12, main_sym, 0);
    w.write_file(argv[1]);
    return 0;
}
