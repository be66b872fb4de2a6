// Memory dumps: reading a 64 MB dump (about 200 MB of .lod text) from a
// file, per megabyte of text; and listing a dump buffer, per megabyte of
// code, to compare with the object-file listing of bench_listing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "dq300/driver.h"
#include "dq300/memdump.h"

namespace {

constexpr uint64_t kDumpBytes = uint64_t{64} << 20;
constexpr uint64_t kListBytes = uint64_t{1} << 20;

std::string dump_path() {
    const char *dir = getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/bench_dump_" + std::to_string(getpid()) +
           ".lod";
}

// Random bytes as data lines "XX XX XX XX XX XX XX XX  \n", 26 characters.
void write_dump_file(const std::string &path) {
    static const char digits[] = "0123456789ABCDEF";
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) abort();
    std::mt19937_64 rng(64);
    char line[DUMP_DATA_LINE];
    for (size_t i = 0; i < DUMP_DATA_LINE; i++) line[i] = ' ';
    line[DUMP_DATA_LINE - 1] = '\n';
    for (uint64_t done = 0; done < kDumpBytes; done += 8) {
        uint64_t word = rng();
        for (int k = 0; k < 8; k++, word >>= 8) {
            line[3 * k] = digits[(word >> 4) & 0xF];
            line[3 * k + 1] = digits[word & 0xF];
        }
        if (fwrite(line, 1, sizeof line, f) != sizeof line) abort();
    }
    if (fclose(f) != 0) abort();
}

void BM_ReadDump(benchmark::State &state) {
    std::string path = dump_path();
    write_dump_file(path);
    long size = 0;
    for (auto _ : state) {
        FILE *f = fopen(path.c_str(), "rb");
        fseek(f, 0, SEEK_END);
        size = ftell(f);
        fseek(f, 0, SEEK_SET);
        Dump_struct dump;
        read_dump(f, static_cast<uint64_t>(size), &dump);
        fclose(f);
        if (dump.size != kDumpBytes || dump.error[0]) state.SkipWithError("dump not read whole");
        free_dump(&dump);
    }
    remove(path.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

// A dump buffer of random words listed as a dump run lists it: no symbols,
// the program counter and the hex codification on, compact output or not.
void BM_ListDump(benchmark::State &state) {
    auto arch = static_cast<uint8_t>(state.range(0));
    std::vector<uint8_t> bytes(kListBytes);
    std::mt19937_64 rng(arch);
    for (uint8_t &b : bytes) b = static_cast<uint8_t>(rng());
    Option_struct *opt = options_new();
    set_option(opt, 1, 1);
    set_option(opt, 3, static_cast<uint32_t>(state.range(1)));
    set_option(opt, 7, 1);
    set_option(opt, 12, arch);
    set_core(opt, arch, 0);
    for (auto _ : state) {
        uint8_t error_class;
        char *text =
            disassemble_memory(bytes.data(), bytes.size(), 0, 0xFFFFFFFF, 0, opt, &error_class);
        benchmark::DoNotOptimize(text);
        free(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
    options_free(opt);
}

} // namespace

BENCHMARK(BM_ReadDump)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ListDump)
    ->ArgNames({"arch", "compact"})
    ->Args({0, 1})
    ->Args({0, 0})
    ->Args({2, 1})
    ->Args({3, 1})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
