// The pair memo behind the template compiler's joins answers.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <utility>

#include "decodelib/src/state.h"

namespace ZEMADisasmLib {
namespace {

const char kPlaces[64] = {};
const void *at(int k) {
    return kPlaces + k;
}

TEST(PairMemo, AnswersPerOrderedPair) {
    struct Case {
        int a, b;
        bool answer;
    };
    // Same first pointer with different seconds, swapped pairs, a second
    // answer for a pair already noted (the later one holds).
    const Case notes[] = {{1, 2, true}, {1, 3, false}, {2, 1, false},
                          {3, 3, true}, {1, 2, false}, {0, 0, true}};
    PairMemo memo;
    EXPECT_EQ(memo.Find(at(1), at(2)), -1);
    for (const Case &c : notes) memo.Note(at(c.a), at(c.b), c.answer);
    const Case expected[] = {
        {1, 2, false}, {1, 3, false}, {2, 1, false}, {3, 3, true}, {0, 0, true}};
    for (const Case &c : expected)
        EXPECT_EQ(memo.Find(at(c.a), at(c.b)), c.answer ? 1 : 0) << c.a << "," << c.b;
    EXPECT_EQ(memo.Find(at(2), at(3)), -1);
    EXPECT_EQ(memo.Find(at(3), at(1)), -1);
    EXPECT_EQ(memo.Size(), 5u);
}

TEST(PairMemo, KeepsEveryAnswerAcrossGrowth) {
    // Neighbouring pointers hash close together: many probe chains, several
    // doublings of the table.
    std::map<std::pair<int, int>, bool> reference;
    PairMemo memo;
    std::mt19937 rng(7);
    for (int n = 0; n < 3000; ++n) {
        int a = static_cast<int>(rng() % 64), b = static_cast<int>(rng() % 64);
        bool answer = rng() & 1;
        memo.Note(at(a), at(b), answer);
        reference[{a, b}] = answer;
    }
    EXPECT_EQ(memo.Size(), reference.size());
    for (int a = 0; a < 64; ++a)
        for (int b = 0; b < 64; ++b) {
            auto known = reference.find({a, b});
            int expected = known == reference.end() ? -1 : known->second ? 1 : 0;
            ASSERT_EQ(memo.Find(at(a), at(b)), expected) << a << "," << b;
        }
}

} // namespace
} // namespace ZEMADisasmLib
