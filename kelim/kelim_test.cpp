#include "kelim/kelim.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kelim/kl_container.h"
#include "kelim/kl_dispenser.h"

namespace {

const char *generic_message(int number) {
    return number ? "File I/O generic msg: " : nullptr;
}

// The error state as the program sets it up.
void program_state() {
    kl_errors.tool_id = strdup("DIS");
    kl_errors.number_prefix = strdup("8");
    kl_errors.bracketed = 1;
    kl_errors.callback = generic_message;
    kl_init();
}

FILE *stream_of(const std::string &text) {
    FILE *f = tmpfile();
    fwrite(text.data(), 1, text.size(), f);
    rewind(f);
    return f;
}

TEST(KelimDeath, WrapperFailuresEndWithStatusOne) {
    struct Case {
        const char *name;
        void (*run)();
        const char *stderr_regex;
    };
    const Case cases[] = {
        {"missing file",
         [] {
             program_state();
             kl_fopen("/nonexistent/dir/file.eld", "rb");
         },
         "^\\[DIS,2,8000,-1\\]fopen\\(\"/nonexistent/dir/file.eld\",\"rb\"\\) details : No such "
         "file or directory\n$"},
        {"null path",
         [] {
             program_state();
             kl_fopen(nullptr, "r");
         },
         "\\[DIS,2,8000,-1\\]fopen\\(\"\\(null\\)\",\"r\"\\) : Bad address\n$"},
        {"short read",
         [] {
             program_state();
             FILE *f = stream_of("ab");
             char buffer[4];
             kl_fread(buffer, 1, 4, f);
         },
         "In function kl_fread: unexpected end of file \n$"},
        {"assertion",
         [] {
             program_state();
             kl_fclose(nullptr);
         },
         "^Assertion failed: stream, file .*kelim.cpp, line [0-9]+\n$"},
        {"overlong path",
         [] {
             program_state();
             std::string path(5000, 'a');
             kl_fopen(path.c_str(), "r");
         },
         ": Invalid argument\n$"},
        {"null dispenser data",
         [] {
             program_state();
             kl_ds_insert(kl_ds_create(nullptr), nullptr);
         },
         "It is illegal to be inserted a NULL data object into stack dispenser\n$"},
        {"partial key functions",
         [] {
             program_state();
             kl_cc_create([](const void *, const void *) { return 0; }, nullptr, nullptr, nullptr,
                          kl_pjw_hash, 7, 0);
         },
         "You must the specified the all function cmp_key, dup_key, free_key\n$"},
        {"too few buckets",
         [] {
             program_state();
             kl_cc_create(nullptr, nullptr, nullptr, nullptr, kl_pjw_hash, 2, 0);
         },
         "^Assertion failed: nbuckets >= 3, file"},
        {"null container position",
         [] {
             program_state();
             kl_cc_first(kl_cc_create(nullptr, nullptr, nullptr, nullptr, kl_pjw_hash, 3, 0),
                         nullptr);
         },
         "The kl_cc_posT\\* object you must be different of NULL\n$"},
        {"input check without handler",
         [] {
             program_state();
             KL_INPUT_CHECK(1 == 2, "kelim/test");
         },
         "condition \"1 == 2\" does not hold \\(kelim/test\\)\n$"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(c.run(), testing::ExitedWithCode(1), c.stderr_regex);
    }
}

// A harness (the fuzz targets) takes every fatal end back instead of exiting.
TEST(Kelim, ExitHandlerTakesEveryFatalEndBack) {
    struct Ended {
        int status;
    };
    kl_set_exit_handler([](int status) { throw Ended{status}; });
    const std::vector<void (*)()> fatal_ends = {
        [] { kl_fatal(&kl_errors, 0, nullptr, "fatal\n"); },
        [] { kl_fclose(nullptr); },
        [] { KL_INPUT_CHECK(1 == 2, "kelim/test"); },
        [] { kl_fail_short_read(); },
    };
    int ended = 0;
    for (auto fatal_end : fatal_ends) {
        testing::internal::CaptureStderr();
        try {
            fatal_end();
        } catch (const Ended &e) {
            EXPECT_EQ(e.status, 1);
            ended++;
        }
        testing::internal::GetCapturedStderr();
    }
    kl_set_exit_handler(nullptr);
    EXPECT_EQ(ended, 4);
}

TEST(Kelim, ReportErrorForms) {
    struct Case {
        unsigned flags;
        const char *file;
        int line;
        const char *expected;
    };
    const Case cases[] = {
        {0, nullptr, -1, "[DIS,2,8000,-1]msg\n"},
        {KL_FLAG_RAISE, nullptr, -1, "[DIS,3,8000,-1]msg\n"},
        {KL_FLAG_FILE | KL_FLAG_LINE, "a.lod", 12, "[DIS,2,8000,12,a.lod]msg\n"},
        {KL_FLAG_FILE, "", -1, "[DIS,2,8000,-1]msg\n"},
        {KL_FLAG_NOPREFIX, nullptr, -1, "msg\n"},
    };
    for (const Case &c : cases) {
        FILE *out = tmpfile();
        kl_error_state state{};
        state.error_stream = out;
        state.tool_id = const_cast<char *>("DIS");
        state.number_prefix = const_cast<char *>("8");
        state.bracketed = 1;
        state.callback = generic_message;
        state.file_name = c.file;
        state.line_number = c.line;
        kl_report_error(&state, c.flags, nullptr, "%s\n", "msg");
        rewind(out);
        char buffer[128] = {};
        size_t n = fread(buffer, 1, sizeof buffer - 1, out);
        fclose(out);
        EXPECT_EQ(std::string(buffer, n), c.expected);
        EXPECT_EQ(state.error_count, 1u);
    }
}

TEST(Kelim, ReportWithoutCallbackUsesLabels) {
    FILE *out = tmpfile();
    kl_error_state state{};
    state.error_stream = out;
    state.message_stream = out;
    state.messages_enabled = 1;
    state.tool_id = const_cast<char *>("T1");
    state.number_prefix = const_cast<char *>("T");
    state.bracketed = 1;
    state.error_label = "";
    state.warning_label = "Warning: ";
    kl_report_error(&state, 0, nullptr, "a\n");
    kl_report_warning(&state, KL_FLAG_RAISE, nullptr, "b\n");
    kl_report_warning(&state, 0, nullptr, "c\n");
    state.messages_enabled = 0;
    kl_report_warning(&state, 0, nullptr, "hidden\n");
    rewind(out);
    char buffer[256] = {};
    size_t n = fread(buffer, 1, sizeof buffer - 1, out);
    fclose(out);
    EXPECT_EQ(std::string(buffer, n), "[T1,2,T000,-1]: Error: a\n"
                                      "[T1,1,T000,-1]: Warning: b\n"
                                      "[T1,0,T000,-1]: Information: c\n");
    EXPECT_EQ(state.error_count, 1u);
}

TEST(Kelim, NullAndZeroSizeAreNotFailures) {
    EXPECT_EQ(kl_strdup(nullptr), nullptr);
    void *p = kl_malloc(8);
    kl_realloc(p, 0); // may return null without ending the run
    char *copy = kl_strdup("abc");
    EXPECT_STREQ(copy, "abc");
    free(copy);
}

TEST(Kelim, GetlineReadsLinesAndGrows) {
    std::string long_line(1000, 'x');
    struct Case {
        std::string input;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"ab\n", {"ab\n"}},
        {"ab\ncd", {"ab\n", "cd"}},
        {"\n\n", {"\n", "\n"}},
        {long_line + "\n", {long_line + "\n"}},
        {std::string(255, 'y') + "\n", {std::string(255, 'y') + "\n"}},
    };
    for (const Case &c : cases) {
        FILE *f = stream_of(c.input);
        char *line = nullptr;
        size_t size = 0;
        std::vector<std::string> got;
        ssize_t n;
        while ((n = kl_getline(&line, &size, f)) != -1) {
            EXPECT_EQ(static_cast<size_t>(n), strlen(line));
            got.emplace_back(line);
        }
        EXPECT_EQ(got, c.lines);
        EXPECT_GE(size, 256u);
        free(line);
        fclose(f);
    }
}

TEST(Kelim, PjwHash) {
    struct Case {
        const char *key;
        uint32_t hash;
    };
    const Case cases[] = {
        {"", 0},
        {"a", 97},
        {"ab", 97 * 16 + 98},
        {"main.o", 0x0738014Fu},
        {"abcdefghij", 0x0ABAA66Au}, // top nibble folded back in
        {"\xff", 0x0FFFFF0Fu},       // characters are signed: 0xFF counts as -1
    };
    for (const Case &c : cases) EXPECT_EQ(kl_pjw_hash(c.key), c.hash) << c.key;
}

uint32_t same_bucket(const void *) {
    return 5;
}

std::vector<std::string> keys_in_order(kl_containerT *cc) {
    std::vector<std::string> keys;
    kl_cc_posT pos;
    for (kl_cc_node *n = cc->first(cc, &pos); n; n = cc->next(&pos))
        keys.emplace_back(static_cast<const char *>(n->key));
    return keys;
}

TEST(Kelim, ContainerChainsStaySorted) {
    kl_containerT *cc = kl_cc_create(nullptr, nullptr, nullptr, nullptr, same_bucket, 7, 0);
    static int data[3];
    EXPECT_EQ(cc->insert(cc, "b", &data[0]), 1);
    EXPECT_EQ(cc->insert(cc, "a", &data[1]), 1);
    EXPECT_EQ(cc->insert(cc, "c", &data[2]), 1);
    EXPECT_EQ(cc->table->empty_buckets, 6u);
    EXPECT_EQ(keys_in_order(cc), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(cc->insert(cc, "b", &data[2]), 0);
    EXPECT_EQ(cc->find(cc, "b"), &data[0]);
    EXPECT_EQ(cc->count, 3u);
    EXPECT_EQ(cc->remove(cc, "b"), 1);
    EXPECT_EQ(cc->remove(cc, "b"), 0);
    EXPECT_EQ(cc->find(cc, "b"), nullptr);
    EXPECT_EQ(cc->remove(cc, "a"), 1);
    EXPECT_EQ(cc->remove(cc, "c"), 1);
    EXPECT_EQ(cc->table->empty_buckets, 7u);
    EXPECT_TRUE(keys_in_order(cc).empty());
    cc->destroy(cc);
}

int freed_count = 0;
void count_free(void *data) {
    freed_count++;
    free(data);
}

TEST(Kelim, ContainerVisitsBucketsInOrderAndFreesData) {
    freed_count = 0;
    kl_containerT *cc = kl_cc_create(nullptr, nullptr, nullptr, count_free, kl_pjw_hash, 1031, 0);
    const char *names[] = {"main.o", "util.o", "a", "zz", "lib.o"};
    for (const char *name : names) EXPECT_EQ(cc->insert(cc, name, malloc(4)), 1);
    std::vector<std::string> visited = keys_in_order(cc);
    ASSERT_EQ(visited.size(), 5u);
    for (size_t i = 1; i < visited.size(); ++i)
        EXPECT_LE(kl_pjw_hash(visited[i - 1].c_str()) % 1031,
                  kl_pjw_hash(visited[i].c_str()) % 1031);
    EXPECT_EQ(cc->remove(cc, "a"), 1);
    EXPECT_EQ(freed_count, 1);
    cc->destroy(cc);
    EXPECT_EQ(freed_count, 5);
}

TEST(Kelim, DispenserIsAStack) {
    freed_count = 0;
    kl_dispenserT *ds = kl_ds_create(count_free);
    kl_ds_posT pos;
    EXPECT_EQ(ds->first(ds, &pos), nullptr);
    EXPECT_EQ(ds->next(&pos), nullptr);
    for (int i = 0; i < 3; ++i) {
        int *value = static_cast<int *>(malloc(sizeof(int)));
        *value = i;
        ds->insert(ds, value);
    }
    std::vector<int> order;
    for (void *d = ds->first(ds, &pos); d; d = ds->next(&pos)) order.push_back(*(int *)d);
    EXPECT_EQ(order, (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(ds->count, 3u);
    ds->destroy(ds);
    EXPECT_EQ(freed_count, 3);
}

} // namespace
