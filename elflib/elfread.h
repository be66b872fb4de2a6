// ELF32 reader: probes and loads one ELF32 image at a byte offset of a stream
// into an Elf_struct, every header and table converted to host byte order.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr uint16_t EM_ZEMA = 0x40C8;

constexpr uint32_t ELF32_EHDR_SIZE = 52;
constexpr uint32_t ELF32_PHENTSIZE = 32;
constexpr uint32_t ELF32_SHENTSIZE = 40;
constexpr uint32_t SYM_ENTSIZE = 16;
constexpr uint32_t REL_ENTSIZE = 8;
constexpr uint32_t RELA_ENTSIZE = 12;
constexpr uint32_t DYN_ENTSIZE = 8;
constexpr uint32_t SIZE_OF_QZ_INFO_TYPE_15 = 13;

constexpr uint32_t SHT_NULL = 0;
constexpr uint32_t SHT_PROGBITS = 1;
constexpr uint32_t SHT_SYMTAB = 2;
constexpr uint32_t SHT_STRTAB = 3;
constexpr uint32_t SHT_RELA = 4;
constexpr uint32_t SHT_DYNAMIC = 6;
constexpr uint32_t SHT_NOBITS = 8;
constexpr uint32_t SHT_REL = 9;
constexpr uint32_t SHT_DYNSYM = 11;
constexpr uint32_t SHT_OVERLAY = 0x70000000;
constexpr uint32_t SHT_QZ_INFO = 0x70000003;
constexpr uint32_t SHT_OVERLAY2 = 0x70000005;

constexpr uint32_t SHF_WRITE = 1;
constexpr uint32_t SHF_ALLOC = 2;
constexpr uint32_t SHF_EXECINSTR = 4;
constexpr uint32_t SHF_RIXU = 0x20000000;

constexpr uint16_t SHN_ABS = 0xFFF1;

constexpr uint8_t STT_NOTYPE = 0;
constexpr uint8_t STT_OBJECT = 1;
constexpr uint8_t STT_FUNC = 2;
constexpr uint8_t STT_SECTION = 3;
constexpr uint8_t STT_FILE = 4;
constexpr uint8_t STB_LOCAL = 0;
constexpr uint8_t STB_GLOBAL = 1;

constexpr uint16_t ET_REL = 1;
constexpr uint16_t ET_EXEC = 2;

struct Elf32_Ehdr {
    unsigned char e_ident[16];
    uint16_t e_type;
    uint16_t e_machine;
    uint32_t e_version;
    uint32_t e_entry;
    uint32_t e_phoff;
    uint32_t e_shoff;
    uint32_t e_flags;
    uint16_t e_ehsize;
    uint16_t e_phentsize;
    uint16_t e_phnum;
    uint16_t e_shentsize;
    uint16_t e_shnum;
    uint16_t e_shstrndx;
};

struct Elf32_Phdr {
    uint32_t p_type, p_offset, p_vaddr, p_paddr, p_filesz, p_memsz, p_flags, p_align;
};

struct Elf32_Shdr {
    uint32_t sh_name, sh_type, sh_flags, sh_addr, sh_offset, sh_size, sh_link, sh_info,
        sh_addralign, sh_entsize;
};

struct Elf32_Sym {
    uint32_t st_name;
    uint32_t st_value;
    uint32_t st_size;
    uint8_t st_info;
    uint8_t st_other;
    uint16_t st_shndx;
};

struct Elf32_Rel {
    uint32_t r_offset;
    uint32_t r_info;
};

struct Elf32_Rela {
    uint32_t r_offset;
    uint32_t r_info;
    int32_t r_addend;
};

struct Elf32_Dyn {
    uint32_t d_tag;
    uint32_t d_val;
};

inline uint8_t elf_st_type(uint8_t info) {
    return info & 0xF;
}
inline uint8_t elf_st_bind(uint8_t info) {
    return info >> 4;
}
inline uint32_t elf_r_type(uint32_t info) {
    return info & 0xFF;
}
inline uint32_t elf_r_sym(uint32_t info) {
    return info >> 8;
}

// One entry of the per-section memory-space table built from the QZ info section.
struct qz_info_entry {
    uint32_t space;
    uint32_t unset;
};

// The loaded file. Every per-section array has e_shnum slots; empty slots
// are null. Segment contents are not loaded (the sections hold the bytes
// that are listed); only their headers are.
struct Elf_struct {
    Elf32_Ehdr Ehdr;
    Elf32_Phdr *Phdr;
    Elf32_Shdr *Shdr;
    Elf32_Sym **sym;
    Elf32_Rel **rel;
    Elf32_Rela **rela;
    Elf32_Dyn **dyn;
    uint8_t **section; // raw bytes; a symbol, REL, RELA or dynamic section has only its table
    qz_info_entry *qz_info;
    uint32_t symtab_ndx;
    uint32_t strtab_ndx;
    uint32_t dynsym_ndx;
    uint32_t dynstr_ndx;
    uint32_t qz_info_ndx;
};

// Returns e_machine of the image at `base`, or 0 when the bytes there are not
// an ELF image. With record null the call only probes the header.
uint16_t elf_read(FILE *stream, long base, Elf_struct *record);

// Releases everything elf_read loaded; the record can be loaded again.
void elf_free(Elf_struct *record);
