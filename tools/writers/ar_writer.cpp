#include "tools/writers/ar_writer.h"

#include <cstdio>
#include <cstring>

namespace zema_test {

namespace {

constexpr size_t HEADER_SIZE = 60;
constexpr size_t SHORT_NAME_MAX = 15;

void put_field(Bytes &out, const std::string &text, size_t width) {
    for (size_t i = 0; i < width; i++) out.push_back(i < text.size() ? uint8_t(text[i]) : ' ');
}

void append_member(Bytes &out, const std::string &name_field, const Bytes &data) {
    Bytes h = ArWriter::header(name_field, data.size());
    out.insert(out.end(), h.begin(), h.end());
    out.insert(out.end(), data.begin(), data.end());
    if (out.size() % 2) out.push_back('\n');
}

void put_be32(Bytes &out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

} // namespace

ArWriter &ArWriter::member(const std::string &name, const Bytes &bytes) {
    members_.push_back({name, bytes});
    return *this;
}

ArWriter &ArWriter::symbol(const std::string &name, size_t member_index) {
    symbols_.push_back({name, member_index});
    return *this;
}

ArWriter &ArWriter::with_symbol_table() {
    symbol_table_ = true;
    return *this;
}

ArWriter &ArWriter::trailing(const Bytes &bytes) {
    trailing_ = bytes;
    return *this;
}

Bytes ArWriter::header(const std::string &name_field, size_t size, const char *trailer) {
    Bytes h;
    put_field(h, name_field, 16);
    put_field(h, "0", 12);
    put_field(h, "0", 6);
    put_field(h, "0", 6);
    put_field(h, "644", 8);
    put_field(h, std::to_string(size), 10);
    put_field(h, trailer, 2);
    return h;
}

Bytes ArWriter::build() const {
    // Long-name table and the name field of every member.
    Bytes long_names;
    std::vector<std::string> fields;
    for (const Member &m : members_) {
        if (m.name.size() > SHORT_NAME_MAX) {
            fields.push_back("/" + std::to_string(long_names.size()));
            long_names.insert(long_names.end(), m.name.begin(), m.name.end());
            long_names.push_back('/');
            long_names.push_back('\n');
        } else {
            fields.push_back(m.name + "/");
        }
    }
    bool with_symbols = symbol_table_ || !symbols_.empty();
    size_t symtab_size = 4 + 4 * symbols_.size();
    for (const auto &s : symbols_) symtab_size += s.first.size() + 1;

    // Header offsets of the members, relative to the start of the archive.
    size_t pos = 8;
    if (with_symbols) pos += HEADER_SIZE + symtab_size + symtab_size % 2;
    if (!long_names.empty()) pos += HEADER_SIZE + long_names.size() + long_names.size() % 2;
    std::vector<uint32_t> offsets;
    for (const Member &m : members_) {
        offsets.push_back(uint32_t(pos));
        pos += HEADER_SIZE + m.bytes.size() + m.bytes.size() % 2;
    }

    Bytes out{'!', '<', 'a', 'r', 'c', 'h', '>', '\n'};
    if (with_symbols) {
        Bytes table;
        put_be32(table, uint32_t(symbols_.size()));
        for (const auto &s : symbols_) put_be32(table, offsets.at(s.second));
        for (const auto &s : symbols_) {
            table.insert(table.end(), s.first.begin(), s.first.end());
            table.push_back(0);
        }
        append_member(out, "/", table);
    }
    if (!long_names.empty()) append_member(out, "//", long_names);
    for (size_t i = 0; i < members_.size(); i++) append_member(out, fields[i], members_[i].bytes);
    out.insert(out.end(), trailing_.begin(), trailing_.end());
    return out;
}

Bytes ArWriter::nested_chain(size_t levels, const Bytes &leaf) {
    // Data size of the member each level holds, innermost first.
    std::vector<size_t> sizes{leaf.size()};
    for (size_t k = 1; k < levels; k++) {
        size_t inner = sizes.back();
        sizes.push_back(8 + HEADER_SIZE + inner + inner % 2);
    }
    Bytes out;
    for (size_t k = 0; k < levels; k++) {
        const char magic[] = "!<arch>\n";
        out.insert(out.end(), magic, magic + 8);
        bool innermost = k + 1 == levels;
        std::string name = innermost ? "leaf.o/" : "level" + std::to_string(k + 1) + ".a/";
        Bytes h = header(name, sizes[levels - 1 - k]);
        out.insert(out.end(), h.begin(), h.end());
    }
    out.insert(out.end(), leaf.begin(), leaf.end());
    // Padding bytes close the levels from the innermost one outwards.
    for (size_t k = 0; k < levels; k++)
        if (sizes[k] % 2) out.push_back('\n');
    return out;
}

void ArWriter::write_file(const std::string &path) const {
    write_bytes(path, build());
}

} // namespace zema_test
