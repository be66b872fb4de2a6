// Packet decoding: matching words and slot values against the current table,
// the ZEMA packet, two-S and RIXU word procedures.
#include <bit>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "decodelib/match_rule.h"
#include "decodelib/slot_names.h"
#include "decodelib/src/state.h"

namespace ZEMADisasmLib {

namespace {

constexpr uint32_t kNoRecord = MatchClass::kNone;

// A little-endian word of the input, read in one load where the host allows.
template <typename Word> Word load_little(const uint8_t *bytes) {
    Word w;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&w, bytes, sizeof w);
    } else {
        w = 0;
        for (size_t i = 0; i < sizeof w; ++i)
            w |= static_cast<Word>(static_cast<Word>(bytes[i]) << (8 * i));
    }
    return w;
}

uint32_t match_indexed(uint64_t bits, uint32_t width, uint32_t slot) {
    const ArchitectureTables &t = *State().current;
    if (width > 64 || slot > 22 || t.class_of[width][slot] < 0) return kNoRecord;
    return t.classes[static_cast<size_t>(t.class_of[width][slot])].Winner(bits);
}

// The winner among the current tables' whole-word records, or kNoRecord.
[[gnu::always_inline]] inline uint32_t match_whole_word(uint64_t bits) {
    const MatchClass *c = State().current->word_class;
    return c ? c->Winner(bits) : kNoRecord;
}

const InstructionRecord *record_at(uint32_t index) {
    return index == kNoRecord ? nullptr : &RecordOf(*State().current, index);
}

// Makes room for one more decoded instruction (rarely: lists are kept).
[[gnu::noinline]] void grow_instructions() {
    DecoderState &s = State();
    s.instructions.emplace_back();
    s.operand_lists.emplace_back();
    ++s.instruction_room;
}

// Appends a decoded instruction with an empty operand list; returns its index.
[[gnu::always_inline]] inline uint32_t append_instruction(const InstructionRecord *record) {
    DecoderState &s = State();
    uint32_t i = s.count++;
    s.s_count += record->slot == SLOT_S;
    if (i == s.instruction_room) grow_instructions();
    DecodedInstruction &d = s.instructions[i];
    d.record = record;
    d.prefix_text = d.suffix_text = d.replacement_text = {};
    d.replaced = false;
    s.operand_lists[i].clear();
    return i;
}

void append_invalid(uint32_t width) {
    State().invalid.size = width;
    append_instruction(&State().invalid);
}

void lower_case(char *p) {
    for (; *p; ++p)
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
}

// The relocation members of an operand and its long_text, laid out as in
// OperandRecord so that one copy sets them.
static_assert(sizeof(OperandConstants::Names) ==
              offsetof(OperandRecord, text) - offsetof(OperandRecord, syntax_name));
static_assert(offsetof(OperandRecord, field_name) - offsetof(OperandRecord, syntax_name) ==
              offsetof(OperandConstants::Names, field_name));
static_assert(sizeof(OperandConstants::Relocation) ==
              sizeof(OperandRecord) - offsetof(OperandRecord, reloc_name));
static_assert(offsetof(OperandRecord, reloc_type) - offsetof(OperandRecord, reloc_name) ==
              offsetof(OperandConstants::Relocation, reloc_type));
static_assert(offsetof(OperandRecord, is_signed) - offsetof(OperandRecord, reloc_name) ==
              offsetof(OperandConstants::Relocation, is_signed));
static_assert(offsetof(OperandRecord, long_text) - offsetof(OperandRecord, reloc_name) ==
              offsetof(OperandConstants::Relocation, long_text));

