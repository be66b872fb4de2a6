#include "dq300/options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Record {
    Option_struct *opt = options_new();
    ~Record() { options_free(opt); }
};

TEST(Options, NewRecordDefaults) {
    Record r;
    Option_struct *o = r.opt;
    EXPECT_EQ(o->pc_display, 1);
    EXPECT_EQ(o->label_display, 1);
    EXPECT_EQ(o->mapper_labels, 1);
    EXPECT_EQ(o->bss_sections, 1);
    EXPECT_EQ(o->data_sections, 1);
    EXPECT_EQ(o->local_symbols, 1);
    EXPECT_EQ(o->hex_display + o->compact_output + o->statistics + o->verbose + o->memory_dump +
                  o->loop_end + o->sort_symtab + o->unmangle,
              0);
    EXPECT_STREQ(o->source_name, "");
    EXPECT_EQ(o->au_count, 0);
    EXPECT_EQ(o->arch_code, 0);
    EXPECT_EQ(o->text_buffer, nullptr);
    EXPECT_EQ(get_error_code(o), ERR_NONE);
}

TEST(Options, KeysStoreTheirMember) {
    struct Case {
        int key;
        uint8_t Option_struct::*member;
        uint32_t value;
    };
    const Case cases[] = {
        {1, &Option_struct::hex_display, 1},    {2, &Option_struct::pc_display, 0},
        {3, &Option_struct::compact_output, 1}, {5, &Option_struct::statistics, 1},
        {6, &Option_struct::verbose, 1},        {7, &Option_struct::memory_dump, 1},
        {8, &Option_struct::label_display, 0},  {9, &Option_struct::loop_end, 1},
        {10, &Option_struct::sort_symtab, 1},   {11, &Option_struct::unmangle, 1},
        {13, &Option_struct::mapper_labels, 0}, {14, &Option_struct::bss_sections, 0},
        {15, &Option_struct::local_symbols, 0}, {16, &Option_struct::data_sections, 0},
    };
    for (const Case &c : cases) {
        Record r;
        set_option(r.opt, c.key, c.value);
        EXPECT_EQ(r.opt->*c.member, c.value) << "key " << c.key;
        EXPECT_EQ(get_error_code(r.opt), ERR_NONE) << "key " << c.key;
    }
}

TEST(Options, InvalidKeysAndArchitectures) {
    struct Case {
        int key;
        uint32_t value;
        uint8_t code;
        const char *text;
    };
    const Case cases[] = {
        {12, 0, ERR_NONE, nullptr},
        {12, 2, ERR_NONE, nullptr},
        {12, 3, ERR_NONE, nullptr},
        {12, 1, ERR_OPTION, "Invalid architecture version\n"},
        {12, 0xFFFFFFFF, ERR_OPTION, "Invalid architecture version\n"},
        {4, 1, ERR_OPTION, "Invalid option\n"},
        {17, 1, ERR_OPTION, "Invalid option\n"},
        {-1, 1, ERR_OPTION, "Invalid option\n"},
    };
    for (const Case &c : cases) {
        Record r;
        set_option(r.opt, c.key, c.value);
        EXPECT_EQ(get_error_code(r.opt), c.code) << c.key << "/" << c.value;
        if (c.text) {
            EXPECT_STREQ(get_error_text(r.opt), c.text);
        }
        if (c.key == 12) {
            EXPECT_EQ(r.opt->arch_version, c.value);
        }
    }
}

TEST(Options, KeyZeroResetsTheGroup) {
    Record r;
    for (int key : {1, 3, 5, 11}) set_option(r.opt, key, 1);
    for (int key : {2, 14, 16, 8}) set_option(r.opt, key, 0);
    set_option(r.opt, 0, 0);
    EXPECT_EQ(r.opt->pc_display, 1);
    EXPECT_EQ(r.opt->hex_display, 0);
    EXPECT_EQ(r.opt->compact_output, 0);
    EXPECT_EQ(r.opt->statistics, 0);
    EXPECT_EQ(r.opt->unmangle, 0);
    EXPECT_EQ(r.opt->bss_sections, 1);
    EXPECT_EQ(r.opt->data_sections, 1);
    EXPECT_EQ(r.opt->label_display, 0); // not in the group
}

