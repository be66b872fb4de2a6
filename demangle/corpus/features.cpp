// Library-heavy names: std::string (ABI tags), lambdas in functions and
// constructors, std::function, anonymous namespaces, static functions and
// variables, thread-local variables, reference temporaries, generic lambdas.
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {
std::string shout(const std::string &s) {
    return s + "!";
}
struct Local {
    int n = 0;
    int get() const { return n; }
};
} // namespace

static std::vector<std::string> names;
static int twice(int x) {
    return 2 * x;
}
thread_local std::string scratch = "tls";
const std::string &bound = std::string("temporary");

std::string join(const std::vector<std::string> &parts, char sep) {
    std::string out;
    for (const auto &p : parts) out += p + sep;
    return out;
}

struct Counter {
    std::function<int(int)> step;
    explicit Counter(int k) : step([k](int x) { return x + k; }) {}
    ~Counter() { names.push_back("gone"); }
};

struct Base {
    explicit Base(int) {}
    virtual ~Base() = default;
    virtual std::string what() const { return "base"; }
};
struct Derived : Base {
    using Base::Base;
    std::string what() const override { return "derived"; }
};

template <typename F> int apply_twice(F f, int x) {
    return f(f(x));
}

int use_features() {
    static std::map<std::u16string, std::u32string> wide;
    wide[u"k"] = U"v";
    auto generic = [](const auto &a, auto &&b) { return a + b; };
    auto [first, second] = std::make_tuple(1, std::string("two"));
    Counter c(3);
    Derived d(1);
    Local l;
    std::string s = shout(join({"a", "b"}, ',')) + d.what() + scratch + bound + second;
    return apply_twice([](int v) { return twice(v); }, 1) + c.step(1) + generic(1, 2) +
           generic(1.0, 2.0) + l.get() + first + static_cast<int>(s.size()) +
           static_cast<int>(wide.size());
}
