// The run options record: creation, option keys, error state, text buffer.
#include "dq300/options.h"

#include <cstdlib>
#include <cstring>

#include "kelim/kelim.h"

Option_struct *options_new() {
    // Cleared as a whole so that no member (au_count, arch_code, engine
    // pointers) is ever read before it is written.
    auto *opt = static_cast<Option_struct *>(kl_calloc(1, sizeof(Option_struct)));
    opt->pc_display = 1;
    opt->label_display = 1;
    opt->mapper_labels = 1;
    opt->bss_sections = 1;
    opt->data_sections = 1;
    opt->local_symbols = 1;
    opt->source_name = const_cast<char *>("");
    return opt;
}

void options_free(Option_struct *opt) {
    if (!opt) return;
    free(opt->sort_symtab_ptr);
    free(opt->sort_section_ptr);
    free(opt->sort_section_keys);
    free(opt->sort_value_bits);
    if (opt->label_memo) opt->label_memo_release(opt->label_memo);
    free(opt->err_text);
    free(opt->text_buffer);
    free(opt->demangle_joined);
    free(opt);
}

static void reset_group(Option_struct *opt) {
    opt->pc_display = 1;
    opt->hex_display = 0;
    opt->compact_output = 0;
    opt->statistics = 0;
    opt->unmangle = 0;
    opt->bss_sections = 1;
    opt->data_sections = 1;
}

static uint8_t *flag_member(Option_struct *opt, int key) {
    switch (key) {
    case 1:
        return &opt->hex_display;
    case 2:
        return &opt->pc_display;
    case 3:
        return &opt->compact_output;
    case 5:
        return &opt->statistics;
    case 6:
        return &opt->verbose;
    case 7:
        return &opt->memory_dump;
    case 8:
        return &opt->label_display;
    case 9:
        return &opt->loop_end;
    case 10:
        return &opt->sort_symtab;
    case 11:
        return &opt->unmangle;
    case 13:
        return &opt->mapper_labels;
    case 14:
        return &opt->bss_sections;
    case 15:
        return &opt->local_symbols;
    case 16:
        return &opt->data_sections;
    default:
        return nullptr;
    }
}

void set_option(Option_struct *opt, int key, uint32_t value) {
    if (key == 0) {
        reset_group(opt);
        return;
    }
    if (key == 12) {
        opt->arch_version = value;
        if (value != 0 && value != 2 && value != 3)
            set_error(opt, ERR_OPTION, "Invalid architecture version\n");
        return;
    }
    uint8_t *member = flag_member(opt, key);
    if (!member) {
        set_error(opt, ERR_OPTION, "Invalid option\n");
        return;
    }
    *member = static_cast<uint8_t>(value);
}

void set_core(Option_struct *opt, uint8_t arch_code, uint8_t shift) {
    opt->arch_code = arch_code;
    // Shifts beyond 6 would not fit the unit count; they mean the widest word.
    opt->au_count = (shift != 0 && shift < 8) ? static_cast<uint8_t>(1u << shift) : 64;
}

void set_error(Option_struct *opt, uint8_t error_class, const char *message) {
    opt->err_code = error_class;
    opt->text_ready_capacity = 0;
    free(opt->err_text);
    opt->err_text = kl_strdup(message);
}

uint8_t get_error_code(const Option_struct *opt) {
    return opt->err_code;
}

const char *get_error_text(const Option_struct *opt) {
    return opt->err_text;
}

void text_open(Option_struct *opt) {
    opt->text_suppressed = 0;
    if (opt->text_buffer) return;
    opt->text_buffer = static_cast<char *>(malloc(TEXT_INITIAL_CAPACITY));
    if (!opt->text_buffer) {
        set_error(opt, ERR_MEMORY, "Cannot allocate space for the string buffer");
        return;
    }
    opt->text_buffer[0] = '\0';
    opt->text_capacity = TEXT_INITIAL_CAPACITY;
    opt->text_length = 0;
}

void text_grow(uint64_t amount, Option_struct *opt) {
    uint64_t capacity = opt->text_capacity + amount;
    char *grown = capacity >= opt->text_capacity
                      ? static_cast<char *>(realloc(opt->text_buffer, capacity))
                      : nullptr;
    if (!grown) {
        set_error(opt, ERR_MEMORY, "Cannot allocate space for the string buffer");
        return;
    }
    opt->text_buffer = grown;
    opt->text_capacity = capacity;
    opt->text_ready_capacity = 0;
}

void text_write_out(FILE *out, Option_struct *opt) {
    if (!opt->text_buffer || opt->text_length == 0 || opt->err_code != ERR_NONE) return;
    if (fwrite(opt->text_buffer, 1, opt->text_length, out) != opt->text_length ||
        fflush(out) != 0) {
        set_error(opt, ERR_MEMORY, "Cannot write the listing\n");
        return;
    }
    opt->text_length = 0;
    opt->text_buffer[0] = '\0';
}

void text_append(const char *text, Option_struct *opt) {
    if (text) text_append_n(text, strlen(text), opt);
}

void text_append_n(const char *text, uint64_t length, Option_struct *opt) {
    char *end = text_room(length, opt);
    if (end == nullptr) return;
    memcpy(end, text, length);
    text_added(length, opt);
}

char *text_room_grown(uint64_t length, Option_struct *opt) {
    if (opt->text_suppressed) return nullptr;
    if (!opt->text_buffer) text_open(opt);
    if (!opt->text_buffer) return nullptr;
    if (opt->text_capacity <= opt->text_length + length) {
        uint64_t increment = opt->text_capacity / 2;
        if (increment < length)
            increment = static_cast<uint64_t>(static_cast<double>(length) * 1.2);
        text_grow(increment, opt);
    }
    // One growth step may still fall short when the increment was half the
    // capacity; never write past the buffer.
    if (opt->err_code != ERR_NONE || opt->text_capacity <= opt->text_length + length)
        return nullptr;
    opt->text_ready_capacity = opt->text_capacity;
    return opt->text_buffer + opt->text_length;
}

char *text_detach(Option_struct *opt) {
    char *text = opt->text_buffer;
    opt->detached_text = text;
    opt->detached_length = opt->text_length;
    opt->text_buffer = nullptr;
    opt->text_capacity = 0;
    opt->text_ready_capacity = 0;
    opt->text_length = 0;
    return text;
}

void text_mute(Option_struct *opt) {
    opt->text_suppressed = 1;
    opt->text_ready_capacity = 0;
}

void text_unmute(Option_struct *opt) {
    opt->text_suppressed = 0;
}

void grow_table(void **table, int32_t *count, size_t element_size, Option_struct *opt) {
    grow_table_by(table, count, 32, element_size, opt);
}

void grow_table_by(void **table, int32_t *count, int32_t growth, size_t element_size,
                   Option_struct *opt) {
    size_t old_count = static_cast<size_t>(*count);
    size_t new_count = old_count + static_cast<size_t>(growth);
    void *grown = new_count <= INT32_MAX ? realloc(*table, new_count * element_size) : nullptr;
    if (!grown) {
        set_error(opt, ERR_MEMORY, "Memory allocation has failed...");
        return;
    }
    memset(static_cast<char *>(grown) + old_count * element_size, 0,
           static_cast<size_t>(growth) * element_size);
    *table = grown;
    *count = static_cast<int32_t>(new_count);
}
