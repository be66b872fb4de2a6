// zema-fuzz-seeds: writes the seed corpora of the fuzz targets with the
// project's own writers, one directory per target under <out>:
//
//   zema-fuzz-seeds <out> <description.zobj|.zar> ...
//
// listing: the objects of the descriptions (tools/mkobj/ZOBJ.md), each under
// a few option sets; archive: the libraries of the library descriptions;
// decode, interactive and dump: words of every record of the six instruction
// sets from the encoder (dumps as .lod text with -k ranges); rela:
// expressions; demangle: names.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "common/rela.h"
#include "decodelib/encoder.h"
#include "tools/mkobj/zar.h"
#include "tools/mkobj/zobj.h"
#include "tools/writers/lod_writer.h"

namespace fs = std::filesystem;
using namespace ZEMADisasmLib;
using Bytes = std::vector<uint8_t>;

namespace {

void write_seed(const fs::path &dir, const std::string &name, const Bytes &bytes) {
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// Identification bytes 9 and 10 choose the listing's option set (see
// fuzz_listing.cpp): plain, -x -f -n, -p -s -m -w -j -t -u, a window.
bool write_listing_seeds(const fs::path &out, const std::string &description) {
    std::ifstream in(description, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    bool library = zema_test::is_library_description(text.str());
    zema_test::ZobjResult r = library ? zema_test::build_library(text.str(), description)
                                      : zema_test::build_zobj(text.str(), description);
    if (!r.ok) {
        fprintf(stderr, "%s\n", r.error.c_str());
        return false;
    }
    std::string stem = fs::path(description).stem().string();
    if (library) {
        write_seed(out / "archive", stem, r.image);
        return true;
    }
    static const uint8_t option_sets[][2] = {{0, 0}, {0x19, 0}, {0xC6, 0x07}, {0x21, 0x10}};
    for (size_t k = 0; k < std::size(option_sets); k++) {
        Bytes image = r.image;
        if (image.size() > 10 && image[0] == 0x7F) {
            image[9] = option_sets[k][0];
            image[10] = option_sets[k][1];
        }
        write_seed(out / "listing", stem + "." + std::to_string(k), image);
    }
    return true;
}

// Every record of an instruction set encoded with operands 0, in groups.
std::vector<Bytes> encoded_words(uint32_t arch) {
    std::vector<Bytes> groups(1);
    for (uint32_t i = 0; i < TableSize(arch); i++) {
        uint64_t bits = 0;
        if (!EncodeRecord(arch, TableRecord(arch, i), {}, &bits)) continue;
        Bytes word = WordBytes(bits, arch <= ARCH_ZEMA3 ? 64 : 32);
        if (groups.back().size() >= 512) groups.emplace_back();
        groups.back().insert(groups.back().end(), word.begin(), word.end());
    }
    return groups;
}

// The dump target's input: a mode byte (architecture, RIXU, -c, -x, -z), the
// length of the -k text, the -k text, the .lod text.
Bytes dump_seed(uint32_t arch, size_t group, const Bytes &words) {
    static const uint8_t modes[6] = {0x00, 0x01, 0x02, 0x04, 0x05, 0x06};
    uint8_t mode = uint8_t(modes[arch - 1] | (group % 2 ? 0x18 : 0x20));
    std::string config = group % 3 == 0 ? "" : "l10 h2f\nh7 ; first word\nl20\n";
    zema_test::LodWriter lod;
    lod.comment("_DATA P 0000").bytes(words);
    Bytes b = {mode, uint8_t(config.size()), uint8_t(config.size() >> 8)};
    b.insert(b.end(), config.begin(), config.end());
    b.insert(b.end(), lod.text().begin(), lod.text().end());
    return b;
}

void write_word_seeds(const fs::path &out) {
    for (uint32_t arch = ARCH_ZEMA1; arch <= ARCH_RIXU3; arch++) {
        std::vector<Bytes> groups = encoded_words(arch);
        for (size_t g = 0; g < groups.size(); g++) {
            std::string name = std::to_string(arch) + "." + std::to_string(g);
            Bytes decode = {uint8_t(arch - 1), uint8_t(g % 16)};
            decode.insert(decode.end(), groups[g].begin(), groups[g].end());
            write_seed(out / "decode", name, decode);
            // Typed lines: byte order and word size in the mode byte.
            static const uint8_t modes[6] = {0x00, 0x01, 0x02, 0x04, 0x05, 0x06};
            std::string lines(1, char(modes[arch - 1] | (g % 2 ? 0x08 : 0) | 0x50));
            static const char digits[] = "0123456789abcdef";
            const Bytes &words = groups[g];
            for (size_t i = 0; i < words.size() && i < 64; i++) {
                lines += digits[words[i] >> 4];
                lines += digits[words[i] & 15];
                if (i % 8 == 7) lines += '\n';
            }
            lines += "1 2 3\n\n";
            write_seed(out / "interactive", name, Bytes(lines.begin(), lines.end()));
            write_seed(out / "dump", name, dump_seed(arch, g, groups[g]));
        }
    }
}

// Entries in the rela target's form: offset step, type selector, symbol,
// 16-bit addend (the selector 0..7 picks operand, operator, end, dot
// operand, data word, 13, 8, 0).
void write_rela_seeds(const fs::path &out) {
    struct Entry {
        uint8_t step, type, sym;
        int16_t addend;
    };
    const std::vector<std::vector<Entry>> expressions = {
        {{0, 0, 1, 0}, {0, 0, 4, 0}, {0, 1, 0, 8}, {0, 0, 0, 2}, {0, 1, 0, 12}, {0, 2, 0, 13}},
        {{0, 5, 1, 8}, {1, 0, 2, 4}, {0, 2, 0, 12}, {1, 4, 3, 0}, {1, 3, 6, 0}, {0, 2, 0, 13}},
        {{0, 0, 7, 0}, {0, 0, 3, -4}, {0, 1, 0, 7}, {0, 1, 0, 1}, {0, 2, 0, 12}},
        {{0, 0, 1, 0}, {0, 0, 0, 0}, {0, 1, 0, 5}, {0, 2, 0, 0}, {1, 0, 4, 0}, {0, 1, 0, 24}},
    };
    for (size_t k = 0; k < expressions.size(); k++) {
        Bytes b = {uint8_t(0x80 | (k << 2))};
        for (const Entry &e : expressions[k]) {
            auto a = uint16_t(e.addend);
            b.insert(b.end(), {e.step, e.type, e.sym, uint8_t(a), uint8_t(a >> 8)});
        }
        write_seed(out / "rela", std::to_string(k), b);
    }
}

void write_demangle_seeds(const fs::path &out) {
    const char *const names[] = {"_ZN3FooC2Ev",
                                 "_ZN3FooD0Ev",
                                 "_ZN3FooplERKS_",
                                 "_ZTV3Foo",
                                 "_Z1fIiEvT_",
                                 "__ZN3FooC1Ev",
                                 "_ZN1N1fEPFivEPA3_iM1AFvvE",
                                 "_Z1fILi3EEvv",
                                 "_Z1fIXplLi1ELi2EEEvv",
                                 "_ZZ4mainE1x_0",
                                 "_ZThn8_N1A1fEv",
                                 "_ZTcv0_n12_h8_N1A1fEv",
                                 "_ZGVZ4mainE1x",
                                 "_ZNSt6vectorIiSaIiEE9push_backERKi",
                                 "_ZNKSs4sizeEv",
                                 "_Z1fPVKrCGi",
                                 "_ZN1AcviEv",
                                 "_ZN1Av1xE",
                                 "_Z1fDn",
                                 "main"};
    size_t k = 0;
    for (const char *n : names) {
        Bytes b = {uint8_t(k * 37)};
        b.insert(b.end(), n, n + strlen(n));
        write_seed(out / "demangle", std::to_string(k++), b);
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: zema-fuzz-seeds <out> <description.zobj> ...\n");
        return 1;
    }
    fs::path out = argv[1];
    bool ok = true;
    for (int i = 2; i < argc; i++) ok = write_listing_seeds(out, argv[i]) && ok;
    write_word_seeds(out);
    write_rela_seeds(out);
    write_demangle_seeds(out);
    return ok ? 0 : 1;
}