// Sets k to the constants of an operand plan (in place: the array entry is
// written once); `lower_listed`: whether the tables' listings are
// lower-cased, which is when the letter cases are looked at.
void set_constants(OperandConstants &k, const OperandPlan &p, bool lower_listed) {
    const FieldRecord &f = *p.field->record;
    k.names = {p.name->syntax_name, p.name->field_name};
    k.relocation = {f.reloc_name ? f.reloc_name : "", f.reloc_type, f.reloc_width,
                    f.is_signed ? 1u : 0u, nullptr};
    k.field = p.field;
    k.clean = p.field->TextsClean();
    k.short_upper = true;
    k.rendered_upper = !lower_listed || !p.field->RendersNumbersOnly();
    k.text_kind = OperandConstants::kRendered;
    k.from = k.small_below = k.small_shift = k.number_bits = k.number_shift = 0;
    k.run_limit = UINT32_MAX;
    k.mask = 0;
    k.short_texts = nullptr;
    k.short_lengths = nullptr;
    k.short_count = 0;
    if (!p.field->OneRun(k.from, k.mask)) return;
    k.run_limit = p.field->RunLimit();
    // Kind 1: immediates, kind 2: tabled fields.
    if (f.kind == 1) {
        k.text_kind = OperandConstants::kNumber;
        k.number_bits = f.bit_count;
        k.number_shift = static_cast<const ImmediateField *>(p.field)->shift;
        k.small_below =
            static_cast<uint8_t>(SmallImmediateBound(f.bit_count, f.is_signed, k.number_shift));
        k.small_shift = static_cast<uint8_t>(k.number_shift < 4 ? k.number_shift : 0);
    } else if (f.kind == 2) {
        auto shorts = static_cast<const TabledField *>(p.field)->Shorts();
        k.text_kind = OperandConstants::kShortText;
        k.short_texts = shorts.texts;
        k.short_lengths = shorts.lengths;
        k.short_count = shorts.count;
        k.short_upper =
            !lower_listed || !static_cast<const TabledField *>(p.field)->ShortTextsLowerCase();
    }
}

// A new constant block for the plans of `info`.
const OperandConstants *make_constants(ArchitectureTables &t, const RecordInfo &info) {
    auto &block = t.constant_blocks.emplace_back(
        std::make_unique_for_overwrite<OperandConstants[]>(info.plan_count));
    for (uint32_t i = 0; i < info.plan_count; ++i)
        set_constants(block[i], t.plans[info.plan_begin + i], t.arch >= ARCH_RIXU1);
    return block.get();
}

// Puts shared_plans entry `index` in the open-addressed slots (grown first
// when they would be more than half full).
void add_shared_slot(ArchitectureTables &t, uint32_t index) {
    std::vector<uint32_t> &slots = t.shared_slots;
    if (2 * (index + 1) > slots.size()) {
        slots.assign(std::max<size_t>(64, 2 * slots.size()), 0);
        for (uint32_t k = 0; k < index; ++k) add_shared_slot(t, k);
    }
    size_t i = t.shared_plans[index].hash & (slots.size() - 1);
    while (slots[i]) i = (i + 1) & (slots.size() - 1);
    slots[i] = index + 1;
}

// The shared entry of a record's plans, found (or made) on its first use.
ArchitectureTables::SharedPlans &shared_entry(ArchitectureTables &t, RecordInfo &info) {
    if (info.shared >= 0) return t.shared_plans[static_cast<size_t>(info.shared)];
    // First use: the record is expanded, its plans' names set.
    RecordOf(t, static_cast<uint32_t>(&info - t.info.data()));
    const OperandPlan *plans = t.plans.data() + info.plan_begin;
    bool whole = info.traits & TRAIT_WHOLE;
    uint64_t hash = (PlanListHash(plans, info.plan_count) & ~1ULL) | whole;
    const std::vector<uint32_t> &slots = t.shared_slots;
    for (size_t i = slots.empty() ? 0 : hash & (slots.size() - 1); !slots.empty() && slots[i];
         i = (i + 1) & (slots.size() - 1)) {
        const ArchitectureTables::SharedPlans &known = t.shared_plans[slots[i] - 1];
        if (known.hash == hash && known.plan_count == info.plan_count &&
            SamePlans(t.plans.data() + known.plan_begin, plans, info.plan_count)) {
            info.shared = static_cast<int32_t>(slots[i] - 1);
            return t.shared_plans[slots[i] - 1];
        }
    }
    info.shared = static_cast<int32_t>(t.shared_plans.size());
    t.shared_plans.push_back({hash, info.plan_begin, info.plan_count, whole});
    add_shared_slot(t, static_cast<uint32_t>(info.shared));
    return t.shared_plans.back();
}

