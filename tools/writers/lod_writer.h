// Builds .lod memory dump texts for the tests and tools: data lines of eight
// hex byte values (26 characters with the newline), plus odd lines for the
// reader's edge cases.
//
//   LodWriter lod;
//   lod.comment("_DATA P 0000").bytes({0x01, 0x02, ...}).line_of_length(27);
//   lod.write_file(path);
#pragma once

#include <cstdint>
#include <string>

#include "tools/writers/elf_writer.h"

namespace zema_test {

class LodWriter {
  public:
    // Data lines of eight bytes each; a last partial group is padded with 0.
    LodWriter &bytes(const Bytes &data);
    // One data line "XX XX XX XX XX XX XX XX" padded with blanks to 25
    // characters before the newline (a data line is exactly 26 long).
    LodWriter &data_line(const uint8_t (&group)[8]);
    // Any text, written as given followed by a newline.
    LodWriter &line(const std::string &text);
    LodWriter &comment(const std::string &text) { return line(text); }
    // A line of exactly `length` characters including its newline, made of
    // eight hex byte values padded with blanks when the length allows.
    LodWriter &line_of_length(size_t length, uint8_t fill = 0xAA);
    // Writes CR LF instead of LF from now on (CR counts as a character).
    LodWriter &crlf(bool on = true);
    // Text at the end without a newline.
    LodWriter &unterminated(const std::string &text);

    const std::string &text() const { return text_; }
    void write_file(const std::string &path) const;

  private:
    std::string text_;
    bool crlf_ = false;
};

} // namespace zema_test
