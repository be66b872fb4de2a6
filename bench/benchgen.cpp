// Builds the benchmark objects (see benchgen.h). Words come from the
// generated tables through the encoder; the generator decodes each word once
// to find the operands that can carry a relocation, in the order the lister
// attaches relocations to them.
#include "bench/benchgen.h"

#include <map>
#include <optional>
#include <random>
#include <vector>

#include "decodelib/encoder.h"
#include "decodelib/src/state.h"
#include "elflib/elfread.h"

namespace benchgen {

namespace {

using namespace ZEMADisasmLib;

constexpr uint32_t kTextIndex = 1, kDataIndex = 2;
constexpr uint32_t kExecText = 0x10000, kExecData = 0x400000;
constexpr uint32_t kCodeWordsPerDataWord = 64;
constexpr uint8_t kShift = 4; // 16 addressable units
constexpr uint32_t kExprEnd = 0xFF, kExprOperator = 0xFE, kExprOperand = 0xFD, kDataWord = 12;

uint64_t low_mask(uint32_t n) {
    return n >= 64 ? ~0ULL : (1ULL << n) - 1;
}

// File architecture code (e_flags low byte) and RIXU section flag of a set.
uint32_t file_arch(uint32_t arch) {
    static const uint32_t codes[] = {0, 2, 3, 0, 2, 3};
    return codes[arch - 1];
}

// Addressable units per operand value of program addresses.
uint32_t address_scale(uint32_t arch) {
    static const uint32_t scales[] = {4, 4, 2, 1};
    return scales[file_arch(arch)];
}

bool is_program_reloc(uint32_t type) {
    return type == 4 || type == 5 || type == 9 || type == 13 || type == 14 || type == 15 ||
           type == 17 || type == 20 || type == 30;
}

// Chance in percent that a slot field of a packet format is filled.
uint32_t fill_percent(uint32_t slot) {
    switch (slot) {
    case SLOT_X:
        return 10;
    case SLOT_Z:
        return 15;
    case SLOT_A:
    case SLOT_B:
    case SLOT_C:
    case SLOT_D:
    case SLOT_S:
        return 85;
    default:
        return 30; // vector slots
    }
}

class WordMaker {
  public:
    WordMaker(uint32_t arch, std::mt19937_64 &rng, bool executable)
        : arch_(arch), rng_(rng), executable_(executable) {
        uint32_t width = arch <= ARCH_ZEMA3 ? 64 : 32;
        for (uint32_t i = 0; i < TableSize(arch); ++i) {
            const InstructionRecord *r = TableRecord(arch, i);
            if (r->size != width)
                slots_[{r->slot, r->size}].push_back(r);
            else if (r->slot == SLOT_WORD && width == 64)
                formats_.push_back(r);
            else if (r->slot == SLOT_C || r->slot == SLOT_D || width == 32)
                longs_.push_back(r);
            else
                others_.push_back(r);
        }
    }

    // Program addresses (in bytes) that jump targets may name.
    void set_targets(const std::vector<uint32_t> *targets) { targets_ = targets; }

    uint64_t next() {
        uint32_t pick = static_cast<uint32_t>(rng_() % 100);
        if (!formats_.empty() && pick < 70) return whole(*any(formats_));
        if (!longs_.empty() && (pick < 97 || others_.empty())) return whole(*any(longs_));
        return others_.empty() ? 0 : whole(*any(others_));
    }

  private:
    template <typename T> const T &any(const std::vector<T> &v) { return v[rng_() % v.size()]; }

    uint64_t operand_value(const FieldRecord &f) {
        uint64_t mask = low_mask(f.bit_count);
        if (executable_ && targets_ && !targets_->empty() && is_program_reloc(f.reloc_type) &&
            f.reloc_width && rng_() % 2) {
            uint64_t value = any(*targets_) / address_scale(arch_);
            uint64_t room = f.is_signed ? mask >> 1 : mask;
            if (value <= room) return value;
        }
        return rng_() & mask;
    }

    // A slot field's value: an encoded slot instruction, or 0 (empty).
    uint64_t slot_value(const OperandName &op, const FieldRecord &f) {
        uint32_t slot = SlotOfField(op.syntax_name);
        if (rng_() % 100 >= fill_percent(slot)) return 0;
        auto it = slots_.find({slot, f.bit_count});
        if (it == slots_.end()) return 0;
        uint64_t value = 0;
        const InstructionRecord *r = any(it->second);
        return EncodeRecord(arch_, r, operands(*r), &value) ? value : 0;
    }

