#include "demangle/demangle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string run(const std::string &name) {
    static char buffer[DEMANGLE_BUFFER_SIZE];
    demangle(name.c_str(), buffer, sizeof buffer);
    return buffer;
}

struct Case {
    const char *mangled;
    const char *readable;
};

void check_table(const std::vector<Case> &cases) {
    for (const Case &c : cases) EXPECT_EQ(run(c.mangled), c.readable) << c.mangled;
}

TEST(Demangle, NamesAndFallbacks) {
    check_table({
        {"main", "main"},
        {"_Z3foov", "foo()"},
        {"_Z3fooi", "foo(int)"},
        {"_Z3fooX", "_Z3fooX"},
        {"_Z3fooS_", "_Z3fooS_"},
        {"_Z", "_Z"},
        {"_Z3fo", "_Z3fo"},
        {"_Z3foovjunk", "_Z3foovjunk"},
        {"_ZN3Foo3barEv", "Foo::bar()"},
        {"_ZN1a1b1cEv", "a::b::c()"},
        {"_ZNSt6vectorE", "std::vector"},
        {"_ZSt4swapv", "std::swap()"},
        {"_ZNK3Foo3getEv", "Foo::get()const "},
        {"_ZNVK3Foo3getEv", "Foo::get()const volatile "},
        {"_ZN3FooC2Ev", "Foo::Foo[base]()"},
        {"_ZN3FooC1Ev", "Foo::Foo()"},
        {"_ZN3FooC3Ev", "Foo::Foo[new]()"},
        {"_ZN3FooD0Ev", "Foo::~Foo[virtual]()"},
        {"_ZN3FooD1Ev", "Foo::~Foo()"},
        {"_ZN3FooD2Ev", "Foo::~Foo[base]()"},
        {"_ZN3FooC4Ev", "_ZN3FooC4Ev"},
        {"_ZN3FooD3Ev", "_ZN3FooD3Ev"},
        {"_ZN3FooplERKS_", "Foo::operator+(const Foo&)"},
        {"_ZN3FoonwEm", "Foo::operator new(unsigned long)"},
        {"_ZN3FoodlEPv", "Foo::operator delete(void*)"},
        {"_ZN3FooclEv", "Foo::operator()()"},
        {"_ZN3FooxxEv", "_ZN3FooxxEv"},
        {"_ZNK3FoocviEv", "Foo::operator int()const "},
        {"_ZN3Foov13barEv", "Foo::operator bar()"},
        {"_ZNSsC1Ev", "std::string::string()"},
        {"_ZNSaIcED2Ev", "std::allocator<char>::~allocator[base]()"},
        {"_Z1fSo", "f(std::ostream)"},
        {"_Z1fSaSbSsSiSoSd",
         "f(std::allocator, std::basic_string, std::string, std::istream, std::ostream, "
         "std::iostream)"},
    });
}

TEST(Demangle, SubstitutionsAndTemplates) {
    check_table({
        {"_Z1fIiEvT_", "void f<int>(int)"},
        {"_Z1fIiEvT0_", "void f<int>(__T2)"},
        {"_Z1fIicEvT0_", "void f<int, char>(char)"},
        {"_Z1fv1gS_", "f(void, g, g)"},
        {"_Z1f3FooS_", "f(Foo, Foo)"},
        {"_Z1f3Foo3BarS0_", "f(Foo, Bar, Bar)"},
        {"_Z1fPKcS0_", "f(const char*, const char*)"},
        {"_Z1fPKcS_", "f(const char*, const char)"},
        {"_Z1f1A1B1C1D1E1F1G1H1I1J1K1LS9_SA_", "f(A, B, C, D, E, F, G, H, I, J, K, L, K, L)"},
        {"_Z1fN1a1bE1cS_", "f(a::b, c, a)"},
        {"_Z1fIN1a1bIiEEEvv", "void f<a::b<int> >()"},
        {"_Z1fI1AIiEEvT_", "void f<A<int> >(A<int>)"},
        {"_ZN1AIiE1fEv", "A<int>::f()"},
        {"_ZN1AIiEC1Ev", "A<int>::A()"},
        {"_ZNSt6vectorIiSaIiEE9push_backERKi",
         "std::vector<int, std::allocator<int> >::push_back(const int&)"},
        {"_Z1fT_", "f(__T1)"},
        {"_Z1fIiEvS_", "void f<int>(f)"},
        {"_Z1fIEvv", "_Z1fIEvv"},
    });
}