TEST(Options, SetCore) {
    struct Case {
        uint8_t code, shift, au;
    };
    const Case cases[] = {{3, 0, 64}, {2, 4, 16}, {0, 1, 2}, {0, 6, 64}, {2, 200, 64}};
    for (const Case &c : cases) {
        Record r;
        set_core(r.opt, c.code, c.shift);
        EXPECT_EQ(r.opt->arch_code, c.code);
        EXPECT_EQ(r.opt->au_count, c.au) << int(c.shift);
    }
}

TEST(Options, ErrorTextIsACopy) {
    Record r;
    std::string message = "Invalid data size\n";
    set_error(r.opt, ERR_CONTENT, message.c_str());
    message[0] = 'X';
    set_error(r.opt, ERR_DATA, "Invalid .rela info\n"); // replaces without leaking
    EXPECT_EQ(get_error_code(r.opt), ERR_DATA);
    EXPECT_STREQ(get_error_text(r.opt), "Invalid .rela info\n");
}

TEST(Options, TextGrowth) {
    struct Case {
        std::string first;  // appended to a fresh buffer
        std::string second; // then this one
        uint32_t capacity;
    };
    const Case cases[] = {
        {std::string(65535, 'a'), "", 65536},
        {std::string(65536, 'a'), "", 65536 + static_cast<uint32_t>(65536 * 1.2)},
        {std::string(100000, 'a'), "", 65536 + static_cast<uint32_t>(100000 * 1.2)},
        {std::string(60000, 'a'), std::string(10000, 'b'), 65536 + 32768},
        {std::string(65535, 'a'), std::string(32768, 'b'), 65536 + 32768},
    };
    for (const Case &c : cases) {
        Record r;
        text_open(r.opt);
        text_append(c.first.c_str(), r.opt);
        text_append(c.second.c_str(), r.opt);
        EXPECT_EQ(r.opt->text_capacity, c.capacity) << c.first.size() << "+" << c.second.size();
        EXPECT_EQ(r.opt->text_length, c.first.size() + c.second.size());
        EXPECT_EQ(std::string(r.opt->text_buffer), c.first + c.second);
        EXPECT_EQ(get_error_code(r.opt), ERR_NONE);
    }
}

TEST(Options, TextBeyondFourGigabytes) {
    // A record that already holds 3 GB of text (only its end is real memory
    // here): the next growth passes 4 GB and the text goes on, unclipped.
    Record r;
    const uint64_t held = 0xBFFFFFF0;
    r.opt->text_buffer = static_cast<char *>(calloc(1, 16));
    r.opt->text_capacity = 0xC0000000;
    r.opt->text_length = held;
    const std::string more(32, 'x');
    text_append(more.c_str(), r.opt);
    ASSERT_EQ(get_error_code(r.opt), ERR_NONE);
    EXPECT_EQ(r.opt->text_capacity, 0xC0000000ull + 0x60000000ull);
    EXPECT_EQ(r.opt->text_length, held + more.size());
    EXPECT_EQ(std::string(r.opt->text_buffer + held), more);
    free(text_detach(r.opt));
}

TEST(Options, MutedAndNullAppendsAreIgnored) {
    Record r;
    text_append("ab", r.opt); // opens the buffer on demand
    text_mute(r.opt);
    text_append("cd", r.opt);
    text_unmute(r.opt);
    text_append(nullptr, r.opt);
    text_append("ef", r.opt);
    EXPECT_STREQ(r.opt->text_buffer, "abef");
    EXPECT_EQ(r.opt->text_length, 4u);
    text_mute(r.opt);
    text_open(r.opt); // opening unmutes
    text_append("g", r.opt);
    char *text = text_detach(r.opt);
    EXPECT_STREQ(text, "abefg");
    EXPECT_EQ(r.opt->text_buffer, nullptr);
    EXPECT_EQ(r.opt->text_capacity, 0u);
    free(text);
    text_open(r.opt);
    EXPECT_STREQ(r.opt->text_buffer, "");
    EXPECT_EQ(r.opt->text_capacity, 65536u);
}

