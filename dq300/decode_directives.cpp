// Symbol directives: the equate block at the head of an object's listing and
// the ".global" lines after each section line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/instr.h"
#include "dq300/disasm.h"
#include "kelim/kelim.h"

namespace {

bool is_equate(const Elf32_Sym *s) {
    uint8_t type = elf_st_type(s->st_info);
    return s->st_shndx == SHN_ABS && type != STT_SECTION && type != STT_FILE;
}

// "%d" when the value does not fit in a size of 1 to 3 bytes, else "$%x".
void format_equate_value(const Elf32_Sym *s, char *out, size_t size) {
    uint32_t bytes = s->st_size;
    bool too_wide = bytes >= 1 && bytes <= 3 && s->st_value >= (1u << (8 * bytes));
    if (too_wide)
        snprintf(out, size, "%d", static_cast<int32_t>(s->st_value));
    else
        snprintf(out, size, "$%x", s->st_value);
}

// The source file's name without directories and extension; empty when the
// name has none (a dot only in a directory part).
std::string source_base_name(const char *path) {
    const char *sep = strrchr(path, '\\');
    if (sep == nullptr) sep = strrchr(path, '/');
    const char *base = sep ? sep + 1 : path;
    const char *dot = strrchr(path, '.');
    if (dot == nullptr) return base;
    if (dot < base) return "";
    return std::string(base, static_cast<size_t>(dot - base));
}

void print_equate(const char *name, const Elf32_Sym *s, const char *between, const char *lead,
                  Option_struct *opt) {
    char value[16];
    format_equate_value(s, value, sizeof value);
    text_append(lead, opt);
    text_append(name, opt);
    text_append(between, opt);
    text_append(value, opt);
    print_unmangled(name, 1, opt);
    text_append("\n", opt);
}

} // namespace

char *print_equ_block(const char *strtab, const Elf32_Sym *symtab, uint64_t symcount,
                      int32_t file_type, Option_struct *opt, uint8_t *error_class) {
    *error_class = ERR_NONE;
    if (strtab == nullptr) return nullptr;
    text_open(opt);
    text_append("#Global EQUs\n", opt);
    bool locals = false;
    bool have_base = false;
    std::string base;
    for (uint64_t i = 0; i < symcount; i++) {
        const Elf32_Sym *s = &symtab[i];
        if (s->st_shndx == SHN_ABS && elf_st_type(s->st_info) == STT_FILE) {
            base = source_base_name(strtab + s->st_name);
            have_base = !base.empty();
        }
        if (!is_equate(s)) continue;
        if (elf_st_bind(s->st_info) == STB_GLOBAL)
            print_equate(strtab + s->st_name, s, ", ", "\t.equ ", opt);
        else if (elf_st_bind(s->st_info) == STB_LOCAL)
            locals = true;
    }
    text_append("#Local EQUs\n", opt);
    if (file_type != ET_EXEC && locals) {
        text_append("\t\tsection ", opt);
        if (have_base) {
            text_append(base.c_str(), opt);
            text_append("_", opt);
        }
        text_append("local_equs\n", opt);
        for (uint64_t i = 0; i < symcount; i++) {
            const Elf32_Sym *s = &symtab[i];
            if (is_equate(s) && elf_st_bind(s->st_info) == STB_LOCAL)
                print_equate(strtab + s->st_name, s, "\tequ\t", "", opt);
        }
    }
    if (has_error(opt)) return engine_error(opt, error_class);
    return text_detach(opt);
}

void print_section_globals(const Buffer_struct *buf, Option_struct *opt) {
    if (!opt->label_display || buf->shstrtab == nullptr || buf->strtab == nullptr) return;
    if (strcmp(buf->shstrtab + buf->name, ".default") == 0) return;
    for (uint64_t k = 0; k < buf->global_count; k++) {
        const char *name = buf->strtab + buf->symtab[buf->globals[k]].st_name;
        text_append("\t\t.global\t", opt);
        text_append(name, opt);
        print_unmangled(name, 1, opt);
        text_append("\n", opt);
    }
}