[[gnu::noinline]] const OperandConstants *note_constants(ArchitectureTables &t, RecordInfo &info) {
    ArchitectureTables::SharedPlans &shared = shared_entry(t, info);
    if (!shared.constants) shared.constants = make_constants(t, info);
    return info.constants = shared.constants;
}

// The operand constants of the plans of `info`.
const OperandConstants *constants_of(ArchitectureTables &t, RecordInfo &info) {
    return info.constants ? info.constants : note_constants(t, info);
}

// Keeps the whole text of operand n, cut to the first 127 characters in its
// record, beside the record.
[[gnu::noinline]] void keep_whole_text(OperandList &list, size_t n, const Field &field,
                                       uint64_t bits, uint32_t boundary, bool lowercase) {
    std::string &whole = list.WholeText(n);
    whole = field.RenderText(bits, 0, boundary, State().options);
    if (lowercase) lower_case(whole.data());
    list[n].long_text = whole.c_str();
}

// Writes the short text of the operand's value; false when it has none.
[[gnu::always_inline]] inline bool put_short_text(const OperandConstants &k, uint64_t bits,
                                                  char *text, uint32_t &length) {
    uint64_t v = (bits >> k.from) & k.mask;
    if (v >= k.short_count) return false;
    length = k.short_lengths[v];
    if (length == TabledField::kNoShortText) return false;
    std::memcpy(text, k.short_texts[v].data(), 16);
    return true;
}

// Renders the text of operand n of the list through its field.
[[gnu::noinline]] uint32_t render_text(OperandList &list, size_t n, const OperandConstants &k,
                                       uint64_t bits, uint32_t boundary, bool lowercase) {
    OperandRecord &op = list[n];
    bool cut;
    size_t length;
    {
        TextSink sink(op.text, sizeof op.text);
        k.field->Render(bits, 0, boundary, State().options, sink);
        length = sink.Length();
        cut = sink.Cut();
    }
    if (lowercase && k.rendered_upper) lower_case(op.text);
    if (cut) keep_whole_text(list, n, *k.field, bits, boundary, lowercase);
    return static_cast<uint32_t>(length);
}

// How the operands of a decode are rendered: lower-cased (RIXU listings),
// and whether one-digit immediates are written in place (RIXU words, whose
// immediates are mostly small; on ZEMA slots the check costs more than it saves).
struct RenderStyle {
    bool lowercase, small_numbers;
};
constexpr RenderStyle kZema{false, false}, kRixu{true, true};

// Writes the text of an immediate's value v.
[[gnu::always_inline]] inline uint32_t write_number(const OperandConstants &k, uint64_t v,
                                                    char *text, RenderStyle style) {
    bool decimal = State().options & OPT_DECIMAL;
    if (style.small_numbers && v < k.small_below && !decimal) {
        text[0] = '+';
        text[1] = '$';
        text[2] = kHexDigits[v << k.small_shift];
        text[3] = '\0';
        return 3;
    }
    size_t length =
        FormatImmediate(v, k.number_bits, k.relocation.is_signed, k.number_shift, decimal, text);
    text[length] = '\0';
    return static_cast<uint32_t>(length);
}

// Sets operand n of `list`, its record `op` and rendered text `rendered`
// (passed apart so that a block of operands is set without vector reloads),
// from constants k rendered against `bits`.
[[gnu::always_inline]] inline void render_operand(OperandList &list, size_t n, OperandRecord &op,
                                                  RenderedText &rendered, const OperandConstants &k,
                                                  uint64_t bits, uint32_t boundary,
                                                  RenderStyle style) {
    bool lowercase = style.lowercase;
    std::memcpy(&op.syntax_name, &k.names, sizeof k.names);
    std::memcpy(&op.reloc_name, &k.relocation, sizeof k.relocation);
    uint32_t length = 0;
    // Most operands are short table texts or numbers: made without the
    // general rendering.
    bool run = boundary >= k.run_limit;
    if (run && k.text_kind == OperandConstants::kShortText &&
        put_short_text(k, bits, op.text, length)) {
        if (lowercase && k.short_upper) lower_case(op.text);
    } else if (run && k.text_kind == OperandConstants::kNumber) {
        length = write_number(k, (bits >> k.from) & k.mask, op.text, style);
    } else {
        length = render_text(list, n, k, bits, boundary, lowercase);
    }
    std::memcpy(rendered.head, op.text, sizeof rendered.head);
    rendered.length = length;
    rendered.clean = k.clean;
}

