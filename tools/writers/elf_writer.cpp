#include "tools/writers/elf_writer.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <unistd.h>

#include "elflib/elfread.h"

namespace zema_test {

ByteSink &ByteSink::u8(uint8_t v) {
    bytes.push_back(v);
    return *this;
}

ByteSink &ByteSink::u16(uint16_t v) {
    if (order == ByteOrder::Little) return u8(uint8_t(v)).u8(uint8_t(v >> 8));
    return u8(uint8_t(v >> 8)).u8(uint8_t(v));
}

ByteSink &ByteSink::u32(uint32_t v) {
    if (order == ByteOrder::Little) return u16(uint16_t(v)).u16(uint16_t(v >> 16));
    return u16(uint16_t(v >> 16)).u16(uint16_t(v));
}

ByteSink &ByteSink::raw(const Bytes &b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
}

// --- builders -------------------------------------------------------------

#define SECTION_SETTER(method, member)                                                             \
    SectionBuilder &SectionBuilder::method(uint32_t v) {                                           \
        w_->sections_[index_ - 1].member = v;                                                      \
        return *this;                                                                              \
    }
SECTION_SETTER(type, type)
SECTION_SETTER(flags, flags)
SECTION_SETTER(addr, addr)
SECTION_SETTER(info, info)
SECTION_SETTER(align, align)
SECTION_SETTER(entsize, entsize)
SECTION_SETTER(size, size)
SECTION_SETTER(offset, offset)
#undef SECTION_SETTER

SectionBuilder &SectionBuilder::link(uint32_t v) {
    w_->sections_[index_ - 1].link = v;
    w_->sections_[index_ - 1].link_symtab = false;
    return *this;
}

SectionBuilder &SectionBuilder::data(const Bytes &b) {
    w_->sections_[index_ - 1].data = b;
    return *this;
}

#define SYMBOL_SETTER(method, member, type_)                                                       \
    SymbolBuilder &SymbolBuilder::method(type_ v) {                                                \
        w_->symbols_[index_ - 1].member = v;                                                       \
        return *this;                                                                              \
    }
SYMBOL_SETTER(value, value, uint32_t)
SYMBOL_SETTER(size, size, uint32_t)
SYMBOL_SETTER(type, type, uint8_t)
SYMBOL_SETTER(bind, bind, uint8_t)
SYMBOL_SETTER(other, other, uint8_t)
SYMBOL_SETTER(shndx, shndx, uint16_t)
#undef SYMBOL_SETTER

RelocBuilder &RelocBuilder::add(uint32_t offset, uint32_t type, uint32_t symbol, int32_t addend) {
    w_->sections_[index_ - 1].relocs.push_back({offset, (symbol << 8) | (type & 0xFF), addend});
    return *this;
}

// --- writer ---------------------------------------------------------------

ElfWriter::ElfWriter(ByteOrder order) : order_(order), e_type_(ET_REL), e_machine_(EM_ZEMA) {}

ElfWriter &ElfWriter::type(uint16_t v) {
    e_type_ = v;
    return *this;
}
ElfWriter &ElfWriter::machine(uint16_t v) {
    e_machine_ = v;
    return *this;
}
ElfWriter &ElfWriter::flags(uint32_t v) {
    e_flags_ = v;
    return *this;
}
ElfWriter &ElfWriter::entry(uint32_t v) {
    e_entry_ = v;
    return *this;
}
ElfWriter &ElfWriter::version(uint32_t v) {
    e_version_ = v;
    return *this;
}
ElfWriter &ElfWriter::ehsize(uint16_t v) {
    ehsize_ = v;
    return *this;
}
ElfWriter &ElfWriter::phentsize(uint16_t v) {
    phentsize_ = v;
    return *this;
}
ElfWriter &ElfWriter::shentsize(uint16_t v) {
    shentsize_ = v;
    return *this;
}
ElfWriter &ElfWriter::shstrndx(uint16_t v) {
    shstrndx_ = v;
    return *this;
}
ElfWriter &ElfWriter::shnum(uint16_t v) {
    shnum_ = v;
    return *this;
}
ElfWriter &ElfWriter::ident_byte(unsigned index, uint8_t v) {
    ident_overrides_.push_back({index, v});
    return *this;
}
ElfWriter &ElfWriter::without_shstrtab() {
    shstrtab_ = false;
    return *this;
}
ElfWriter &ElfWriter::with_symtab() {
    symtab_ = true;
    return *this;
}

SectionBuilder ElfWriter::section(const std::string &name) {
    sections_.push_back(Section{});
    sections_.back().name = name;
    return SectionBuilder(this, uint32_t(sections_.size()));
}

SectionBuilder ElfWriter::section_at(uint32_t index) {
    return SectionBuilder(this, index);
}

SymbolBuilder ElfWriter::symbol(const std::string &name) {
    symbols_.push_back(Symbol{});
    symbols_.back().name = name;
    return SymbolBuilder(this, uint32_t(symbols_.size()));
}

RelocBuilder ElfWriter::rela(uint32_t target_section, const std::string &name) {
    SectionBuilder s = section(name.empty() ? ".rela" + std::to_string(target_section) : name);
    Section &r = sections_.back();
    r.type = SHT_RELA;
    r.entsize = RELA_ENTSIZE;
    r.info = target_section;
    r.align = 4;
    r.link_symtab = true;
    r.is_rela = true;
    return RelocBuilder(this, s.index());
}

RelocBuilder ElfWriter::rel(uint32_t target_section, const std::string &name) {
    SectionBuilder s = section(name.empty() ? ".rel" + std::to_string(target_section) : name);
    Section &r = sections_.back();
    r.type = SHT_REL;
    r.entsize = REL_ENTSIZE;
    r.info = target_section;
    r.align = 4;
    r.link_symtab = true;
    r.is_rel = true;
    return RelocBuilder(this, s.index());
}

ElfWriter &ElfWriter::qz_space(uint32_t section_index, uint32_t space) {
    qz_records_.push_back(qz_record(section_index, space));
    return *this;
}

ElfWriter &ElfWriter::qz_raw(const Bytes &record) {
    qz_records_.push_back(record);
    return *this;
}

Bytes ElfWriter::qz_record(uint32_t section_index, uint32_t space) const {
    ByteSink s{order_, {}};
    s.u32(SIZE_OF_QZ_INFO_TYPE_15).u8(15).u32(section_index).u32(space);
    return s.bytes;
}

ElfWriter &ElfWriter::segment(uint32_t p_type, uint32_t vaddr, const Bytes &file_bytes,
                              uint32_t memsz, uint32_t p_flags) {
    segments_.push_back({p_type, vaddr, memsz, p_flags, file_bytes});
    return *this;
}

uint32_t ElfWriter::symtab_index() const {
    return has_symtab() ? auto_base() : 0;
}
uint32_t ElfWriter::strtab_index() const {
    return has_symtab() ? auto_base() + 1 : 0;
}
uint32_t ElfWriter::qz_info_index() const {
    if (qz_records_.empty()) return 0;
    return auto_base() + (has_symtab() ? 2 : 0);
}
uint32_t ElfWriter::shstrtab_index() const {
    if (!shstrtab_) return 0;
    return auto_base() + (has_symtab() ? 2 : 0) + (qz_records_.empty() ? 0 : 1);
}

Bytes ElfWriter::u16(uint16_t v) const {
    return ByteSink{order_, {}}.u16(v).bytes;
}
Bytes ElfWriter::u32(uint32_t v) const {
    return ByteSink{order_, {}}.u32(v).bytes;
}

namespace {

// A string table that stores each distinct name once.
struct StringTable {
    Bytes bytes{0};
    std::map<std::string, uint32_t> offsets;
    uint32_t add(const std::string &name) {
        if (name.empty()) return 0;
        auto it = offsets.find(name);
        if (it != offsets.end()) return it->second;
        uint32_t off = uint32_t(bytes.size());
        bytes.insert(bytes.end(), name.begin(), name.end());
        bytes.push_back(0);
        offsets[name] = off;
        return off;
    }
};

void pad_to(Bytes &b, size_t alignment) {
    while (b.size() % alignment) b.push_back(0);
}

} // namespace

std::vector<ElfWriter::Section> ElfWriter::all_sections() const {
    std::vector<Section> all = sections_;
    for (Section &s : all) {
        if (s.link_symtab) s.link = symtab_index();
        ByteSink sink{order_, {}};
        for (const Section::Reloc &r : s.relocs) {
            sink.u32(r.offset).u32(r.info);
            if (s.is_rela) sink.u32(uint32_t(r.addend));
        }
        if (s.is_rela || s.is_rel) s.data = sink.bytes;
    }
    if (has_symtab()) {
        StringTable names;
        ByteSink syms{order_, Bytes(SYM_ENTSIZE, 0)};
        for (const Symbol &y : symbols_) {
            syms.u32(names.add(y.name)).u32(y.value).u32(y.size);
            syms.u8(uint8_t((y.bind << 4) | (y.type & 0xF))).u8(y.other).u16(y.shndx);
        }
        Section symtab;
        symtab.name = ".symtab";
        symtab.type = SHT_SYMTAB;
        symtab.link = strtab_index();
        symtab.info = 1;
        symtab.align = 4;
        symtab.entsize = SYM_ENTSIZE;
        symtab.data = syms.bytes;
        Section strtab;
        strtab.name = ".strtab";
        strtab.type = SHT_STRTAB;
        strtab.data = names.bytes;
        all.push_back(symtab);
        all.push_back(strtab);
    }
    if (!qz_records_.empty()) {
        Section qz;
        qz.name = ".qzinfo";
        qz.type = SHT_QZ_INFO;
        for (const Bytes &r : qz_records_) qz.data.insert(qz.data.end(), r.begin(), r.end());
        all.push_back(qz);
    }
    if (shstrtab_) {
        Section sh;
        sh.name = ".shstrtab";
        sh.type = SHT_STRTAB;
        all.push_back(sh);
    }
    return all;
}

Bytes ElfWriter::build() const {
    std::vector<Section> all = all_sections();
    StringTable shnames;
    std::vector<uint32_t> name_offsets;
    for (const Section &s : all) name_offsets.push_back(shnames.add(s.name));
    if (shstrtab_) all.back().data = shnames.bytes;

    Bytes image(ELF32_EHDR_SIZE, 0);
    uint32_t phoff = segments_.empty() ? 0 : uint32_t(image.size());
    image.resize(image.size() + segments_.size() * ELF32_PHENTSIZE);
    std::vector<uint32_t> seg_offsets;
    for (const Segment &g : segments_) {
        pad_to(image, 4);
        seg_offsets.push_back(uint32_t(image.size()));
        image.insert(image.end(), g.bytes.begin(), g.bytes.end());
    }
    std::vector<uint32_t> sec_offsets;
    for (const Section &s : all) {
        pad_to(image, 4);
        sec_offsets.push_back(uint32_t(image.size()));
        if (s.type != SHT_NOBITS) image.insert(image.end(), s.data.begin(), s.data.end());
    }
    pad_to(image, 4);
    uint32_t shoff = uint32_t(image.size());

    ByteSink sh{order_, Bytes(ELF32_SHENTSIZE, 0)};
    for (size_t i = 0; i < all.size(); i++) {
        const Section &s = all[i];
        uint32_t size = s.size ? *s.size : uint32_t(s.data.size());
        uint32_t offset = s.offset ? *s.offset : sec_offsets[i];
        sh.u32(name_offsets[i]).u32(s.type).u32(s.flags).u32(s.addr).u32(offset).u32(size);
        sh.u32(s.link).u32(s.info).u32(s.align).u32(s.entsize);
    }
    image.insert(image.end(), sh.bytes.begin(), sh.bytes.end());

    ByteSink ph{order_, {}};
    for (size_t i = 0; i < segments_.size(); i++) {
        const Segment &g = segments_[i];
        ph.u32(g.type).u32(seg_offsets[i]).u32(g.vaddr).u32(g.vaddr);
        ph.u32(uint32_t(g.bytes.size())).u32(g.memsz).u32(g.flags).u32(4);
    }
    std::copy(ph.bytes.begin(), ph.bytes.end(), image.begin() + phoff);

    ByteSink eh{order_,
                {0x7F, 'E', 'L', 'F', 1, order_ == ByteOrder::Little ? uint8_t(1) : uint8_t(2), 1,
                 0, 0, 0, 0, 0, 0, 0, 0, 0}};
    uint16_t shnum = shnum_ ? *shnum_ : uint16_t(all.size() + 1);
    uint16_t shstrndx = shstrndx_ ? *shstrndx_ : uint16_t(shstrtab_index());
    eh.u16(e_type_).u16(e_machine_).u32(e_version_).u32(e_entry_).u32(phoff).u32(shoff);
    eh.u32(e_flags_).u16(ehsize_ ? *ehsize_ : uint16_t(ELF32_EHDR_SIZE));
    eh.u16(phentsize_ ? *phentsize_ : uint16_t(ELF32_PHENTSIZE)).u16(uint16_t(segments_.size()));
    eh.u16(shentsize_ ? *shentsize_ : uint16_t(ELF32_SHENTSIZE)).u16(shnum).u16(shstrndx);
    for (auto [index, value] : ident_overrides_) eh.bytes[index] = value;
    std::copy(eh.bytes.begin(), eh.bytes.end(), image.begin());
    return image;
}

void ElfWriter::write_file(const std::string &path) const {
    write_bytes(path, build());
}

void write_bytes(const std::string &path, const Bytes &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    if (f == nullptr ||
        (!bytes.empty() && fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())) {
        perror(path.c_str());
        abort();
    }
    fclose(f);
}

std::string temp_path(const std::string &stem) {
    static std::atomic<unsigned> serial{0};
    const char *dir = getenv("TMPDIR");
    std::string base = dir && *dir ? dir : "/tmp";
    return base + "/zema_" + std::to_string(getpid()) + "_" + std::to_string(serial++) + "_" + stem;
}

} // namespace zema_test