TEST(Demangle, Types) {
    check_table({
        {"_Z1fwbcahstijlmxynofdegz",
         "f(wchar_t, bool, char, signed char, unsigned char, short, unsigned short, int, "
         "unsigned int, long, unsigned long, long long, unsigned long long, __int128, unsigned "
         "__int128, float, double, long double, __float128, ...)"},
        {"_Z1fu3foo", "f(foo)"},
        {"_Z1fVKi", "f(const volatile int)"},
        {"_Z1frVKi", "f(const volatile restrict int)"},
        {"_Z1fU3fooi", "f(int)"},
        {"_Z1fCd", "f(complex double)"},
        {"_Z1fGd", "f(imaginary double)"},
        {"_Z1fPi", "f(int*)"},
        {"_Z1fRi", "f(int&)"},
        {"_Z1fOi", "f(int&&)"},
        {"_Z1fKPi", "f(int*const )"},
        {"_Z1fPPc", "f(char**)"},
        {"_Z1fPFviE", "f(void (*)(int))"},
        {"_Z1fPFvvE", "f(void (*)())"},
        {"_Z1fPFYvvE", "f(extern \"C\" void (*)())"},
        {"_Z1fRA10_i", "f(int (&)[10])"},
        {"_Z1fA10_i", "f(int [10])"},
        {"_Z1fA0_i", "f(int [*])"},
        {"_Z1fA2_A3_i", "f(int [2][3])"},
        {"_Z1fM3Fooi", "f(int Foo::*)"},
        {"_Z1fM3FooFviE", "f(void (Foo::*)(int))"},
        {"_Z1fM3FooKFvvE", "f(void (Foo::*)()const )"},
        {"_Z1fPFviES0_", "f(void (*)(int), void (*)(int))"},
        {"_Z1fFviEPS_", "f(void (int), void (*)(int))"},
        {"_Z1fPq", "_Z1fPq"},
    });
}

TEST(Demangle, LiteralsAndExpressions) {
    check_table({
        {"_Z1fILb0EEvv", "void f<false>()"},
        {"_Z1fILb1EEvv", "void f<true>()"},
        {"_Z1fILb2EEvv", "void f<2bool>()"},
        {"_Z1fILi5EEvv", "void f<5>()"},
        {"_Z1fILin5EEvv", "void f<-5>()"},
        {"_Z1fILc97EEvv", "void f<97>()"},
        {"_Z1fILj5EEvv", "void f<5u>()"},
        {"_Z1fILt5EEvv", "void f<5u>()"},
        {"_Z1fILl5EEvv", "void f<5l>()"},
        {"_Z1fILm5EEvv", "void f<5ul>()"},
        {"_Z1fILx5EEvv", "void f<5ll>()"},
        {"_Z1fILy18446744073709551615EEvv", "void f<18446744073709551615ull>()"},
        {"_Z1fILw65EEvv", "void f<(wchar_t)65>()"},
        {"_Z1fILi007EEvv", "void f<7>()"},
        {"_Z1fILiEEvv", "_Z1fILiEEvv"},
        {"_Z1fIiXplT_Li1EEEvv", "void f<int, (__T1+1)>()"},
        {"_Z1fIiXngT_EEvv", "void f<int, -__T1>()"},
        {"_Z1fIiXquLb1ELi1ELi2EEEvv", "void f<int, (true?1:2)>()"},
        {"_Z1fIiXcvlT_EEvv", "void f<int, ((long)__T1)>()"},
        {"_Z1fIiXszT_EEvv", "void f<int,  sizeof__T1>()"},
        {"_Z1fIiXclT_EEEvv", "_Z1fIiXclT_EEEvv"},
        {"_Z1fIiXxxT_EEEvv", "_Z1fIiXxxT_EEEvv"},
        {"_Z1fIL_Z1gvEEvv", "void f<g()>()"},
        {"_Z1fIiEvPAplT_Li1E_i", "void f<int>(int (*)[(int+1)])"},
    });
}

