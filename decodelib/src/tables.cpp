// Field maps, operand plans, match index and architecture selection over the
// generated tables. Each architecture's tables are built on first use, so a
// run pays only for the instruction sets it lists.
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <unordered_map>

#include "decodelib/match_rule.h"
#include "decodelib/src/generated_tables.h"
#include "decodelib/src/state.h"

namespace ZEMADisasmLib {

namespace {

const GeneratedTables *const kGenerated[] = {&kTablesZEMA1, &kTablesZEMA2, &kTablesZEMA3,
                                             &kTablesRIXU1, &kTablesRIXU2, &kTablesRIXU3};
const uint32_t kWordWidth[] = {64, 64, 64, 32, 32, 32};

const char *text_at(const GeneratedTables &g, uint32_t offset) {
    return g.text && offset < g.text_size ? g.text + offset : "";
}

// Whether [begin, begin + count) lies within a shared array of `size` and
// within `most` items of a public record; an empty range otherwise.
bool in_range(uint32_t begin, uint32_t count, uint32_t size, uint32_t most) {
    return begin <= size && count <= size - begin && count <= most;
}

// Calls visit(k, name) for each operand name of record i: the packed ones of
// generated tables (as its expansion writes them), else the record's own.
template <class Visit> void each_operand(const ArchitectureTables &t, uint32_t i, Visit &&visit) {
    if (t.packed) {
        const GeneratedTables &g = *t.packed;
        const PackedRecord &p = g.records[i];
        if (!in_range(p.operand_begin, p.operand_count, g.operand_count, 63)) return;
        for (uint32_t k = 0; k < p.operand_count; ++k) {
            const PackedOperand &op = g.operands[p.operand_begin + k];
            visit(k, OperandName{text_at(g, op.syntax_name), text_at(g, op.field_name)});
        }
        return;
    }
    const InstructionRecord &r = t.records[i];
    for (uint32_t k = 0; k < 64 && r.operands[k].syntax_name; ++k) visit(k, r.operands[k]);
}

void build_field_map(ArchitectureTables &t) {
    for (uint32_t i = 0; i < t.field_count; ++i) {
        const FieldRecord *r = &t.fields[i];
        if (!r->name) continue;
        auto [it, added] = t.field_map.try_emplace(r->name);
        if (!added) continue;
        it->second.reset(MakeField(r));
        if (!it->second) t.field_map.erase(it);
    }
}

// Field objects by name; records of one table share their name texts, so the
// last lookup of each text is remembered.
class FieldResolver {
  public:
    explicit FieldResolver(const FieldMap &map) : map_(map) {}
    const Field *Find(const char *name) {
        if (!name) return nullptr;
        auto known = by_text_.find(name);
        if (known != by_text_.end()) return known->second;
        auto it = map_.find(name);
        const Field *f = it == map_.end() ? nullptr : it->second.get();
        by_text_.emplace(name, f);
        return f;
    }

