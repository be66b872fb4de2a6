// zema-hostile: writes the generated inputs of the listing-time benchmark as
// files, to time zema-kt on them:
//
//   zema-hostile <dir> [n]     one <dir>/<case>.eld per case, at its full
//                              size or at n
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/hostile_inputs.h"
#include "tools/writers/elf_writer.h"

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: zema-hostile <dir> [n]\n");
        return 1;
    }
    std::string dir = argv[1];
    for (const zema_bench::Hostile_case &c : zema_bench::hostile_cases()) {
        uint32_t n = argc > 2 ? uint32_t(strtoul(argv[2], nullptr, 0)) : c.full_size;
        zema_bench::Bytes image = c.make(n);
        std::string path = dir + "/" + c.name + ".eld";
        zema_test::write_bytes(path, image);
        printf("%-32s n=%-6u %8zu bytes  %s\n", c.name, n, image.size(), c.what);
    }
    return 0;
}
