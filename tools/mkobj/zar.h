// Library descriptions: an `ar` archive whose members are object
// descriptions (tools/mkobj/ZOBJ.md), texts or nested archives, built with
// ArWriter. The format is in tools/mkobj/ZOBJ.md ("Libraries"); in short:
//
//   archive symtab
//   member filter.o defines=fir,iir
//     elf relocatable little zema1
//     section .text progbits flags=ae
//     insn done
//   member libinner.a
//     archive
//     member a_long_member_name.o
//       elf relocatable big zema2
//     end
//   member README text="not an object"
#pragma once

#include <string>
#include <string_view>

#include "tools/mkobj/zobj.h"

namespace zema_test {

// True when the first statement of a description is "archive".
bool is_library_description(std::string_view text);

// Builds the archive a library description describes; errors read
// "file:line: message" as for object descriptions.
ZobjResult build_library(std::string_view text, const std::string &file_name);

} // namespace zema_test
