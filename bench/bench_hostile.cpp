// Listing time of the generated hostile inputs (hostile_inputs.h) at growing
// sizes: each must grow linearly with n. The whole file is listed as
// zema-kt lists it (reader, walk, engine), the text going to /dev/null.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "bench/hostile_inputs.h"
#include "dq300/driver.h"
#include "elflib/elfread.h"

namespace {

// Lists an image with default options, standard output sent to /dev/null.
void list_image(const zema_bench::Bytes &image) {
    fflush(stdout);
    int saved = dup(1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
    FILE *stream = fmemopen(const_cast<uint8_t *>(image.data()), image.size(), "rb");
    Option_struct *opt = options_new();
    Run_struct run{};
    run.pc_display = run.label_display = run.mapper_labels = true;
    run.bss_sections = run.data_sections = run.local_symbols = true;
    run.high = 0xFFFFFFFF;
    elf_read(stream, 0, &opt->elf);
    walk_object_file(&run, opt);
    elf_free(&opt->elf);
    options_free(opt);
    fclose(stream);
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
}

void BM_Hostile(benchmark::State &state, const zema_bench::Hostile_case *c) {
    auto n = static_cast<uint32_t>(state.range(0));
    zema_bench::Bytes image = c->make(n);
    for (auto _ : state) list_image(image);
    state.SetComplexityN(n);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
}

} // namespace

int main(int argc, char **argv) {
    for (const zema_bench::Hostile_case &c : zema_bench::hostile_cases())
        benchmark::RegisterBenchmark(c.name, BM_Hostile, &c)
            ->RangeMultiplier(2)
            ->Range(c.full_size / 8, c.full_size)
            ->Complexity(benchmark::oN)
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
