// Shared by the fuzz targets: the run's fatal ends come back to the target as
// an exception instead of ending the process, and a run options record set up
// as the program's entry point sets it up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dq300/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);

// Thrown by the exit handler that fuzz_setup installs.
struct Fuzz_exit {
    int status;
};

// Installs the exit handler and sends standard output (listings) nowhere.
void fuzz_setup();

// A record as the entry point makes it; release with options_free.
Option_struct *fuzz_new_record();

// A record whose input stream reads the fuzzer's bytes, as the file run opens
// a file: null when there are none. Release with fuzz_close_input, which
// also frees the loaded ELF file a fatal end may have left.
Option_struct *fuzz_open_input(const uint8_t *data, size_t size);
void fuzz_close_input(Option_struct *opt);

// Little helper to read an input front to back; reads past the end give 0.
struct Fuzz_input {
    const uint8_t *data;
    size_t size;
    size_t pos = 0;
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    uint32_t u16() { return uint32_t(byte()) | (uint32_t(byte()) << 8); }
    size_t left() const { return pos < size ? size - pos : 0; }
};
