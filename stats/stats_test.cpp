// Packet classification on hand-built records and the shares of the report;
// whole reports of decoded packets are checked by the golden listings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "stats/stats.h"

namespace {

using namespace ZEMADisasmLib;

// The records of the packet being counted, read through a record source as
// the library's GetInstructionRecord would hand them out.
std::vector<const InstructionRecord *> g_packet;

const InstructionRecord *packet_record(uint32_t index) {
    return index < g_packet.size() ? g_packet[index] : nullptr;
}

const InstructionRecord *rec(uint32_t slot, uint32_t flags = 0, uint32_t size = 0) {
    static std::deque<InstructionRecord> records;
    InstructionRecord &r = records.emplace_back();
    r.slot = slot;
    r.flags = flags;
    r.size = size;
    return &r;
}

const InstructionRecord *const A = rec(SLOT_A), *const B = rec(SLOT_B), *const C = rec(SLOT_C),
                               *const D = rec(SLOT_D), *const S = rec(SLOT_S),
                               *const S_NOP = rec(SLOT_S, FLAG_NOP), *const VS0 = rec(SLOT_VS0),
                               *const VAU = rec(SLOT_VAU), *const VD = rec(SLOT_VD),
                               *const X = rec(SLOT_X), *const Z = rec(SLOT_Z),
                               *const DONE = rec(SLOT_DONE), *const FNOP = rec(SLOT_FNOP, FLAG_NOP),
                               *const INVALID = rec(SLOT_INVALID);

using Counter = uint32_t Option_struct::*;
using Power = float Option_struct::*;

const std::map<std::string, Counter> kCounters = {
    {"micro", &Option_struct::stat_micro},
    {"packets", &Option_struct::stat_packets},
    {"a", &Option_struct::stat_a},
    {"b", &Option_struct::stat_b},
    {"c", &Option_struct::stat_c},
    {"d", &Option_struct::stat_d},
    {"s", &Option_struct::stat_s},
    {"v", &Option_struct::stat_v},
    {"x", &Option_struct::stat_x},
    {"z", &Option_struct::stat_z},
    {"done", &Option_struct::stat_done},
    {"fnop", &Option_struct::stat_fnop},
    {"rixu_long", &Option_struct::stat_rixu_long},
    {"rixu_short", &Option_struct::stat_rixu_short},
    {"xabvz", &Option_struct::stat_xabvz},
    {"xcvz", &Option_struct::stat_xcvz},
    {"xsvz", &Option_struct::stat_xsvz},
    {"xdz", &Option_struct::stat_xdz},
    {"xssz", &Option_struct::stat_xssz},
    {"nops", &Option_struct::stat_nops},
    {"null_patched", &Option_struct::stat_null_patched},
    {"invalid", &Option_struct::stat_invalid},
};

const std::map<std::string, Power> kPowers = {
    {"xabvz", &Option_struct::power_xabvz}, {"xcvz", &Option_struct::power_xcvz},
    {"xsvz", &Option_struct::power_xsvz},   {"xdz", &Option_struct::power_xdz},
    {"xssz", &Option_struct::power_xssz},
};

struct Options : testing::Test {
    Option_struct *opt = options_new();
    ~Options() override { options_free(opt); }

    // Every counter named in `counts` ("micro=2 x=1") and every power sum
    // equals its expected value; the others are 0.
    void expect_counts(const std::string &counts, const std::map<std::string, float> &powers) {
        std::map<std::string, uint32_t> expected;
        std::istringstream in(counts);
        for (std::string item; in >> item;) {
            size_t eq = item.find('=');
            ASSERT_TRUE(eq != std::string::npos && kCounters.count(item.substr(0, eq))) << item;
            expected[item.substr(0, eq)] = static_cast<uint32_t>(std::stoul(item.substr(eq + 1)));
        }
        for (const auto &[name, member] : kCounters) {
            auto it = expected.find(name);
            EXPECT_EQ(opt->*member, it == expected.end() ? 0u : it->second) << name;
        }
        // The sums are single-precision sums in a fixed order: exact equality.
        for (const auto &[name, member] : kPowers) {
            auto it = powers.find(name);
            EXPECT_EQ(opt->*member, it == powers.end() ? 0.0f : it->second) << "power " << name;
        }
    }

    void count(const std::vector<const InstructionRecord *> &records, bool zema = true) {
        g_packet = records;
        auto n = static_cast<uint32_t>(records.size());
        if (zema)
            stats_count_zema(n, packet_record, opt);
        else
            stats_count_rixu(n, packet_record, opt);
    }

