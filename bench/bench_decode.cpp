// DecodeInstruction + FormatPacket per word, for each architecture, over a
// buffer of words built with the encoder from random records.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "decodelib/encoder.h"
#include "decodelib/src/generated_tables.h"
#include "decodelib/src/state.h"

namespace ZEMADisasmLib {
extern const GeneratedTables kFixtureTablesZEMA1, kFixtureTablesZEMA2, kFixtureTablesZEMA3,
    kFixtureTablesRIXU1;
} // namespace ZEMADisasmLib

namespace {

using namespace ZEMADisasmLib;

uint64_t low_mask(uint32_t n) {
    return n >= 64 ? ~0ULL : (1ULL << n) - 1;
}

// Falls back to the fixture description of a set without generated tables.
bool ensure_tables(uint32_t arch) {
    static bool checked[7], generated[7];
    if (checked[arch]) return generated[arch];
    checked[arch] = true;
    generated[arch] = TableSize(arch) > 0;
    if (generated[arch]) return true;
    static const GeneratedTables *const fixtures[] = {&kFixtureTablesZEMA1, &kFixtureTablesZEMA2,
                                                      &kFixtureTablesZEMA3, &kFixtureTablesRIXU1};
    const GeneratedTables *t = fixtures[arch <= 4 ? arch - 1 : 3];
    InstallGeneratedTables(arch, *t);
    return false;
}

class WordBuilder {
  public:
    explicit WordBuilder(uint32_t arch) : arch_(arch) {
        for (uint32_t i = 0; i < TableSize(arch); ++i) {
            const InstructionRecord *r = TableRecord(arch, i);
            if (arch <= 3 && r->size == 64 && r->slot == SLOT_WORD)
                formats_.push_back(r);
            else if (r->size == (arch <= 3 ? 64u : 32u))
                wholes_.push_back(r);
            else
                slots_.push_back(r);
        }
    }

    uint64_t Next() {
        bool packet = arch_ <= 3 && !formats_.empty() && (wholes_.empty() || rng_() % 4 != 0);
        if (packet) return Packet(*formats_[rng_() % formats_.size()]);
        if (wholes_.empty()) return 0;
        uint64_t bits = 0;
        const InstructionRecord *r = wholes_[rng_() % wholes_.size()];
        EncodeRecord(arch_, r, RandomOperands(*r, arch_ > 3), &bits);
        return bits;
    }

  private:
    OperandValues RandomOperands(const InstructionRecord &r, bool with_slots) {
        OperandValues v;
        for (int k = 0; k < 64 && r.operands[k].syntax_name; ++k) {
            const FieldRecord *f = FindField(arch_, r.operands[k].field_name);
            bool slot = std::strncmp(r.operands[k].syntax_name, "op", 2) == 0;
            if (f && f->bit_count <= 64 && (with_slots || !slot))
                v.push_back({f->name, rng_() & low_mask(f->bit_count)});
        }
        return v;
    }

    uint64_t Packet(const InstructionRecord &format) {
        OperandValues slots;
        for (int k = 0; k < 64 && format.operands[k].syntax_name; ++k) {
            const FieldRecord *f = FindField(arch_, format.operands[k].field_name);
            if (!f || rng_() % 4 == 0) continue; // leave some slots empty
            uint32_t slot = SlotOfField(format.operands[k].syntax_name);
            std::vector<const InstructionRecord *> fit;
            for (const InstructionRecord *r : slots_)
                if (r->slot == slot && r->size == f->bit_count) fit.push_back(r);
            if (fit.empty()) continue;
            const InstructionRecord *r = fit[rng_() % fit.size()];
            uint64_t value = 0;
            if (EncodeRecord(arch_, r, RandomOperands(*r, true), &value))
                slots.push_back({f->name, value});
        }
        uint64_t bits = 0;
        EncodeRecord(arch_, &format, slots, &bits);
        return bits;
    }

    uint32_t arch_;
    std::mt19937_64 rng_{2024};
    std::vector<const InstructionRecord *> formats_, wholes_, slots_;
};

void run(benchmark::State &state, bool format) {
    uint32_t arch = static_cast<uint32_t>(state.range(0));
    bool generated = ensure_tables(arch);
    unsigned width = arch <= 3 ? 64 : 32;
    WordBuilder builder(arch);
    std::vector<uint8_t> buffer;
    for (int i = 0; i < 4096; ++i) {
        std::vector<uint8_t> bytes = WordBytes(builder.Next(), width);
        buffer.insert(buffer.end(), bytes.begin(), bytes.end());
    }
    size_t words = buffer.size() / (width / 8), i = 0;
    for (auto _ : state) {
        const uint8_t *p = buffer.data() + (i++ % words) * (width / 8);
        DecodeInstruction(p, width / 8, OPT_RENDER | OPT_LINE_SEPARATOR, arch, 64);
        const char *text = nullptr;
        if (format) FormatPacket(&text);
        benchmark::DoNotOptimize(text);
    }
    state.SetLabel(generated ? "generated tables" : "fixture tables");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_DecodeAndFormat(benchmark::State &state) {
    run(state, true);
}
void BM_DecodeOnly(benchmark::State &state) {
    run(state, false);
}

BENCHMARK(BM_DecodeAndFormat)->DenseRange(1, 6)->ArgName("arch");
BENCHMARK(BM_DecodeOnly)->DenseRange(1, 6)->ArgName("arch");

} // namespace

BENCHMARK_MAIN();
