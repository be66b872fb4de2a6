// The packet clean-ups applied as the text grows must give what replacing
// each pair in the whole text until it no longer occurs gives.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "decodelib/src/clean_text.h"
#include "decodelib/tests/clean_up_reference.h"

namespace {

using ZEMADisasmLib::CleanText;
using zt::cleaned_up;

// Appends s in pieces cut at `cuts` (a bit per position), each piece without
// a pair going through the copying path (`short_path`: the one for pieces
// held in a block of 16, whose bytes after the piece are garbage).
std::string grown(const std::string &s, unsigned cuts, bool keep_plus_minus,
                  bool short_path = false) {
    CleanText text;
    text.Reset(keep_plus_minus);
    size_t begin = 0;
    for (size_t k = 1; k <= s.size(); ++k) {
        if (k < s.size() && !((cuts >> k) & 1)) continue;
        std::string piece = s.substr(begin, k - begin);
        CleanText::Cursor c = text.Begin(piece.size());
        if (CleanText::HasPair(piece)) {
            c.Text(piece.data(), piece.size());
        } else {
            std::string padded = piece + std::string(CleanText::kOverrun, '\0');
            char block[CleanText::kOverrun];
            std::memset(block, '#', sizeof block);
            std::memcpy(block, piece.data(), piece.size());
            if (short_path && !piece.empty())
                c.CleanAfterBlock(block, piece.size());
            else
                c.Clean(padded.data(), piece.size());
        }
        text.End(c);
        begin = k;
    }
    return {text.Data(), text.Size()};
}

TEST(CleanText, AgreesWithWholeTextReplacementOnEveryShortText) {
    const std::string alphabet = "+-,;a";
    for (size_t length = 0; length <= 6; ++length) {
        size_t count = 1;
        for (size_t k = 0; k < length; ++k) count *= alphabet.size();
        for (size_t n = 0; n < count; ++n) {
            std::string s;
            for (size_t v = n, k = 0; k < length; ++k, v /= alphabet.size())
                s += alphabet[v % alphabet.size()];
            for (bool keep : {false, true}) {
                std::string expected = cleaned_up(s, keep);
                // Whole, character by character, and cut in several places.
                for (unsigned cuts : {0u, ~0u, 0x2au, 0x14u}) {
                    ASSERT_EQ(grown(s, cuts, keep), expected)
                        << '"' << s << "\" keep=" << keep << " cuts=" << cuts;
                    ASSERT_EQ(grown(s, cuts, keep, true), expected)
                        << '"' << s << "\" keep=" << keep << " cuts=" << cuts << " short";
                }
            }
        }
    }
}

TEST(CleanText, LongCleanPiecesCopyWholly) {
    // Pieces longer than one 16-byte copy, joined at clean-up characters.
    const struct {
        std::vector<std::string> pieces;
        std::string expected;
    } cases[] = {
        {{"add r0, r1 ++", "+-0x123456789abcdef0123;"}, "add r0, r1 -0x123456789abcdef0123;"},
        {{"move.l r12, a7,", ",0123456789abcdefghij,", ";"},
         "move.l r12, a7,0123456789abcdefghij;"},
        {{std::string(40, 'x') + "+", "+" + std::string(33, 'y')},
         std::string(40, 'x') + "+" + std::string(33, 'y')},
    };
    for (const auto &c : cases) {
        CleanText text;
        text.Reset(false);
        for (const std::string &piece : c.pieces) {
            CleanText::Cursor cursor = text.Begin(piece.size());
            std::string padded = piece + std::string(CleanText::kOverrun, '\0');
            if (CleanText::HasPair(piece))
                cursor.Text(piece.data(), piece.size());
            else
                cursor.Clean(padded.data(), piece.size());
            text.End(cursor);
        }
        EXPECT_EQ(std::string(text.Data(), text.Size()), c.expected);
    }
}

TEST(CleanText, ShortCopiesKeepTheirLengthWhateverTheBlockCarries) {
    // Each piece sits in a buffer of 128 whose bytes after it are garbage:
    // the text takes exactly the piece, and a later piece overwrites the rest.
    const struct {
        std::vector<std::string> pieces;
        std::string expected;
    } cases[] = {
        {{"", ""}, ""},
        {{"r1", "", "r2"}, "r1r2"},
        {{"a", std::string(15, 'b'), "c"}, "a" + std::string(15, 'b') + "c"},
        {{std::string(15, 'x'), std::string(15, 'y')}, std::string(15, 'x') + std::string(15, 'y')},
    };
    for (const auto &c : cases) {
        CleanText text;
        text.Reset(false);
        for (const std::string &piece : c.pieces) {
            std::string buffer = piece + std::string(128 - piece.size(), '#');
            CleanText::Cursor cursor = text.Begin(piece.size());
            cursor.CopyShort(buffer.data(), piece.size());
            text.End(cursor);
        }
        EXPECT_EQ(std::string(text.CStr()), c.expected);
    }
}

// A cursor left open over many pieces asks for a new Begin only when the
// room runs out; the text stays whole and ends in a zero.
TEST(CleanText, OpenCursorGrowsWhenTheRoomRunsOut) {
    for (size_t pieces : {0, 1, 300, 5000}) {
        CleanText text;
        text.Reset(false);
        CleanText::Cursor c = text.Begin(0);
        std::string expected, block(128, 'q');
        for (size_t k = 0; k < pieces; ++k) {
            size_t length = k % 16;
            if (!c.Fits(length)) {
                text.End(c);
                c = text.Begin(length);
            }
            c.CopyShort(block.data(), length);
            expected.append(length, 'q');
        }
        c.Terminate();
        text.End(c);
        EXPECT_EQ(std::string(text.Data()), expected) << pieces;
        EXPECT_EQ(text.Size(), expected.size());
    }
}

// Texts that cannot be read past their end (held here in buffers of their
// exact size) agree with the whole-text replacement, whether they go as a
// block or character by character.
TEST(CleanText, UnpaddedTextsAgreeWithWholeTextReplacement) {
    const std::string comment = "\t\t// address $00004788 is equivalent to $00011e20 (.L19)";
    const struct {
        std::string before, piece;
    } cases[] = {
        {"add r1 +", "-" + comment},           // the first character joins the text before
        {"ld r1,", ";" + comment},             // the same for the other pair
        {"ld r1,", "," + comment},             // a doubled comma
        {"mv a1 +", "+" + comment},            // a doubled plus
        {"st a2 +", comment + " +-1"},         // a pair inside: character by character
        {"st a2", comment + ",,;"},            // the same with commas
        {"st a2 +", "-1,;"},                   // shorter than a block
        {"", comment},                         // nothing before
        {"x", ""},                             // nothing appended
        {"y +", "-" + std::string(5000, 'z')}, // longer than the text's room so far
    };
    for (const auto &c : cases) {
        for (bool keep : {false, true}) {
            CleanText text;
            text.Reset(keep);
            CleanText::Cursor cursor = text.Begin(c.before.size());
            cursor.Text(c.before.data(), c.before.size());
            text.End(cursor);
            std::vector<char> exact(c.piece.begin(), c.piece.end());
            cursor = text.Begin(exact.size());
            cursor.Unpadded(exact.data(), exact.size());
            text.End(cursor);
            EXPECT_EQ(std::string(text.CStr()), cleaned_up(c.before + c.piece, keep))
                << c.before << c.piece << " keep=" << keep;
        }
    }
}

} // namespace

TEST(CleanText, CursorTruncateDropsTheLaterPartOnly) {
    const struct {
        std::string kept, dropped, after, expected;
    } cases[] = {
        {"a,", " ", ";", "a;"}, // the clean-up meets the kept text again
        {"x +", "\t", "-", "x -"},
        {"", "\t", ";", ";"},
    };
    for (const auto &c : cases) {
        CleanText text;
        text.Reset(false);
        CleanText::Cursor cursor = text.Begin(c.kept.size() + c.dropped.size() + c.after.size());
        cursor.Text(c.kept.data(), c.kept.size());
        size_t before = cursor.Size();
        cursor.Text(c.dropped.data(), c.dropped.size());
        cursor.Truncate(before);
        cursor.Text(c.after.data(), c.after.size());
        text.End(cursor);
        EXPECT_EQ(std::string(text.CStr()), c.expected) << c.kept << c.dropped << c.after;
    }
}
