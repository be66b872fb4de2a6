// Error state, reporting and the allocation/file wrappers of kelim.
#include "kelim/kelim.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

kl_error_state kl_errors = {nullptr, nullptr, 0,       1, "Error: ", "Warning: ", nullptr,
                            -1,      nullptr, nullptr, 0, 0,         nullptr};

void kl_init() {
    kl_errors.error_stream = stderr;
    kl_errors.message_stream = stdout;
    if (!kl_errors.tool_id) kl_errors.tool_id = strdup("TOOL");
    if (!kl_errors.number_prefix) kl_errors.number_prefix = strdup("T");
}

static FILE *error_stream(const kl_error_state *state) {
    return state->error_stream ? state->error_stream : stderr;
}

static FILE *message_stream(const kl_error_state *state) {
    return state->message_stream ? state->message_stream : stdout;
}

static const char *text_or(const char *text, const char *fallback) {
    return text ? text : fallback;
}

// The bracket "[tool,severity,prefixNNN,line(,file)]" shared by errors and warnings.
// Warnings print the message number unsigned, errors signed.
static void print_bracket(FILE *out, const kl_error_state *state, unsigned flags, int severity,
                          bool unsigned_number = false) {
    if (unsigned_number)
        fprintf(out, "[%s,%d,%s%03u", text_or(state->tool_id, "TOOL"), severity,
                text_or(state->number_prefix, "T"), static_cast<unsigned>(state->message_number));
    else
        fprintf(out, "[%s,%d,%s%03d", text_or(state->tool_id, "TOOL"), severity,
                text_or(state->number_prefix, "T"), state->message_number);
    if ((flags & KL_FLAG_LINE) && state->line_number != 0)
        fprintf(out, ",%ld", static_cast<long>(state->line_number));
    else
        fprintf(out, ",%d", -1);
    if ((flags & KL_FLAG_FILE) && state->file_name && *state->file_name)
        fprintf(out, ",%s]", state->file_name);
    else
        fputs("]", out);
}

static bool print_callback_text(FILE *out, const kl_error_state *state) {
    if (!state->callback) return false;
    const char *text = state->callback(state->message_number);
    if (text) fprintf(out, "%s ", text);
    return true;
}

static void print_plain_location(FILE *out, const kl_error_state *state, unsigned flags) {
    if ((flags & KL_FLAG_FILE) && state->file_name && *state->file_name)
        fprintf(out, "%s:", state->file_name);
    if ((flags & KL_FLAG_LINE) && state->line_number != 0)
        fprintf(out, "%ld: ", static_cast<long>(state->line_number));
}

static void print_errno_text(FILE *out, unsigned flags, const char *details, int saved_errno) {
    if (!(flags & KL_FLAG_ERRNO)) return;
    const char *system_text = saved_errno ? strerror(saved_errno) : nullptr;
    if (details && *details) {
        if (system_text && *system_text)
            fprintf(out, " %s : %s\n", details, system_text);
        else
            fprintf(out, " %s\n", details);
    } else if (system_text && *system_text) {
        fprintf(out, " %s\n", system_text);
    }
}

static void report_error_v(kl_error_state *state, unsigned flags, const char *details,
                           const char *format, va_list args) {
    int saved_errno = errno;
    FILE *out = error_stream(state);
    state->error_count++;
    if (!(flags & KL_FLAG_NOPREFIX)) {
        if (state->bracketed) {
            print_bracket(out, state, flags, (flags & KL_FLAG_RAISE) ? 3 : 2);
            if (!print_callback_text(out, state)) {
                const char *label = state->error_label;
                fprintf(out, ": %s", (label && *label) ? label : "Error: ");
            }
        } else {
            print_plain_location(out, state, flags);
            fputs(text_or(state->error_label, ""), out);
        }
    }
    vfprintf(out, format, args);
    print_errno_text(out, flags, details, saved_errno);
    fflush(out);
}

void kl_report_error(kl_error_state *state, unsigned flags, const char *details, const char *format,
                     ...) {
    va_list args;
    va_start(args, format);
    report_error_v(state, flags, details, format, args);
    va_end(args);
}

void kl_fatal(kl_error_state *state, unsigned flags, const char *details, const char *format, ...) {
    va_list args;
    va_start(args, format);
    report_error_v(state, flags, details, format, args);
    va_end(args);
    kl_exit(1);
}

void kl_report_warning(kl_error_state *state, unsigned flags, const char *details,
                       const char *format, ...) {
    if (!state->messages_enabled) return;
    int saved_errno = errno;
    FILE *out = message_stream(state);
    bool raised = flags & KL_FLAG_RAISE;
    if (!(flags & KL_FLAG_NOPREFIX)) {
        if (state->bracketed) {
            print_bracket(out, state, flags, raised ? 1 : 0, true);
            if (!print_callback_text(out, state)) {
                const char *label = state->warning_label;
                if (raised)
                    fprintf(out, ": %s", (label && *label) ? label : "Warning: ");
                else
                    fputs(": Information: ", out);
            }
        } else {
            fputs(raised ? text_or(state->warning_label, "") : "Information: ", out);
            print_plain_location(out, state, flags);
        }
    }
    va_list args;
    va_start(args, format);
    vfprintf(out, format, args);
    va_end(args);
    print_errno_text(out, flags, details, saved_errno);
    fflush(out);
}

// The two-message failure of a wrapper: the first form when errno is set (with
// the system text appended), the second when it is not.
[[noreturn]] static void wrapper_failed(const char *with_errno, const char *without_errno) {
    if (errno) kl_fatal(&kl_errors, KL_FLAG_ERRNO, "details", "%s", with_errno);
    kl_fatal(&kl_errors, 0, nullptr, "%s", without_errno);
}

