// What the library knows of the packet text it returned last, for callers
// that would otherwise measure it again.
#pragma once

#include <cstddef>

namespace ZEMADisasmLib {

// The length of `text` when it is the text the last FormatPacket returned
// (valid until the next FormatPacket); SIZE_MAX for any other text, whose
// length the caller must measure itself.
size_t PacketTextLength(const char *text);

} // namespace ZEMADisasmLib