// Appends matched record `record` and renders all its operands against `bits`.
[[gnu::always_inline]] inline void append_rendered(uint32_t record, uint64_t bits,
                                                   uint32_t boundary, RenderStyle style) {
    ArchitectureTables &t = *State().current;
    RecordInfo &info = t.info[record];
    const OperandConstants *k = constants_of(t, info);
    uint32_t count = info.plan_count;
    OperandList &list = State().operand_lists[append_instruction(&t.records[record])];
    size_t first = list.AppendBlock(count);
    OperandRecord *op = list.Items() + first;
    RenderedText *rendered = list.RenderedTexts() + first;
    for (uint32_t i = 0; i < count; ++i)
        render_operand(list, first + i, op[i], rendered[i], k[i], bits, boundary, style);
}

struct SlotValue {
    uint64_t value = 0;
    uint32_t width = 0;
};

const InstructionRecord *swbreak_of_width(uint32_t width) {
    const InstructionRecord *found = nullptr;
    for (const InstructionRecord *r : State().current->swbreaks)
        if (r->size == width) found = r;
    return found;
}

void decode_swbreak_value(uint32_t width) {
    if (const InstructionRecord *sw = swbreak_of_width(width)) DecodeSlot(sw->value, width, SLOT_X);
}

// Appends the instruction matched as `m` for a slot value (INVALID when none).
[[gnu::always_inline]] inline void append_matched(uint32_t m, uint64_t value, uint32_t width) {
    if (m == kNoRecord) return append_invalid(width);
    append_rendered(m, value, width, kZema);
}

[[gnu::always_inline]] inline uint32_t match_read(const SlotRead &read, uint64_t value) {
    if (read.direct) return read.direct[value]; // value <= read.mask, which has its place
    return read.match_class ? read.match_class->Winner(value) : kNoRecord;
}

[[gnu::always_inline]] inline void decode_read(const SlotRead &read, uint64_t value) {
    append_matched(match_read(read, value), value, read.width);
}

// ZEMA1's X value, with the record it matches and that record's traits: matched
// once for the word, though the marker is looked at beside both S halves.
struct Zema1Marker {
    SlotValue x;
    uint32_t record = kNoRecord;
    uint8_t traits = 0;
};

Zema1Marker zema1_marker(const SlotRead &read, uint64_t bits) {
    Zema1Marker marker{{read.Value(bits), read.width}};
    if (marker.x.value == 0) return marker;
    marker.record = match_read(read, marker.x.value);
    if (marker.record != kNoRecord) marker.traits = State().current->info[marker.record].traits;
    return marker;
}

// ZEMA1: X 3 marks both halves, 2 the upper, 1 the lower one.
void zema1_break_marker(const Zema1Marker &marker, uint8_t half_trait) {
    if (marker.record == kNoRecord) return;
    if (marker.traits & TRAIT_SWBREAK)
        append_matched(marker.record, marker.x.value, marker.x.width);
    else if (marker.traits & half_trait)
        decode_swbreak_value(marker.x.width);
}

void decode_two_s(const TwoSFields &f, uint64_t bits, uint32_t arch) {
    Zema1Marker x = arch == ARCH_ZEMA1 ? zema1_marker(f.x, bits) : Zema1Marker{};
    uint64_t sh = f.s_hi.Value(bits), z = f.z.Value(bits);
    uint32_t upper = match_read(f.s_hi, sh);
    bool null = upper != kNoRecord && (State().current->info[upper].traits & TRAIT_NULL);
    if (arch == ARCH_ZEMA1)
        zema1_break_marker(x, TRAIT_SWBREAK_UPPER);
    else if (f.x_hi.Value(bits))
        decode_swbreak_value(f.x_hi.width);
    // An upper S of 0 is a nop on ZEMA1, not the null encoding: it is left out
    // like null, but its Z instruction must still be listed, after the lower S.
    bool upper_listed = !null && sh;
    if (upper_listed) {
        append_matched(upper, sh, f.s_hi.width);
        if (z) decode_read(f.z, z);
    }
    if (arch == ARCH_ZEMA1)
        zema1_break_marker(x, TRAIT_SWBREAK_LOWER);
    else if (f.x_lo.Value(bits))
        decode_swbreak_value(f.x_lo.width);
    decode_read(f.s_lo, f.s_lo.Value(bits));
    if (!upper_listed && z) decode_read(f.z, z);
}