    OperandValues operands(const InstructionRecord &r) {
        OperandValues values;
        for (const OperandName *op = r.operands; op->syntax_name; ++op) {
            const FieldRecord *f = FindField(arch_, op->field_name);
            if (!f || f->bit_count > 64) continue;
            bool slot = f->kind == 1 && SlotOfField(op->syntax_name) != SLOT_WORD;
            values.push_back({f->name, slot ? slot_value(*op, *f) : operand_value(*f)});
        }
        return values;
    }

    uint64_t whole(const InstructionRecord &r) {
        uint64_t bits = 0;
        return EncodeRecord(arch_, &r, operands(r), &bits) ? bits : r.value;
    }

    uint32_t arch_;
    std::mt19937_64 &rng_;
    bool executable_;
    const std::vector<uint32_t> *targets_ = nullptr;
    std::vector<const InstructionRecord *> formats_, longs_, others_;
    std::map<std::pair<uint32_t, uint32_t>, std::vector<const InstructionRecord *>> slots_;
};

// Relocation types of the word's relocatable operands in listing order, and
// its decoded instruction count.
std::vector<uint32_t> relocatable_types(const zema_test::Bytes &word, uint32_t arch,
                                        uint64_t *micro_instructions) {
    std::vector<uint32_t> types;
    DecodeInstruction(word.data(), word.size(), OPT_RENDER, arch, 1 << kShift);
    *micro_instructions += GetInstructionCount();
    for (uint32_t i = 0; i < GetInstructionCount(); ++i)
        for (uint32_t j = 0; j < GetOperandCount(i); ++j)
            if (GetOperand(i, j)->reloc_type) types.push_back(GetOperand(i, j)->reloc_type);
    return types;
}

struct Builder {
    const Request &request;
    Summary &summary;
    std::mt19937_64 rng;
    zema_test::ElfWriter elf;
    std::vector<uint32_t> label_symbols; // symbol indices
    std::vector<uint32_t> label_offsets; // code offsets of the labels

    Builder(const Request &r, Summary &s) : request(r), summary(s), rng(r.seed) {}

    uint32_t word_bytes() const { return request.arch <= ARCH_ZEMA3 ? 8 : 4; }
    uint32_t text_address() const { return request.executable ? kExecText : 0; }

    // Labels about every 50 words; every eighth one a global function.
    void plan_labels() {
        for (uint32_t w = 0; w < request.words; w += 30 + static_cast<uint32_t>(rng() % 41)) {
            label_offsets.push_back(w * word_bytes());
        }
    }

    void add_labels() {
        for (size_t k = 0; k < label_offsets.size(); ++k) {
            bool function = k % 8 == 0;
            std::string name = (function ? "fn_" : ".L") + std::to_string(k);
            auto s = elf.symbol(name)
                         .value(text_address() + label_offsets[k])
                         .shndx(kTextIndex)
                         .type(function ? STT_FUNC : STT_NOTYPE)
                         .bind(function ? STB_GLOBAL : STB_LOCAL)
                         .size(function ? 64 * word_bytes() : 0);
            label_symbols.push_back(s.index());
        }
        summary.labels += label_offsets.size();
    }

    void relocate_plain(zema_test::RelocBuilder &rela, uint32_t offset, uint32_t type) {
        uint32_t symbol = label_symbols[rng() % label_symbols.size()];
        int32_t addend = rng() % 4 ? 0 : static_cast<int32_t>(8 * (rng() % 16));
        rela.add(offset, type, symbol, addend);
    }

    // (a - b) >> 2 as an expression of four entries and its end.
    void relocate_expression(zema_test::RelocBuilder &rela, uint32_t offset, uint32_t type) {
        rela.add(offset, kExprOperand, label_symbols[rng() % label_symbols.size()]);
        rela.add(offset, kExprOperand, label_symbols[rng() % label_symbols.size()]);
        rela.add(offset, kExprOperator, 0, 8);
        rela.add(offset, kExprOperand, 0, 2);
        rela.add(offset, kExprOperator, 0, 12);
        rela.add(offset, kExprEnd, 0, static_cast<int32_t>(type));
    }

