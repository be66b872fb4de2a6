// C++ name demangler: readable forms of names mangled by the Itanium C++ ABI
// scheme ("_Z" names), used for the listing's symbol comments.
#pragma once

#include <cstddef>

#include "dq300/options.h"

// Writes the readable form of name into buffer (at most size - 1 bytes, always
// terminated). A name that does not begin with "_Z", that is malformed, or that
// leaves text after its encoding is copied unchanged (and cut the same way).
void demangle(const char *name, char *buffer, size_t size);

// Returns the text to show for a symbol name. Mode 0: the name itself.
// Otherwise one leading underscore of "__Z" is skipped and the rest is
// demangled into opt->demangle_buffer; when nothing readable comes out the
// name itself is returned. Mode 1 returns the demangled text, any other mode
// "name{text}" in opt->demangle_joined. Both buffers are overwritten by the
// next call.
const char *demangle_symbol(const char *name, int mode, Option_struct *opt);
