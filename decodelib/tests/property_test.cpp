// Whole-table properties: every record encodes and decodes back with its
// operand texts, and the match index agrees with the plain table scan.
#include <bit>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "decodelib/tests/fixtures.h"

namespace {

using namespace zt;

uint64_t low_mask(uint32_t n) {
    return n >= 64 ? ~0ULL : (1ULL << n) - 1;
}

bool same_encoding(const InstructionRecord *a, const InstructionRecord *b) {
    return a && b && a->size == b->size && a->slot == b->slot && a->value == b->value &&
           a->mask == b->mask;
}

struct Holder {
    const InstructionRecord *format = nullptr;
    const char *slot_field = nullptr;
};

// A packet format with a directly decoded slot field of the record's size
// and slot, skipping the two-S formats.
Holder holder_for(uint32_t arch, const InstructionRecord &r) {
    const ArchitectureTables &t = *TablesOf(arch);
    for (uint32_t i = 0; i < t.record_count; ++i) {
        const InstructionRecord &f = t.records[i];
        if (f.size != 64 || f.slot != SLOT_WORD || (t.info[i].traits & TRAIT_TWO_S)) continue;
        for (int k = 0; k < 64 && f.operands[k].syntax_name; ++k) {
            const FieldRecord *field = FindField(arch, f.operands[k].field_name);
            if (field && DirectSlotCode(f.operands[k].syntax_name) && field->bit_count == r.size &&
                SlotOfField(f.operands[k].syntax_name) == r.slot)
                return {&f, f.operands[k].syntax_name};
        }
    }
    return {};
}

class Roundtrip {
  public:
    explicit Roundtrip(uint32_t arch) : arch_(arch), width_(arch <= 3 ? 64 : 32) {}

    enum Result { kChecked, kMissed, kNotPlaceable };

    // kMissed when no word was found that the record wins (a search like the
    // generator's reachability check: start from the record's own value, and
    // flip a free bit that the current winner fixes).
    Result Check(const InstructionRecord &r) {
        SelectArchitecture(arch_);
        bool whole = r.size == width_;
        Holder h;
        if (!whole) {
            h = holder_for(arch_, r);
            bool empty = r.value == 0 && !r.operands[0].syntax_name; // an empty slot
            if (!h.format || empty) return kNotPlaceable;
        } else if (r.slot == SLOT_WORD && arch_ <= 3) {
            return kNotPlaceable; // packet formats are covered by the slot records
        }
        uint64_t own = 0;
        if (!FindOwnWord(r, whole, &own)) return kMissed;
        uint64_t word = own;
        if (!whole) {
            EXPECT_TRUE(EncodeRecord(arch_, h.format, {{h.slot_field, own}}, &word));
        }
        decode(arch_, word, OPT_RENDER, 64);
        if (!ExpectDecoded(r, own, whole)) ADD_FAILURE() << r.name << " word " << std::hex << word;
        return kChecked;
    }

  private:
    bool Wins(const InstructionRecord &r, bool whole, uint64_t own,
              const InstructionRecord **winner) const {
        *winner = whole ? MatchLinear(own, width_, 0, 0) : MatchLinear(own, r.size, 0, r.slot);
        return (whole || own != 0) && (*winner == &r || same_encoding(*winner, &r));
    }

    bool FindOwnWord(const InstructionRecord &r, bool whole, uint64_t *own) {
        uint64_t free_bits = low_mask(r.size) & ~r.mask & ~LoopMask();
        for (int restart = 0; restart < 64; ++restart) {
            uint64_t word = restart ? r.value | (rng_() & free_bits) : r.value;
            for (int step = 0; step < 64; ++step) {
                const InstructionRecord *winner = nullptr;
                if (Wins(r, whole, word, &winner)) return *own = word, true;
                uint64_t flippable = (winner ? winner->mask : free_bits) & free_bits;
                if (!flippable) break;
                uint64_t pick = rng_() % static_cast<uint64_t>(std::popcount(flippable));
                for (uint64_t m = flippable; m; m &= m - 1)
                    if (pick-- == 0) {
                        word ^= m & (~m + 1);
                        break;
                    }
            }
        }
        return false;
    }

    uint64_t LoopMask() const {
        const InstructionRecord *l = TablesOf(arch_)->loop_markers[0];
        return arch_ > 3 && l ? l->mask : 0;
    }