    void relocate_word(zema_test::RelocBuilder &rela, uint32_t offset,
                       const std::vector<uint32_t> &types) {
        bool all = request.relocations == Relocations::All;
        uint32_t count = 0;
        for (size_t k = 0; k < types.size(); ++k) count += all || rng() % 2;
        // The lister gives a word's relocations to its relocatable operands in order.
        for (uint32_t k = 0; k < count; ++k) {
            if (all && rng() % 4 == 0)
                relocate_expression(rela, offset, types[k]);
            else
                relocate_plain(rela, offset, types[k]);
        }
        summary.relocations += count;
    }

    zema_test::Bytes code() {
        WordMaker maker(request.arch, rng, request.executable);
        std::vector<uint32_t> targets;
        for (uint32_t offset : label_offsets) targets.push_back(text_address() + offset);
        maker.set_targets(&targets);
        zema_test::Bytes bytes;
        std::optional<zema_test::RelocBuilder> rela;
        if (!request.executable) rela = elf.rela(kTextIndex);
        for (uint32_t w = 0; w < request.words; ++w) {
            zema_test::Bytes word = WordBytes(maker.next(), word_bytes() * 8);
            std::vector<uint32_t> types =
                relocatable_types(word, request.arch, &summary.micro_instructions);
            summary.relocatable_operands += types.size();
            if (rela) relocate_word(*rela, static_cast<uint32_t>(bytes.size()), types);
            bytes.insert(bytes.end(), word.begin(), word.end());
        }
        summary.words += request.words;
        return bytes;
    }

    // One 32-bit word per 64 code words; every other one a relocated
    // pointer into the code (relocatable files), an object label every 8.
    zema_test::Bytes data() {
        uint32_t count = request.words / kCodeWordsPerDataWord + 1;
        zema_test::Bytes bytes;
        std::optional<zema_test::RelocBuilder> rela;
        if (!request.executable) rela = elf.rela(kDataIndex);
        for (uint32_t k = 0; k < count; ++k) {
            uint32_t offset = 4 * k;
            if (k % 8 == 0)
                elf.symbol("obj_" + std::to_string(k))
                    .value((request.executable ? kExecData : 0) + offset)
                    .shndx(kDataIndex)
                    .type(STT_OBJECT)
                    .bind(STB_GLOBAL)
                    .size(32);
            if (rela && k % 2) {
                relocate_plain(*rela, offset, kDataWord);
                summary.relocations++;
            }
            zema_test::Bytes value = elf.u32(static_cast<uint32_t>(rng()));
            bytes.insert(bytes.end(), value.begin(), value.end());
        }
        summary.data_bytes += bytes.size();
        return bytes;
    }

    zema_test::Bytes build() {
        elf.type(request.executable ? ET_EXEC : ET_REL)
            .flags(file_arch(request.arch) | (uint32_t{kShift} << 8));
        uint32_t rixu = request.arch > ARCH_ZEMA3 ? SHF_RIXU : 0;
        auto text = elf.section(".text")
                        .type(SHT_PROGBITS)
                        .flags(SHF_ALLOC | SHF_EXECINSTR | rixu)
                        .addr(text_address())
                        .align(8);
        auto data_section = elf.section(".data")
                                .type(SHT_PROGBITS)
                                .flags(SHF_ALLOC | SHF_WRITE)
                                .addr(request.executable ? kExecData : 0)
                                .align(4);
        elf.symbol("bench.zsrc").type(STT_FILE).shndx(SHN_ABS);
        for (uint32_t k = 0; k < 16; ++k)
            elf.symbol("EQU_" + std::to_string(k)).value(k * 3).shndx(SHN_ABS).bind(STB_GLOBAL);
        plan_labels();
        add_labels();
        text.data(code());
        data_section.data(data());
        if (request.executable) {
            elf.qz_space(kTextIndex, 1); // program memory
            elf.qz_space(kDataIndex, 0);
        }
        return elf.build();
    }
};

} // namespace

uint32_t arch_of_name(const std::string &name) {
    static const char *const names[] = {"zema1", "zema2", "zema3", "rixu1", "rixu2", "rixu3"};
    for (uint32_t k = 0; k < 6; ++k)
        if (name == names[k]) return k + 1;
    return 0;
}

zema_test::Bytes build_object(const Request &request, Summary *summary) {
    if (request.arch < ARCH_ZEMA1 || request.arch > ARCH_RIXU3) return {};
    Summary ignored;
    Builder builder(request, summary ? *summary : ignored);
    return builder.build();
}

} // namespace benchgen
