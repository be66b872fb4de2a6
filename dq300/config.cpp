// Reading of the -k configuration file into a list of tokens.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dq300/driver.h"
#include "kelim/kelim.h"

static bool is_token_char(int c) {
    return c != EOF && isprint(c) && c != ' ';
}

static config_entry *append_entry(config_entry **tail, const std::string &token) {
    auto *entry = static_cast<config_entry *>(kl_calloc(1, sizeof(config_entry)));
    entry->text = kl_strdup(token.c_str());
    *tail = entry;
    return entry;
}

int read_config_stream(FILE *stream, config_entry **tail) {
    config_entry *latest = nullptr;
    std::string token; // grows as needed: tokens of any length are kept whole
    int count = 0;
    int c = fgetc(stream);
    while (c != EOF) {
        if (c == ';') {
            while (c != EOF && c != '\n') c = fgetc(stream);
            if (latest) latest->end_of_line = 1;
            continue;
        }
        if (!is_token_char(c)) {
            if (c == '\n' && latest) latest->end_of_line = 1;
            c = fgetc(stream);
            continue;
        }
        token.clear();
        while (is_token_char(c)) {
            token += static_cast<char>(c);
            c = fgetc(stream);
        }
        latest = append_entry(tail, token);
        tail = &latest->next;
        count++;
    }
    return count;
}

int read_config_file(const char *path, config_entry **tail, Option_struct *opt) {
    (void)opt;
    FILE *stream = kl_fopen(path, "r");
    int count = read_config_stream(stream, tail);
    // A file that cannot be read (a directory) is not an empty configuration.
    if (ferror(stream)) kl_fatal(&kl_errors, KL_FLAG_ERRNO, "details", "kl_fread failed\n");
    kl_fclose(stream);
    return count;
}

void free_config_entries(config_entry *head) {
    while (head) {
        config_entry *next = head->next;
        free(head->text);
        free(head);
        head = next;
    }
}
