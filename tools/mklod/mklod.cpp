// zema-mklod: writes bytes as a .lod memory dump (data lines of eight
// hexadecimal byte values), for the example dump and the golden dump cases.
//
//   zema-mklod <input> <output.lod> [SECTION]
//
// Without SECTION the whole input file is the dump; with it the input is an
// ELF object and the dump holds that section's contents as the processor
// reads them (code of a file stored in the other byte order is turned back).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "decodelib/zema_disasm.h"
#include "elflib/elfread.h"
#include "tools/writers/lod_writer.h"

namespace {

int usage() {
    fprintf(stderr, "usage: zema-mklod <input> <output.lod> [SECTION]\n");
    return 1;
}

bool read_file(const char *path, zema_test::Bytes *bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream text;
    text << in.rdbuf();
    const std::string &s = text.str();
    bytes->assign(s.begin(), s.end());
    return true;
}

// The contents of the named section of an ELF object, in the order the
// decoder reads code.
bool read_section(const char *path, const char *name, zema_test::Bytes *bytes) {
    FILE *stream = fopen(path, "rb");
    if (!stream) return false;
    Elf_struct elf{};
    bool found = false;
    if (elf_read(stream, 0, nullptr) != 0 && elf_read(stream, 0, &elf) != 0) {
        const Elf32_Ehdr &h = elf.Ehdr;
        const char *names = h.e_shstrndx < h.e_shnum
                                ? reinterpret_cast<const char *>(elf.section[h.e_shstrndx])
                                : nullptr;
        for (uint32_t i = 1; names && i < h.e_shnum && !found; i++) {
            const Elf32_Shdr &s = elf.Shdr[i];
            if (strcmp(names + s.sh_name, name) != 0 || !elf.section[i]) continue;
            bytes->assign(elf.section[i], elf.section[i] + s.sh_size);
            found = true;
        }
        bool stored_swapped = (h.e_ident[5] == 2) == (ZEMADisasmLib::GetByteOrder() == 0);
        for (size_t i = 0; found && stored_swapped && i + 1 < bytes->size(); i += 2)
            std::swap((*bytes)[i], (*bytes)[i + 1]);
        elf_free(&elf);
    }
    fclose(stream);
    return found;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3 && argc != 4) return usage();
    zema_test::Bytes bytes;
    bool ok = argc == 4 ? read_section(argv[1], argv[3], &bytes) : read_file(argv[1], &bytes);
    if (!ok && argc == 4) fprintf(stderr, "zema-mklod: no section %s in %s\n", argv[3], argv[1]);
    if (!ok && argc == 3) fprintf(stderr, "zema-mklod: cannot read %s\n", argv[1]);
    if (!ok) return 1;
    zema_test::LodWriter lod;
    lod.bytes(bytes);
    lod.write_file(argv[2]);
    return 0;
}
