// zema-mkobj: builds an ELF object (or a plain binary file) from a readable
// object description, or an ar library from a library description; see
// tools/mkobj/ZOBJ.md.
//
//   zema-mkobj [--show] <description.zobj|.zar> <output>
//
// With --show every instruction word is decoded again and printed with its
// section, offset, bytes and packet text, to check a description by eye.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "decodelib/zema_disasm.h"
#include "tools/mkobj/zar.h"
#include "tools/mkobj/zobj.h"

namespace {

int usage() {
    fprintf(stderr, "usage: zema-mkobj [--show] <description.zobj|.zar> <output>\n");
    return 1;
}

void show(const zema_test::ZobjWord &w) {
    printf("%s+0x%04x\t", w.section.c_str(), w.offset);
    for (size_t i = w.bytes.size(); i >= 2; i -= 2)
        printf("%02X%02X ", w.bytes[i - 1], w.bytes[i - 2]);
    const char *text = "";
    uint32_t size = ZEMADisasmLib::DecodeInstruction(w.bytes.data(), w.bytes.size(),
                                                     ZEMADisasmLib::OPT_RENDER, w.arch, w.au_count);
    if (size != 0) ZEMADisasmLib::FormatPacket(&text);
    printf("\t%s\n", size != 0 && text ? text : "(does not decode)");
}

} // namespace

int main(int argc, char **argv) {
    bool show_words = argc > 1 && strcmp(argv[1], "--show") == 0;
    int first = show_words ? 2 : 1;
    if (argc - first != 2) return usage();
    const char *input = argv[first], *output = argv[first + 1];

    std::ifstream in(input, std::ios::binary);
    if (!in) {
        fprintf(stderr, "zema-mkobj: cannot read %s: %s\n", input, strerror(errno));
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    zema_test::ZobjResult r = zema_test::is_library_description(text.str())
                                  ? zema_test::build_library(text.str(), input)
                                  : zema_test::build_zobj(text.str(), input);
    if (!r.ok) {
        fprintf(stderr, "%s\n", r.error.c_str());
        return 1;
    }
    if (show_words)
        for (const zema_test::ZobjWord &w : r.words) show(w);

    FILE *f = fopen(output, "wb");
    if (!f) {
        fprintf(stderr, "zema-mkobj: cannot write %s: %s\n", output, strerror(errno));
        return 1;
    }
    bool written =
        r.image.empty() || fwrite(r.image.data(), 1, r.image.size(), f) == r.image.size();
    if (fclose(f) != 0 || !written) {
        fprintf(stderr, "zema-mkobj: cannot write %s\n", output);
        return 1;
    }
    return 0;
}
