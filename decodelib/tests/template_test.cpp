// Compiled templates against the general substitution, over every record of
// the generated tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decodelib/src/state.h"

namespace ZEMADisasmLib {
namespace {

// A text no name can meet: operand j shows as "\x01" and a letter.
std::string marker(size_t j) {
    return std::string("\x01") + static_cast<char>('A' + j % 26);
}

// Each listed operand's name replaced everywhere in turn; markers hold no
// name characters, so nothing inserted is matched again.
std::string substituted(std::string body, const std::vector<const char *> &names) {
    for (size_t j = 0; j < names.size(); ++j) {
        std::string name = names[j];
        if (name.empty()) continue;
        for (size_t p = body.find(name); p != std::string::npos; p = body.find(name, p))
            body.replace(p, name.size(), marker(j)), p += 2;
    }
    return body;
}

std::string from_pieces(const ArchitectureTables &t, const RecordInfo &info) {
    std::string text;
    for (int32_t k = info.template_begin; k < info.template_end; ++k) {
        const TemplatePiece &piece = t.pieces[static_cast<size_t>(k)];
        text += t.literals.substr(piece.literal, piece.length);
        if (piece.operand >= 0) text += marker(static_cast<size_t>(piece.operand));
    }
    return text;
}

// Names taking places before, after, inside and across the places of earlier
// names, found or not; the pieces must spell what the substitution gives
// (lower-case texts: the markers hold upper-case letters).
TEST(TemplateClaims, PiecesSpellTheSubstitutedText) {
    struct Case {
        const char *syntax;
        std::vector<const char *> names;
        std::vector<bool> found;
    } cases[] = {
        {"add ad, as, ad", {"ad", "as"}, {true, true}},
        {"aaa", {"aa", "a"}, {true, true}},
        {"aaaa", {"a", "aa"}, {true, false}},
        {"abab", {"ba", "ab"}, {true, false}},
        {"abcabc", {"c", "ab", "bc"}, {true, true, false}},
        {"xaby", {"ab", "xa", "by", "x"}, {true, false, false, true}},
        {"x", {"xy", "x"}, {false, true}},
        {"", {"a"}, {false}},
        {"cond.ad", {"", "ad", "d", "cond"}, {false, true, true, false}},
        {"a,b,,c", {",", "b"}, {true, true}},
    };
    for (const Case &c : cases) {
        TemplateClaims claims(c.syntax);
        for (size_t j = 0; j < c.names.size(); ++j)
            EXPECT_EQ(claims.Claim(c.names[j], static_cast<int32_t>(j)), c.found[j])
                << c.syntax << " name " << c.names[j];
        std::string text, syntax = c.syntax;
        claims.Pieces([&](uint32_t begin, uint32_t length, int32_t operand) {
            text += syntax.substr(begin, length);
            if (operand >= 0) text += marker(static_cast<size_t>(operand));
        });
        EXPECT_EQ(text, substituted(c.syntax, c.names)) << c.syntax;
    }
}

TEST(CompiledTemplates, GiveTheSubstitutedText) {
    for (uint32_t arch = 1; arch <= 6; ++arch) {
        SelectArchitecture(arch);
        ArchitectureTables &t = *TablesOf(arch);
        uint32_t compiled = 0;
        for (uint32_t i = 0; i < t.record_count; ++i) {
            RecordInfo &info = t.info[i];
            if (info.template_begin == RecordInfo::kTemplateUnbuilt) CompileTemplate(t, i);
            if (info.template_begin < 0) continue; // kept for the general substitution
            std::vector<const char *> names;
            for (uint32_t k = 0; k < info.plan_count; ++k)
                if (!t.plans[info.plan_begin + k].slot)
                    names.push_back(t.plans[info.plan_begin + k].name->syntax_name);
            const char *syntax = t.records[i].syntax ? t.records[i].syntax : "";
            ASSERT_EQ(from_pieces(t, info), substituted(syntax, names))
                << "architecture " << arch << " record " << t.records[i].name;
            ++compiled;
        }
        EXPECT_GT(compiled, t.record_count / 2) << "architecture " << arch;
    }
}

} // namespace
} // namespace ZEMADisasmLib
