// Command-line reading.
#include "dq300/cmdline.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "dq300/diag.h"
#include "kelim/kelim.h"

char *find_flag_option(char letter, int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (arg[0] != '-' || arg[1] == '\0') continue;
        if (tolower(static_cast<unsigned char>(arg[1])) == letter) return argv[i];
    }
    return nullptr;
}

int find_word_option(const char *word, int argc, char **argv) {
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '-' && strcmp(argv[i] + 1, word) == 0) return i;
    return 0;
}

static void take_optional_argument(int argc, char **argv, Option_struct *opt) {
    if (*opt->opt_next) {
        opt->opt_arg = const_cast<char *>(opt->opt_next);
        opt->opt_next = nullptr;
        return;
    }
    if (opt->opt_index >= argc) return;
    char *s = argv[opt->opt_index];
    // A detached argument is taken only when another option follows it, so
    // that the last plain argument stays the source file name.
    bool option_follows = opt->opt_index + 1 < argc && argv[opt->opt_index + 1][0] == '-';
    if ((s[0] != '-' && option_follows) || strcmp(s, "-") == 0) {
        opt->opt_arg = s;
        opt->opt_index++;
    }
}

static char *take_required_argument(int argc, char **argv, char letter, Option_struct *opt) {
    char *arg = nullptr;
    if (opt->opt_next && *opt->opt_next) {
        arg = const_cast<char *>(opt->opt_next);
        opt->opt_next = nullptr;
    } else if (opt->opt_index < argc) {
        arg = argv[opt->opt_index++];
    }
    if (!arg) {
        char text[3] = {'-', letter, '\0'};
        report_error_arg_exit("Missing command line option argument", text, opt->source_name,
                              opt->tool_name);
    }
    return arg;
}

int get_option(int argc, char **argv, const char *descriptor, Option_struct *opt) {
    opt->opt_arg = nullptr;
    opt->opt_arg2 = nullptr;
    if (argc == 0 && !argv && !descriptor) {
        opt->opt_next = nullptr;
        opt->opt_index = 0;
        return -1;
    }
    if (!opt->opt_next || !*opt->opt_next) {
        if (opt->opt_index == 0) opt->opt_index = 1;
        if (opt->opt_index >= argc) return -1;
        const char *arg = argv[opt->opt_index];
        if (arg[0] != '-' || arg[1] == '\0') return -1;
        opt->opt_next = arg + 1;
        opt->opt_index++;
        if (strcmp(arg, "--") == 0) {
            opt->opt_next = nullptr;
            return -1;
        }
    }
    char c = *opt->opt_next++;
    const char *entry = (c == ':' || c == '?') ? nullptr : strchr(descriptor, c);
    if (!entry) {
        char text[3] = {'-', c, '\0'};
        report_error_arg_exit("Illegal command line option", text, opt->source_name,
                              opt->tool_name);
    }
    if (entry[1] == '?') {
        take_optional_argument(argc, argv, opt);
    } else if (entry[1] == ':') {
        opt->opt_arg = take_required_argument(argc, argv, c, opt);
        if (entry[2] == ':') {
            opt->opt_next = nullptr;
            opt->opt_arg2 = take_required_argument(argc, argv, c, opt);
        }
    }
    return static_cast<unsigned char>(c);
}

bool is_hex_string(const char *text) {
    if (!text) return false;
    for (; *text; ++text)
        if (!isxdigit(static_cast<unsigned char>(*text))) return false;
    return true;
}

uint32_t read_hex_address(const char *digits) {
    uint64_t value = 0;
    for (; *digits; ++digits) {
        int c = tolower(static_cast<unsigned char>(*digits));
        value = (value << 4) | static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        if (value > 0xFFFFFFFF) return 0xFFFFFFFF;
    }
    return static_cast<uint32_t>(value);
}

char *get_source_name(int argc, char **argv, Option_struct *opt) {
    get_option(0, nullptr, nullptr, opt);
    while (get_option(argc, argv, opt->option_spec, opt) != -1) {
    }
    if (opt->opt_index <= 0) opt->opt_index = 1;
    if (opt->opt_index >= argc)
        report_error_exit("Cannot open source file", opt->source_name, opt->tool_name);
    return kl_strdup(argv[opt->opt_index]);
}

void print_banner(FILE *stream, const Option_struct *opt) {
    fprintf(stream, "Tarvex ZEMA %s  Version %s\n%s\n\n", opt->tool_title, opt->version_text,
            opt->notice_text);
}

static const char *const usage_lines[] = {
    "where:\n",
    "  -d  treat input file as memory dump (.lod file)\n",
    "  -b<label>  start at label   -e<label>  end at label\n",
    "  -f  print loop_end          -j do not disassemble BSS sections\n",
    ("  -i{l|b}{X}  use interactive mode \n\t{l|b} specifies endianness of the input string "
     "\n\tX can be 2|4|8|16|32|64 and represents the number of AUs\n"),
    "  -l<addr>  start at address  -h<addr>  end at address\n",
    "  -k<file>  config file       -p  suppress Pc display\n",
    "  -q  suppress banner         -s  suppress label and header display\n",
    "  -u  ignore relocation information\n",
    "  -v  version                 -x  display hex codification mixed with assembly\n",
    "  -z  display statistics      -n  display the unmangle C++ name \n",
    "  -w  do not output local symbols when processing .eld files\n",
    "  -t  do not disassemble data sections -m suppress mapper labels\n",
    "  <srcfil>  assembled source file\n",
};

void usage(Option_struct *opt) {
    print_banner(stdout, opt);
    printf("Usage: %s [-d] [-f] [-k<file>] [-i{l|b}{X}] [-l<hex address>] [-h<hex address>] [-j] "
           "[-m] [-n] [-p] [-r{i}] [-q] [-s] [-x] [-u] [-v] [-w] [-z] <srcfile>\n",
           opt->tool_name);
    for (const char *line : usage_lines) fputs(line, stdout);
    kl_exit(1);
}
