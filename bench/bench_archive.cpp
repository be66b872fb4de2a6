// Listing a library against listing one object of the same code: 2,000
// members of 4 KB of code each, and one object whose code section holds the
// same 8 MB with the same labels. Both go through process_file, as zema-kt
// runs them; the listing goes to /dev/null.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "dq300/driver.h"
#include "kelim/kelim.h"
#include "tools/writers/ar_writer.h"
#include "tools/writers/elf_writer.h"

namespace {

constexpr size_t kMembers = 2000;
constexpr size_t kMemberCode = 4096;
constexpr size_t kLabelEvery = 256;

// One code section of the given words, a global entry and a local label
// every kLabelEvery bytes.
zema_test::Bytes object(const zema_test::Bytes &code) {
    zema_test::ElfWriter w;
    uint32_t text = w.section(".text")
                        .type(SHT_PROGBITS)
                        .flags(SHF_ALLOC | SHF_EXECINSTR)
                        .align(8)
                        .data(code)
                        .index();
    w.symbol("entry").shndx(uint16_t(text)).type(STT_FUNC).bind(STB_GLOBAL);
    for (size_t offset = kLabelEvery; offset < code.size(); offset += kLabelEvery)
        w.symbol("L" + std::to_string(offset)).value(uint32_t(offset)).shndx(uint16_t(text));
    return w.build();
}

struct Inputs {
    std::string library = zema_test::temp_path("bench.a");
    std::string single = zema_test::temp_path("bench.eld");

    Inputs() {
        std::mt19937_64 rng(1);
        zema_test::Bytes all;
        zema_test::ArWriter ar;
        for (size_t m = 0; m < kMembers; m++) {
            zema_test::Bytes code(kMemberCode);
            for (uint8_t &b : code) b = uint8_t(rng());
            all.insert(all.end(), code.begin(), code.end());
            ar.member("m" + std::to_string(m) + ".o", object(code));
        }
        ar.write_file(library);
        // The same labels in one section: every member start is a label too.
        zema_test::ElfWriter w;
        uint32_t text = w.section(".text")
                            .type(SHT_PROGBITS)
                            .flags(SHF_ALLOC | SHF_EXECINSTR)
                            .align(8)
                            .data(all)
                            .index();
        for (size_t offset = 0; offset < all.size(); offset += kLabelEvery)
            w.symbol("L" + std::to_string(offset)).value(uint32_t(offset)).shndx(uint16_t(text));
        w.write_file(single);
    }
    ~Inputs() {
        remove(library.c_str());
        remove(single.c_str());
    }
};

const Inputs &inputs() {
    static Inputs files;
    return files;
}

void list_to_null(const std::string &path) {
    Run_struct run{};
    run.source_path = const_cast<char *>(path.c_str());
    run.high = 0xFFFFFFFF;
    run.pc_display = run.label_display = run.mapper_labels = true;
    run.bss_sections = run.local_symbols = run.data_sections = true;
    Option_struct *opt = options_new();
    opt->source_name = run.source_path;
    fflush(stdout);
    int saved = dup(1), null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    process_file(&run, opt);
    fflush(stdout);
    dup2(saved, 1);
    close(null);
    close(saved);
    options_free(opt);
}

void BM_List(benchmark::State &state, bool library) {
    const Inputs &files = inputs();
    for (auto _ : state) list_to_null(library ? files.library : files.single);
    state.SetBytesProcessed(int64_t(state.iterations() * kMembers * kMemberCode));
}

void BM_ListLibrary(benchmark::State &state) {
    BM_List(state, true);
}
void BM_ListOneObject(benchmark::State &state) {
    BM_List(state, false);
}

} // namespace

BENCHMARK(BM_ListLibrary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListOneObject)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    kl_init();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
