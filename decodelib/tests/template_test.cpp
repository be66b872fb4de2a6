// Compiled templates against the general substitution, over every record of
// the generated tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "decodelib/src/state.h"
#include "decodelib/tests/clean_up_reference.h"

namespace ZEMADisasmLib {
namespace {

// A text no name can meet: operand j shows as "\x01" and a letter.
std::string marker(size_t j) {
    return std::string("\x01") + static_cast<char>('A' + j % 26);
}

// The text of operand j: its marker, or nothing for the operands in `empty`
// (a bit each).
std::string text_of(size_t j, uint64_t empty) {
    return j < 64 && ((empty >> j) & 1) ? std::string() : marker(j);
}

// Each listed operand's name replaced everywhere in turn; markers hold no
// name characters, so nothing inserted is matched again.
std::string substituted(std::string body, const std::vector<const char *> &names,
                        uint64_t empty = 0) {
    for (size_t j = 0; j < names.size(); ++j) {
        std::string name = names[j], text = text_of(j, empty);
        if (name.empty()) continue;
        for (size_t p = body.find(name); p != std::string::npos; p = body.find(name, p))
            body.replace(p, name.size(), text), p += text.size();
    }
    return body;
}

std::string from_pieces(const ArchitectureTables &t, const RecordInfo &info, uint64_t empty = 0) {
    std::string text;
    for (int32_t k = info.template_begin; k < info.template_end; ++k) {
        const TemplatePiece &piece = t.pieces[static_cast<size_t>(k)];
        text.append(piece.literal, piece.length);
        if (piece.operand >= 0) text += text_of(static_cast<size_t>(piece.operand), empty);
    }
    return text;
}

// Every text and name of up to four characters over a small alphabet against
// trying each alignment in full.
TEST(TextOverlapsName, AgreesWithEveryAlignmentTried) {
    auto tried = [](const std::string &text, const std::string &name) {
        long t = static_cast<long>(text.size()), n = static_cast<long>(name.size());
        for (long d = 1 - t; d < n; ++d) {
            bool agree = std::max(0L, d) < std::min(n, d + t);
            for (long i = std::max(0L, d); i < std::min(n, d + t); ++i)
                agree = agree && name[i] == text[i - d];
            if (agree) return true;
        }
        return false;
    };
    std::vector<std::string> all = {""};
    for (size_t k = 0; k < all.size() && all[k].size() < 4; ++k)
        for (char c : {'a', 'b', 'c'}) all.push_back(all[k] + c);
    for (const std::string &text : all)
        for (const std::string &name : all)
            ASSERT_EQ(TextOverlapsName(text, name), tried(text, name))
                << '"' << text << "\" \"" << name << '"';
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

// An earlier operand's empty text joins the texts on either side of its
// place; a later name that may be found across the joint must be reported.
// Every earlier operand renders "g0," or nothing.
TEST(TemplateClaims, MatchesAcrossAnEmptyText) {
    struct Case {
        const char *syntax;
        std::vector<const char *> earlier; // claimed in turn
        const char *name;
        bool across;
    } cases[] = {
        {"aXb", {"X"}, "ab", true},
        {"aXb", {"X"}, "ba", false},
        {"aXb, aXc", {"X"}, "ac", true},
        {"Xab", {"X"}, "ab", false}, // nothing before the place
        {"abX", {"X"}, "bX", false}, // nor after it
        {"aXb", {"X"}, "b", false},  // one character is found in place
        {"jmpCOND LI", {"COND"}, "LI", false},
        {"jmpCOND LI", {"COND"}, "p L", true},
        {"aXYb", {"X", "Y"}, "ab", true},  // Y empty too: a meets b
        {"aXYb", {"X", "Y"}, "ag", true},  // a meets Y's text
        {"aXYb", {"X", "Y"}, "a,", false}, // which does not begin with ","
        {"aYXb", {"X", "Y"}, ",b", true},  // Y's text meets b
        {"aYXb", {"X", "Y"}, "0b", false}, // its "0" is inside
        {"aXYb", {"X", "Y"}, "aG", false},
        {"G0G1G2G3", {"G1", "G0", "G2"}, "G3", false},
    };
    TextEnds texts[4];
    for (TextEnds &ends : texts) {
        ends.first.Add('g');
        ends.last.Add(',');
    }
    for (const Case &c : cases) {
        TemplateClaims claims(c.syntax);
        for (size_t j = 0; j < c.earlier.size(); ++j)
            claims.Claim(c.earlier[j], static_cast<int32_t>(j));
        EXPECT_EQ(claims.MatchesAcross(c.name, texts, 0xF), c.across)
            << c.syntax << " name " << c.name;
    }
    // Texts that cannot be empty keep a place's sides apart.
    TemplateClaims claims("aXYb");
    claims.Claim("X", 0);
    claims.Claim("Y", 1);
    EXPECT_FALSE(claims.MatchesAcross("ab", texts, 0x1));
}

// Operands of a field that can render "" shown empty one at a time and all
// at once: the pieces must still spell what the substitution gives.
uint64_t empty_capable(const ArchitectureTables &t, const RecordInfo &info) {
    uint64_t empty = 0;
    size_t j = 0;
    for (uint32_t k = 0; k < info.plan_count; ++k) {
        const OperandPlan &plan = t.plans[info.plan_begin + k];
        if (plan.slot) continue;
        if (!plan.field->RendersNumbersOnly())
            for (const std::string &text : plan.field->PossibleTexts())
                if (text.empty() && j < 64) empty |= 1ULL << j;
        ++j;
    }
    return empty;
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
            uint64_t capable = empty_capable(t, info);
            std::vector<uint64_t> empties{0, capable};
            for (uint64_t rest = capable; rest; rest &= rest - 1) empties.push_back(rest & -rest);
            for (uint64_t empty : empties)
                ASSERT_EQ(from_pieces(t, info, empty), substituted(syntax, names, empty))
                    << "architecture " << arch << " record " << t.records[i].name << " empty "
                    << empty;
            ++compiled;
        }
        EXPECT_GT(compiled, t.record_count / 2) << "architecture " << arch;
    }
}

// The pieces written as the packet text writes them, after a tab, every
// operand showing `operand` (one character, so holding no pair).
std::string written(const ArchitectureTables &t, const RecordInfo &info, char operand) {
    char block[128];
    std::memset(block, '#', sizeof block);
    block[0] = operand;
    CleanText text;
    text.Reset(false);
    CleanText::Cursor c = text.Begin(info.template_room + 1);
    c.Plain('\t');
    for (int32_t k = info.template_begin; k < info.template_end; ++k) {
        const TemplatePiece &piece = t.pieces[static_cast<size_t>(k)];
        if (piece.literal_write == TemplatePiece::kCopy)
            c.CopyShort(piece.literal, piece.length);
        else if (piece.literal_write == TemplatePiece::kCheckFirst)
            c.CleanAfterBlock(piece.literal, piece.length);
        else
            c.Text(piece.literal, piece.length);
        if (piece.operand < 0) continue;
        if (piece.operand_write == TemplatePiece::kCopy)
            c.CopyShort(block, 1);
        else
            c.CleanAfter(block, 1);
    }
    text.End(c);
    return {text.Data(), text.Size()};
}

// The way each piece is written (copied, first character checked, character
// by character; long literals split over pieces) must give the cleaned-up
// substituted text whatever the operands end in.
TEST(CompiledTemplates, WriteKindsGiveTheCleanedText) {
    for (uint32_t arch = 1; arch <= 6; ++arch) {
        SelectArchitecture(arch);
        ArchitectureTables &t = *TablesOf(arch);
        for (uint32_t i = 0; i < t.record_count; ++i) {
            RecordInfo &info = t.info[i];
            if (info.template_begin == RecordInfo::kTemplateUnbuilt) CompileTemplate(t, i);
            if (info.template_begin < 0) continue;
            for (char operand : {',', '+', '-', ';', 'q'}) {
                std::string whole = "\t";
                for (int32_t k = info.template_begin; k < info.template_end; ++k) {
                    const TemplatePiece &piece = t.pieces[static_cast<size_t>(k)];
                    whole.append(piece.literal, piece.length);
                    if (piece.operand >= 0) whole += operand;
                }
                ASSERT_EQ(written(t, info, operand), zt::cleaned_up(whole, false))
                    << "architecture " << arch << " record " << t.records[i].name << " operand "
                    << operand;
            }
        }
    }
}

} // namespace
} // namespace ZEMADisasmLib