TEST(Demangle, SpecialAndLocalNames) {
    check_table({
        {"_ZTV3Foo", "virtual table for Foo"},
        {"_ZTT3Foo", "VTT for Foo"},
        {"_ZTI3Foo", "typeinfo structure for Foo"},
        {"_ZTS3Foo", "typeinfo name for Foo"},
        {"_ZThn8_N3Foo3barEv", "virtual thunk (-8) to Foo::bar()"},
        {"_ZTv0_n24_N3Foo3barEv", "virtual thunk (0,-24) to Foo::bar()"},
        {"_ZTch8_h16_N3Foo3barEv", "covariant virtual thunk ((8)(16)) to Foo::bar()"},
        {"_ZTcN3Foo3barEv", "covariant virtual thunk (()()) to Foo::bar()"},
        {"_ZTX3Foo", "_ZTX3Foo"},
        {"_ZGVZ3foovE1x", "guard variable for foo()::x"},
        {"_ZZ3foovE1x", "foo()::x"},
        {"_ZZ3foovE1x_2", "foo()::x # 2"},
        {"_ZZ3foovEs", "foo()literal string"},
        {"_ZZ3foovEs_0", "foo()literal string # 0"},
        {"_ZZN1A1fEvE1x_", "_ZZN1A1fEvE1x_"},
        {"_ZZ1fvEN1S1gEv", "f()::S::g()"},
    });
}

TEST(Demangle, ModernNamesAndScopes) {
    check_table({
        {"_Z3fooB5cxx11v", "foo[abi:cxx11]()"},
        {"_ZN3FooB3tagC1Ev", "Foo[abi:tag]::Foo()"},
        {"_ZNK3Foo3getB5cxx11Ev", "Foo::get[abi:cxx11]()const "},
        {"_ZL6helperi", "helper(int)"},
        {"_ZN1aL1bE", "a::b"},
        {"_ZStL3foo", "std::foo"},
        {"_ZN3FooUt0_E", "Foo::{unnamed type#2}"},
        {"_ZDC1p1qE", "[p, q]"},
        {"_ZZ4mainENKUliE0_clEi", "main::{lambda(int)#2}::operator()(int)const "},
        {"_ZZ1gvENUlvE_D2Ev", "g()::{lambda()#1}::~{lambda()#1}[base]()"},
        // Inheriting, unified and (as a scope only) maybe-in-charge variants.
        {"_ZN1BCI11AEi", "B::A(int)"},
        {"_ZN1CCI2N1X1AEEi", "C::A[base](int)"},
        {"_ZN1BCI41AEi", "_ZN1BCI41AEi"},
        {"_ZN3FooC5Ev", "Foo::Foo[unified]()"},
        {"_ZN3FooD5Ev", "Foo::~Foo[unified]()"},
        {"_ZN3FooD4Ev", "_ZN3FooD4Ev"},
        {"_ZZN3FooC4EvE1x", "Foo::Foo()::x"},
        {"_ZZN3FooD4EvE1x", "Foo::~Foo()::x"},
        {"_ZZ1fvEd0_1x", "f()::{default arg#2}::x"},
        {"_ZZ3foovE1x__12_", "foo()::x # 12"},
        {"_ZZ3foovE1x__12", "_ZZ3foovE1x__12"},
        {"_ZZ1fvEdlPv", "f()::operator delete(void*)"},
        {"_Zli2_xPKc", "operator\"\" _x(const char*)"},
        {"_ZN3FoossERKS_", "Foo::operator<=>(const Foo&)"},
    });
}