TEST(Options, KnownLengthAppends) {
    Record r;
    text_append_n("abcdef", 3, r.opt); // the text needs no NUL after the length
    char *room = text_room(4, r.opt);
    ASSERT_NE(room, nullptr);
    memcpy(room, "wxyz", 4);
    text_added(2, r.opt); // fewer than the room asked for
    EXPECT_STREQ(r.opt->text_buffer, "abcwx");
    EXPECT_EQ(r.opt->text_length, 5u);
    text_mute(r.opt);
    EXPECT_EQ(text_room(1, r.opt), nullptr);
    text_append_n("q", 1, r.opt);
    text_unmute(r.opt);
    // A room beyond the capacity grows the buffer as an append does.
    const std::string big(100000, 'b');
    room = text_room(big.size(), r.opt);
    ASSERT_NE(room, nullptr);
    memcpy(room, big.data(), big.size());
    text_added(big.size(), r.opt);
    EXPECT_EQ(r.opt->text_capacity, 65536 + static_cast<uint64_t>(100000 * 1.2));
    EXPECT_EQ(std::string(r.opt->text_buffer), "abcwx" + big);
    // The listing is written by the detached length: it is the text's.
    char *text = text_detach(r.opt);
    EXPECT_EQ(r.opt->detached_text, text);
    EXPECT_EQ(r.opt->detached_length, strlen(text));
    free(text);
    // Nothing listed: no text, and nothing to write.
    EXPECT_EQ(text_detach(r.opt), nullptr);
    EXPECT_EQ(r.opt->detached_text, nullptr);
}

// Every change of the record's state is seen by the next append: nothing is
// added after an error or while muted, and appending resumes once the error
// is cleared (as a harness does) or the text unmuted; text written out
// leaves an empty buffer that takes the next text.
TEST(Options, AppendsFollowTheTextState) {
    enum Step { APPEND, ERROR, CLEAR, MUTE, UNMUTE, WRITE };
    struct Case {
        Step step;
        std::string held; // the buffer after the step
    } cases[] = {
        {APPEND, "ab"}, {ERROR, "ab"},    {APPEND, "ab"},   {CLEAR, "ab"},      {APPEND, "abab"},
        {MUTE, "abab"}, {APPEND, "abab"}, {UNMUTE, "abab"}, {APPEND, "ababab"}, {WRITE, ""},
        {APPEND, "ab"}, {ERROR, "ab"},    {WRITE, "ab"},    {CLEAR, "ab"},      {WRITE, ""},
    };
    Record r;
    FILE *out = tmpfile();
    ASSERT_NE(out, nullptr);
    text_open(r.opt);
    for (const Case &c : cases) {
        switch (c.step) {
        case APPEND:
            text_append_n("ab", 2, r.opt);
            break;
        case ERROR:
            set_error(r.opt, ERR_DATA, "bad\n");
            break;
        case CLEAR:
            r.opt->err_code = ERR_NONE;
            break;
        case MUTE:
            text_mute(r.opt);
            break;
        case UNMUTE:
            text_unmute(r.opt);
            break;
        case WRITE:
            text_write_out(out, r.opt);
            break;
        }
        EXPECT_EQ(std::string(r.opt->text_buffer), c.held);
        EXPECT_EQ(r.opt->text_length, c.held.size());
    }
    // Written: the text before each write, once.
    rewind(out);
    char written[32] = {};
    EXPECT_EQ(fread(written, 1, sizeof written - 1, out), 8u);
    EXPECT_STREQ(written, "abababab");
    fclose(out);
}

TEST(Options, GrowTableZeroFills) {
    Record r;
    int32_t count = 0;
    void *table = nullptr;
    grow_table(&table, &count, sizeof(uint64_t), r.opt);
    ASSERT_EQ(count, 32);
    static_cast<uint64_t *>(table)[31] = 7;
    grow_table(&table, &count, sizeof(uint64_t), r.opt);
    ASSERT_EQ(count, 64);
    auto *values = static_cast<uint64_t *>(table);
    EXPECT_EQ(values[31], 7u);
    for (int i = 32; i < 64; ++i) EXPECT_EQ(values[i], 0u);
    free(table);
}

} // namespace
