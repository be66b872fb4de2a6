// Objects made by a real compiler are no ZEMA objects, but they are
// well-formed ELF32 files of both byte orders with REL and RELA sections,
// symbols, strings, data and BSS: with their machine number patched, every
// option set must list them or reject them in order (status 0 or 1), never
// crash or trip a sanitizer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

const char kC[] = R"(int counter;
static int table[16] = {1, 2, 3};
static const char text[] = "a string";
extern int ext(int);
int sum(int n) {
    int s = 0;
    for (int i = 0; i < n; i++) s += table[i & 15] + ext(i) + text[i & 7];
    counter += s;
    return s;
}
)";

const char kCpp[] = R"(namespace ns {
struct Foo {
    int x;
    Foo(int v) : x(v) {}
    virtual ~Foo() {}
    virtual int get() const { return x; }
};
} // namespace ns
template <typename T> T twice(T v) { return v + v; }
int use(int v) {
    ns::Foo f(v);
    return twice(f.get()) + twice<long>(v);
}
)";

// Little- and big-endian targets, with REL and with RELA relocations.
const char *const kTargets[] = {"i386-linux-gnu", "riscv32-unknown-elf", "armv7-none-eabi",
                                "powerpc-linux-gnu", "mips-linux-gnu"};

// Every option appears in some set, alone or with others.
const char *const kOptionSets[] = {"",          "-x -f -n -z -m -w -v", "-s -p -u -j -t",
                                   "-x -n -u",  "-f -z -p -w",          "-m -j -t -x",
                                   "-l10 -h40", "-bsum -e_Z3usei"};

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int run(const std::string &command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status)
                             : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// Sets e_machine to 0x40C8 in the file's byte order, and the architecture
// code (low byte of e_flags) unless it is negative.
void patch(std::string *image, int arch_code) {
    bool big = (*image)[5] == 2;
    (*image)[big ? 18 : 19] = char(0x40);
    (*image)[big ? 19 : 18] = char(0xC8);
    if (arch_code >= 0) (*image)[big ? 39 : 36] = char(arch_code);
}

struct Work {
    std::string dir = testing::TempDir() + "real_" + std::to_string(getpid()) + "_";
    std::string path(const std::string &name) const { return dir + name; }
};

// Compiles one source for one target; false when this clang cannot.
bool compile(const Work &w, const std::string &target, const char *source, bool cpp,
             std::string *object) {
    std::string src = w.path(cpp ? "src.cpp" : "src.c");
    std::ofstream(src) << source;
    std::string obj = w.path("out.o");
    std::string command = std::string(ZEMA_CLANG_PATH) + " --target=" + target +
                          " -O1 -ffreestanding -fno-exceptions -c " + src + " -o " + obj +
                          " 2>/dev/null";
    if (run(command) != 0) return false;
    *object = slurp(obj);
    return object->size() > 52;
}

void list_every_way(const Work &w, const std::string &what, const std::string &object) {
    for (int arch : {-1, 0, 2, 3}) {
        std::string image = object;
        patch(&image, arch);
        std::string eld = w.path("patched.eld");
        std::ofstream(eld, std::ios::binary) << image;
        for (const char *options : kOptionSets) {
            std::string err = w.path("err");
            int status = run(std::string(ZEMA_KT_PATH) + " -q " + options + " " + eld +
                             " >/dev/null 2>" + err);
            std::string messages = slurp(err);
            SCOPED_TRACE(what + " arch " + std::to_string(arch) + " [" + options + "]");
            EXPECT_TRUE(status == 0 || status == 1) << "status " << status << "\n" << messages;
            EXPECT_EQ(messages.find("Sanitizer"), std::string::npos) << messages;
            EXPECT_EQ(messages.find("runtime error"), std::string::npos) << messages;
        }
    }
}

struct RealObjects : testing::TestWithParam<const char *> {};

TEST_P(RealObjects, EveryOptionSetListsOrRejectsInOrder) {
    if (std::string(ZEMA_CLANG_PATH).find("NOTFOUND") != std::string::npos ||
        std::string(ZEMA_CLANG_PATH).empty())
        FAIL() << "clang is needed (the test command installs it)";
    Work w;
    w.dir += std::string(GetParam()) + "_";
    int compiled = 0;
    for (bool cpp : {false, true}) {
        std::string object;
        if (!compile(w, GetParam(), cpp ? kCpp : kC, cpp, &object)) continue;
        compiled++;
        list_every_way(w, std::string(GetParam()) + (cpp ? " C++" : " C"), object);
    }
    EXPECT_GT(compiled, 0) << "clang could not compile for " << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Targets, RealObjects, testing::ValuesIn(kTargets));

} // namespace