// The word bits a slot field reads (its value, taken at boundary 64, is not
// zero exactly when one of them is set); all of them for an operand.
uint64_t placed_bits(const Field &field, uint32_t slot) {
    if (!slot) return ~0ULL;
    uint64_t placed = 0;
    for (uint32_t p : field.bits)
        if (p < 64) placed |= 1ULL << p;
    return placed;
}

void note_step_scan(ArchitectureTables &t, ArchitectureTables::SharedPlans &shared) {
    StepScan scan;
    if (!ScanStepsByBits(t.slot_steps.data() + shared.step_begin, shared.step_count, scan)) return;
    shared.step_scan = static_cast<int32_t>(t.step_scans.size());
    t.step_scans.push_back(scan);
}

// Notes the steps of a packet format record: its slot fields and, when the
// record is an instruction itself, its operands (by plan position in the record).
void make_steps(ArchitectureTables &t, const RecordInfo &info,
                ArchitectureTables::SharedPlans &shared) {
    shared.step_begin = static_cast<int32_t>(t.slot_steps.size());
    for (uint32_t k = 0; k < info.plan_count; ++k) {
        const OperandPlan &plan = t.plans[info.plan_begin + k];
        if (!plan.slot && !shared.whole) continue;
        t.slot_steps.push_back({placed_bits(*plan.field, plan.slot),
                                ReadOfSlot(t, plan.field, plan.slot), plan.slot, k});
    }
    shared.step_count =
        static_cast<uint32_t>(t.slot_steps.size()) - static_cast<uint32_t>(shared.step_begin);
    note_step_scan(t, shared);
}

[[gnu::noinline]] void note_steps(ArchitectureTables &t, uint32_t record) {
    RecordInfo &info = t.info[record];
    ArchitectureTables::SharedPlans &shared = shared_entry(t, info);
    if (shared.step_begin < 0) make_steps(t, info, shared);
    info.step_begin = shared.step_begin;
    info.step_count = shared.step_count;
    info.step_scan = shared.step_scan;
}

[[gnu::always_inline]] inline void decode_slot_step(const SlotStep &step, uint64_t bits) {
    decode_read(step.read, step.read.Value(bits));
}

// The filled slots of a packet in step order, found from the word's set bits
// (a loop per direction keeps the direction test out of the loop).
template <bool kFromTop>
void decode_slots_by_bits(const StepScan &scan, const SlotStep *steps, uint64_t bits) {
    for (uint64_t rest = bits & scan.placed; rest;) {
        uint32_t b = kFromTop ? 63 - static_cast<uint32_t>(std::countl_zero(rest))
                              : static_cast<uint32_t>(std::countr_zero(rest));
        const SlotStep &step = steps[scan.owner[b]];
        decode_slot_step(step, bits);
        rest &= ~step.placed;
    }
}

void decode_scanned_slots(const StepScan &scan, const SlotStep *steps, uint64_t bits) {
    if (scan.from_top) return decode_slots_by_bits<true>(scan, steps, bits);
    decode_slots_by_bits<false>(scan, steps, bits);
}

// Appends an operand with constants k to decoded instruction `index`.
void append_own_operand(uint32_t index, const OperandConstants &k, uint64_t bits) {
    OperandList &list = State().operand_lists[index];
    size_t n = list.AppendBlock(1);
    render_operand(list, n, list[n], list.Rendered(n), k, bits, 64, kZema);
}

