// The matching rule of every decode, shared by the decoder, its index and the
// table generator: among the records whose masked word equals their value,
// the one with the most mask bits wins, the first in table order on a tie. A
// record with an empty mask never wins.
#pragma once

#include <bit>
#include <cstdint>

namespace ZEMADisasmLib {

class MatchRule {
  public:
    explicit MatchRule(uint64_t word) : word_(word) {}
    // Offer the candidates in table order; true when this one is the best so far.
    bool Offer(uint64_t mask, uint64_t value) {
        if ((word_ & mask) != value) return false;
        int n = Strength(mask);
        if (n <= best_) return false;
        best_ = n;
        return true;
    }
    // Candidates sorted by descending strength, table order kept on ties,
    // make the first match the winner (the index relies on this).
    static int Strength(uint64_t mask) { return std::popcount(mask); }

  private:
    uint64_t word_;
    int best_ = 0;
};

} // namespace ZEMADisasmLib