    bool ExpectDecoded(const InstructionRecord &r, uint64_t own, bool whole) {
        if (GetInstructionCount() < 1) return false;
        const InstructionRecord *got = GetInstructionRecord(0);
        if (got != &r && !same_encoding(got, &r)) return false;
        uint32_t n = 0;
        for (int k = 0; k < 64 && r.operands[k].syntax_name; ++k) {
            const Field *f = FindFieldObject(r.operands[k].field_name);
            if (!f) continue;
            bool slot_field = r.size == 64 && std::strncmp(r.operands[k].syntax_name, "op", 2) == 0;
            if (whole && arch_ <= 3 && slot_field) continue;
            std::string want = f->RenderText(own, 0, whole ? width_ : r.size, OPT_RENDER);
            if (arch_ > 3)
                for (char &c : want)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const OperandRecord *op = GetOperand(0, n++);
            if (!op || want != op->text || std::strcmp(op->syntax_name, r.operands[k].syntax_name))
                return false;
        }
        return n == GetOperandCount(0);
    }

    uint32_t arch_, width_;
    std::mt19937_64 rng_{12345};
};

void roundtrip_all(uint32_t arch, uint32_t *checked, uint32_t *total,
                   std::string *missed = nullptr) {
    Roundtrip rt(arch);
    uint32_t width = arch <= 3 ? 64 : 32;
    for (uint32_t i = 0; i < TableSize(arch); ++i) {
        const InstructionRecord &r = *TableRecord(arch, i);
        if (r.size < width && r.slot == SLOT_WORD) continue; // sub-slots and loop markers
        Roundtrip::Result result = rt.Check(r);
        if (result == Roundtrip::kNotPlaceable) continue;
        ++*total;
        if (result == Roundtrip::kChecked)
            ++*checked;
        else if (missed)
            *missed += std::string(" ") + r.name;
    }
}

void compare_index_with_scan(uint32_t arch, int samples) {
    SelectArchitecture(arch);
    const ArchitectureTables &t = *TablesOf(arch);
    uint32_t width = arch <= 3 ? 64 : 32;
    std::mt19937_64 rng(arch * 7919);
    for (int n = 0; n < samples && t.record_count; ++n) {
        const InstructionRecord &near = t.records[rng() % t.record_count];
        // Words near a record's encoding hit matches; plain random words mostly miss.
        uint64_t v = n % 4 == 0 ? rng() : near.value | (rng() & ~near.mask);
        if (near.size == width || n % 2) {
            uint64_t w = v & low_mask(width);
            ASSERT_EQ(MatchWord(w, width, 0), MatchLinear(w, width, 0, 0)) << std::hex << w;
        }
        if (near.size < 64 && near.slot) {
            uint64_t s = v & low_mask(near.size);
            ASSERT_EQ(MatchSlot(s, near.size, near.slot), MatchLinear(s, near.size, 0, near.slot))
                << near.name << " " << std::hex << s;
        }
    }
}

// Narrow classes (and only those) have a winner for every value, which is
// the record the plain scan finds.
void compare_direct_with_scan(uint32_t arch) {
    SelectArchitecture(arch);
    const ArchitectureTables &t = *TablesOf(arch);
    for (const MatchClass &c : t.classes) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << " slot " << c.slot);
        ASSERT_EQ(c.direct.empty(), c.size > MatchClass::kDirectBits);
        for (uint64_t v = 0; v < c.direct.size(); ++v) {
            uint32_t got = c.direct[v];
            ASSERT_EQ(got == MatchClass::kNone ? nullptr : &t.records[got],
                      MatchLinear(v, c.size, 0, c.slot))
                << "value " << v;
        }
    }
}

class Property : public FixtureTest {};

TEST_F(Property, FixtureRecordsRoundTrip) {
    for (uint32_t arch = 1; arch <= 4; ++arch) {
        uint32_t checked = 0, total = 0;
        roundtrip_all(arch, &checked, &total);
        EXPECT_GT(total, 5u) << "architecture " << arch;
        EXPECT_EQ(checked, total) << "architecture " << arch;
    }
}

TEST_F(Property, FixtureIndexAgreesWithScan) {
    for (uint32_t arch = 1; arch <= 6; ++arch) {
        compare_index_with_scan(arch, 20000);
        compare_direct_with_scan(arch);
    }
}

// Every record that can be placed decodes back from a word it wins.
TEST(GeneratedTables, RecordsRoundTrip) {
    for (uint32_t arch = 1; arch <= 6; ++arch) {
        ASSERT_GT(TableSize(arch), 0u) << "architecture " << arch;
        uint32_t checked = 0, total = 0;
        std::string missed;
        roundtrip_all(arch, &checked, &total, &missed);
        EXPECT_GT(total, 0u) << "architecture " << arch;
        EXPECT_EQ(checked, total) << "architecture " << arch << ": no winning word for" << missed;
    }
}

TEST(GeneratedTables, IndexAgreesWithScan) {
    for (uint32_t arch = 1; arch <= 6; ++arch) {
        ASSERT_GT(TableSize(arch), 0u) << "architecture " << arch;
        compare_index_with_scan(arch, 200000);
        compare_direct_with_scan(arch);
    }
}

