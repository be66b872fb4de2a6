#include "dq300/cmdline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "dq300/driver.h"

namespace {

struct Args {
    std::vector<std::string> store;
    std::vector<char *> argv;
    explicit Args(std::vector<std::string> words) : store(std::move(words)) {
        store.insert(store.begin(), "zema-kt");
        for (auto &s : store) argv.push_back(s.data());
        argv.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(store.size()); }
    char **v() { return argv.data(); }
};

const char kDescriptor[] = "B?b?DdE?e?FfL?l?H?h?I?i?JjK?k?NnPpQqR?r?SsUuVvXxZzMmWwTt";

TEST(Cmdline, FindFlagOption) {
    struct Case {
        std::vector<std::string> args;
        char letter;
        bool found;
    };
    const Case cases[] = {
        {{"-xp", "f.eld"}, 'x', true}, {{"-xp", "f.eld"}, 'p', false}, {{"f.eld", "-x"}, 'x', true},
        {{"-X", "F.ELD"}, 'x', true},  {{"-", "x"}, 'x', false},       {{"x", "f"}, 'x', false},
        {{"-c", "f"}, 'c', true},
    };
    for (const Case &c : cases) {
        Args a(c.args);
        EXPECT_EQ(find_flag_option(c.letter, a.argc(), a.v()) != nullptr, c.found)
            << c.args[0] << " " << c.letter;
    }
}

TEST(Cmdline, FindWordOption) {
    Args a({"-x", "-ARCH", "zema", "-arch", "zema2", "-archx"});
    EXPECT_EQ(find_word_option("arch", a.argc(), a.v()), 4);
    Args none({"arch", "-archx"});
    EXPECT_EQ(find_word_option("arch", none.argc(), none.v()), 0);
}

TEST(Cmdline, ReadHexAddress) {
    struct Case {
        std::string digits;
        uint32_t value;
    };
    const Case cases[] = {{"", 0},
                          {"1fF", 0x1FF},
                          {"FFFFFFFF", 0xFFFFFFFF},
                          {"100000000", 0xFFFFFFFF},
                          {std::string(4000, '0') + "12", 0x12},
                          {std::string(4000, 'f'), 0xFFFFFFFF}};
    for (const Case &c : cases) EXPECT_EQ(read_hex_address(c.digits.c_str()), c.value) << c.digits;
}

TEST(Cmdline, IsHexString) {
    struct Case {
        const char *text;
        bool hex;
    };
    const Case cases[] = {{nullptr, false}, {"", true},     {"0", true},   {"DeadBeef", true},
                          {"0x10", false},  {"12g", false}, {" 1", false}, {"ffffffff", true}};
    for (const Case &c : cases) EXPECT_EQ(is_hex_string(c.text), c.hex) << (c.text ? c.text : "");
}

// Runs the parser over the arguments; returns "letter=arg" items and the
// index where it stopped.
std::string parse(std::vector<std::string> words, const char *descriptor = kDescriptor) {
    Args a(std::move(words));
    Option_struct *opt = options_new();
    std::string out;
    int c;
    get_option(0, nullptr, nullptr, opt);
    while ((c = get_option(a.argc(), a.v(), descriptor, opt)) != -1) {
        out += static_cast<char>(c);
        if (opt->opt_arg) out += "=" + std::string(opt->opt_arg);
        if (opt->opt_arg2) out += "," + std::string(opt->opt_arg2);
        out += " ";
    }
    out += "@" + std::to_string(opt->opt_index);
    options_free(opt);
    return out;
}

TEST(Cmdline, GetOption) {
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {{"-x", "-p", "f"}, "x p @3"},
        {{"-xp", "f"}, "x p @2"},
        {{"-l1000", "f"}, "l=1000 @2"},
        {{"-l", "1000", "f"}, "l @2"},              // detached argument left as the file
        {{"-l", "1000", "-x", "f"}, "l=1000 x @4"}, // taken: an option follows
        {{"-l", "-", "f"}, "l=- @3"},
        {{"-L100", "f"}, "L=100 @2"},
        {{"f", "-x"}, "@1"},
        {{"--", "-x"}, "@2"},
        {{"-"}, "@1"},
        {{}, "@1"},
        {{"-bmain", "-e", "end", "-x", "f"}, "b=main e=end x @5"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(parse(c.args), c.expected) << (c.args.empty() ? "" : c.args[0]);
}

TEST(Cmdline, GetOptionRequiredArguments) {
    EXPECT_EQ(parse({"-ofile", "x"}, "o:"), "o=file @2");
    EXPECT_EQ(parse({"-o", "file", "x"}, "o:"), "o=file @3");
    EXPECT_EQ(parse({"-oa", "b", "x"}, "o::"), "o=a,b @3");
}

TEST(CmdlineDeath, GetOptionFailures) {
    struct Case {
        std::vector<std::string> args;
        const char *descriptor;
        const char *stdout_line;
    };
    const Case cases[] = {
        {{"-y", "f"},
         kDescriptor,
         "[DIS,3,8001,-1] ERROR --- zema-kt: Illegal command line option: -y\n"},
        {{"-c", "f"},
         kDescriptor,
         "[DIS,3,8001,-1] ERROR --- zema-kt: Illegal command line option: -c\n"},
        {{"-?"},
         kDescriptor,
         "[DIS,3,8001,-1] ERROR --- zema-kt: Illegal command line option: -?\n"},
        {{"-o"},
         "o:",
         "[DIS,3,8001,-1] ERROR --- zema-kt: Missing command line option argument: -o\n"},
        {{"-oa"},
         "o::",
         "[DIS,3,8001,-1] ERROR --- zema-kt: Missing command line option argument: -o\n"},
    };
    for (const Case &c : cases) {
        // The line goes to standard output; the child sends it to stderr,
        // where the death test can see it.
        EXPECT_EXIT(
            {
                dup2(fileno(stderr), fileno(stdout));
                Option_struct *opt = options_new();
                opt->tool_name = const_cast<char *>("zema-kt");
                Args a(c.args);
                while (get_option(a.argc(), a.v(), c.descriptor, opt) != -1) {
                }
                exit(0);
            },
            testing::ExitedWithCode(1), testing::HasSubstr(c.stdout_line));
    }
}

std::vector<std::string> read_config(const std::string &text) {
    char path[] = "/tmp/zema_config_XXXXXX";
    int fd = mkstemp(path);
    FILE *f = fdopen(fd, "w");
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    config_entry *head = nullptr;
    int count = read_config_file(path, &head, nullptr);
    remove(path);
    std::vector<std::string> tokens;
    for (config_entry *e = head; e; e = e->next)
        tokens.push_back(std::string(e->text) + (e->end_of_line ? "$" : ""));
    EXPECT_EQ(count, static_cast<int>(tokens.size()));
    free_config_entries(head);
    return tokens;
}

TEST(Config, Tokens) {
    using V = std::vector<std::string>;
    struct Case {
        std::string text;
        V tokens;
    };
    std::string huge(5000, 'h'), vast(3 << 20, 'l');
    const Case cases[] = {
        {"", V{}},
        {"  ; only a comment\n\t\n", V{}},
        {"l100 h1ff\nl200 ; comment\n", V{"l100", "h1ff$", "l200$"}},
        {"l0\r\nh10", V{"l0$", "h10"}},
        {"H100", V{"H100"}},
        {"l1;c\nh2\n", V{"l1;c$", "h2$"}}, // ";" starts a comment only at a token start
        {huge + "\n", V{huge + "$"}},
        {"l1" + vast + " ;" + vast, V{"l1" + vast + "$"}},
        {std::string("l1\0h2\x80h3\x7f\n", 10), V{"l1", "h2", "h3$"}},
    };
    for (const Case &c : cases) EXPECT_EQ(read_config(c.text), c.tokens) << c.text;
}

} // namespace
