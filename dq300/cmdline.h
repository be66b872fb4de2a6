// Command-line reading: the flag scan, -arch search, the descriptor-driven
// option parser, the source name and the usage text.
#pragma once

#include "dq300/options.h"

char *find_flag_option(char letter, int argc, char **argv);
int find_word_option(const char *word, int argc, char **argv);
int get_option(int argc, char **argv, const char *descriptor, Option_struct *opt);
bool is_hex_string(const char *text);
// The value of a string of hexadecimal digits; values beyond 32 bits are the
// highest address.
uint32_t read_hex_address(const char *digits);
char *get_source_name(int argc, char **argv, Option_struct *opt);
void print_banner(FILE *stream, const Option_struct *opt);
[[noreturn]] void usage(Option_struct *opt);