TEST(Demangle, ModernTypes) {
    check_table({
        {"_Z1fDsDiDuDaDcDnDfDdDeDh",
         "f(char16_t, char32_t, char8_t, auto, decltype(auto), decltype(nullptr), decimal32, "
         "decimal64, decimal128, half)"},
        {"_Z1fDF16_DF32xDF16b", "f(_Float16, _Float32x, std::bfloat16_t)"},
        {"_Z1fDv4_fS_", "f(float __vector(4), float __vector(4))"},
        {"_Z1fIiEvDv_Li4E_T_", "void f<int>(int __vector(4))"},
        {"_ZNKR3Foo3getEv", "Foo::get()const & "},
        {"_ZNO3Foo3getEv", "Foo::get()&& "},
        {"_Z1fM3FooKFvvRE", "f(void (Foo::*)()const & )"},
        {"_Z1fPDoFvvE", "f(void (*)()noexcept )"},
        {"_Z1fPDOLb1EEFvvE", "f(void (*)()noexcept(true) )"},
        {"_Z1fPDwiEFvvE", "f(void (*)()throw(int) )"},
        {"_Z1fPDxFvvE", "f(void (*)()transaction_safe )"},
        {"_Z1fILDn0EEvv", "void f<(decltype(nullptr))0>()"},
        {"_Z1fILf3f800000EEvv", "void f<(float)[3f800000]>()"},
        {"_Z1fDX", "_Z1fDX"},
    });
}

// Both were written literally before: "const int&&&" and "int (*)() (*)()".
TEST(Demangle, ReferencesCollapseAndDeclaratorsNest) {
    check_table({
        {"_Z1fIRKiEvOT_", "void f<const int&>(const int&)"},
        {"_Z1fIOiEvRT_", "void f<int&&>(int&)"},
        {"_Z1fIOiEvOT_", "void f<int&&>(int&&)"},
        {"_Z1fIRiEvRS0_", "void f<int&>(int&)"},
        {"_Z1fIRA2_iEvOT_", "void f<int (&)[2]>(int (&)[2])"},
        {"_Z1fPFPFivEvE", "f(int (*(*)())())"},
        {"_Z1fPFPA3_ivE", "f(int (*(*)())[3])"},
        {"_Z1fPFPFPFivEvEvE", "f(int (*(*(*)())())())"},
        {"_Z1fIiEPFivEv", "int (*f<int>())()"},
        {"_Z1fIiERA2_iv", "int (&f<int>())[2]"},
        {"_ZN1AIiE1fIcEEMS0_FivEv", "int (A<int>::*A<int>::f<char>())()"},
    });
}

TEST(Demangle, PacksAndClosureParameters) {
    check_table({
        {"_Z1fIJidEEvDpT_", "void f<int, double>(int, double)"},
        {"_Z1fIJEEvDpT_", "void f<>()"},
        {"_Z1fIiJEEvv", "void f<int>()"},
        {"_Z1fIJiRiEEvDpOT_", "void f<int, int&>(int&&, int&)"},
        {"_Z1fIJicEEv1AIJDpT_EE", "void f<int, char>(A<int, char>)"},
        {"_Z1fIJLi1ELi2EEEv1AIJXspT_EEE", "void f<1, 2>(A<1, 2>)"},
        {"_Z1fIJicEEvDTsZT_E", "void f<int, char>(decltype(2))"},
        {"_Z1fIiEvDpT_", "void f<int>(int...)"},
        // A pattern reused by substitution expands again.
        {"_Z6unpackIJicEEi4PackIJDpT_EEDpPS1_",
         "int unpack<int, char>(Pack<int, char>, int*, char*)"},
        // A generic lambda's auto:N reads as the call operator's argument
        // where its type is reused.
        {"_ZZ4mainENKUlRKT_OT0_E_clIidEEDaS1_S3_",
         "auto main::{lambda(const auto:1&, auto:2&&)#1}::operator()<int, double>(const int&, "
         "double&&)const "},
    });
}

