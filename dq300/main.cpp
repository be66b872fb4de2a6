// Entry point of zema-kt: start-up, command line, banner, checks, dispatch.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "decodelib/zema_disasm.h"
#include "dq300/cmdline.h"
#include "dq300/diag.h"
#include "dq300/driver.h"
#include "dq300/options.h"
#include "kelim/kelim.h"

namespace {

Option_struct *run_options = nullptr; // for the input-check handler

const char *file_io_message(int number) {
    return number ? "File I/O generic msg: " : nullptr;
}

// A broken structural check of an input file ends the run naming the file.
void input_check_fatal(const char *condition, const char *source) {
    char *text = kl_input_check_text(condition, source);
    std::string message = text;
    free(text);
    report_fatal(message.c_str(), run_options ? run_options->source_name : "");
}

Option_struct *create_record() {
    Option_struct *opt = options_new();
    strcpy(opt->product_name, "zema-kt");
    opt->tool_name = opt->product_name;
    strcpy(opt->tool_title, "Disassembler");
    snprintf(opt->version_text, sizeof opt->version_text, "1.5.148 2018-02-13\n%s\n%s",
             ZEMADisasmLib::GetLibraryVersion(), ZEMADisasmLib::GetModelVersion());
    strcpy(opt->notice_text, "Copyright (C) 2004-2018 Tarvex. All rights reserved.");
    strcpy(opt->option_spec, "B?b?DdE?e?FfL?l?H?h?I?i?JjK?k?NnPpQqR?r?SsUuVvXxZzMmWwTt");
    return opt;
}

void prepare_error_state() {
    kl_errors.tool_id = kl_strdup("DIS");
    kl_errors.number_prefix = kl_strdup("8");
    kl_errors.bracketed = 1;
    kl_errors.callback = file_io_message;
    kl_init();
    kl_set_input_check_handler(input_check_fatal);
}

void scan_flags(int argc, char **argv, Run_struct *run) {
    auto has = [&](char letter) { return find_flag_option(letter, argc, argv) != nullptr; };
    run->hex_display = has('x');
    run->pc_display = !has('p');
    run->verbose = has('v');
    run->quiet = has('q');
    run->compact = has('c');
    run->label_display = !has('s');
    run->memory_dump = has('d');
    run->statistics = has('z');
    run->loop_end = has('f');
    run->ignore_relocations = has('u');
    run->unmangle = has('n');
    run->local_symbols = !has('w');
    run->bss_sections = !has('j');
    run->data_sections = !has('t');
    run->mapper_labels = !has('m');
    if (run->compact) {
        run->hex_display = false;
        run->pc_display = false;
        run->quiet = true;
        run->label_display = false;
        run->unmangle = false;
    }
}

// Removes every "-arch name" pair from argv; the last one wins.
void extract_arch(int *argc, char **argv, Run_struct *run) {
    static const struct {
        const char *name;
        int32_t architecture;
        uint64_t mask;
    } names[] = {{"zema", 0, 0},        {"zema2", 2, 0},        {"zema3", 3, 0},
                 {"rixu", 0, SHF_RIXU}, {"rixu2", 2, SHF_RIXU}, {"rixu3", 3, SHF_RIXU}};
    int i;
    while ((i = find_word_option("arch", *argc, argv)) != 0) {
        if (i == *argc - 1)
            report_fatal("Missing option. Valid options for -arch: zema, zema2, zema3, rixu, "
                         "rixu2, rixu3",
                         "");
        for (char *p = argv[i + 1]; *p; ++p) *p = static_cast<char>(tolower(*p));
        bool known = false;
        for (const auto &entry : names) {
            if (strcmp(argv[i + 1], entry.name) != 0) continue;
            run->architecture = entry.architecture;
            run->core_mask = entry.mask;
            known = true;
        }
        if (!known)
            report_fatal("Invalid architecture. Valid architectures are: zema, zema2, zema3, "
                         "rixu, rixu2, rixu3",
                         "");
        for (int k = i; k + 2 <= *argc; ++k) argv[k] = argv[k + 2];
        *argc -= 2;
    }
}

uint32_t parse_address(const char *arg, const char *missing, const char *not_hex) {
    if (!arg) report_fatal(missing, "");
    if (!is_hex_string(arg)) report_fatal(not_hex, "");
    return read_hex_address(arg);
}

void parse_interactive(const char *arg, Run_struct *run) {
    static const char au_message[] =
        "Please specify the number of AU's for -i[l|b][2|4|8|16|32|64]\n";
    if (!arg) report_fatal(au_message, "");
    run->interactive = true;
    char endian = static_cast<char>(tolower(static_cast<unsigned char>(arg[0])));
    if (endian != 'l' && endian != 'b')
        report_fatal("Please specify the endianness for -i[l|b][X]\n", "");
    run->big_endian = endian == 'b';
    int units = arg[0] ? atoi(arg + 1) : 0;
    for (uint8_t shift = 1; shift <= 6; ++shift)
        if (units == (1 << shift)) {
            run->word_shift = shift;
            return;
        }
    report_fatal(au_message, "");
}

void parse_options(int argc, char **argv, Run_struct *run, Option_struct *opt) {
    config_entry **tail = &run->config;
    int c;
    while ((c = get_option(argc, argv, opt->option_spec, opt)) != -1) {
        const char *arg = opt->opt_arg;
        switch (tolower(c)) {
        case 'b':
            if (!arg) report_fatal("No start label specified\n", "");
            free(run->start_label);
            run->start_label = kl_strdup(arg);
            break;
        case 'e':
            if (!arg) report_fatal("No end label specified\n", "");
            free(run->end_label);
            run->end_label = kl_strdup(arg);
            break;
        case 'h':
            run->high =
                parse_address(arg, "No high address specified\n", "High address should be hexa\n");
            break;
        case 'l':
            run->low =
                parse_address(arg, "No low address specified\n", "Low address should be hexa\n");
            break;
        case 'i':
            parse_interactive(arg, run);
            break;
        case 'k':
            if (!arg) report_fatal("No file specified\n", "");
            read_config_file(arg, tail, opt);
            while (*tail) tail = &(*tail)->next;
            break;
        default:
            break;
        }
    }
}

void check_consistency(const Run_struct *run, const Option_struct *opt) {
    bool labels = run->start_label || run->end_label;
    if (run->config && !run->memory_dump)
        report_fatal("Config file is available only for .lod files\n", opt->source_name);
    if (labels && run->memory_dump)
        report_fatal("Labels not implemented for memory dump\n", opt->source_name);
    if (labels && (run->low != 0 || run->high != 0xFFFFFFFF))
        report_fatal("Labels and addresses in the same invocation line are forbiden\n",
                     opt->source_name);
}

void shut_down(Run_struct *run, Option_struct *opt) {
    free(run->start_label);
    free(run->end_label);
    free(run->source_path);
    free_config_entries(run->config);
    free(kl_errors.tool_id);
    free(kl_errors.number_prefix);
    kl_errors.tool_id = nullptr;
    kl_errors.number_prefix = nullptr;
    run_options = nullptr;
    options_free(opt);
}

} // namespace

int main(int argc, char **argv) {
    Option_struct *opt = create_record();
    run_options = opt;
    prepare_error_state();
    if (argc < 2) usage(opt);

    Run_struct run{};
    run.high = 0xFFFFFFFF;
    run.architecture = -1;
    scan_flags(argc, argv, &run);
    extract_arch(&argc, argv, &run);
    parse_options(argc, argv, &run, opt);

    if (run.interactive) {
        set_core(opt, static_cast<uint8_t>(run.architecture < 0 ? 0 : run.architecture),
                 run.word_shift);
    } else {
        run.source_path = get_source_name(argc, argv, opt);
        opt->source_name = run.source_path;
    }
    if (!run.quiet) {
        print_banner(stderr, opt);
        fflush(stderr);
    }
    check_consistency(&run, opt);

    if (run.memory_dump)
        run_memory_dump(&run, opt);
    else if (run.interactive)
        run_interactive(&run, opt);
    else
        process_file(&run, opt);

    check_listing_written(opt);
    shut_down(&run, opt);
    return 0;
}
