// The -z report appended after a code window's listing: general counts,
// then the packet kinds, compaction, nops, invalid instructions and power of
// a ZEMA window, or the nops and invalid instructions of a RIXU window.
#include <cstdarg>
#include <cstdio>

#include "stats/stats.h"

namespace {

// A count with its share of a total, printed as 0 when the guard is 0.
struct Share_line_struct {
    const char *heading; // printed before the line, or null
    const char *format;
    uint32_t count;
    uint32_t total;
    uint32_t guard;
};

// A kind's average power per packet and the power of a fully used packet.
struct Power_line_struct {
    const char *format;
    float sum;
    uint32_t packets;
    float maximum;
};

// Appends one formatted line; false once the text buffer records an error.
__attribute__((format(printf, 2, 3))) bool append_line(Option_struct *opt, const char *format,
                                                       ...) {
    char scratch[160];
    va_list args;
    va_start(args, format);
    vsnprintf(scratch, sizeof scratch, format, args);
    va_end(args);
    text_append(scratch, opt);
    return get_error_code(opt) == ERR_NONE;
}

bool append_text(Option_struct *opt, const char *text) {
    text_append(text, opt);
    return get_error_code(opt) == ERR_NONE;
}

unsigned long as_ulong(uint32_t count) {
    return count;
}

// "fnop" packets and those with "done" are XDZ packets of the report.
uint32_t xdz_packets(const Option_struct *opt) {
    return opt->stat_xdz + opt->stat_done + opt->stat_fnop;
}

float share(uint32_t count, uint32_t total, uint32_t guard) {
    if (guard == 0) return 0.0f;
    return static_cast<float>(count) * 100.0f / static_cast<float>(total);
}

bool append_shares(const Share_line_struct *lines, size_t n, Option_struct *opt) {
    for (size_t i = 0; i < n; i++) {
        const Share_line_struct &l = lines[i];
        if (l.heading && !append_text(opt, l.heading)) return false;
        if (!append_line(opt, l.format, as_ulong(l.count),
                         static_cast<double>(share(l.count, l.total, l.guard))))
            return false;
    }
    return true;
}

bool append_kinds(Option_struct *opt) {
    const uint32_t packets = opt->stat_packets, micro = opt->stat_micro;
    const uint32_t xssz = opt->stat_xssz;
    const Share_line_struct lines[] = {
        {"\n  Packets statistics:\n", "    No of XABVZ packets:            %6lu %5.2f%%\n",
         opt->stat_xabvz, packets, packets},
        {nullptr, "    No of XCVZ packets:             %6lu %5.2f%%\n", opt->stat_xcvz, packets,
         packets},
        {nullptr, "    No of XSVZ packets:             %6lu %5.2f%%\n", opt->stat_xsvz, packets,
         packets},
        {nullptr, "    No of XSSZ packets:             %6lu %5.2f%%\n", xssz, packets, packets},
        {nullptr, "    No of XDZ packets:              %6lu %5.2f%%\n", xdz_packets(opt), packets,
         packets},
        {"\n  Compaction statistics:\n", "    No of compacted packets:        %6lu %5.2f%%\n",
         xssz - opt->stat_null_patched, packets, xssz},
        {nullptr, "    No of null-patched packets:     %6lu %5.2f%%\n", opt->stat_null_patched,
         packets, xssz},
        {"\n  Nop statistics:\n", "    No of nops:                     %6lu %5.2f%%\n",
         opt->stat_nops, micro, micro},
        {nullptr, "    No of fnops:                    %6lu %5.2f%%\n", opt->stat_fnop, micro,
         micro},
        {nullptr, "    No of nops and fnops:           %6lu %5.2f%%\n",
         opt->stat_nops + opt->stat_fnop, micro, micro},
        {"\n  Invalid instructions statistics:\n",
         "    No of invalid instructions:     %6lu %5.2f%%\n", opt->stat_invalid, micro, micro},
    };
    return append_shares(lines, sizeof lines / sizeof lines[0], opt);
}

void append_power(Option_struct *opt) {
    const Power_line_struct lines[] = {
        {"    Per packet avg and max power consumption for XABVZ: %2.3f uW %2.3f uW\n",
         opt->power_xabvz, opt->stat_xabvz, pw_x + pw_a + pw_b + pw_v + pw_z},
        {"    Per packet avg and max power consumption for XCVZ:  %4.3f uW %4.3f uW\n",
         opt->power_xcvz, opt->stat_xcvz, pw_c + pw_x + pw_v + pw_z},
        {"    Per packet avg and max power consumption for XSVZ:  %4.3f uW %4.3f uW\n",
         opt->power_xsvz, opt->stat_xsvz, pw_s + pw_x + pw_v + pw_z},
        {"    Per packet avg and max power consumption for XSSZ:  %4.3f uW %4.3f uW\n",
         opt->power_xssz, opt->stat_xssz, 2.0f * pw_s + 2.0f * pw_x + pw_z},
        {"    Per packet avg and max power consumption for XDZ:   %4.3f uW %4.3f uW\n",
         opt->power_xdz, xdz_packets(opt), pw_d + pw_x + pw_z},
    };
    if (!append_text(opt, "\n  Power statistics:\n")) return;
    for (const Power_line_struct &l : lines) {
        float average = l.packets ? l.sum / static_cast<float>(l.packets) : 0.0f;
        if (!append_line(opt, l.format, static_cast<double>(average),
                         static_cast<double>(l.maximum)))
            return;
    }
}

// Whole percentages; a window whose words all failed to decode has no
// microinstruction to divide by and shows 0.
unsigned long rixu_share(uint32_t count, uint32_t micro) {
    return micro ? static_cast<unsigned long>(uint64_t{count} * 100 / micro) : 0;
}

void append_rixu(Option_struct *opt) {
    const uint32_t micro = opt->stat_micro;
    if (!append_text(opt, "\n  Nop statistics:\n")) return;
    if (!append_line(opt, "    No of nops:                          %6lu %3lu%%\n",
                     as_ulong(opt->stat_nops), rixu_share(opt->stat_nops, micro)))
        return;
    if (!append_text(opt, "\n  Invalid instructions statistics:\n")) return;
    append_line(opt, "    No of invalid instructions:          %6lu %3lu%%\n",
                as_ulong(opt->stat_invalid), rixu_share(opt->stat_invalid, micro));
}

} // namespace

void stats_report(Option_struct *opt) {
    if (opt->stat_packets == 0) return;
    if (!append_text(opt, "\n------------------------------------------------------\n") ||
        !append_text(opt, "  General statistics:\n") ||
        !append_line(opt, "    No of packets:                       %6lu\n",
                     as_ulong(opt->stat_packets)) ||
        !append_line(opt, "    No of microinstructions:             %6lu\n",
                     as_ulong(opt->stat_micro)))
        return;
    if (stats_zema_mode(opt)) {
        if (append_kinds(opt)) append_power(opt);
    } else {
        append_rixu(opt);
    }
}
