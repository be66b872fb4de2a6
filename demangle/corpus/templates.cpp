// Template names without library headers: decltype return types, packs and
// their expansions, reference collapsing, ref-qualified members, nested
// function-pointer declarators, noexcept function types, character types.
struct Value {
    int n;
    int size() const { return n; }
    Value &self() & { return *this; }
    Value &&self() && { return static_cast<Value &&>(*this); }
};

template <typename T> T &&declare() noexcept;

template <typename T> auto size_of(const T &t) -> decltype(t.size()) {
    return t.size();
}
template <typename T> auto size_of_type() -> decltype(declare<T>().size()) {
    return 0;
}
template <typename T, typename U> auto sum(T t, U u) -> decltype(t + u) {
    return t + u;
}
template <typename... Ts> int count(Ts &&...) {
    return sizeof...(Ts);
}
template <typename... Ts> struct Pack {};
template <typename... Ts> int unpack(Pack<Ts...>, Ts *...) {
    return sizeof...(Ts);
}
template <typename T> void take(T &&) {}

using Callback = int (*)();
int zero() {
    return 0;
}
Callback pick() {
    return zero;
}
int call(Callback (*get)()) {
    return get()();
}
int call_noexcept(void (*f)() noexcept) {
    return f ? 1 : 0;
}
void quiet() noexcept {}
int chars(char16_t a, char32_t b, wchar_t c, decltype(nullptr)) {
    return a + b + c;
}
int arrays(int (&a)[4], int (*p)[2][3]) {
    return a[0] + (*p)[1][2];
}

namespace outer::inner {
template <int N> struct Fixed {
    static int value() { return N; }
};
} // namespace outer::inner

int use_templates() {
    Value v{3};
    int n = 0;
    const int k = 1;
    take(n);
    take(k);
    take(static_cast<int &&>(n));
    take<const int &>(k);
    int a[4] = {};
    int m[2][3] = {};
    return size_of(v) + size_of_type<Value>() + sum(1, 2L) + count(1, 'c', v) +
           unpack(Pack<int, const char>(), &n, "c") + v.self().size() + Value{2}.self().size() +
           call(pick) + call_noexcept(quiet) + chars(u'a', U'b', L'c', nullptr) + arrays(a, &m) +
           outer::inner::Fixed<7>::value();
}
