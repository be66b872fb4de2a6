// Per-window statistics of -z: packets, microinstructions by slot, packet
// kinds of the ZEMA cores, nops, fnops, invalid instructions and the
// estimated power of each packet kind. The counters live in the run options
// record; the engine resets them when a code window starts, counts every
// listed packet and appends the report after the window's listing.
#pragma once

#include <cstdint>

#include "decodelib/zema_disasm.h"
#include "dq300/options.h"

// Power per instruction in microwatts, by slot. The vector slots draw pw_v
// once per packet, however many of them are used; "done" and "fnop" draw
// pw_d.
inline constexpr float pw_a = 0.07455f;
inline constexpr float pw_b = 0.05787f;
inline constexpr float pw_c = 0.06147f;
inline constexpr float pw_d = 0.19778f;
inline constexpr float pw_s = 0.15941f;
inline constexpr float pw_v = 0.90628f;
inline constexpr float pw_x = 0.0f;
inline constexpr float pw_z = 0.04724f;

// True when the window's decoding mode is a ZEMA set (packets of slots);
// otherwise it is a RIXU set (32-bit words).
bool stats_zema_mode(const Option_struct *opt);

// Clears every counter and power sum.
void stats_reset(Option_struct *opt);

// Counts the packet of the library's last decode, `count` being its
// instruction count (GetInstructionCount); ZEMA or RIXU by opt->core_mode.
void stats_packet(uint32_t count, Option_struct *opt);
void stats_packet_zema(uint32_t count, Option_struct *opt);
void stats_packet_rixu(uint32_t count, Option_struct *opt);

// The counting of one packet over records taken from `record_at` (index 0
// to count-1; a null record is skipped): GetInstructionRecord for the
// packet just decoded.
using Stats_record_source = const ZEMADisasmLib::InstructionRecord *(*)(uint32_t index);
void stats_count_zema(uint32_t count, Stats_record_source record_at, Option_struct *opt);
void stats_count_rixu(uint32_t count, Stats_record_source record_at, Option_struct *opt);

// Appends the report to the listing text; nothing when no packet was
// counted. Stops at the first append that records an error.
void stats_report(Option_struct *opt);
