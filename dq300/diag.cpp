// Diagnostics of the driver.
#include "dq300/diag.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kelim/kelim.h"

namespace {

// Builds the prefix; a std::string so that a file name of any length fits.
std::string prefix(int severity, int number, const char *word, const char *file_name) {
    char head[64];
    snprintf(head, sizeof head, "[DIS,%d,8%03d,-1", severity, number);
    std::string text = head;
    if (file_name && *file_name) {
        text += ',';
        text += file_name;
    }
    text += "] ";
    text += word;
    text += " --- ";
    return text;
}

[[noreturn]] void stop() {
    kl_exit(1);
}

} // namespace

void report_error_exit(const char *message, const char *file_name, const char *tool_name) {
    fprintf(stdout, "%s%s: %s\n", prefix(3, 1, "ERROR", file_name).c_str(), tool_name, message);
    stop();
}

void report_error_arg_exit(const char *message, const char *argument, const char *file_name,
                           const char *tool_name) {
    fprintf(stdout, "%s%s: %s: %s\n", prefix(3, 1, "ERROR", file_name).c_str(), tool_name, message,
            argument);
    stop();
}

void report_fatal(const char *message, const char *file_name) {
    fflush(stdout);
    fprintf(stderr, "%s%s", prefix(3, 999, "FATAL", file_name).c_str(), message);
    stop();
}

void report_error(const char *message, const char *file_name) {
    fprintf(stderr, "%s%s", prefix(2, 999, "ERROR", file_name).c_str(), message);
}

void report_warning(const char *message, const char *file_name) {
    fprintf(stderr, "%s%s", prefix(1, 999, "WARNING", file_name).c_str(), message);
}
