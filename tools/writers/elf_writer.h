// Builds ELF32 images for the tests and the tools, in memory or on disk, in
// either byte order.
//
//   ElfWriter w(ByteOrder::Big);
//   uint32_t text = w.section(".text").type(SHT_PROGBITS).flags(SHF_ALLOC | SHF_EXECINSTR)
//                       .addr(0x100).data({...}).index();
//   uint32_t start = w.symbol("start").value(0x100).shndx(text).bind(STB_GLOBAL).index();
//   w.rela(text).add(0, R_TYPE, start, 4);
//   w.qz_space(text, 3);
//   w.write_file(path);
//
// User sections get indices 1, 2, ... in the order they are added. When the
// image is built, the symbol table (".symtab", if any symbol was added or
// with_symtab() was called), its string table (".strtab"), the QZ info section
// (if any record was added) and the section-name table (".shstrtab") follow,
// in that order. RELA/REL sections made with rela()/rel() link to the symbol
// table automatically.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zema_test {

enum class ByteOrder { Little, Big };

using Bytes = std::vector<uint8_t>;

// Appends 16/32-bit values to a byte vector in a chosen byte order.
struct ByteSink {
    ByteOrder order;
    Bytes bytes;
    ByteSink &u8(uint8_t v);
    ByteSink &u16(uint16_t v);
    ByteSink &u32(uint32_t v);
    ByteSink &raw(const Bytes &b);
};

class ElfWriter;

// A section under construction; setters return *this for chaining.
class SectionBuilder {
  public:
    SectionBuilder &type(uint32_t v);
    SectionBuilder &flags(uint32_t v);
    SectionBuilder &addr(uint32_t v);
    SectionBuilder &link(uint32_t v);
    SectionBuilder &info(uint32_t v);
    SectionBuilder &align(uint32_t v);
    SectionBuilder &entsize(uint32_t v);
    SectionBuilder &data(const Bytes &b);
    // Size without file bytes (NOBITS), or a size that differs from the data.
    SectionBuilder &size(uint32_t v);
    // Makes sh_offset point at the given offset instead of the section's bytes.
    SectionBuilder &offset(uint32_t v);
    uint32_t index() const { return index_; }

  private:
    friend class ElfWriter;
    SectionBuilder(ElfWriter *w, uint32_t i) : w_(w), index_(i) {}
    ElfWriter *w_;
    uint32_t index_;
};

class SymbolBuilder {
  public:
    SymbolBuilder &value(uint32_t v);
    SymbolBuilder &size(uint32_t v);
    SymbolBuilder &type(uint8_t v);
    SymbolBuilder &bind(uint8_t v);
    SymbolBuilder &other(uint8_t v);
    SymbolBuilder &shndx(uint16_t v);
    uint32_t index() const { return index_; }

  private:
    friend class ElfWriter;
    SymbolBuilder(ElfWriter *w, uint32_t i) : w_(w), index_(i) {}
    ElfWriter *w_;
    uint32_t index_;
};

// Relocation entries of one RELA or REL section.
class RelocBuilder {
  public:
    // r_info = (symbol << 8) | type; the addend is ignored for REL.
    RelocBuilder &add(uint32_t offset, uint32_t type, uint32_t symbol, int32_t addend = 0);
    uint32_t index() const { return index_; }

  private:
    friend class ElfWriter;
    RelocBuilder(ElfWriter *w, uint32_t i) : w_(w), index_(i) {}
    ElfWriter *w_;
    uint32_t index_;
};

class ElfWriter {
  public:
    explicit ElfWriter(ByteOrder order = ByteOrder::Little);

    ElfWriter &type(uint16_t v);    // e_type, default ET_REL
    ElfWriter &machine(uint16_t v); // e_machine, default EM_ZEMA
    ElfWriter &flags(uint32_t v);   // e_flags, default 0
    ElfWriter &entry(uint32_t v);
    ElfWriter &version(uint32_t v);
    // Header overrides for malformed images.
    ElfWriter &ehsize(uint16_t v);
    ElfWriter &phentsize(uint16_t v);
    ElfWriter &shentsize(uint16_t v);
    ElfWriter &shstrndx(uint16_t v);
    ElfWriter &shnum(uint16_t v);
    ElfWriter &ident_byte(unsigned index, uint8_t v);
    // Without the automatic ".shstrtab" e_shstrndx is 0 unless overridden.
    ElfWriter &without_shstrtab();
    ElfWriter &with_symtab();

    SectionBuilder section(const std::string &name);
    SectionBuilder section_at(uint32_t index);
    SymbolBuilder symbol(const std::string &name);
    RelocBuilder rela(uint32_t target_section, const std::string &name = "");
    RelocBuilder rel(uint32_t target_section, const std::string &name = "");

    // QZ info: a type-15 record for a section, or raw record bytes.
    ElfWriter &qz_space(uint32_t section_index, uint32_t space);
    ElfWriter &qz_raw(const Bytes &record);
    // A type-15 record (13 bytes) in this writer's byte order.
    Bytes qz_record(uint32_t section_index, uint32_t space) const;

    // A program header; the file bytes are placed in the image.
    ElfWriter &segment(uint32_t p_type, uint32_t vaddr, const Bytes &file_bytes, uint32_t memsz,
                       uint32_t p_flags = 0);

    // Index the symbol table will have in the built image.
    uint32_t symtab_index() const;
    uint32_t strtab_index() const;
    uint32_t qz_info_index() const;
    uint32_t shstrtab_index() const;

    // Values in this writer's byte order, for section contents.
    Bytes u16(uint16_t v) const;
    Bytes u32(uint32_t v) const;

    Bytes build() const;
    void write_file(const std::string &path) const;
    ByteOrder order() const { return order_; }

  private:
    friend class SectionBuilder;
    friend class SymbolBuilder;
    friend class RelocBuilder;

    struct Section {
        std::string name;
        uint32_t type = 1, flags = 0, addr = 0, link = 0, info = 0, align = 1, entsize = 0;
        Bytes data;
        std::optional<uint32_t> size;
        std::optional<uint32_t> offset;
        bool link_symtab = false;
        bool is_rela = false;
        bool is_rel = false;
        struct Reloc {
            uint32_t offset, info;
            int32_t addend;
        };
        std::vector<Reloc> relocs;
    };
    struct Symbol {
        std::string name;
        uint32_t value = 0, size = 0;
        uint8_t type = 0, bind = 0, other = 0;
        uint16_t shndx = 0;
    };
    struct Segment {
        uint32_t type, vaddr, memsz, flags;
        Bytes bytes;
    };

    uint32_t auto_base() const { return uint32_t(sections_.size()) + 1; }
    bool has_symtab() const { return symtab_ || !symbols_.empty(); }
    std::vector<Section> all_sections() const;

    ByteOrder order_;
    uint16_t e_type_, e_machine_;
    uint32_t e_flags_ = 0, e_entry_ = 0, e_version_ = 1;
    std::optional<uint16_t> ehsize_, phentsize_, shentsize_, shstrndx_, shnum_;
    std::vector<std::pair<unsigned, uint8_t>> ident_overrides_;
    bool shstrtab_ = true;
    bool symtab_ = false;
    std::vector<Section> sections_; // user sections, index = position + 1
    std::vector<Symbol> symbols_;   // index = position + 1
    std::vector<Bytes> qz_records_;
    std::vector<Segment> segments_;
};

// Writes bytes to a file; aborts the test program when that fails.
void write_bytes(const std::string &path, const Bytes &bytes);

// A unique path under the system temporary directory, removed by the caller.
std::string temp_path(const std::string &stem);

} // namespace zema_test
