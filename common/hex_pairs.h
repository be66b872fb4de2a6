// The two hex digits of every byte value as one table: a byte is written
// with one two-character copy instead of two digit look-ups.
#pragma once

struct Hex_pairs_struct {
    char text[512];
    constexpr explicit Hex_pairs_struct(const char *digits) : text() {
        for (int b = 0; b < 256; b++) {
            text[2 * b] = digits[b >> 4];
            text[2 * b + 1] = digits[b & 0xF];
        }
    }
};
inline constexpr Hex_pairs_struct LOWER_HEX_PAIRS("0123456789abcdef");
inline constexpr Hex_pairs_struct UPPER_HEX_PAIRS("0123456789ABCDEF");
