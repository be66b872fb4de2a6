// A small modern C++ program: the names it leaves in its object file are the
// kind a firmware engineer's C++ code is full of.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {
struct Sample {
    std::string name;
    int value = 0;
    const std::string &label() const & { return name; }
    std::string label() && { return std::move(name); }
};
int count_calls(const std::string &s) {
    return static_cast<int>(s.size());
}
} // namespace

static int helper(int x) {
    return x * 2;
}

template <typename T, typename U> auto add(T a, U b) -> decltype(a + b) {
    return a + b;
}

template <typename... Args> std::size_t count_args(Args &&...args) {
    return sizeof...(args) + (0 + ... + sizeof(args));
}

template <typename T> void forward_to(T &&value) {
    std::vector<std::decay_t<T>> v;
    v.push_back(std::forward<T>(value));
}

std::string greet(const std::string &who) {
    return "hello " + who;
}

struct Widget {
    std::map<std::string, int> table;
    std::unique_ptr<Sample> sample;
    std::function<int(int)> op;
    Widget()
        : sample(std::make_unique<Sample>()),
          op([this](int x) { return x + static_cast<int>(table.size()); }) {}
    int run(int x) { return op(x); }
    char16_t wide(char32_t c) const { return static_cast<char16_t>(c); }
    auto null() { return nullptr; }
    decltype(auto) first() { return (table.begin()->second); }
};

int main() {
    Widget w;
    w.table["a"] = 1;
    Sample s;
    auto l = s.label();
    std::string moved = Sample{}.label();
    auto f = [](auto x) { return x; };
    int total = w.run(1) + helper(2) + count_calls(greet("x")) + add(1, 2.0) + f(3);
    total += static_cast<int>(count_args(1, 'c', 2.0, std::string("s")));
    forward_to(moved);
    forward_to(3);
    total += w.wide(U'x') + (w.null() == nullptr) + w.first();
    return total + static_cast<int>(l.size());
}
