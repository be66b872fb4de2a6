// Field maps, match index and architecture selection over the generated tables.
#include <algorithm>
#include <bit>
#include <cstring>

#include "decodelib/src/generated_tables.h"
#include "decodelib/src/state.h"

namespace ZEMADisasmLib {

namespace {

const GeneratedTables *const kGenerated[] = {&kTablesZEMA1, &kTablesZEMA2, &kTablesZEMA3,
                                             &kTablesRIXU1, &kTablesRIXU2, &kTablesRIXU3};
const uint32_t kWordWidth[] = {64, 64, 64, 32, 32, 32};

void build_field_map(ArchitectureTables &t) {
    for (uint32_t i = 0; i < t.field_count; ++i) {
        const FieldRecord *r = &t.fields[i];
        if (!r->name || t.field_map.count(r->name)) continue;
        Field *f = MakeField(r);
        if (f) t.field_map.emplace(r->name, std::unique_ptr<Field>(f));
    }
}

void resolve_operands(ArchitectureTables &t) {
    for (uint32_t i = 0; i < t.record_count; ++i) {
        t.operand_begin.push_back(static_cast<uint32_t>(t.operand_fields.size()));
        const InstructionRecord &r = t.records[i];
        for (int k = 0; k < 64 && r.operands[k].syntax_name; ++k) {
            const char *impl = r.operands[k].field_name;
            auto it = impl ? t.field_map.find(impl) : t.field_map.end();
            t.operand_fields.push_back(it == t.field_map.end() ? nullptr : it->second.get());
            t.operand_slot.push_back(
                static_cast<uint8_t>(DirectSlotCode(r.operands[k].syntax_name)));
            t.in_syntax.push_back(r.syntax && std::strstr(r.syntax, r.operands[k].syntax_name));
        }
    }
    t.operand_begin.push_back(static_cast<uint32_t>(t.operand_fields.size()));
}

void choose_key_bits(const ArchitectureTables &t, const std::vector<uint32_t> &members,
                     MatchClass &c) {
    if (members.size() <= 8) return;
    uint64_t taken = 0;
    int key_count = members.size() > 200 ? 10 : 8; // large classes get finer buckets
    for (int k = 0; k < key_count; ++k) {
        int best = -1;
        size_t best_count = std::max<size_t>(2, members.size() / 4) - 1;
        for (int b = static_cast<int>(c.size) - 1; b >= 0; --b) {
            if ((taken >> b) & 1) continue;
            size_t n = 0;
            for (uint32_t m : members) n += (t.records[m].mask >> b) & 1;
            if (n > best_count) best = b, best_count = n;
        }
        if (best < 0) break;
        taken |= 1ULL << best;
        c.key_bits.push_back(static_cast<uint32_t>(best));
    }
    c.key_mask = taken;
}

uint32_t compress(uint64_t v, const std::vector<uint32_t> &key_bits) {
    uint32_t out = 0;
    for (size_t k = 0; k < key_bits.size(); ++k)
        out |= static_cast<uint32_t>((v >> key_bits[k]) & 1) << k;
    return out;
}

void build_class(ArchitectureTables &t, uint32_t size, uint32_t slot, uint32_t word_width) {
    MatchClass c;
    c.size = size;
    c.slot = slot;
    std::vector<uint32_t> members;
    for (uint32_t i = 0; i < t.record_count; ++i) {
        const InstructionRecord &r = t.records[i];
        if (r.size != size) continue;
        if (slot ? r.slot == slot : size == word_width && (r.flags & FLAG_WORD) == 0)
            members.push_back(i);
    }
    std::stable_sort(members.begin(), members.end(), [&t](uint32_t a, uint32_t b) {
        return std::popcount(t.records[a].mask) > std::popcount(t.records[b].mask);
    });
    choose_key_bits(t, members, c);
    c.buckets.resize(size_t{1} << c.key_bits.size());
    for (uint32_t m : members) {
        uint32_t mask = compress(t.records[m].mask, c.key_bits);
        uint32_t value = compress(t.records[m].value, c.key_bits);
        for (uint32_t b = 0; b < c.buckets.size(); ++b)
            if ((b & mask) == value && t.records[m].mask)
                c.buckets[b].push_back({t.records[m].mask, t.records[m].value, m});
    }
    t.class_of[size][slot] = static_cast<int16_t>(t.classes.size());
    t.classes.push_back(std::move(c));
}

void build_index(ArchitectureTables &t, uint32_t word_width) {
    std::memset(t.class_of, 0xff, sizeof t.class_of);
    for (uint32_t i = 0; i < t.record_count; ++i) {
        const InstructionRecord &r = t.records[i];
        if (r.size > 64 || r.slot > 22) continue;
        if (t.class_of[r.size][r.slot] < 0 && r.slot) build_class(t, r.size, r.slot, word_width);
    }
    if (word_width <= 64 && t.class_of[word_width][0] < 0)
        build_class(t, word_width, 0, word_width);
}

void find_named(ArchitectureTables &t, uint32_t arch) {
    static const char *const markers[] = {"loop_begin_0", "loop_begin_1", "loop_end_0",
                                          "loop_end_1"};
    for (uint32_t i = 0; i < t.record_count; ++i) {
        const InstructionRecord *r = &t.records[i];
        t.traits.push_back(RecordTraits(r->name, arch));
        for (int k = 0; k < 4; ++k)
            if (std::strcmp(r->name, markers[k]) == 0) t.loop_markers[k] = r;
        if (r->slot == SLOT_X && std::strcmp(r->name, "swbreak") == 0) t.swbreaks.push_back(r);
    }
}

void build_tables(ArchitectureTables &t, const InstructionRecord *records, uint32_t record_count,
                  const FieldRecord *fields, uint32_t field_count, uint32_t arch) {
    uint32_t word_width = kWordWidth[arch - 1];
    t = ArchitectureTables();
    t.records = records;
    t.record_count = records ? record_count : 0;
    t.fields = fields;
    t.field_count = fields ? field_count : 0;
    build_field_map(t);
    resolve_operands(t);
    build_index(t, word_width);
    find_named(t, arch);
}

void build_generated(DecoderState &s, uint32_t arch) {
    const GeneratedTables *g = kGenerated[arch - 1];
    build_tables(s.tables[arch - 1], g->records, g->record_count, g->fields, g->field_count, arch);
}

} // namespace

DecoderState::DecoderState() {
    invalid = InstructionRecord{};
    invalid.name = "INVALID";
    invalid.syntax = "INVALID";
    invalid.id = -1;
    invalid.text1 = invalid.text2 = invalid.text3 = invalid.text4 = invalid.text5 = invalid.text6 =
        "";
    // Field maps are built in this order; each table is independent.
    for (uint32_t arch : {ARCH_ZEMA1, ARCH_ZEMA2, ARCH_RIXU1, ARCH_RIXU2, ARCH_ZEMA3, ARCH_RIXU3})
        build_generated(*this, arch);
    current = &tables[0];
    selected = ARCH_ZEMA1;
}

namespace {
// Created during static initialisation, before main runs; the generated
// tables it reads are constant-initialised data.
DecoderState g_state;
} // namespace

DecoderState &State() {
    return g_state;
}

ArchitectureTables *TablesOf(uint32_t arch) {
    return arch >= 1 && arch <= 6 ? &State().tables[arch - 1] : nullptr;
}

void InstallTables(uint32_t arch, const InstructionRecord *records, uint32_t record_count,
                   const FieldRecord *fields, uint32_t field_count) {
    if (arch < 1 || arch > 6) return;
    build_tables(State().tables[arch - 1], records, record_count, fields, field_count, arch);
}

void RestoreGeneratedTables(uint32_t arch) {
    if (arch >= 1 && arch <= 6) build_generated(State(), arch);
}

void SelectArchitecture(uint32_t arch) {
    DecoderState &s = State();
    if (arch == s.selected) return;
    s.selected = arch;
    if (arch >= 1 && arch <= 6) s.current = &s.tables[arch - 1];
}

const Field *FindFieldObject(const char *impl_name) {
    const FieldMap &m = State().current->field_map;
    auto it = impl_name ? m.find(impl_name) : m.end();
    return it == m.end() ? nullptr : it->second.get();
}

} // namespace ZEMADisasmLib
