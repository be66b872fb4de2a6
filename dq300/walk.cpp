// The file walk: lists one loaded object file section by section, code
// sections as packets and data or BSS sections as data directives, within
// the window of -l/-h or -b/-e.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dq300/diag.h"
#include "dq300/disasm.h"
#include "dq300/driver.h"
#include "kelim/kelim.h"

namespace {

constexpr const char *SOURCE = "dq300/walk";

// What the walk needs of the file, read once. The per-section indexes are
// built in one pass over the headers and one over the symbols, so that
// listing a section does not walk all the others.
struct File_struct {
    Elf_struct *elf;
    const char *strtab;
    const char *shstrtab;
    Elf32_Sym *symtab;
    uint64_t symcount;
    // Per section: 1 + the index of its first RELA section, or 0.
    std::vector<uint32_t> rela_section;
    // The global symbols of section i, in table order, are
    // globals[global_start[i]] up to globals[global_start[i + 1]].
    std::vector<uint32_t> global_start;
    std::vector<uint32_t> globals;
};

bool is_listed_type(uint32_t type) {
    return type == SHT_PROGBITS || type == SHT_NOBITS || type == SHT_OVERLAY ||
           type == SHT_OVERLAY2;
}

// Names are read as C strings from their tables, so every offset must lie
// inside its table (the reader keeps a zero byte after each table).
void check_name_offsets(const File_struct *f) {
    const Elf_struct *e = f->elf;
    if (f->strtab) {
        uint32_t size = e->Shdr[e->strtab_ndx].sh_size;
        for (uint64_t i = 0; i < f->symcount; i++) {
            const Elf32_Sym *Sym = &f->symtab[i];
            KL_INPUT_CHECK(Sym->st_name < size || Sym->st_name == 0, SOURCE);
        }
    }
    if (f->shstrtab) {
        uint32_t size = e->Shdr[e->Ehdr.e_shstrndx].sh_size;
        for (uint32_t i = 0; i < e->Ehdr.e_shnum; i++) {
            const Elf32_Shdr *Shdr = &e->Shdr[i];
            KL_INPUT_CHECK(Shdr->sh_name < size || Shdr->sh_name == 0, SOURCE);
        }
    }
}

void index_relocation_sections(File_struct *f) {
    const Elf_struct *e = f->elf;
    uint32_t shnum = e->Ehdr.e_shnum;
    f->rela_section.assign(shnum, 0);
    for (uint32_t k = 0; k < shnum; k++) {
        const Elf32_Shdr *s = &e->Shdr[k];
        if (s->sh_type == SHT_RELA && s->sh_info < shnum && f->rela_section[s->sh_info] == 0)
            f->rela_section[s->sh_info] = k + 1;
    }
}

// A counting sort of the global symbols by section, stable in table order.
void index_globals(File_struct *f) {
    uint32_t shnum = f->elf->Ehdr.e_shnum;
    f->global_start.assign(size_t(shnum) + 1, 0);
    auto section_global = [&](const Elf32_Sym *s) {
        return elf_st_bind(s->st_info) == STB_GLOBAL && s->st_shndx < shnum;
    };
    for (uint64_t i = 0; i < f->symcount; i++)
        if (section_global(&f->symtab[i])) f->global_start[f->symtab[i].st_shndx + 1]++;
    for (uint32_t k = 0; k < shnum; k++) f->global_start[k + 1] += f->global_start[k];
    f->globals.assign(f->global_start[shnum], 0);
    std::vector<uint32_t> next(f->global_start.begin(), f->global_start.end() - 1);
    for (uint64_t i = 0; i < f->symcount; i++)
        if (section_global(&f->symtab[i]))
            f->globals[next[f->symtab[i].st_shndx]++] = static_cast<uint32_t>(i);
}

void load_file_tables(Elf_struct *e, File_struct *f) {
    f->elf = e;
    f->symtab = nullptr;
    f->symcount = 0;
    f->strtab = nullptr;
    if (e->symtab_ndx != 0) {
        f->symtab = e->sym[e->symtab_ndx];
        f->symcount = e->Shdr[e->symtab_ndx].sh_size / SYM_ENTSIZE;
        f->strtab = reinterpret_cast<const char *>(e->section[e->strtab_ndx]);
    }
    uint16_t shstrndx = e->Ehdr.e_shstrndx;
    f->shstrtab = shstrndx != 0 ? reinterpret_cast<const char *>(e->section[shstrndx]) : nullptr;
    check_name_offsets(f);
    index_relocation_sections(f);
    index_globals(f);
}

// Whether names or other records are read from the bytes of section i
// (a crafted file may name a code section as its string table).
bool holds_names(const Elf_struct *e, uint32_t i) {
    return i == e->strtab_ndx || i == e->dynstr_ndx || i == e->Ehdr.e_shstrndx ||
           i == e->qz_info_ndx;
}

const char *section_name(const File_struct *f, uint32_t index) {
    return f->shstrtab ? f->shstrtab + f->elf->Shdr[index].sh_name : "";
}

struct Label_window_struct {
    uint64_t start;
    uint64_t end;
    int64_t section; // -1: any section
};

// Window of -b/-e: labels are searched in table order among the symbols that
// can label code or data.
void find_label_window(const Run_struct *run, const File_struct *f, Option_struct *opt,
                       Label_window_struct *w) {
    const Elf_struct *e = f->elf;
    bool exec = e->Ehdr.e_type == ET_EXEC;
    bool start_found = false, end_found = false;
    for (uint64_t i = 0; i < f->symcount; i++) {
        const Elf32_Sym *s = &f->symtab[i];
        uint8_t type = elf_st_type(s->st_info);
        if (type == STT_SECTION || type == STT_FILE || s->st_shndx == SHN_ABS) continue;
        const char *name = f->strtab + s->st_name;
        bool is_start = run->start_label && !start_found && strcmp(name, run->start_label) == 0;
        bool is_end = run->end_label && !end_found && strcmp(name, run->end_label) == 0;
        if (!is_start && !is_end) continue;
        if (w->section >= 0 && w->section != s->st_shndx)
            report_fatal("Start and end label not in the same section\n", opt->source_name);
        w->section = s->st_shndx;
        uint64_t base = s->st_shndx < e->Ehdr.e_shnum ? e->Shdr[s->st_shndx].sh_addr : 0;
        if (is_start) {
            start_found = true;
            w->start = exec ? s->st_value : s->st_value + base;
        }
        if (is_end) {
            end_found = true;
            w->end = exec ? s->st_value : s->st_value + base - 1;
        }
    }
    if (run->start_label && !start_found) report_fatal("Start label not found\n", opt->source_name);
    if (run->end_label && !end_found) report_fatal("End label not found\n", opt->source_name);
    if (w->start > w->end) {
        uint64_t t = w->start;
        w->start = w->end;
        w->end = t;
    }
}

// The first RELA section that applies to section index, unless -u.
void find_relocations(const Run_struct *run, const File_struct *f, uint32_t index,
                      Buffer_struct *buf) {
    buf->rela = nullptr;
    buf->rela_count = 0;
    buf->rela_present = 0;
    if (run->ignore_relocations || f->rela_section[index] == 0) return;
    uint32_t k = f->rela_section[index] - 1;
    const Elf32_Shdr *s = &f->elf->Shdr[k];
    buf->rela = f->elf->rela[k];
    buf->rela_count = s->sh_entsize ? s->sh_size / s->sh_entsize : 0;
    buf->rela_present = buf->rela ? 1 : 0;
}

// Code is read least significant byte first; a file stored the other way
// round has the two bytes of every 16-bit unit exchanged.
void convert_code_bytes(const Elf_struct *e, uint8_t *bytes, uint32_t size) {
    bool big = e->Ehdr.e_ident[5] == 2;
    uint32_t library_order = ZEMADisasmLib::GetByteOrder();
    if (!((!big && library_order == 1) || (big && library_order == 0))) return;
    for (uint32_t i = 0; i + 1 < size; i += 2) {
        uint8_t t = bytes[i];
        bytes[i] = bytes[i + 1];
        bytes[i + 1] = t;
    }
}

// A data or BSS section in pieces of at most DATA_PIECE_SIZE bytes; each
// piece starts where the previous one stopped.
void list_data_section(Buffer_struct *buf, Option_struct *opt) {
    if (buf->size == 0) return;
    // The pieces share one ordered copy of the section's relocations, or
    // the entries themselves when they are in order.
    std::unique_ptr<Elf32_Rela, void (*)(void *)> sorted(nullptr, free);
    if (buf->rela && buf->rela_count && buf->rela_present == 1) {
        if (!relocations_in_order(buf->rela, buf->rela_count)) {
            sorted.reset(sort_relocations(buf->rela, buf->rela_count, 1));
            buf->rela = sorted.get();
        }
        buf->rela_sorted = 1;
    }
    uint64_t window_start = buf->start, window_end = buf->end;
    uint64_t last = buf->address + buf->size - 1;
    uint64_t next = window_start;
    opt->piece_continued = 0;
    for (uint64_t piece = buf->address; piece <= last && next <= window_end;
         piece += DATA_PIECE_SIZE) {
        uint64_t piece_last =
            piece + DATA_PIECE_SIZE - 1 < last ? piece + DATA_PIECE_SIZE - 1 : last;
        if (piece_last < next) continue;
        buf->start = next > piece ? next : piece;
        buf->end = piece_last < window_end ? piece_last : window_end;
        opt->piece_more = buf->end < window_end && buf->end < last;
        uint8_t error_class;
        char *text = dump_data_piece(buf, opt, &error_class);
        write_engine_text(text, error_class, opt);
        opt->piece_continued = 1;
        next = opt->pc > buf->end ? opt->pc : buf->end + 1;
    }
}

void list_section(const Run_struct *run, const File_struct *f, uint32_t i,
                  const Label_window_struct *lw, Option_struct *opt) {
    Elf_struct *e = f->elf;
    const Elf32_Shdr *s = &e->Shdr[i];
    if (!is_listed_type(s->sh_type) || !(s->sh_flags & SHF_ALLOC)) return;
    if (lw->section >= 0 && lw->section != i) return;
    Buffer_struct buf{};
    buf.file_type = e->Ehdr.e_type;
    buf.bytes = e->section[i];
    buf.size = s->sh_size;
    buf.address = s->sh_addr;
    buf.index = i;
    buf.name = s->sh_name;
    buf.sh_type = s->sh_type;
    buf.sh_flags = s->sh_flags;
    buf.strtab = f->strtab;
    buf.shstrtab = f->shstrtab;
    buf.symtab = f->symtab;
    buf.symcount = f->symcount;
    buf.globals = f->globals.data() + f->global_start[i];
    buf.global_count = f->global_start[i + 1] - f->global_start[i];
    find_relocations(run, f, i, &buf);
    uint64_t last = s->sh_addr + uint64_t(s->sh_size) - 1;
    buf.start = lw->start < s->sh_addr ? s->sh_addr : lw->start;
    buf.end = s->sh_size == 0 ? buf.start : (lw->end < last ? lw->end : last);
    if (buf.start > buf.end) return;
    bool code = s->sh_type != SHT_NOBITS && (s->sh_flags & SHF_EXECINSTR);
    if (code && e->section[i]) convert_code_bytes(e, e->section[i], s->sh_size);
    buf.release_listed = code && !holds_names(e, i);
    buf.listing_out = stdout;
    if (s->sh_type == SHT_OVERLAY || s->sh_type == SHT_OVERLAY2)
        printf("\t\t;The next section is an overlay section\n\t\t;run_addr=$%08X load_addr=$%08X\n",
               s->sh_addr, s->sh_info);
    if (!code) {
        list_data_section(&buf, opt);
        return;
    }
    uint8_t error_class;
    char *text = disassemble_buffer(&buf, opt, &error_class);
    write_engine_text(text, error_class, opt);
}

} // namespace