void *kl_malloc(size_t size) {
    errno = 0;
    void *p = malloc(size);
    if (!p) wrapper_failed("kl_malloc failed\n", "Insufficient memory available\n");
    return p;
}

void *kl_calloc(size_t count, size_t size) {
    errno = 0;
    void *p = calloc(count, size);
    if (!p) wrapper_failed("kl_calloc failed\n", "Can't allocate memory\n");
    return p;
}

void *kl_realloc(void *pointer, size_t size) {
    errno = 0;
    void *p = realloc(pointer, size);
    if (!p && size != 0) wrapper_failed("kl_realloc failed\n", "Memory realloc failed\n");
    return p;
}

char *kl_strdup(const char *text) {
    if (!text) return nullptr;
    size_t n = strlen(text) + 1;
    char *copy = static_cast<char *>(kl_malloc(n));
    memcpy(copy, text, n);
    return copy;
}

// Longest path handed to the system; longer ones are refused as invalid.
constexpr size_t KL_PATH_LIMIT = 4096;

FILE *kl_fopen(const char *path, const char *mode) {
    if (!path || !mode)
        kl_fatal(&kl_errors, 0, nullptr, "fopen(\"%s\",\"%s\") : Bad address\n",
                 path ? path : "(null)", mode ? mode : "(null)");
    errno = 0;
    FILE *stream = strlen(path) < KL_PATH_LIMIT ? fopen(path, mode) : nullptr;
    if (stream) return stream;
    if (errno) kl_fatal(&kl_errors, KL_FLAG_ERRNO, "details", "fopen(\"%s\",\"%s\")", path, mode);
    kl_fatal(&kl_errors, 0, nullptr, "fopen(\"%s\",\"%s\") : Invalid argument\n", path, mode);
}

int kl_fclose(FILE *stream) {
    KL_ASSERT(stream);
    errno = 0;
    if (fclose(stream) != 0) wrapper_failed("kl_fclose failed\n", "The file was not closed\n");
    return 0;
}

size_t kl_fread(void *buffer, size_t size, size_t count, FILE *stream) {
    KL_ASSERT(buffer);
    KL_ASSERT(stream);
    errno = 0;
    size_t got = fread(buffer, size, count, stream);
    if (ferror(stream)) wrapper_failed("kl_fread failed\n", "In function kl_fread: read error\n");
    if (got < count) kl_fail_short_read();
    return got;
}

void kl_fail_short_read() {
    kl_fatal(&kl_errors, 0, nullptr, "In function kl_fread: unexpected end of file \n");
}

int kl_fseek(FILE *stream, long offset, int origin) {
    errno = 0;
    if (fseek(stream, offset, origin) != 0)
        wrapper_failed("kl_fseek failed\n",
                       "kl_fseek failed, cannot moves the file pointer to a specified location\n");
    return 0;
}

long kl_ftell(FILE *stream) {
    errno = 0;
    long position = ftell(stream);
    if (position < 0)
        wrapper_failed("kl_ftell failed\n",
                       "kl_ftell failed, on devices incapable of seeking (such as terminals and "
                       "printers), or when stream does not refer to an open file\n");
    return position;
}

unsigned long kl_strtoul(const char *text, char **end, int base) {
    errno = 0;
    unsigned long value = strtoul(text, end, base);
    if (errno == ERANGE)
        kl_fatal(&kl_errors, KL_FLAG_ERRNO, "details", "kl_strtoul failed, result out of range\n");
    return value;
}

ssize_t kl_getline(char **line, size_t *size, FILE *stream) {
    KL_ASSERT(line);
    KL_ASSERT(size);
    KL_ASSERT(stream);
    if (*size == 0 || !*line) {
        *line = static_cast<char *>(kl_realloc(*line, 257));
        *size = 256;
    }
    size_t i = 0;
    int c;
    while ((c = fgetc(stream)) != EOF) {
        if ((i + 1) % *size == 0) {
            *size *= 2;
            *line = static_cast<char *>(kl_realloc(*line, *size + 1));
        }
        (*line)[i++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    (*line)[i] = '\0';
    if (i == 0 && c == EOF) return -1;
    return static_cast<ssize_t>(i);
}

void kl_assert_failed(const char *expression, const char *file, int line) {
    fflush(stdout);
    fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expression, file, line);
    fflush(stderr);
    kl_exit(1);
}

static kl_exit_handler exit_handler = nullptr;

void kl_set_exit_handler(kl_exit_handler handler) {
    exit_handler = handler;
}

void kl_exit(int status) {
    fflush(stdout);
    fflush(stderr);
    if (exit_handler) exit_handler(status);
    exit(status);
}

static kl_input_check_handler input_check_handler = nullptr;

void kl_set_input_check_handler(kl_input_check_handler handler) {
    input_check_handler = handler;
}

static const char input_check_format[] = "Invalid file: condition \"%s\" does not hold (%s)\n";

char *kl_input_check_text(const char *condition, const char *source) {
    int length = snprintf(nullptr, 0, input_check_format, condition, source);
    char *text = static_cast<char *>(kl_malloc(size_t(length) + 1));
    snprintf(text, size_t(length) + 1, input_check_format, condition, source);
    return text;
}

void kl_input_check_failed(const char *condition, const char *source) {
    if (input_check_handler) input_check_handler(condition, source);
    // Without a handler (or when it returns) the run still ends in order.
    kl_fatal(&kl_errors, 0, nullptr, input_check_format, condition, source);
}
