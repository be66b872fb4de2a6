// Counting of decoded packets: slots, packet kinds and power of the ZEMA
// cores, words and nops of the RIXU cores. Every property comes from the
// matched InstructionRecord (slot code, flags, size).
#include "stats/stats.h"

#include <iterator>

using namespace ZEMADisasmLib;

namespace {

// Width of the RIXU loop markers, the short instructions beside a word.
constexpr uint32_t LOOP_MARKER_SIZE = 3;

// Instructions of one ZEMA packet by slot.
struct Packet_count_struct {
    uint32_t a, b, c, d, s, v, x, z, done, fnop;
};

using Slot_counter = uint32_t Packet_count_struct::*;

// The packet counter of each slot code; the other vector stages (13 to 17)
// and whole-word sub-slots (22) count nowhere, invalid instructions (0)
// apart.
constexpr Slot_counter SLOT_COUNTERS[] = {
    nullptr,
    &Packet_count_struct::a,
    &Packet_count_struct::b,
    &Packet_count_struct::c,
    &Packet_count_struct::d,
    &Packet_count_struct::s,
    &Packet_count_struct::v, // Vs0
    &Packet_count_struct::v, // Vs1
    &Packet_count_struct::v, // Vs2
    &Packet_count_struct::v, // Vau
    &Packet_count_struct::v, // Vrot
    &Packet_count_struct::v, // Vr
    &Packet_count_struct::v, // Vd
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    &Packet_count_struct::x,
    &Packet_count_struct::z,
    &Packet_count_struct::done,
    &Packet_count_struct::fnop,
    nullptr,
};
static_assert(std::size(SLOT_COUNTERS) == SLOT_WORD + 1);

// Invalid instructions and S-slot nops go straight to the counters; the
// slots are kept for the classification of the packet.
void tally_zema(const InstructionRecord *r, Packet_count_struct *p, Option_struct *opt) {
    if (r->slot == SLOT_INVALID) opt->stat_invalid++;
    if (r->slot == SLOT_S && (r->flags & FLAG_NOP)) opt->stat_nops++;
    if (r->slot < std::size(SLOT_COUNTERS) && SLOT_COUNTERS[r->slot])
        p->*SLOT_COUNTERS[r->slot] += 1;
}

float term(uint32_t count, float coefficient) {
    return static_cast<float>(count) * coefficient;
}

// The packet's kind and power, by the first rule that applies. The terms
// are added in a fixed order: the printed averages depend on it.
void classify_zema(const Packet_count_struct *p, Option_struct *opt) {
    float vector = p->v ? 1.0f : 0.0f;
    if (p->c) {
        opt->stat_xcvz++;
        opt->power_xcvz += term(p->x, pw_x) + term(p->c, pw_c) + vector * pw_v + term(p->z, pw_z);
    } else if (p->d) {
        opt->stat_xdz++;
        opt->power_xdz += term(p->d, pw_d) + term(p->x, pw_x) + term(p->z, pw_z);
    } else if (p->s && p->v) {
        opt->stat_xsvz++;
        opt->power_xsvz += term(p->s, pw_s) + term(p->x, pw_x) + vector * pw_v + term(p->z, pw_z);
    } else if (p->s) {
        opt->stat_xssz++;
        opt->power_xssz += term(p->s, pw_s) + term(p->x, pw_x) + term(p->z, pw_z);
        if (p->s == 1) opt->stat_null_patched++;
    } else if (p->done) {
        opt->power_xdz += pw_d;
    } else if (p->fnop) {
        opt->power_xdz += term(p->fnop, pw_d) + term(p->x, pw_x) + term(p->z, pw_z);
    } else if (p->a || p->b || p->v) {
        opt->stat_xabvz++;
        opt->power_xabvz += term(p->a, pw_a) + term(p->x, pw_x) + term(p->b, pw_b) + vector * pw_v +
                            term(p->z, pw_z);
    }
}

void add_packet_counts(const Packet_count_struct *p, Option_struct *opt) {
    opt->stat_a += p->a;
    opt->stat_b += p->b;
    opt->stat_c += p->c;
    opt->stat_d += p->d;
    opt->stat_s += p->s;
    opt->stat_v += p->v;
    opt->stat_z += p->z;
    opt->stat_done += p->done;
    opt->stat_fnop += p->fnop;
    if (p->x) opt->stat_x++;
    // The break markers of a packet are one microinstruction; invalid
    // instructions are none.
    opt->stat_micro +=
        (p->x ? 1 : 0) + p->fnop + p->done + p->z + p->v + p->s + p->d + p->c + p->b + p->a;
}

} // namespace

bool stats_zema_mode(const Option_struct *opt) {
    return opt->core_mode >= ARCH_ZEMA1 && opt->core_mode <= ARCH_ZEMA3;
}

void stats_reset(Option_struct *opt) {
    opt->stat_micro = opt->stat_packets = 0;
    opt->stat_a = opt->stat_b = opt->stat_c = opt->stat_d = opt->stat_s = opt->stat_v = 0;
    opt->stat_x = opt->stat_z = opt->stat_done = opt->stat_fnop = 0;
    opt->stat_rixu_long = opt->stat_rixu_short = 0;
    opt->stat_xabvz = opt->stat_xcvz = opt->stat_xsvz = opt->stat_xdz = opt->stat_xssz = 0;
    opt->power_xabvz = opt->power_xcvz = opt->power_xsvz = opt->power_xdz = opt->power_xssz = 0;
    opt->stat_nops = opt->stat_null_patched = opt->stat_invalid = 0;
}

void stats_packet(uint32_t count, Option_struct *opt) {
    opt->stat_packets++;
    if (stats_zema_mode(opt))
        stats_packet_zema(count, opt);
    else
        stats_packet_rixu(count, opt);
}

void stats_packet_zema(uint32_t count, Option_struct *opt) {
    stats_count_zema(count, GetInstructionRecord, opt);
}

void stats_packet_rixu(uint32_t count, Option_struct *opt) {
    stats_count_rixu(count, GetInstructionRecord, opt);
}

void stats_count_zema(uint32_t count, Stats_record_source record_at, Option_struct *opt) {
    Packet_count_struct p{};
    for (uint32_t i = 0; i < count; i++)
        if (const InstructionRecord *r = record_at(i)) tally_zema(r, &p, opt);
    classify_zema(&p, opt);
    add_packet_counts(&p, opt);
}

// A RIXU word holds one instruction and up to two loop markers; every
// slot-22 instruction is a microinstruction.
void stats_count_rixu(uint32_t count, Stats_record_source record_at, Option_struct *opt) {
    uint32_t words = 0;
    for (uint32_t i = 0; i < count; i++) {
        const InstructionRecord *r = record_at(i);
        if (r == nullptr) continue;
        if (r->slot == SLOT_INVALID) {
            opt->stat_invalid++;
        } else if (r->slot == SLOT_WORD) {
            if (r->size == LOOP_MARKER_SIZE)
                opt->stat_rixu_short++;
            else
                opt->stat_rixu_long++;
            if (r->flags & FLAG_NOP) opt->stat_nops++;
            words++;
        }
    }
    opt->stat_micro += words;
}
