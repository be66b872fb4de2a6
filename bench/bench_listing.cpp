// Whole code windows through the listing engine: decoding, labels, address
// comments or relocation expressions, and the listing text, per megabyte.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "dq300/disasm.h"

namespace {

constexpr uint64_t kWords = 1 << 17; // 1 MB of 64-bit words

// A code section of random words with a label every 64 bytes, in an
// executable (address comments) or a relocatable file (one relocation every
// 16 words).
struct Section {
    std::vector<uint8_t> bytes;
    std::string strtab{'\0'};
    std::vector<Elf32_Sym> symtab{Elf32_Sym{}};
    std::vector<Elf32_Rela> rela;
    Buffer_struct buf{};

    Section(int32_t file_type, uint32_t arch) {
        std::mt19937_64 rng(arch);
        bytes.resize(kWords * 8);
        for (uint8_t &b : bytes) b = static_cast<uint8_t>(rng());
        for (uint64_t offset = 0; offset < bytes.size(); offset += 64) {
            Elf32_Sym s{};
            s.st_name = static_cast<uint32_t>(strtab.size());
            s.st_value = static_cast<uint32_t>(offset);
            s.st_shndx = 1;
            strtab += "L" + std::to_string(offset) + '\0';
            symtab.push_back(s);
        }
        for (uint64_t offset = 0; offset < bytes.size(); offset += 128)
            rela.push_back({static_cast<uint32_t>(offset), (1u << 8) | 13u, 8});
        buf.file_type = file_type;
        buf.bytes = bytes.data();
        buf.size = bytes.size();
        buf.index = 1;
        buf.sh_type = SHT_PROGBITS;
        buf.sh_flags = SHF_ALLOC | SHF_EXECINSTR;
        buf.strtab = strtab.c_str();
        buf.symtab = symtab.data();
        buf.symcount = symtab.size();
        if (file_type == ET_REL) {
            buf.rela = rela.data();
            buf.rela_count = rela.size();
            buf.rela_present = 1;
        }
        buf.end = 0xFFFFFFFF;
    }
};

void BM_ListCode(benchmark::State &state) {
    auto file_type = static_cast<int32_t>(state.range(0));
    auto arch = static_cast<uint8_t>(state.range(1));
    Section section(file_type, arch);
    Option_struct *opt = options_new();
    set_option(opt, 3, 1);  // object files list compactly
    set_option(opt, 10, 1); // with the sorted symbol copy
    set_option(opt, 1, 1);  // and the hex codification
    set_core(opt, arch, 6);
    for (auto _ : state) {
        uint8_t error_class;
        char *text = disassemble_buffer(&section.buf, opt, &error_class);
        benchmark::DoNotOptimize(text);
        free(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * section.bytes.size()));
    options_free(opt);
}

} // namespace

BENCHMARK(BM_ListCode)
    ->ArgNames({"file_type", "arch"})
    ->Args({ET_EXEC, 0})
    ->Args({ET_REL, 0})
    ->Args({ET_EXEC, 2})
    ->Args({ET_EXEC, 3})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