TEST(Demangle, DecltypeAndExpressions) {
    check_table({
        {"_Z3addIidEDTplfp_fp0_ET_T0_",
         "decltype({parm#1}+{parm#2}) add<int, double>(int, double)"},
        {"_Z1fIiEDTcldtfp_3fooEET_", "decltype(({parm#1}.foo)()) f<int>(int)"},
        {"_Z1fIiEDTcl7declvalIT_EEET_", "decltype(declval<int>()) f<int>(int)"},
        {"_Z1fIiEDTptfpT3fooET_", "decltype(this->foo) f<int>(int)"},
        {"_Z1fIiEDTsrT_3fooET_", "decltype(int::foo) f<int>(int)"},
        {"_Z1fIiEDTsrNT_1bE5valueET_", "decltype(int::b::value) f<int>(int)"},
        {"_Z1fIiEDTsrSt1bIT_E5valueES0_", "decltype(std::b<int>::value) f<int>(std::b)"},
        {"_Z1fIiEDTsrT_onplET_", "decltype(int::operator+) f<int>(int)"},
        {"_Z1fIiEDTstT_ET_", "decltype( sizeof(int)) f<int>(int)"},
        {"_Z1fIiEDTscT_fp_ET_", "decltype(static_cast<int>({parm#1})) f<int>(int)"},
        {"_Z1fIiEDTcvT__fp_EET_", "decltype((int)({parm#1})) f<int>(int)"},
        {"_Z1fIiEDTtlT_fp_EET_", "decltype(int{{parm#1}}) f<int>(int)"},
        {"_Z1fIiEDTfLplfp_fp_ET_", "decltype({parm#1}+...+{parm#1}) f<int>(int)"},
        {"_Z1fIiEDTnxfp_ET_", "decltype(noexcept({parm#1})) f<int>(int)"},
        {"_Z1fIiEDTtwfp_ET_", "decltype(throw {parm#1}) f<int>(int)"},
        // Calls are read in decltype only; in template arguments as before.
        {"_Z1fIiXclT_EEEvv", "_Z1fIiXclT_EEEvv"},
        {"_Z1fIiEDTfq_ET_", "_Z1fIiEDTfq_ET_"},
    });
}

TEST(Demangle, ModernSpecialNamesAndClones) {
    check_table({
        {"_ZTH3foo", "TLS init function for foo"},
        {"_ZTW3foo", "TLS wrapper function for foo"},
        {"_ZGR1r_", "reference temporary #0 for r"},
        {"_ZGRZ1fvE1r0_", "reference temporary #1 for f()::r"},
        {"_ZGTtN3Foo3barEv", "transaction clone for Foo::bar()"},
        {"_ZGTnN3Foo3barEv", "non-transaction clone for Foo::bar()"},
        {"_ZGAN3Foo3barEv", "hidden alias for Foo::bar()"},
        {"_ZTC3Foo8_3Bar", "construction virtual table for Bar-in-Foo"},
        {"_ZTAXtl1PLi1EEE", "template parameter object for P{1}"},
        {"_Z3foov.cold", "foo() [clone .cold]"},
        {"_Z3foov.constprop.0.isra.1", "foo() [clone .constprop.0] [clone .isra.1]"},
        {"_ZN3Foo3barE.7", "Foo::bar [clone .7]"},
        {"_Z3foov.", "_Z3foov."},
        {"_Z3foov.-x", "_Z3foov.-x"},
        {"_ZGX3foo", "_ZGX3foo"},
    });
}