void walk_object_file(Run_struct *run, Option_struct *opt) {
    store_run_options(run, opt, 1, 0);
    set_option(opt, 10, 1);
    uint32_t flags = opt->elf.Ehdr.e_flags;
    set_core(opt, static_cast<uint8_t>(flags & 0xFF), static_cast<uint8_t>((flags >> 8) & 0xFF));
    if (get_error_code(opt)) report_fatal(get_error_text(opt), opt->source_name);

    File_struct f;
    load_file_tables(&opt->elf, &f);
    // Each file gets its own sorted symbol copy.
    make_sorted_symbols(opt, nullptr, 0);
    // Labels and addresses are never given together: a label narrows the
    // window of the default addresses.
    Label_window_struct lw{run->low, run->high, -1};
    if (run->start_label || run->end_label) find_label_window(run, &f, opt, &lw);
    if (opt->label_display) {
        uint8_t error_class;
        char *text = print_equ_block(f.strtab, f.symtab, f.symcount, opt->elf.Ehdr.e_type, opt,
                                     &error_class);
        write_engine_text(text, error_class, opt);
    }
    for (uint32_t i = 0; i < opt->elf.Ehdr.e_shnum; i++) {
        if (opt->verbose) fprintf(stderr, "Processing %s...\n", section_name(&f, i));
        list_section(run, &f, i, &lw, opt);
    }
    fflush(stdout);
}
