// The driver's diagnostics: one bracketed line per problem,
// "[DIS,severity,8nnn,-1(,file)] WORD --- ".
#pragma once

[[noreturn]] void report_error_exit(const char *message, const char *file_name,
                                    const char *tool_name);
[[noreturn]] void report_error_arg_exit(const char *message, const char *argument,
                                        const char *file_name, const char *tool_name);
[[noreturn]] void report_fatal(const char *message, const char *file_name);
void report_error(const char *message, const char *file_name);
void report_warning(const char *message, const char *file_name);