TEST(Demangle, NewRulesStayBounded) {
    // Expanding a long pattern over a long pack, nested expansions and
    // re-read closure parameters stop at the budget: the name comes back.
    std::string pack = "_Z1fIJ" + std::string(3000, 'i') + "EEv";
    std::string wide = pack + "Dp";
    for (int i = 0; i < 3000; ++i) wide += "U1x";
    wide += "T_";
    EXPECT_TRUE(run(wide) == wide.substr(0, DEMANGLE_BUFFER_SIZE - 1));
    std::string nested = "_Z1fIJiiEEv";
    for (int i = 0; i < 200; ++i) nested += "Dp";
    nested += "T_";
    EXPECT_EQ(run(nested), "void f<int, int>(int, int" + std::string(199 * 3, '.') + ")");
    std::string closure = "_ZZ1fvENKUlT_";
    for (int i = 0; i < 200; ++i) closure += "PS" + std::to_string(i) + "_";
    closure += "E_clIiEEDa";
    for (int i = 0; i < 200; ++i) closure += "S" + std::to_string(i) + "_";
    EXPECT_TRUE(run(closure) == closure);
    // A pack used many times is joined once: long packs stay linear.
    std::string reused = pack;
    for (int i = 0; i < 20000; ++i) reused += "T_";
    EXPECT_EQ(run(reused).size(), DEMANGLE_BUFFER_SIZE - 1);
    std::string huge_pack = "_Z1fIJ" + std::string(70000, 'i') + "EEvv";
    EXPECT_TRUE(run(huge_pack) == huge_pack.substr(0, DEMANGLE_BUFFER_SIZE - 1));
    // Deep decltype, pack and closure nesting meets the depth cap.
    for (const char *unit : {"DTsr", "J", "DTcl", "Dp"}) {
        std::string deep = "_Z1fIiEv";
        for (int i = 0; i < 2000; ++i) deep += unit;
        EXPECT_TRUE(run(deep) == deep.substr(0, DEMANGLE_BUFFER_SIZE - 1)) << unit;
    }
}

TEST(Demangle, OutputIsBoundedAndTerminated) {
    char small[8];
    demangle("_ZN3Foo3barEv", small, sizeof small);
    EXPECT_STREQ(small, "Foo::ba");
    demangle("plain_long_name", small, sizeof small);
    EXPECT_STREQ(small, "plain_l");
    small[0] = 'x';
    demangle("_Z3foov", small, 0);
    EXPECT_EQ(small[0], 'x');

    // A readable form beyond the buffer is cut at 7999 bytes.
    std::string name = "_Z1f";
    for (int i = 0; i < 1000; ++i) name += "12abcdefghijkl";
    std::string out = run(name);
    EXPECT_EQ(out.size(), DEMANGLE_BUFFER_SIZE - 1);
    EXPECT_EQ(out.substr(0, 16), "f(abcdefghijkl, ");
}

TEST(Demangle, HostileInputTerminates) {
    // Deep nesting beyond the depth cap falls back to the name.
    std::string deep = "_Z1f" + std::string(100000, 'P') + "i";
    EXPECT_EQ(run(deep).size(), std::min(deep.size(), DEMANGLE_BUFFER_SIZE - 1));
    std::string nested = "_Z1f" + std::string(5000, 'N') + "1aE";
    EXPECT_EQ(run(nested), nested.substr(0, DEMANGLE_BUFFER_SIZE - 1));
    std::string arrays = "_Z1fA";
    for (int i = 0; i < 3000; ++i) arrays += "ngLi1E";
    EXPECT_EQ(run(arrays), arrays.substr(0, DEMANGLE_BUFFER_SIZE - 1));
    // Substitutions that double in size stay bounded.
    std::string doubling = "_Z1f1AIS_S_E";
    for (int i = 0; i < 40; ++i)
        doubling += "IS" + std::to_string(i) + "_S" + std::to_string(i) + "_E";
    EXPECT_LE(run(doubling).size(), DEMANGLE_BUFFER_SIZE - 1);
    // Huge counts and sequence ids.
    check_table({{"_Z99999999999999999999999a", "_Z99999999999999999999999a"},
                 {"_Z1fSZZZZZZZZZZZZZZZZZZZZ_", "_Z1fSZZZZZZZZZZZZZZZZZZZZ_"},
                 {"_Z1fILi99999999999999999999999999E", "_Z1fILi99999999999999999999999999E"}});
}