void decode_zema(uint32_t record, uint64_t bits, uint32_t arch) {
    ArchitectureTables &t = *State().current;
    RecordInfo &info = t.info[record];
    if (info.traits & TRAIT_TWO_S) return decode_two_s(t.two_s_fields[info.two_s], bits, arch);
    bool whole = info.traits & TRAIT_WHOLE;
    // Slots decoded below append after the whole instruction, which keeps its
    // index (appended once its constants, and so its record, are noted).
    const OperandConstants *constants = whole ? constants_of(t, info) : nullptr;
    uint32_t own = whole ? append_instruction(&t.records[record]) : 0;
    if (info.step_begin < 0) note_steps(t, record);
    // Slot decodes never add steps, so the pointers stay valid.
    const SlotStep *step = t.slot_steps.data() + info.step_begin;
    if (info.step_scan >= 0) return decode_scanned_slots(t.step_scans[info.step_scan], step, bits);
    for (const SlotStep *end = step + info.step_count; step != end; ++step) {
        if (!(bits & step->placed)) continue;
        if (step->slot)
            decode_slot_step(*step, bits);
        else
            append_own_operand(own, constants[step->plan], bits);
    }
}

// Appends the RIXU instruction `bits` matched as `m` (INVALID when none).
void decode_rixu_instruction(uint32_t m, uint64_t bits) {
    if (m == kNoRecord) return append_invalid(32);
    append_rendered(m, bits, 32, kRixu);
}

// The loop markers word `bits` carries, bit k for loop_markers[k].
uint8_t markers_of(const ArchitectureTables &t, uint64_t bits) {
    uint8_t set = 0;
    for (uint32_t k = 0; k < 4; ++k) {
        const InstructionRecord *r = t.loop_markers[k];
        if (!r) continue;
        uint64_t m = bits & r->mask;
        if (((r->value >> 2) & 1) == ((m >> 2) & 1) && (r->value & 3 & m) != 0)
            set = static_cast<uint8_t>(set | 1u << k);
    }
    return set;
}

[[gnu::noinline]] void note_marker_sets(ArchitectureTables &t) {
    t.marker_sets_state = 1;
    for (const InstructionRecord *r : t.loop_markers)
        if (r && (r->mask & ~0xFFULL)) t.marker_sets_state = -1;
    if (t.marker_sets_state < 0) return;
    for (uint32_t low = 0; low < 256; ++low) t.marker_sets[low] = markers_of(t, low);
}

bool append_loop_markers(uint64_t bits) {
    ArchitectureTables &t = *State().current;
    if (t.marker_sets_state == 0) note_marker_sets(t);
    uint8_t set = t.marker_sets_state > 0 ? t.marker_sets[bits & 0xFF] : markers_of(t, bits);
    for (uint32_t k = 0; k < 4; ++k)
        if ((set >> k) & 1) append_instruction(t.loop_markers[k]);
    return set != 0;
}

// A RIXU word whose match (`m`) the caller has made.
void decode_rixu(uint32_t m, uint64_t bits) {
    const InstructionRecord *l = State().current->loop_markers[0];
    uint64_t loop_mask = l ? l->mask : 0;
    if (l && (bits & loop_mask) && !(bits & ~loop_mask)) {
        if (!append_loop_markers(bits)) decode_rixu_instruction(m, bits);
        return;
    }
    decode_rixu_instruction(m, bits);
    if (l && (bits & loop_mask) && !append_loop_markers(bits))
        decode_rixu_instruction(match_whole_word(bits & loop_mask), bits & loop_mask);
}

} // namespace

uint64_t PlanListHash(const OperandPlan *p, uint32_t count) {
    uint64_t h = count;
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t parts = reinterpret_cast<uintptr_t>(p[i].name->syntax_name) ^
                         reinterpret_cast<uintptr_t>(p[i].name->field_name) << 1 ^
                         reinterpret_cast<uintptr_t>(p[i].field) << 2 ^ p[i].slot;
        h = (h ^ parts) * 0x9E3779B97F4A7C15ULL;
    }
    return h ^ (h >> 32);
}

bool SamePlans(const OperandPlan *a, const OperandPlan *b, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        if (a[i].name->syntax_name != b[i].name->syntax_name ||
            a[i].name->field_name != b[i].name->field_name || a[i].field != b[i].field ||
            a[i].slot != b[i].slot)
            return false;
    return true;
}

