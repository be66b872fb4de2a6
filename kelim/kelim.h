// kelim: the in-house support library. Allocation and file wrappers that end
// the process with a bracketed failure line (exit status 1) instead of
// returning an error, the process-wide error state that prints those lines,
// and the input-check hook used by readers of malformed files.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sys/types.h>

// Report flags of kl_report_error / kl_fatal / kl_report_warning.
enum : unsigned {
    KL_FLAG_FILE = 1,     // print the file name of the error state
    KL_FLAG_LINE = 2,     // print the line number of the error state
    KL_FLAG_ERRNO = 4,    // append the system text of errno
    KL_FLAG_NOPREFIX = 8, // print no prefix at all
    KL_FLAG_RAISE = 16,   // error severity 3 instead of 2; warning 1 instead of 0
};

using kl_msg_callback = const char *(*)(int message_number);

struct kl_error_state {
    FILE *error_stream;
    FILE *message_stream;
    uint32_t error_count;
    uint32_t messages_enabled;
    const char *error_label;
    const char *warning_label;
    const char *file_name;
    int32_t line_number;
    char *tool_id;       // heap text, "DIS" in this program
    char *number_prefix; // heap text, "8" in this program
    int32_t message_number;
    uint32_t bracketed;
    kl_msg_callback callback;
};

// The process-wide error state.
extern kl_error_state kl_errors;

void kl_init();
void kl_report_error(kl_error_state *state, unsigned flags, const char *details, const char *format,
                     ...) __attribute__((format(printf, 4, 5)));
[[noreturn]] void kl_fatal(kl_error_state *state, unsigned flags, const char *details,
                           const char *format, ...) __attribute__((format(printf, 4, 5)));
void kl_report_warning(kl_error_state *state, unsigned flags, const char *details,
                       const char *format, ...) __attribute__((format(printf, 4, 5)));

void *kl_malloc(size_t size);
void *kl_calloc(size_t count, size_t size);
void *kl_realloc(void *pointer, size_t size);
char *kl_strdup(const char *text);
FILE *kl_fopen(const char *path, const char *mode);
int kl_fclose(FILE *stream);
size_t kl_fread(void *buffer, size_t size, size_t count, FILE *stream);
// Ends the run as kl_fread does on a short read; for readers that know
// beforehand that the bytes they would read are not there.
[[noreturn]] void kl_fail_short_read();
int kl_fseek(FILE *stream, long offset, int origin);
long kl_ftell(FILE *stream);
unsigned long kl_strtoul(const char *text, char **end, int base);
ssize_t kl_getline(char **line, size_t *size, FILE *stream);

// Every fatal end of the run (a wrapper failure, a fatal report, a failed
// assertion or input check) leaves through kl_exit. A fuzzing harness installs
// a handler that returns control to the fuzzer (by throwing); the handler must
// not return. Without one the process exits with the status.
using kl_exit_handler = void (*)(int status);
void kl_set_exit_handler(kl_exit_handler handler);
[[noreturn]] void kl_exit(int status);

// Assertion for programming errors (null containers, streams). Stays active
// in release builds: prints "Assertion failed: %s, file %s, line %d\n" and stops.
[[noreturn]] void kl_assert_failed(const char *expression, const char *file, int line);
#define KL_ASSERT(expr) ((expr) ? (void)0 : kl_assert_failed(#expr, __FILE__, __LINE__))

// Structural check on input data. A malformed file ends the run in an orderly
// way (exit status 1) with a message quoting the condition text and naming the
// source module, e.g. KL_INPUT_CHECK(Ehdr->e_ehsize == ELF32_EHDR_SIZE, "elflib/elfread").
// The front end installs a handler that prints the message as a fatal diagnostic.
using kl_input_check_handler = void (*)(const char *condition, const char *source);
// The message of a broken check, "Invalid file: condition \"...\" does not
// hold (source)\n", as a heap text; also for code that records the failure
// instead of ending the run at once.
char *kl_input_check_text(const char *condition, const char *source);
void kl_set_input_check_handler(kl_input_check_handler handler);
[[noreturn]] void kl_input_check_failed(const char *condition, const char *source);
#define KL_INPUT_CHECK(expr, source) ((expr) ? (void)0 : kl_input_check_failed(#expr, source))