// Random insertions, deletions and replacements of characters from alphabet;
// every result must be terminated within the small buffer.
void mutate_and_demangle(const std::vector<const char *> &seeds, const char *alphabet, int rounds) {
    size_t letters = std::strlen(alphabet);
    std::mt19937 rng(20261206);
    char buffer[64];
    for (int round = 0; round < rounds; ++round) {
        std::string s = seeds[size_t(round) % seeds.size()];
        int edits = 1 + int(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            size_t pos = 2 + rng() % (s.size() - 1);
            char c = alphabet[rng() % letters];
            switch (rng() % 3) {
            case 0:
                s.insert(s.begin() + long(std::min(pos, s.size())), c);
                break;
            case 1:
                if (pos < s.size()) s.erase(pos, 1);
                break;
            default:
                if (pos < s.size()) s[pos] = c;
                break;
            }
        }
        std::memset(buffer, 0x55, sizeof buffer);
        demangle(s.c_str(), buffer, sizeof buffer);
        ASSERT_LT(std::strlen(buffer), sizeof buffer) << s;
    }
}

TEST(Demangle, MutatedNamesNeverCrash) {
    mutate_and_demangle({"_ZNSt6vectorIiSaIiEE9push_backERKi", "_Z1fIiEvPAplT_Li1E_i",
                         "_ZTv0_n24_N3Foo3barEv", "_ZZ3foovE1x_2", "_Z1fM3FooKFvvE",
                         "_Z1fIiXquLb1ELi1ELi2EEEvv"},
                        "_0123456789ABEIKLNPRSTVXZabcdeilmnpqrstvz", 20000);
}

TEST(Demangle, MutatedModernNamesNeverCrash) {
    mutate_and_demangle({"_ZZ4mainENKUlRKT_OT0_E_clIidEEDaS1_S3_",
                         "_Z6unpackIJicEEi4PackIJDpT_EEDpPS1_",
                         "_Z1fIiEDTcldtcl7declvalIT_EE4sizeEES0_", "_ZN1CCI2N1X1AEEi.constprop.0",
                         "_Z1fIiEDTsrNT_1bE5valueEPDoFPFPA3_ivERE", "_ZGRZN3FooC4EvE1rB5cxx110_"},
                        "_0123456789ABCDEIJKLNOPRSTUVXZabcdeflnopqrstuvwxz.", 30000);
}

TEST(DemangleSymbol, Modes) {
    Option_struct *opt = new Option_struct{};
    EXPECT_STREQ(demangle_symbol("_ZN3FooC1Ev", 0, opt), "_ZN3FooC1Ev");
    EXPECT_STREQ(demangle_symbol("_ZN3FooC1Ev", 1, opt), "Foo::Foo()");
    EXPECT_STREQ(demangle_symbol("__ZN3FooC1Ev", 1, opt), "Foo::Foo()");
    EXPECT_STREQ(demangle_symbol("__ZN3FooC1Ev", 2, opt), "__ZN3FooC1Ev{Foo::Foo()}");
    EXPECT_STREQ(demangle_symbol("_ZN3FooC1Ev", 2, opt), "_ZN3FooC1Ev{Foo::Foo()}");
    const char *plain = "main";
    EXPECT_EQ(demangle_symbol(plain, 2, opt), plain);
    const char *bad = "_Z3fooX";
    EXPECT_EQ(demangle_symbol(bad, 1, opt), bad);
    // A long unmangled name is not shown as a cut copy of itself.
    std::string long_name(9000, 'q');
    EXPECT_EQ(demangle_symbol(long_name.c_str(), 1, opt), long_name.c_str());
    // The joined buffer holds a long name and a full-length text.
    std::string huge = "_Z1f";
    for (int i = 0; i < 1000; ++i) huge += "12abcdefghijkl";
    const char *joined = demangle_symbol(huge.c_str(), 2, opt);
    EXPECT_EQ(std::strlen(joined), huge.size() + DEMANGLE_BUFFER_SIZE - 1 + 2);
    std::free(opt->demangle_joined);
    delete opt;
}

} // namespace
