#include "common/instr.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

Option_struct *new_options() {
    return static_cast<Option_struct *>(calloc(1, sizeof(Option_struct)));
}

void free_options(Option_struct *opt) {
    free(opt->err_text);
    free(opt);
}

TEST(SymbolReferences, DedupeByNameOffset) {
    Option_struct *opt = new_options();
    Elf32_Sym syms[4] = {};
    syms[0].st_name = 5;
    syms[1].st_name = 9;
    syms[2].st_name = 5; // another symbol sharing the first one's name
    syms[3].st_name = 9;
    Symbol_refs_struct *refs = nullptr;
    for (const Elf32_Sym &s : syms) add_symbol_reference(&s, &refs, opt);
    ASSERT_NE(refs, nullptr);
    EXPECT_EQ(refs->count, 2);
    EXPECT_EQ(refs->capacity, 32);
    EXPECT_EQ(refs->entries[0], &syms[0]);
    EXPECT_EQ(refs->entries[1], &syms[1]);
    release_symbol_references(refs);
    free_options(opt);
}

TEST(SymbolReferences, GrowsBy32) {
    Option_struct *opt = new_options();
    static Elf32_Sym syms[40] = {};
    Symbol_refs_struct *refs = nullptr;
    for (uint32_t i = 0; i < 40; i++) {
        syms[i].st_name = i;
        add_symbol_reference(&syms[i], &refs, opt);
    }
    EXPECT_EQ(refs->count, 40);
    EXPECT_EQ(refs->capacity, 64);
    EXPECT_EQ(refs->entries[39], &syms[39]);
    release_symbol_references(refs);
    free_options(opt);
}

TEST(SymbolReferences, ManyNamesKeepFirstMentionOrder) {
    Option_struct *opt = new_options();
    std::vector<Elf32_Sym> syms(200000);
    for (uint32_t i = 0; i < syms.size(); i++) syms[i].st_name = (i * 7919u) % 100000u;
    Symbol_refs_struct *refs = nullptr;
    for (const Elf32_Sym &s : syms) add_symbol_reference(&s, &refs, opt);
    ASSERT_EQ(refs->count, 100000); // the second half repeats the names of the first
    for (int32_t i = 0; i < refs->count; i++) ASSERT_EQ(refs->entries[i], &syms[i]);
    release_symbol_references(refs);
    free_options(opt);
}

TEST(SymbolReferences, NothingWithoutListOrAfterError) {
    Option_struct *opt = new_options();
    Elf32_Sym sym = {};
    add_symbol_reference(&sym, nullptr, opt);
    set_error(opt, ERR_DATA, "Invalid .rela info\n");
    Symbol_refs_struct *refs = nullptr;
    add_symbol_reference(&sym, &refs, opt);
    EXPECT_EQ(refs, nullptr);
    free_options(opt);
}

} // namespace
