// Builds ar archives for the tests and tools: a symbol table member "/ ", a
// long-name table "//" for names of more than 15 characters, nested archives
// (a member whose bytes are another archive) and members with any bytes.
//
//   ArWriter inner;
//   inner.member("c.o", elf_c);
//   ArWriter ar;
//   ar.member("a.o", elf_a).member("lib_inner.a", inner.build()).symbol("main", 0);
//   ar.write_file(path);
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/writers/elf_writer.h"

namespace zema_test {

class ArWriter {
  public:
    ArWriter &member(const std::string &name, const Bytes &bytes);
    // A symbol defined by the member with the given position (0 = first member).
    ArWriter &symbol(const std::string &name, size_t member_index);
    // Forces a symbol table member even without symbols.
    ArWriter &with_symbol_table();
    // Raw bytes placed after the last member (for broken trailers and such).
    ArWriter &trailing(const Bytes &bytes);

    Bytes build() const;
    void write_file(const std::string &path) const;

    // One 60-byte member header with the given name field text and size.
    static Bytes header(const std::string &name_field, size_t size, const char *trailer = "`\n");
    // An archive nested `levels` deep (the outer archive counts as one): each
    // archive holds the next as its only member "levelN.a", the innermost one
    // holds `leaf` as "leaf.o". Written front to back, so deep chains are cheap.
    static Bytes nested_chain(size_t levels, const Bytes &leaf);

  private:
    struct Member {
        std::string name;
        Bytes bytes;
    };
    std::vector<Member> members_;
    std::vector<std::pair<std::string, size_t>> symbols_;
    bool symbol_table_ = false;
    Bytes trailing_;
};

} // namespace zema_test
