// ELF32 reader: probes the file header of an image at a byte offset of a
// stream, or loads the whole image into an Elf_struct with every multi-byte
// field converted from the file's byte order to host order.
#include "elflib/elfread.h"

#include <bit>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "kelim/kelim.h"

namespace {

constexpr const char *SOURCE = "elflib/elfread";
constexpr size_t IDENT_SIZE = 16;
constexpr int EI_DATA = 5;
constexpr uint8_t ELFDATA2LSB = 1;
constexpr uint8_t ELFDATA2MSB = 2;
constexpr uint8_t QZ_INFO_TYPE_15 = 15;
constexpr uint32_t QZ_INFO_SIZE_FIELD = 4;
constexpr uint32_t QZ_INFO_HEADER_SIZE = 5; // size field and type byte

using read16_fn = uint16_t (*)(const uint8_t *);
using read32_fn = uint32_t (*)(const uint8_t *);

uint16_t read16_lsb(const uint8_t *p) {
    return uint16_t(p[0] | (p[1] << 8));
}
uint16_t read16_msb(const uint8_t *p) {
    return uint16_t((p[0] << 8) | p[1]);
}
uint32_t read32_lsb(const uint8_t *p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint32_t read32_msb(const uint8_t *p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

struct byte_order_struct {
    read16_fn r16;
    read32_fn r32;
    bool host; // the host's own order: tables read as they are, nothing to convert
};

byte_order_struct byte_order_of(uint8_t ei_data) {
    constexpr bool little = std::endian::native == std::endian::little;
    constexpr bool big = std::endian::native == std::endian::big;
    if (ei_data == ELFDATA2MSB) return {read16_msb, read32_msb, big};
    return {read16_lsb, read32_lsb, little};
}

void decode_ehdr(Elf32_Ehdr *Ehdr, const uint8_t *b, const byte_order_struct &bo) {
    Ehdr->e_type = bo.r16(b + 0);
    Ehdr->e_machine = bo.r16(b + 2);
    Ehdr->e_version = bo.r32(b + 4);
    Ehdr->e_entry = bo.r32(b + 8);
    Ehdr->e_phoff = bo.r32(b + 12);
    Ehdr->e_shoff = bo.r32(b + 16);
    Ehdr->e_flags = bo.r32(b + 20);
    Ehdr->e_ehsize = bo.r16(b + 24);
    Ehdr->e_phentsize = bo.r16(b + 26);
    Ehdr->e_phnum = bo.r16(b + 28);
    Ehdr->e_shentsize = bo.r16(b + 30);
    Ehdr->e_shnum = bo.r16(b + 32);
    Ehdr->e_shstrndx = bo.r16(b + 34);
}

// Reads the identification and the rest of the file header into *Ehdr.
// Returns false when the bytes at base are not an ELF image.
bool read_header(FILE *stream, long base, Elf32_Ehdr *Ehdr) {
    uint8_t rest[ELF32_EHDR_SIZE - IDENT_SIZE];
    kl_fseek(stream, base, SEEK_SET);
    if (fread(Ehdr->e_ident, 1, IDENT_SIZE, stream) != IDENT_SIZE) return false;
    const unsigned char *id = Ehdr->e_ident;
    if (id[0] != 0x7F || id[1] != 'E' || id[2] != 'L' || id[3] != 'F') return false;
    if (id[EI_DATA] != ELFDATA2LSB && id[EI_DATA] != ELFDATA2MSB) return false;
    if (fread(rest, 1, sizeof rest, stream) != sizeof rest) return false;
    decode_ehdr(Ehdr, rest, byte_order_of(id[EI_DATA]));
    KL_INPUT_CHECK(Ehdr->e_ehsize == ELF32_EHDR_SIZE, SOURCE);
    KL_INPUT_CHECK((Ehdr->e_phnum == 0) || (Ehdr->e_phentsize == ELF32_PHENTSIZE), SOURCE);
    KL_INPUT_CHECK((Ehdr->e_shnum == 0) || (Ehdr->e_shentsize == ELF32_SHENTSIZE), SOURCE);
    return true;
}

void allocate_arrays(Elf_struct *e) {
    const Elf32_Ehdr *Ehdr = &e->Ehdr;
    e->Phdr = nullptr;
    if (Ehdr->e_phnum != 0)
        e->Phdr = static_cast<Elf32_Phdr *>(kl_calloc(Ehdr->e_phnum, sizeof(Elf32_Phdr)));
    e->Shdr = nullptr;
    e->sym = nullptr;
    e->rel = nullptr;
    e->rela = nullptr;
    e->dyn = nullptr;
    e->section = nullptr;
    if (Ehdr->e_shnum != 0) {
        size_t n = Ehdr->e_shnum;
        e->Shdr = static_cast<Elf32_Shdr *>(kl_calloc(n, sizeof(Elf32_Shdr)));
        e->sym = static_cast<Elf32_Sym **>(kl_calloc(n, sizeof(Elf32_Sym *)));
        e->rel = static_cast<Elf32_Rel **>(kl_calloc(n, sizeof(Elf32_Rel *)));
        e->rela = static_cast<Elf32_Rela **>(kl_calloc(n, sizeof(Elf32_Rela *)));
        e->dyn = static_cast<Elf32_Dyn **>(kl_calloc(n, sizeof(Elf32_Dyn *)));
        e->section = static_cast<uint8_t **>(kl_calloc(n, sizeof(uint8_t *)));
    }
    e->qz_info = nullptr;
}

void read_program_headers(FILE *stream, long base, Elf_struct *e, const byte_order_struct &bo) {
    const Elf32_Ehdr *Ehdr = &e->Ehdr;
    if (Ehdr->e_phnum == 0) return;
    uint8_t b[ELF32_PHENTSIZE];
    kl_fseek(stream, base + long(Ehdr->e_phoff), SEEK_SET);
    for (unsigned i = 0; i < Ehdr->e_phnum; i++) {
        kl_fread(b, 1, sizeof b, stream);
        Elf32_Phdr *p = &e->Phdr[i];
        p->p_type = bo.r32(b + 0);
        p->p_offset = bo.r32(b + 4);
        p->p_vaddr = bo.r32(b + 8);
        p->p_paddr = bo.r32(b + 12);
        p->p_filesz = bo.r32(b + 16);
        p->p_memsz = bo.r32(b + 20);
        p->p_flags = bo.r32(b + 24);
        p->p_align = bo.r32(b + 28);
    }
}

// Fails the run as a short read would, before anything is allocated for
// bytes that the image does not hold: a size field alone must not be able to
// claim gigabytes of memory.
void check_in_image(uint64_t offset, uint64_t size, uint64_t image_size) {
    if (offset > image_size || size > image_size - offset) kl_fail_short_read();
}

// Segments are not loaded: the listing reads every byte through the
// sections, and an executable's segments cover the same bytes again. The file
// bytes each segment claims must still lie in the image.
void check_segments(uint64_t image_size, const Elf_struct *e) {
    for (unsigned i = 0; i < e->Ehdr.e_phnum; i++) {
        const Elf32_Phdr *p = &e->Phdr[i];
        if (p->p_filesz == 0 || p->p_type == 0) continue;
        check_in_image(p->p_offset, p->p_filesz, image_size);
    }
}

void read_section_headers(FILE *stream, long base, Elf_struct *e, const byte_order_struct &bo) {
    const Elf32_Ehdr *Ehdr = &e->Ehdr;
    if (Ehdr->e_shnum == 0) return;
    uint8_t b[ELF32_SHENTSIZE];
    kl_fseek(stream, base + long(Ehdr->e_shoff), SEEK_SET);
    for (unsigned i = 0; i < Ehdr->e_shnum; i++) {
        kl_fread(b, 1, sizeof b, stream);
        Elf32_Shdr *s = &e->Shdr[i];
        s->sh_name = bo.r32(b + 0);
        s->sh_type = bo.r32(b + 4);
        s->sh_flags = bo.r32(b + 8);
        s->sh_addr = bo.r32(b + 12);
        s->sh_offset = bo.r32(b + 16);
        s->sh_size = bo.r32(b + 20);
        s->sh_link = bo.r32(b + 24);
        s->sh_info = bo.r32(b + 28);
        s->sh_addralign = bo.r32(b + 32);
        s->sh_entsize = bo.r32(b + 36);
    }
}

// Reads the raw bytes of a section. One extra zero byte after the contents
// keeps a string table whose last name lacks its terminator readable.
uint8_t *read_contents(FILE *stream, long base, uint64_t image_size, const Elf32_Shdr *s) {
    size_t size = s->sh_size;
    check_in_image(s->sh_offset, size, image_size);
    uint8_t *bytes = static_cast<uint8_t *>(kl_malloc(size + 1));
    kl_fseek(stream, base + long(s->sh_offset), SEEK_SET);
    kl_fread(bytes, 1, size, stream);
    bytes[size] = 0;
    return bytes;
}

// Tables in the host's order are used as read: their entries must lie as
// in the file.
static_assert(offsetof(Elf32_Sym, st_value) == 4 && offsetof(Elf32_Sym, st_size) == 8 &&
              offsetof(Elf32_Sym, st_info) == 12 && offsetof(Elf32_Sym, st_other) == 13 &&
              offsetof(Elf32_Sym, st_shndx) == 14);
static_assert(offsetof(Elf32_Rel, r_info) == 4);
static_assert(offsetof(Elf32_Rela, r_info) == 4 && offsetof(Elf32_Rela, r_addend) == 8);
static_assert(offsetof(Elf32_Dyn, d_val) == 4);

void decode_symbol(Elf32_Sym *t, const uint8_t *b, const byte_order_struct &bo) {
    t->st_name = bo.r32(b + 0);
    t->st_value = bo.r32(b + 4);
    t->st_size = bo.r32(b + 8);
    t->st_info = b[12];
    t->st_other = b[13];
    t->st_shndx = bo.r16(b + 14);
}

void decode_rel(Elf32_Rel *t, const uint8_t *b, const byte_order_struct &bo) {
    t->r_offset = bo.r32(b + 0);
    t->r_info = bo.r32(b + 4);
}

void decode_rela(Elf32_Rela *t, const uint8_t *b, const byte_order_struct &bo) {
    t->r_offset = bo.r32(b + 0);
    t->r_info = bo.r32(b + 4);
    t->r_addend = int32_t(bo.r32(b + 8));
}

void decode_dyn(Elf32_Dyn *t, const uint8_t *b, const byte_order_struct &bo) {
    t->d_tag = bo.r32(b + 0);
    t->d_val = bo.r32(b + 4);
}

// Reads a table section straight into its table and decodes every entry in
// place, so that the table is the only copy of the section in memory: the
// on-disk entries have exactly the size of the decoded ones. Bytes after the
// last whole entry are checked against the image but not kept.
template <typename T, uint32_t ENTSIZE,
          void (*decode)(T *, const uint8_t *, const byte_order_struct &)>
T *read_table(FILE *stream, long base, uint64_t image_size, const Elf32_Shdr *s,
              const byte_order_struct &bo) {
    static_assert(sizeof(T) == ENTSIZE, "entries are decoded in place");
    check_in_image(s->sh_offset, s->sh_size, image_size);
    uint32_t count = s->sh_size / ENTSIZE;
    T *t = static_cast<T *>(kl_calloc(count ? count : 1, sizeof(T)));
    kl_fseek(stream, base + long(s->sh_offset), SEEK_SET);
    if (count) kl_fread(t, ENTSIZE, count, stream);
    if (bo.host) return t;
    for (uint32_t k = 0; k < count; k++) {
        uint8_t b[ENTSIZE];
        memcpy(b, &t[k], ENTSIZE);
        decode(&t[k], b, bo);
    }
    return t;
}

// Loads one section of non-zero size: its decoded table if it is a table,
// else its raw contents.
void load_section(FILE *stream, long base, uint64_t image_size, Elf_struct *e, uint32_t i,
                  const byte_order_struct &bo) {
    const Elf32_Ehdr *Ehdr = &e->Ehdr;
    const Elf32_Shdr *s = &e->Shdr[i];
    switch (s->sh_type) {
    case SHT_QZ_INFO:
        KL_INPUT_CHECK(e->qz_info_ndx == 0, SOURCE);
        e->qz_info_ndx = i;
        break;
    case SHT_SYMTAB:
    case SHT_DYNSYM:
        KL_INPUT_CHECK(e->Shdr[i].sh_entsize == SYM_ENTSIZE, SOURCE);
        // A partial symbol would make a table that is there but counts no
        // symbol, which every index check would then have to allow for.
        KL_INPUT_CHECK(e->Shdr[i].sh_size % SYM_ENTSIZE == 0, SOURCE);
        e->sym[i] =
            read_table<Elf32_Sym, SYM_ENTSIZE, decode_symbol>(stream, base, image_size, s, bo);
        if (s->sh_type == SHT_SYMTAB) {
            KL_INPUT_CHECK(e->symtab_ndx == 0, SOURCE);
            e->symtab_ndx = i;
            e->strtab_ndx = s->sh_link;
            KL_INPUT_CHECK(e->strtab_ndx > 0 && e->strtab_ndx < Ehdr->e_shnum, SOURCE);
        } else {
            KL_INPUT_CHECK(e->dynsym_ndx == 0, SOURCE);
            e->dynsym_ndx = i;
            e->dynstr_ndx = s->sh_link;
            KL_INPUT_CHECK(e->dynstr_ndx > 0 && e->dynstr_ndx < Ehdr->e_shnum, SOURCE);
        }
        return;
    case SHT_REL:
        KL_INPUT_CHECK(e->Shdr[i].sh_entsize == REL_ENTSIZE, SOURCE);
        e->rel[i] = read_table<Elf32_Rel, REL_ENTSIZE, decode_rel>(stream, base, image_size, s, bo);
        return;
    case SHT_RELA:
        KL_INPUT_CHECK(e->Shdr[i].sh_entsize == RELA_ENTSIZE, SOURCE);
        e->rela[i] =
            read_table<Elf32_Rela, RELA_ENTSIZE, decode_rela>(stream, base, image_size, s, bo);
        return;
    case SHT_DYNAMIC:
        KL_INPUT_CHECK(e->Shdr[i].sh_entsize == DYN_ENTSIZE, SOURCE);
        e->dyn[i] = read_table<Elf32_Dyn, DYN_ENTSIZE, decode_dyn>(stream, base, image_size, s, bo);
        return;
    default:
        break;
    }
    if (s->sh_type != SHT_NULL && s->sh_type != SHT_NOBITS)
        e->section[i] = read_contents(stream, base, image_size, s);
}

void load_sections(FILE *stream, long base, uint64_t image_size, Elf_struct *e,
                   const byte_order_struct &bo) {
    e->symtab_ndx = 0;
    e->strtab_ndx = 0;
    e->dynsym_ndx = 0;
    e->dynstr_ndx = 0;
    e->qz_info_ndx = 0;
    for (uint32_t i = 0; i < e->Ehdr.e_shnum; i++) {
        if (i == 0) {
            KL_INPUT_CHECK(e->Shdr[0].sh_size == SHT_NULL, SOURCE);
            continue;
        }
        if (e->Shdr[i].sh_size == 0) continue;
        load_section(stream, base, image_size, e, i, bo);
    }
}

void cross_check(const Elf_struct *e) {
    const Elf32_Ehdr *Ehdr = &e->Ehdr;
    if (e->symtab_ndx != 0) KL_INPUT_CHECK(e->section[e->strtab_ndx], SOURCE);
    if (e->dynsym_ndx != 0) KL_INPUT_CHECK(e->section[e->dynstr_ndx], SOURCE);
    if (Ehdr->e_shstrndx != 0) {
        KL_INPUT_CHECK(Ehdr->e_shstrndx < Ehdr->e_shnum, SOURCE);
        KL_INPUT_CHECK(e->section[Ehdr->e_shstrndx], SOURCE);
    }
    if (e->qz_info_ndx != 0) KL_INPUT_CHECK(e->section[e->qz_info_ndx], SOURCE);
}

// Walks the records of the QZ info section. Every record must lie wholly
// inside the section; a size field of 0 ends the walk. The table goes to
// *table as soon as it exists, so that a later failed check leaves it with
// the record (released by elf_free).
void elf_read_qz_info(uint32_t num_sec, read32_fn r32, const uint8_t *bytes, uint32_t size,
                      qz_info_entry **table_out) {
    qz_info_entry *&table = *table_out;
    table = nullptr;
    uint32_t p = 0;
    while (p < size) {
        KL_INPUT_CHECK(QZ_INFO_SIZE_FIELD <= size - p, SOURCE);
        uint32_t info_size = r32(bytes + p);
        if (info_size == 0) break;
        KL_INPUT_CHECK(info_size >= QZ_INFO_HEADER_SIZE, SOURCE);
        KL_INPUT_CHECK(info_size <= size - p, SOURCE);
        if (bytes[p + 4] == QZ_INFO_TYPE_15) {
            KL_INPUT_CHECK(info_size == SIZE_OF_QZ_INFO_TYPE_15, SOURCE);
            if (table == nullptr) {
                table = static_cast<qz_info_entry *>(kl_calloc(num_sec, sizeof(qz_info_entry)));
                for (uint32_t k = 0; k < num_sec; k++) table[k] = {0, 1};
            }
            uint32_t sec_idx = r32(bytes + p + 5);
            KL_INPUT_CHECK(sec_idx < num_sec, SOURCE);
            table[sec_idx] = {r32(bytes + p + 9), 0};
        }
        p += info_size;
    }
}

// Bytes from base to the end of the stream: all that the image can hold.
uint64_t image_size_of(FILE *stream, long base) {
    kl_fseek(stream, 0, SEEK_END);
    long end = kl_ftell(stream);
    return end > base ? uint64_t(end - base) : 0;
}

template <typename T> void release(T *&pointer) {
    free(pointer);
    pointer = nullptr;
}

} // namespace

uint16_t elf_read(FILE *stream, long base, Elf_struct *record) {
    Elf32_Ehdr probe_header;
    Elf32_Ehdr *Ehdr = record ? &record->Ehdr : &probe_header;
    if (!read_header(stream, base, Ehdr)) return 0;
    if (record == nullptr) return Ehdr->e_machine;

    Elf_struct *e = record;
    byte_order_struct bo = byte_order_of(Ehdr->e_ident[EI_DATA]);
    uint64_t image_size = image_size_of(stream, base);
    allocate_arrays(e);
    read_program_headers(stream, base, e, bo);
    check_segments(image_size, e);
    read_section_headers(stream, base, e, bo);
    load_sections(stream, base, image_size, e, bo);
    cross_check(e);
    if (e->qz_info_ndx != 0)
        elf_read_qz_info(Ehdr->e_shnum, bo.r32, e->section[e->qz_info_ndx],
                         e->Shdr[e->qz_info_ndx].sh_size, &e->qz_info);
    return Ehdr->e_machine;
}

void elf_free(Elf_struct *record) {
    Elf_struct *e = record;
    for (unsigned i = 0; e->Shdr && i < e->Ehdr.e_shnum; i++) {
        if (e->sym) release(e->sym[i]);
        if (e->rel) release(e->rel[i]);
        if (e->rela) release(e->rela[i]);
        if (e->dyn) release(e->dyn[i]);
        if (e->section) release(e->section[i]);
    }
    release(e->Phdr);
    release(e->Shdr);
    release(e->sym);
    release(e->rel);
    release(e->rela);
    release(e->dyn);
    release(e->section);
    release(e->qz_info);
}
