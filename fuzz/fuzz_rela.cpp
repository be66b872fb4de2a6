// Relocation walking and expression rendering as the engine uses them: a
// code walk (rela_next, rela_to_chr, with and without computing the value)
// and a data walk (rela_data_size) over entries built from the input. The
// first byte chooses the architecture code, the -m and -n flags and the
// symbol count; then every 5 bytes make one entry: an offset step, the type,
// the symbol index and a 16-bit addend.
#include <cstdlib>
#include <string>
#include <vector>

#include "common/rela.h"
#include "fuzz/harness.h"

namespace {

// Names that take every path of the operand text: mapper labels, mangled
// names for -n, and an undefined symbol (the last one).
const char *const names[] = {"", "start", "..map", "_Z3fooi", "end", "__Z3barv", "loop", "undef"};
constexpr uint32_t NAME_COUNT = sizeof names / sizeof names[0];

struct Table_struct {
    std::string strtab{'\0'};
    std::vector<Elf32_Sym> symtab;

    explicit Table_struct(uint32_t count) {
        for (uint32_t i = 0; i < count; i++) {
            Elf32_Sym s{};
            s.st_name = uint32_t(strtab.size());
            s.st_value = 0x100 * i;
            s.st_shndx = i + 1 == NAME_COUNT ? 0 : 1;
            strtab += names[i];
            strtab += '\0';
            symtab.push_back(s);
        }
        if (symtab.empty()) symtab.push_back({}); // present, but no symbol counts
    }
};

std::vector<Elf32_Rela> read_entries(Fuzz_input *in) {
    static const uint32_t types[8] = {
        R_EXPR_OPERAND, R_EXPR_OPERATOR, R_EXPR_END, R_EXPR_DOT_OPERAND, R_DATA_WORD, 13, 8, 0};
    std::vector<Elf32_Rela> entries;
    uint32_t offset = 0;
    while (in->left() >= 5) {
        offset += in->byte() & 3;
        uint8_t t = in->byte();
        uint32_t type = t < 0xF8 ? types[t & 7] : t; // any type now and then
        uint32_t sym = in->byte();
        auto addend = static_cast<int32_t>(static_cast<int16_t>(in->u16()));
        entries.push_back({offset, (sym << 8) | type, addend});
    }
    return entries;
}

void clear_error(Option_struct *opt) {
    free(opt->err_text);
    opt->err_text = nullptr;
    opt->err_code = ERR_NONE;
}

void walk_code(std::vector<Elf32_Rela> entries, const Table_struct &t, uint64_t symcount,
               Option_struct *opt) {
    ZEMADisasmLib::InstructionRecord compute{};
    compute.flags = FLAG_RELA_VALUE;
    auto count = static_cast<uint32_t>(entries.size());
    Elf32_Rela *cursor = entries.data();
    uint32_t index = 0;
    for (uint64_t address = 0; cursor && index < count; address++) {
        rela_seek(&cursor, count, &index, address);
        Elf32_Rela *first = cursor;
        if (rela_next(1, &cursor, &index, count, address, opt) == 1) {
            Symbol_refs_struct *refs = nullptr;
            uint32_t value = 0;
            auto remaining = static_cast<uint32_t>(entries.data() + count - first);
            char *text =
                rela_to_chr(first, t.strtab.c_str(), t.symtab.data(), symcount,
                            address % 2 ? &compute : nullptr, &refs, opt, &value, remaining);
            print_comment_record(refs, opt);
            release_symbol_references(refs);
            free(text);
        }
        clear_error(opt);
    }
}

void walk_data(std::vector<Elf32_Rela> entries, const Table_struct &t, uint64_t symcount,
               Option_struct *opt) {
    auto count = static_cast<uint32_t>(entries.size());
    Elf32_Rela *cursor = entries.data();
    uint32_t index = 0;
    for (uint64_t address = 0; cursor && index < count; address++) {
        if (rela_data_size(&cursor, &index, count, address, opt) == 4) {
            auto remaining = count - index;
            char *text = rela_to_chr(cursor, t.strtab.c_str(), t.symtab.data(), symcount, nullptr,
                                     nullptr, opt, nullptr, remaining);
            free(text);
        }
        clear_error(opt);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Fuzz_input in{data, size};
    uint8_t mode = in.byte();
    static const uint8_t arch_codes[4] = {0, 2, 3, 7};
    uint32_t symcount = (mode >> 4) % (NAME_COUNT + 1);
    Table_struct t(symcount);
    Option_struct *opt = fuzz_new_record();
    opt->arch_code = arch_codes[mode & 3];
    opt->mapper_labels = !(mode & 4);
    opt->unmangle = mode & 8;
    opt->strtab = t.strtab.c_str();
    opt->symtab = t.symtab.data();
    opt->symcount = symcount;
    std::vector<Elf32_Rela> entries = read_entries(&in);
    walk_code(entries, t, symcount, opt);
    walk_data(entries, t, symcount, opt);
    options_free(opt);
    return 0;
}
