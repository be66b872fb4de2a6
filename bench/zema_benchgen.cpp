// zema-benchgen: writes a benchmark object and prints what it holds.
//
//   zema-benchgen SET rel|exec|rel-all WORDS OUT [SEED]
//
// SET is zema1 .. rixu3; rel: relocatable, about half of the relocatable
// operands relocated; rel-all: every one, a quarter as expressions; exec: an
// executable whose jump targets name labels (address comments).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/benchgen.h"

int main(int argc, char **argv) {
    if (argc < 5 || argc > 6) {
        std::fprintf(stderr, "usage: zema-benchgen SET rel|exec|rel-all WORDS OUT [SEED]\n");
        return 1;
    }
    benchgen::Request request;
    request.arch = benchgen::arch_of_name(argv[1]);
    std::string kind = argv[2];
    request.executable = kind == "exec";
    request.relocations =
        kind == "rel-all" ? benchgen::Relocations::All : benchgen::Relocations::Half;
    request.words = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    if (argc == 6) request.seed = static_cast<uint32_t>(std::strtoul(argv[5], nullptr, 10));
    if (request.arch == 0 || (kind != "rel" && kind != "exec" && kind != "rel-all")) {
        std::fprintf(stderr, "zema-benchgen: unknown set or kind\n");
        return 1;
    }
    benchgen::Summary s;
    zema_test::write_bytes(argv[4], benchgen::build_object(request, &s));
    std::printf("words=%llu micro/word=%.2f relocatable/word=%.2f relocations=%llu labels=%llu "
                "data_bytes=%llu\n",
                static_cast<unsigned long long>(s.words),
                s.words ? double(s.micro_instructions) / double(s.words) : 0.0,
                s.words ? double(s.relocatable_operands) / double(s.words) : 0.0,
                static_cast<unsigned long long>(s.relocations),
                static_cast<unsigned long long>(s.labels),
                static_cast<unsigned long long>(s.data_bytes));
    return 0;
}