// Key bits are read in as few byte lookups as their positions allow, each
// gathered into its own bucket number bit, and nothing else is.
TEST(MatchIndex, ByteKeysGatherEachKeyBitOnce) {
    struct Case {
        const char *name;
        std::vector<uint32_t> key_bits, shifts;
    } cases[] = {
        {"no key bits", {}, {}},
        {"one aligned byte", {7, 0, 3}, {0}},
        {"across a byte boundary", {12, 6, 9}, {6}},
        {"seven apart", {1, 8}, {1}},
        {"eight apart", {0, 8}, {0, 8}},
        {"three bytes", {20, 10, 0}, {0, 10, 20}},
        {"word top", {63, 60}, {60}},
        {"twelve high bits", {63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52}, {52, 60}},
        {"spread", {40, 17, 9, 1}, {1, 9, 17, 40}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        MatchClass c;
        c.size = 64;
        c.key_bits = k.key_bits;
        BuildByteKeys(c);
        std::vector<uint32_t> shifts;
        for (const MatchClass::ByteKey &key : c.byte_keys) shifts.push_back(key.shift);
        EXPECT_EQ(shifts, k.shifts);
        uint32_t n = static_cast<uint32_t>(k.key_bits.size());
        EXPECT_EQ(c.Bucket(0), 0u);
        EXPECT_EQ(c.Bucket(~0ULL), (1u << n) - 1);
        for (uint32_t b = 0; b < n; ++b)
            EXPECT_EQ(c.Bucket(1ULL << k.key_bits[b]), 1u << b) << "key bit " << b;
    }
}

// Slot steps are taken by the word's set bits only when their bit ranges are
// disjoint and in step order; every placed bit then leads to its own step.
TEST(SlotSteps, ScannedByBitsOnlyInBitOrder) {
    struct Step {
        uint64_t placed;
        uint32_t slot;
    };
    struct Case {
        const char *name;
        std::vector<Step> steps;
        bool scanned, from_top;
    } cases[] = {
        {"rising", {{0x00FF, 1}, {0x0F00, 2}, {0xF000ULL << 48, 3}}, true, false},
        {"falling", {{0xFF00ULL << 48, 1}, {0x00F0, 2}, {0x000F, 3}}, true, true},
        {"single", {{0x0FF0, 1}}, true, false},
        {"never filled step skipped", {{0x000F, 1}, {0, 2}, {0x00F0, 3}}, true, false},
        {"interleaved", {{0x0F0F, 1}, {0x00F0, 2}}, false, false},
        {"overlapping", {{0x00FF, 1}, {0x0FF0, 2}}, false, false},
        {"out of order", {{0x000F, 1}, {0x0F00, 2}, {0x00F0, 3}}, false, false},
        {"operand step", {{0x000F, 1}, {~0ULL, 0}}, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<SlotStep> steps;
        for (const Step &s : c.steps) steps.push_back({s.placed, {}, s.slot, 0});
        StepScan scan;
        ASSERT_EQ(ScanStepsByBits(steps.data(), static_cast<uint32_t>(steps.size()), scan),
                  c.scanned);
        if (!c.scanned) continue;
        EXPECT_EQ(scan.from_top, c.from_top);
        uint64_t all = 0;
        for (uint32_t k = 0; k < steps.size(); ++k) {
            all |= steps[k].placed;
            for (uint64_t m = steps[k].placed; m; m &= m - 1)
                EXPECT_EQ(scan.owner[std::countr_zero(m)], k) << "bit " << std::countr_zero(m);
        }
        EXPECT_EQ(scan.placed, all);
    }
}

FieldRecord bits_field(const std::vector<uint32_t> &bits) {
    FieldRecord r{};
    r.kind = 1;
    r.name = "F_bits__";
    r.prefix = r.reloc_name = "";
    r.bit_count = static_cast<uint32_t>(bits.size());
    for (size_t i = 0; i < bits.size(); ++i) r.bits[i] = bits[i];
    return r;
}

// A slot's value read in one run or through its field is the field's value,
// none without a field, and its class is that of its width and slot code;
// a one-run value is matched through the class's winners by value when
// every value it can take has a place there.
TEST(SlotReads, ValueAndClassOfTheField) {
    ArchitectureTables t;
    std::memset(t.class_of, 0xff, sizeof t.class_of);
    t.classes.resize(2);
    t.class_of[4][SLOT_S] = t.class_of[4][0] = 0;
    t.classes[0].direct.resize(16);
    t.class_of[4][SLOT_X] = 1;
    t.classes[1].direct.resize(8); // too short for a 4-bit value
    struct Case {
        const char *name;
        std::vector<uint32_t> bits;
        uint32_t slot;
        int match_class; // -1: none
        bool direct;
    } cases[] = {
        {"one run", {23, 22, 21, 20}, SLOT_S, 0, true},
        {"one run at the word top", {63, 62, 61, 60}, SLOT_Z, -1, false},
        {"split runs", {49, 3, 2, 1}, SLOT_S, 0, false},
        {"reversed", {0, 1, 2, 3}, SLOT_S, 0, false},
        {"position 64 reads 0", {64, 2, 1, 0}, SLOT_S, 0, false},
        {"operand of the record, never matched", {23, 22, 21, 20}, 0, -1, false},
        {"five bits, no class", {24, 23, 22, 21, 20}, SLOT_S, -1, false},
        {"winners too few for the values", {23, 22, 21, 20}, SLOT_X, 1, false},
    };
    std::mt19937_64 rng(7);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FieldRecord record = bits_field(c.bits);
        std::unique_ptr<Field> field(MakeField(&record));
        SlotRead read = ReadOfSlot(t, field.get(), c.slot);
        EXPECT_EQ(read.width, c.bits.size());
        const MatchClass *want = c.match_class < 0 ? nullptr : &t.classes[c.match_class];
        EXPECT_EQ(read.match_class, want);
        EXPECT_EQ(read.direct, c.direct ? want->direct.data() : nullptr);
        for (uint64_t w :
             std::vector<uint64_t>{0, ~0ULL, 0x00F0000000000005ULL, rng(), rng(), rng()})
            EXPECT_EQ(read.Value(w), field->Extract(w, 0, 64)) << std::hex << w;
    }
    SlotRead none = ReadOfSlot(t, nullptr, SLOT_S);
    EXPECT_EQ(none.width, 0u);
    EXPECT_EQ(none.Value(~0ULL), 0u);
    EXPECT_EQ(none.match_class, nullptr);
    EXPECT_EQ(none.direct, nullptr);
}

// Blocks follow each other, their records and rendered texts at the same
// places as the list's; a cleared list keeps its records.
TEST(OperandLists, BlocksAppendInPlace) {
    const std::vector<std::vector<size_t>> rounds = {{0, 3, 1, 5}, {2}, {9, 0, 1}, {1, 1, 1}};
    OperandList list;
    const OperandRecord *kept = nullptr;
    size_t most = 0;
    for (const std::vector<size_t> &blocks : rounds) {
        list.clear();
        size_t expected = 0;
        for (size_t n : blocks) {
            size_t first = list.AppendBlock(n);
            EXPECT_EQ(first, expected);
            expected += n;
            ASSERT_EQ(list.size(), expected);
            for (size_t i = 0; i < n; ++i) {
                EXPECT_EQ(list.Items() + first + i, &list[first + i]);
                EXPECT_EQ(list.RenderedTexts() + first + i, &list.Rendered(first + i));
            }
        }
        // No larger than an earlier round: no record is made again.
        if (expected <= most)
            EXPECT_EQ(list.Items(), kept);
        else
            most = expected;
        kept = list.Items();
    }
}

TEST(GeneratedTables, RixuTwoAndThreeDecodeAlike) {
    ASSERT_GT(TableSize(ARCH_RIXU2), 0u);
    ASSERT_GT(TableSize(ARCH_RIXU3), 0u);
    std::mt19937_64 rng(99);
    for (int n = 0; n < 20000; ++n) {
        uint64_t w = rng() & 0xFFFFFFFF;
        std::string two = decode_text(ARCH_RIXU2, w), three = decode_text(ARCH_RIXU3, w);
        ASSERT_EQ(two, three) << std::hex << w;
    }
}

// Callers walk an instruction's operands from the first record: they must be
// consecutive, for every set and packet shape.
TEST(GeneratedTables, OperandsOfAnInstructionAreConsecutive) {
    const uint32_t sets[] = {ARCH_ZEMA1, ARCH_ZEMA2, ARCH_ZEMA3,
                             ARCH_RIXU1, ARCH_RIXU2, ARCH_RIXU3};
    std::mt19937_64 rng(7);
    for (uint32_t arch : sets) {
        uint32_t with_operands = 0;
        for (int n = 0; n < 3000; ++n) {
            uint64_t w = arch <= 3 ? rng() : rng() & 0xFFFFFFFF;
            uint8_t bytes[8];
            std::memcpy(bytes, &w, sizeof bytes);
            DecodeInstruction(bytes, sizeof bytes, OPT_RENDER, arch, 0);
            for (uint32_t i = 0; i < GetInstructionCount(); ++i) {
                uint32_t count = GetOperandCount(i);
                if (count > 1) with_operands++;
                for (uint32_t j = 1; j < count; ++j)
                    ASSERT_EQ(GetOperand(i, j), GetOperand(i, 0) + j) << arch << std::hex << w;
            }
        }
        EXPECT_GT(with_operands, 100u) << arch;
    }
}

} // namespace