    std::string report() {
        text_open(opt);
        stats_report(opt);
        char *t = text_detach(opt);
        std::string s = t;
        free(t);
        return s;
    }
};

struct Row {
    const char *what;
    std::vector<const InstructionRecord *> records;
    const char *counts;
    std::map<std::string, float> powers = {};
};

TEST_F(Options, ClassifiesZemaPackets) {
    const Row rows[] = {
        {"break markers count once, control slots have no kind", {X, X, Z}, "micro=2 x=1 z=1"},
        {"one opS nop: null-patched XSSZ",
         {S_NOP},
         "micro=1 s=1 xssz=1 null_patched=1 nops=1",
         {{"xssz", pw_s}}},
        {"two opS: compacted XSSZ",
         {S, S_NOP, Z},
         "micro=3 s=2 z=1 xssz=1 nops=1",
         {{"xssz", 2.0f * pw_s + pw_z}}},
        {"two opS and a vector instruction: XSVZ, not null-patched",
         {S, S, VS0},
         "micro=3 s=2 v=1 xsvz=1",
         {{"xsvz", 2.0f * pw_s + pw_v}}},
        {"opD and opZ: XDZ", {D, Z}, "micro=2 d=1 z=1 xdz=1", {{"xdz", pw_d + pw_z}}},
        {"three vector instructions draw pw_v once",
         {VS0, VAU, VD},
         "micro=3 v=3 xabvz=1",
         {{"xabvz", pw_v}}},
        {"XABVZ terms in order",
         {A, B, VS0, Z, X},
         "micro=5 a=1 b=1 v=1 z=1 x=1 xabvz=1",
         {{"xabvz", pw_a + pw_b + pw_v + pw_z}}},
        {"opC comes first, with its vector and control slots",
         {C, D, S, VS0, VAU, Z},
         "micro=6 c=1 d=1 s=1 v=2 z=1 xcvz=1",
         {{"xcvz", pw_c + pw_v + pw_z}}},
        {"fnop: XDZ power, no kind; its nop flag is not an S nop",
         {FNOP, X, Z},
         "micro=3 fnop=1 x=1 z=1",
         {{"xdz", pw_d + pw_z}}},
        {"done draws pw_d alone", {DONE, Z}, "micro=2 done=1 z=1", {{"xdz", pw_d}}},
        {"nops outside the S slot are not counted",
         {rec(SLOT_A, FLAG_NOP)},
         "micro=1 a=1 xabvz=1",
         {{"xabvz", pw_a}}},
        {"invalid instructions are no microinstructions",
         {INVALID, S},
         "micro=1 s=1 xssz=1 null_patched=1 invalid=1",
         {{"xssz", pw_s}}},
        {"other vector stages and sub-slots count nowhere",
         {rec(SLOT_VROR), rec(SLOT_VSAU), rec(SLOT_WORD, 0, 7), nullptr},
         ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        stats_reset(opt);
        count(row.records);
        expect_counts(row.counts, row.powers);
    }
}

TEST_F(Options, CountsRixuWords) {
    const Row rows[] = {
        {"a nop word", {rec(SLOT_WORD, FLAG_NOP, 32)}, "micro=1 rixu_long=1 nops=1"},
        {"a word with two loop markers",
         {rec(SLOT_WORD, 0, 32), rec(SLOT_WORD, 0, 3), rec(SLOT_WORD, 0, 3)},
         "micro=3 rixu_long=1 rixu_short=2"},
        {"an invalid word with a loop marker",
         {INVALID, rec(SLOT_WORD, 0, 3)},
         "micro=1 rixu_short=1 invalid=1"},
        {"ZEMA slot codes count nowhere", {S_NOP, A}, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        stats_reset(opt);
        count(row.records, false);
        expect_counts(row.counts, row.powers);
    }
}

TEST_F(Options, ResetClearsEveryCounterAndSum) {
    auto *first = reinterpret_cast<unsigned char *>(&opt->stat_micro);
    auto *last = reinterpret_cast<unsigned char *>(&opt->stat_invalid + 1);
    std::fill(first, last, 0x41); // 0x41414141 and 12.078431 in every member
    stats_reset(opt);
    expect_counts("", {});
}

// Shares in the report: single-precision percentages with two decimals on
// ZEMA windows, whole truncated ones on RIXU windows.
TEST_F(Options, ReportsShares) {
    struct Case {
        uint32_t mode, packets, micro, xabvz, nops;
        const char *line;
    };
    const Case cases[] = {
        {ARCH_ZEMA1, 4, 4, 1, 0, "    No of XABVZ packets:                 1 25.00%\n"},
        {ARCH_ZEMA3, 3, 3, 0, 1, "    No of nops:                          1 33.33%\n"},
        {ARCH_RIXU1, 3, 3, 0, 1, "    No of nops:                               1  33%\n"},
        {ARCH_RIXU3, 3, 0, 0, 0, "    No of nops:                               0   0%\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        stats_reset(opt);
        opt->core_mode = c.mode;
        opt->stat_packets = c.packets;
        opt->stat_micro = c.micro;
        opt->stat_xabvz = c.xabvz;
        opt->stat_nops = c.nops;
        EXPECT_NE(report().find(c.line), std::string::npos);
    }
    opt->stat_packets = 0;
    EXPECT_EQ(report(), "");
}

} // namespace