  private:
    const FieldMap &map_;
    std::map<const char *, const Field *> by_text_;
};

const Field *plan_field(const ArchitectureTables &t, const RecordInfo &info, const char *syntax) {
    for (uint32_t k = 0; k < info.plan_count; ++k) {
        const OperandPlan &p = t.plans[info.plan_begin + k];
        if (std::strcmp(p.name->syntax_name, syntax) == 0) return p.field;
    }
    return nullptr;
}

// The slot fields of the two-S packet formats, once their classes are built.
void note_two_s_fields(ArchitectureTables &t) {
    for (uint32_t i = 0; i < t.record_count; ++i) {
        RecordInfo &info = t.info[i];
        if (!(info.traits & TRAIT_TWO_S)) continue;
        RecordOf(t, i); // its plans' names are read
        auto read = [&t, &info](const char *name, uint32_t slot) {
            return ReadOfSlot(t, plan_field(t, info, name), slot);
        };
        info.two_s = static_cast<int32_t>(t.two_s_fields.size());
        t.two_s_fields.push_back({read("opX", SLOT_X), read("opX_HI", SLOT_X),
                                  read("opX_LO", SLOT_X), read("opS_HI", SLOT_S),
                                  read("opS_LO", SLOT_S), read("opZ", SLOT_Z)});
    }
}

void assign_kinds(ArchitectureTables &t) {
    t.info.assign(t.record_count, RecordInfo{});
    for (uint32_t k = 0; k < t.kind_count; ++k) {
        const RecordKindEntry &e = t.kinds[k];
        if (e.index >= t.record_count || e.kind >= KIND_COUNT) continue;
        t.info[e.index].kind = e.kind;
        t.info[e.index].traits = TraitsOfKind(e.kind);
    }
}

void plan_operands(ArchitectureTables &t, uint32_t word_width) {
    FieldResolver resolver(t.field_map);
    // Records share their name texts: each text's slot code is worked out once.
    std::unordered_map<const char *, uint32_t> slot_of_text;
    auto direct_slot = [&slot_of_text](const char *name) {
        auto [it, added] = slot_of_text.try_emplace(name, 0);
        if (added) it->second = DirectSlotCode(name);
        return it->second;
    };
    for (uint32_t i = 0; i < t.record_count; ++i) {
        RecordHead r = HeadOf(t, i);
        RecordInfo &info = t.info[i];
        info.plan_begin = static_cast<uint32_t>(t.plans.size());
        // The slot fields of a whole ZEMA word are decoded as slots of their own.
        bool whole = word_width == 64 && r.size == 64;
        if (whole &&
            (r.slot == SLOT_C || r.slot == SLOT_D || r.slot == SLOT_DONE || r.slot == SLOT_FNOP))
            info.traits |= TRAIT_WHOLE;
        // Plans point at the record's operand names, set by its expansion.
        const OperandName *names = t.records[i].operands;
        each_operand(t, i, [&](uint32_t k, const OperandName &name) {
            const Field *f = resolver.Find(name.field_name);
            if (!f) return;
            uint32_t slot = whole ? direct_slot(name.syntax_name) : 0;
            t.plans.push_back({f, &names[k], slot});
            if (!slot) info.operand_count++;
        });
        info.plan_count = static_cast<uint32_t>(t.plans.size()) - info.plan_begin;
    }
}

// The bits most members fix: at most 8 (10 for large classes), each fixed by
// a quarter of the members at least; the higher bit first among equals.
void choose_key_bits(const std::vector<RecordHead> &heads, const std::vector<uint32_t> &members,
                     MatchClass &c) {
    if (members.size() <= 8) return;
    size_t key_count = members.size() > 200 ? 12 : 8;
    size_t least = std::max<size_t>(2, members.size() / 4);
    std::vector<size_t> fixed(c.size, 0);
    for (uint32_t m : members)
        for (uint64_t mask = heads[m].mask; mask; mask &= mask - 1) {
            int b = std::countr_zero(mask);
            if (b < static_cast<int>(c.size)) fixed[b]++;
        }
    std::vector<uint32_t> order;
    for (uint32_t b = c.size; b-- > 0;)
        if (fixed[b] >= least) order.push_back(b);
    std::stable_sort(order.begin(), order.end(),
                     [&fixed](uint32_t a, uint32_t b) { return fixed[a] > fixed[b]; });
    if (order.size() > key_count) order.resize(key_count);
    c.key_bits = order;
}

} // namespace

// Each key byte reads the eight bits from the lowest key bit no earlier byte
// reads, so that key bits straddling a byte boundary of the word still take
// as few lookups as they can.
void BuildByteKeys(MatchClass &c) {
    uint16_t of_bit[64 + 8] = {};
    for (size_t k = 0; k < c.key_bits.size(); ++k)
        of_bit[c.key_bits[k]] = static_cast<uint16_t>(of_bit[c.key_bits[k]] | 1u << k);
    for (uint32_t shift = 0; shift < 64; ++shift) {
        if (of_bit[shift] == 0) continue;
        MatchClass::ByteKey key{shift, {}};
        // A byte's key is that of the byte without its lowest set bit and that bit's.
        for (uint32_t v = 1; v < 256; ++v) {
            uint32_t low = static_cast<uint32_t>(std::countr_zero(v));
            key.bits[v] = static_cast<uint16_t>(key.bits[v & (v - 1)] | of_bit[shift + low]);
        }
        c.byte_keys.push_back(key);
        shift += 7;
    }
}

namespace {

// Puts every member in each bucket its fixed key bits allow, in member order.
void fill_buckets(const std::vector<RecordHead> &heads, const std::vector<uint32_t> &members,
                  MatchClass &c) {
    uint32_t buckets = 1u << c.key_bits.size(), all = buckets - 1;
    std::vector<uint32_t> sizes(buckets + 1, 0);
    auto each_bucket = [&](uint32_t m, auto &&visit) {
        const RecordHead &r = heads[m];
        uint32_t mask = c.Bucket(r.mask);
        uint32_t value = c.Bucket(r.value) & mask;
        uint32_t free = all & ~mask;
        for (uint32_t sub = free;; sub = (sub - 1) & free) {
            visit(value | sub);
            if (sub == 0) break;
        }
    };
    for (uint32_t m : members) each_bucket(m, [&](uint32_t b) { sizes[b + 1]++; });
    std::vector<uint32_t> starts(buckets + 1, 0);
    for (uint32_t b = 0; b < buckets; ++b) starts[b + 1] = starts[b] + sizes[b + 1];
    c.candidates.resize(starts[buckets]);
    std::vector<uint32_t> next(starts.begin(), starts.end() - 1);
    for (uint32_t m : members) {
        const RecordHead &r = heads[m];
        each_bucket(m, [&](uint32_t b) { c.candidates[next[b]++] = {r.mask, r.value, m}; });
    }
    c.begins.resize(buckets + 1);
    for (uint32_t b = 0; b <= buckets; ++b) c.begins[b] = c.candidates.data() + starts[b];
}

// The class of (size, slot) over its members (in table order).
void build_class(ArchitectureTables &t, const std::vector<RecordHead> &heads, uint32_t size,
                 uint32_t slot, std::vector<uint32_t> &members) {
    MatchClass c;
    c.size = size;
    c.slot = slot;
    // Most fixed bits first, counted once per member.
    std::vector<std::pair<int, uint32_t>> by_bits;
    by_bits.reserve(members.size());
    for (uint32_t m : members) by_bits.emplace_back(-MatchRule::Strength(heads[m].mask), m);
    std::stable_sort(by_bits.begin(), by_bits.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (size_t k = 0; k < members.size(); ++k) members[k] = by_bits[k].second;
    choose_key_bits(heads, members, c);
    BuildByteKeys(c);
    fill_buckets(heads, members, c);
    if (size <= MatchClass::kDirectBits) {
        c.direct.resize(size_t{1} << size);
        for (uint32_t v = 0; v < c.direct.size(); ++v) c.direct[v] = c.Winner(v);
    }
    t.class_of[size][slot] = static_cast<int16_t>(t.classes.size());
    t.classes.push_back(std::move(c));
}

} // namespace

SlotRead ReadOfSlot(const ArchitectureTables &t, const Field *field, uint32_t slot) {
    SlotRead read;
    read.field = field;
    if (field) {
        read.width = field->record->bit_count;
        if (!field->OneRun(read.from, read.mask)) read.mask = 0;
    }
    // Slot 0 is an operand of the record itself, never matched.
    if (slot && slot <= 22 && read.width <= 64)
        if (int16_t c = t.class_of[read.width][slot]; c >= 0)
            read.match_class = &t.classes[static_cast<size_t>(c)];
    const MatchClass *c = read.match_class;
    if (c && read.mask && read.mask < c->direct.size()) read.direct = c->direct.data();
    return read;
}

namespace {

// A class per (size, slot) of the records, in order of first appearance, and
// the whole-word class (any slot, flag bit 0 clear); members gathered in one
// pass. An all-zero mask never wins, so such records are no members.
void build_index(ArchitectureTables &t, uint32_t word_width) {
    std::memset(t.class_of, 0xff, sizeof t.class_of);
    std::vector<RecordHead> heads(t.record_count);
    std::vector<std::pair<uint32_t, uint32_t>> keys; // (size, slot) by first appearance
    std::vector<std::vector<uint32_t>> members;      // per key, in table order
    int16_t key_of[65][23];
    std::memset(key_of, 0xff, sizeof key_of);
    std::vector<uint32_t> whole;
    for (uint32_t i = 0; i < t.record_count; ++i) {
        const RecordHead &r = heads[i] = HeadOf(t, i);
        if (r.size == word_width && r.mask && !(r.flags & FLAG_WORD)) whole.push_back(i);
        if (r.size > 64 || r.slot > 22 || !r.slot) continue;
        int16_t &key = key_of[r.size][r.slot];
        if (key < 0) {
            key = static_cast<int16_t>(keys.size());
            keys.emplace_back(r.size, r.slot);
            members.emplace_back();
        }
        if (r.mask) members[static_cast<size_t>(key)].push_back(i);
    }
    for (size_t k = 0; k < keys.size(); ++k)
        build_class(t, heads, keys[k].first, keys[k].second, members[k]);
    if (word_width <= 64) build_class(t, heads, word_width, 0, whole);
    if (int16_t c = t.class_of[word_width][0]; c >= 0)
        t.word_class = &t.classes[static_cast<size_t>(c)];
}

// The markers are appended and looked at without a match: expanded now.
void find_markers(ArchitectureTables &t) {
    for (uint32_t i = 0; i < t.record_count; ++i) {
        RecordKind kind = t.info[i].kind;
        if (kind >= KIND_LOOP_BEGIN_0 && kind <= KIND_LOOP_END_1)
            t.loop_markers[kind - KIND_LOOP_BEGIN_0] = &RecordOf(t, i);
        if (HeadOf(t, i).slot == SLOT_X && (t.info[i].traits & TRAIT_SWBREAK))
            t.swbreaks.push_back(&RecordOf(t, i));
    }
}

void build(ArchitectureTables &t) {
    uint32_t word_width = kWordWidth[t.arch - 1];
    build_field_map(t);
    assign_kinds(t);
    plan_operands(t, word_width);
    build_index(t, word_width);
    note_two_s_fields(t);
    find_markers(t);
    t.built = true;
}

// Points the tables of an architecture at their records, to be built on use.
void reset_tables(ArchitectureTables &t, uint32_t arch, const InstructionRecord *records,
                  uint32_t record_count, const FieldRecord *fields, uint32_t field_count,
                  const RecordKindEntry *kinds, uint32_t kind_count) {
    t = ArchitectureTables();
    t.arch = arch;
    t.records = records;
    t.record_count = records ? record_count : 0;
    t.fields = fields;
    t.field_count = fields ? field_count : 0;
    t.kinds = kinds;
    t.kind_count = kinds ? kind_count : 0;
}

// Records from calloc: large blocks come zeroed from the system, so a set's
// 2 MB of records are not cleared once more before they are filled.
template <typename T> class ZeroedArray {
  public:
    void Allocate(size_t count) {
        items_.reset(static_cast<T *>(calloc(count ? count : 1, sizeof(T))));
        if (!items_) throw std::bad_alloc();
        count_ = count;
    }
    T *data() const { return items_.get(); }
    size_t size() const { return count_; }
    T &operator[](size_t i) { return items_.get()[i]; }

  private:
    std::unique_ptr<T, void (*)(void *)> items_{nullptr, free};
    size_t count_ = 0;
};

// The public records of generated tables.
struct ExpandedTables {
    ZeroedArray<InstructionRecord> records;
    ZeroedArray<FieldRecord> fields;
};

// Fills a zeroed field record.
void expand_field(const GeneratedTables &g, const PackedField &p, FieldRecord &f) {
    f.kind = p.kind;
    f.name = text_at(g, p.name);
    f.prefix = "";
    f.shift = p.shift;
    if (in_range(p.bit_begin, p.bit_count, g.bit_count, 128)) {
        f.bit_count = p.bit_count;
        std::copy_n(g.bits + p.bit_begin, p.bit_count, f.bits);
    }
    if (in_range(p.entry_begin, p.entry_count, g.entry_count, 128)) {
        f.entry_count = p.entry_count;
        for (uint32_t k = 0; k < p.entry_count; ++k)
            f.entries[k] = {g.entries[p.entry_begin + k].value,
                            text_at(g, g.entries[p.entry_begin + k].text)};
    }
    f.reloc_name = text_at(g, p.reloc_name);
    f.reloc_type = p.reloc_type;
    f.reloc_width = p.reloc_width;
    f.is_signed = p.is_signed;
}

// Fills a zeroed instruction record.
void expand_record(const GeneratedTables &g, const PackedRecord &p, InstructionRecord &r) {
    r.name = text_at(g, p.name);
    r.syntax = text_at(g, p.syntax);
    r.size = p.size;
    r.slot = p.slot;
    r.flags = p.flags;
    r.text1 = r.text2 = r.text3 = r.text4 = r.text5 = r.text6 = "";
    // At most 63 operands: a null name ends the list.
    if (in_range(p.operand_begin, p.operand_count, g.operand_count, 63))
        for (uint32_t k = 0; k < p.operand_count; ++k)
            r.operands[k] = {text_at(g, g.operands[p.operand_begin + k].syntax_name),
                             text_at(g, g.operands[p.operand_begin + k].field_name)};
    r.value = p.value;
    r.mask = p.mask;
}

// Expanded once per generated tables and never freed: the library hands
// out pointers to the records until the program ends.
const ExpandedTables &expanded(const GeneratedTables &g) {
    static auto *cache = new std::map<const GeneratedTables *, ExpandedTables>;
    auto [it, added] = cache->try_emplace(&g);
    ExpandedTables &e = it->second;
    if (!added) return e;
    // Zeroed (operand lists end); each record is filled on its first use.
    e.records.Allocate(g.records ? g.record_count : 0);
    e.fields.Allocate(g.fields ? g.field_count : 0);
    for (size_t i = 0; i < e.fields.size(); ++i) expand_field(g, g.fields[i], e.fields[i]);
    return e;
}

void install_expanded(ArchitectureTables &t, uint32_t arch, const GeneratedTables &g) {
    const ExpandedTables &e = expanded(g);
    reset_tables(t, arch, e.records.data(), static_cast<uint32_t>(e.records.size()),
                 e.fields.data(), static_cast<uint32_t>(e.fields.size()), g.kinds, g.kind_count);
    if (t.record_count) t.packed = &g;
}

// Tables not yet built are an architecture's generated ones (installed
// tables are built at once): they are expanded and built on first use. Kept
// out of line: every decode selects its architecture.
[[gnu::noinline]] void build_generated(ArchitectureTables &t) {
    install_expanded(t, t.arch, *kGenerated[t.arch - 1]);
    build(t);
}

ArchitectureTables &built(ArchitectureTables &t) {
    if (!t.built) build_generated(t);
    return t;
}

} // namespace

DecoderState::DecoderState() {
    invalid = InstructionRecord{};
    invalid.name = "INVALID";
    invalid.syntax = "INVALID";
    invalid.id = -1;
    invalid.text1 = invalid.text2 = invalid.text3 = invalid.text4 = invalid.text5 = invalid.text6 =
        "";
    for (uint32_t arch = ARCH_ZEMA1; arch <= ARCH_RIXU3; ++arch) tables[arch - 1].arch = arch;
    current = &tables[0]; // built by the first selection
    selected = ARCH_ZEMA1;
}

// Created during static initialisation, before main runs; it reads no
// generated tables until an architecture is first used.
DecoderState g_decoder_state;

void ExpandRecord(ArchitectureTables &t, uint32_t i) {
    // The records array of generated tables is the library's own (ExpandedTables).
    expand_record(*t.packed, t.packed->records[i], const_cast<InstructionRecord &>(t.records[i]));
    t.info[i].expanded = true;
}

RecordHead HeadOf(const ArchitectureTables &t, uint32_t i) {
    if (t.packed) {
        const PackedRecord &p = t.packed->records[i];
        return {p.size, p.slot, p.flags, p.mask, p.value};
    }
    const InstructionRecord &r = t.records[i];
    return {r.size, r.slot, r.flags, r.mask, r.value};
}

ArchitectureTables *TablesOf(uint32_t arch) {
    if (arch < 1 || arch > 6) return nullptr;
    ArchitectureTables &t = built(State().tables[arch - 1]);
    if (t.packed) {
        for (uint32_t i = 0; i < t.record_count; ++i) RecordOf(t, i);
        t.packed = nullptr; // every record complete
    }
    return &t;
}

void InstallTables(uint32_t arch, const InstructionRecord *records, uint32_t record_count,
                   const FieldRecord *fields, uint32_t field_count, const RecordKindEntry *kinds,
                   uint32_t kind_count) {
    if (arch < 1 || arch > 6) return;
    reset_tables(State().tables[arch - 1], arch, records, record_count, fields, field_count, kinds,
                 kind_count);
    build(State().tables[arch - 1]);
}

void InstallGeneratedTables(uint32_t arch, const GeneratedTables &tables) {
    if (arch < 1 || arch > 6) return;
    install_expanded(State().tables[arch - 1], arch, tables);
    build(State().tables[arch - 1]);
}

void RestoreGeneratedTables(uint32_t arch) {
    if (arch >= 1 && arch <= 6)
        reset_tables(State().tables[arch - 1], arch, nullptr, 0, nullptr, 0, nullptr, 0);
}

void SelectArchitecture(uint32_t arch) {
    DecoderState &s = State();
    if (arch != s.selected) {
        s.selected = arch;
        if (arch >= 1 && arch <= 6) s.current = &s.tables[arch - 1];
    }
    built(*s.current);
}

const Field *FindFieldObject(const char *impl_name) {
    const FieldMap &m = State().current->field_map;
    auto it = impl_name ? m.find(impl_name) : m.end();
    return it == m.end() ? nullptr : it->second.get();
}

} // namespace ZEMADisasmLib