bool ScanStepsByBits(const SlotStep *steps, uint32_t count, StepScan &scan) {
    if (count > 255) return false;
    bool rising = true, falling = true;
    uint64_t previous = 0;
    for (uint32_t k = 0; k < count; ++k) {
        uint64_t placed = steps[k].placed;
        if (!steps[k].slot) return false; // an operand is rendered whatever the bits
        if (!placed) continue;            // never filled
        if (placed & scan.placed) return false;
        if (previous) {
            // Every bit of a later step above (rising) or below (falling) the earlier one's.
            rising = rising && std::countr_zero(placed) > 63 - std::countl_zero(previous);
            falling = falling && 63 - std::countl_zero(placed) < std::countr_zero(previous);
        }
        scan.placed |= placed;
        for (uint64_t m = placed; m; m &= m - 1)
            scan.owner[std::countr_zero(m)] = static_cast<uint8_t>(k);
        previous = placed;
    }
    scan.from_top = !rising;
    return rising || falling;
}

uint32_t SlotOfField(const char *s) {
    // Every slot field name is "op", a slot name and an optional half.
    if (s[0] != 'o' || s[1] != 'p') return SLOT_WORD;
    std::string_view name(s + 2);
    if (name.ends_with("_HI") || name.ends_with("_LO")) name.remove_suffix(3);
    uint32_t slot = SlotCodeOfName(name);
    return slot && slot < SLOT_DONE ? slot : SLOT_WORD;
}

uint32_t DirectSlotCode(const char *s) {
    static constexpr std::string_view names[] = {
        "opA",  "opB",  "opS_HI", "opVs0",  "opVs1",  "opVs2", "opVau", "opZ",    "opX", "opVrot",
        "opVr", "opVd", "opX_LO", "opVror", "opVrol", "opVld", "opVwr", "opVsau", "opC", "opD"};
    if (s[0] != 'o' || s[1] != 'p') return 0;
    std::string_view name(s);
    for (std::string_view n : names)
        if (name == n) return SlotOfField(s);
    return 0;
}

const InstructionRecord *MatchLinear(uint64_t bits, uint32_t width, uint8_t flag, uint32_t slot) {
    ArchitectureTables &t = *State().current;
    uint32_t best = kNoRecord;
    MatchRule rule(bits);
    for (uint32_t i = 0; i < t.record_count; ++i) {
        RecordHead r = HeadOf(t, i);
        if (r.size != width) continue;
        if (slot ? r.slot != slot : (r.flags & FLAG_WORD) != flag) continue;
        if (rule.Offer(r.mask, r.value)) best = i;
    }
    return record_at(best);
}

const InstructionRecord *MatchWord(uint64_t bits, uint32_t width, uint8_t flag) {
    if (flag != 0) return MatchLinear(bits, width, flag, 0);
    return record_at(match_indexed(bits, width, 0));
}

const InstructionRecord *MatchSlot(uint64_t value, uint32_t width, uint32_t slot) {
    if (slot == 0) return nullptr;
    return record_at(match_indexed(value, width, slot));
}

void DecodeSlot(uint64_t value, uint32_t width, uint32_t slot) {
    append_matched(slot ? match_indexed(value, width, slot) : kNoRecord, value, width);
}

uint32_t DecodeWord(const uint8_t *bytes, uint32_t arch) {
    DecoderState &s = State();
    s.count = 0;
    s.s_count = 0;
    s.texts.Reset();
    if (arch < 1 || arch > 6) return s.consumed = 0;
    uint32_t width = arch <= 3 ? 64 : 32;
    uint64_t bits = width == 64 ? load_little<uint64_t>(bytes) : load_little<uint32_t>(bytes);
    s.word = {bits, width, 0};
    uint32_t r = match_whole_word(bits);
    if (r == kNoRecord)
        append_invalid(width);
    else if (arch <= 3)
        decode_zema(r, bits, arch);
    else
        decode_rixu(r, bits);
    return s.consumed = width / 8;
}

} // namespace ZEMADisasmLib
