// Differential test of the demangler against the platform's c++filt, used
// only as a black box: names taken with nm from the installed C++ libraries
// and from small C++ sources compiled here with the installed compilers. Each
// name must read exactly as c++filt reads it, or differ only in one of the
// documented classes below; the share of names with a readable form is
// checked against a floor per corpus.
#include "demangle/demangle.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string GXX = ZEMA_TEST_GXX;
const std::string CLANGXX = ZEMA_TEST_CLANGXX;
const std::string CXXFILT = ZEMA_TEST_CXXFILT;
const std::string NM = ZEMA_TEST_NM;
const std::string CORPUS_DIR = ZEMA_TEST_CORPUS_DIR;

std::string shell_quoted(const std::string &s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command; false (with the output in *text) unless it exits 0.
bool run_command(const std::string &command, std::string *text) {
    text->clear();
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return false;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) text->append(chunk, n);
    int status = pclose(pipe);
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The "_Z" names of nm's listing, without symbol versions, sorted and unique.
std::vector<std::string> mangled_names(const std::string &nm_arguments) {
    std::string text;
    EXPECT_TRUE(run_command(shell_quoted(NM) + " " + nm_arguments, &text)) << text;
    std::vector<std::string> names;
    for (const std::string &line : lines_of(text)) {
        size_t space = line.rfind(' ');
        std::string name = space == std::string::npos ? line : line.substr(space + 1);
        name = name.substr(0, name.find('@'));
        if (name.rfind("_Z", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

class Scratch_dir {
  public:
    Scratch_dir() {
        std::string pattern = (fs::temp_directory_path() / "zema-demangle-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~Scratch_dir() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    Scratch_dir(const Scratch_dir &) = delete;
    Scratch_dir &operator=(const Scratch_dir &) = delete;
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

// c++filt's readings of the names, one per name.
std::vector<std::string> platform_readings(const std::vector<std::string> &names) {
    Scratch_dir dir;
    std::string list = dir.path() + "/names.txt";
    std::ofstream(list) << [&] {
        std::string all;
        for (const std::string &name : names) all += name + "\n";
        return all;
    }();
    std::string text;
    EXPECT_TRUE(run_command(shell_quoted(CXXFILT) + " -n < " + shell_quoted(list), &text)) << text;
    std::vector<std::string> readings = lines_of(text);
    EXPECT_EQ(readings.size(), names.size()) << "c++filt read a different number of lines";
    readings.resize(names.size());
    return readings;
}

std::string ours(const std::string &name) {
    static char buffer[DEMANGLE_BUFFER_SIZE];
    demangle(name.c_str(), buffer, sizeof buffer);
    return buffer;
}

// ---- Documented differences -------------------------------------------------

std::string replace_all(std::string s, const std::string &from, const std::string &to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

bool is_word(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Our marks of constructor and destructor variants: [base], [new], [virtual],
// [unified].
std::string drop_variant_marks(std::string s) {
    for (const char *mark : {"[base]", "[new]", "[virtual]", "[unified]"})
        s = replace_all(s, mark, "");
    return s;
}

// Our discriminators of local names, " # 2"; c++filt leaves them out.
std::string drop_discriminators(std::string s) {
    for (size_t at = s.find(" # "); at != std::string::npos; at = s.find(" # ", at)) {
        size_t end = at + 3;
        while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end]))) ++end;
        if (end > at + 3)
            s.erase(at, end - at);
        else
            at += 3;
    }
    return s;
}

// Our words for tables, typeinfo and string literals.
std::string platform_wording(std::string s) {
    s = replace_all(s, "virtual table for ", "vtable for ");
    s = replace_all(s, "typeinfo structure for ", "typeinfo for ");
    return replace_all(s, "literal string", "::string literal");
}

// Our thunks carry their offsets; c++filt names the kind of thunk instead.
std::string thunk_wording(std::string s) {
    const std::string covariant = "covariant virtual thunk (", thunk = "virtual thunk (";
    if (s.rfind(covariant, 0) == 0) {
        size_t end = s.find(") to ");
        if (end != std::string::npos) return "covariant return thunk to " + s.substr(end + 5);
    }
    if (s.rfind(thunk, 0) != 0) return s;
    size_t end = s.find(") to ");
    if (end == std::string::npos) return s;
    bool is_virtual = s.substr(0, end).find(',') != std::string::npos;
    return (is_virtual ? "virtual thunk to " : "non-virtual thunk to ") + s.substr(end + 5);
}

// The anonymous namespace keeps its mangled name (_GLOBAL__N_1) with us.
std::string anonymous_namespace(std::string s) {
    for (size_t at = s.find("_GLOBAL__N_"); at != std::string::npos;
         at = s.find("_GLOBAL__N_", at)) {
        size_t end = at;
        while (end < s.size() && is_word(s[end])) ++end;
        s.replace(at, end - at, "(anonymous namespace)");
    }
    return s;
}

// Both sides: the short std names that c++filt uses only for abbreviations.
std::string std_abbreviations(std::string s) {
    s = replace_all(s, "std::basic_string<char, std::char_traits<char>, std::allocator<char> >",
                    "std::string");
    for (const char *stream : {"istream", "ostream", "iostream"}) {
        std::string full = std::string("std::basic_") + stream + "<char, std::char_traits<char> >";
        s = replace_all(s, full, std::string("std::") + stream);
    }
    for (const char *name : {"string", "istream", "ostream", "iostream"}) {
        std::string scope = std::string("std::") + name + "::";
        s = replace_all(s, scope + "basic_" + name, scope + name);
        s = replace_all(s, scope + "~basic_" + name, scope + "~" + name);
    }
    return s;
}

// Both sides: character and short literals, which c++filt writes with a cast.
std::string literal_casts(std::string s) {
    for (const char *type :
         {"(char)", "(signed char)", "(unsigned char)", "(short)", "(unsigned short)"}) {
        std::string cast = type;
        for (size_t at = s.find(cast); at != std::string::npos; at = s.find(cast, at + 1)) {
            size_t digit = at + cast.size() + (s.compare(at + cast.size(), 1, "-") == 0);
            if (digit < s.size() && std::isdigit(static_cast<unsigned char>(s[digit])))
                s.erase(at, cast.size());
        }
    }
    return s;
}

// Both sides: a constructor or destructor of a closure or unnamed type, which
// c++filt names after the enclosing function and we after the type itself.
std::string closure_members(std::string s) {
    for (size_t at = s.find("}::"); at != std::string::npos; at = s.find("}::", at + 1)) {
        size_t open = s.rfind('{', at);
        if (open == std::string::npos ||
            (s.compare(open, 7, "{lambda") != 0 && s.compare(open, 13, "{unnamed type") != 0))
            continue;
        size_t name = at + 3 + (s.compare(at + 3, 1, "~") == 0);
        size_t end = name;
        if (s.compare(name, 1, "{") == 0) end = s.find('}', name) + 1;
        while (end < s.size() && end != std::string::npos && is_word(s[end])) ++end;
        if (end == std::string::npos || end == name || end >= s.size() || s[end] != '(') continue;
        if (s.compare(name, end - name, "operator") == 0) continue;
        s.replace(name, end - name, "#");
    }
    return s;
}

// Both sides: c++filt keeps the separator of an empty argument pack
// ("f<, int>").
std::string empty_packs(std::string s) {
    s = replace_all(s, "<, ", "<");
    s = replace_all(s, ", , ", ", ");
    return replace_all(s, ", >", ">");
}

struct Difference_class {
    const char *name;
    std::string (*ours)(std::string);
    std::string (*both)(std::string);
};

const Difference_class DIFFERENCE_CLASSES[] = {
    {"constructor and destructor marks", drop_variant_marks, nullptr},
    {"local name discriminators", drop_discriminators, nullptr},
    {"table, typeinfo and string literal wording", platform_wording, nullptr},
    {"thunk offsets", thunk_wording, nullptr},
    {"anonymous namespace spelling", anonymous_namespace, nullptr},
    {"std abbreviations", nullptr, std_abbreviations},
    {"character literal casts", nullptr, literal_casts},
    {"closure constructor and destructor names", nullptr, closure_members},
    {"empty argument pack separators", nullptr, empty_packs},
};

// Words and single punctuation characters: spacing is not compared.
std::vector<std::string> tokens(const std::string &s) {
    std::vector<std::string> out;
    for (size_t i = 0; i < s.size();) {
        if (s[i] == ' ') {
            ++i;
        } else if (is_word(s[i])) {
            size_t j = i;
            while (j < s.size() && is_word(s[j])) ++j;
            out.push_back(s.substr(i, j - i));
            i = j;
        } else {
            out.push_back(std::string(1, s[i++]));
        }
    }
    return out;
}

bool is_qualifier(const std::string &t) {
    return t == "const" || t == "volatile" || t == "restrict";
}

bool is_type_word(const std::string &t) {
    return is_word(t[0]) && !is_qualifier(t) && t != "for" && t != "to";
}

bool is_opening(const std::string &t) {
    return t == "<" || t == "(" || t == "{";
}
bool is_closing(const std::string &t) {
    return t == ">" || t == ")" || t == "}";
}

// Where the type name that ends before token end starts: words joined by
// "::", with template arguments, braces of closures and unnamed types,
// parentheses of enclosing functions and of decltype. npos when no type name
// ends there.
size_t type_name_start(const std::vector<std::string> &t, size_t end) {
    const std::string &last = t[end - 1];
    if (!is_type_word(last) && last != ">" && last != "}" && last != ")") return std::string::npos;
    size_t start = end;
    int nesting = 0;
    while (start > 0) {
        const std::string &p = t[start - 1];
        if (is_closing(p)) {
            // Parentheses belong to the name only as a scope or decltype's.
            bool scope = start < t.size() && t[start] == ":";
            if (p == ")" && nesting == 0 && !scope && start != end) break;
            ++nesting;
        } else if (is_opening(p)) {
            if (nesting == 0) break;
            if (--nesting == 0 && p == "(" && start >= 2 && t[start - 2] == "decltype") --start;
        } else if (nesting == 0 && !is_type_word(p) && p != ":") {
            break;
        }
        --start;
    }
    if (last == ")" && (start == end || t[start] != "decltype")) return std::string::npos;
    return start;
}

// c++filt writes "T const", we write "const T": each qualifier that follows a
// type name moves to the start of that name.
std::vector<std::string> qualifiers_first(std::vector<std::string> t) {
    for (size_t i = 1; i < t.size(); ++i) {
        if (!is_qualifier(t[i])) continue;
        size_t start = type_name_start(t, i);
        if (start == std::string::npos) continue;
        std::string q = t[i];
        t.erase(t.begin() + long(i));
        t.insert(t.begin() + long(start), q);
    }
    return t;
}

std::vector<std::string> without_parentheses(std::vector<std::string> t) {
    t.erase(std::remove_if(t.begin(), t.end(),
                           [](const std::string &s) { return s == "(" || s == ")"; }),
            t.end());
    return t;
}

// Whether b[j..] is a[i..] with at most max_runs runs of tokens left out:
// c++filt leaves out the return type of a template function that encloses a
// local name.
bool with_runs_left_out(const std::vector<std::string> &a, const std::vector<std::string> &b,
                        size_t max_runs, size_t i = 0, size_t j = 0) {
    while (i < a.size() && j < b.size() && a[i] == b[j]) ++i, ++j;
    if (j == b.size()) return i == a.size() || max_runs > 0;
    if (max_runs == 0) return false;
    for (size_t k = i + 1; k < a.size(); ++k)
        if (a[k] == b[j] && with_runs_left_out(a, b, max_runs - 1, k, j)) return true;
    return false;
}

struct Tally_struct {
    size_t names = 0, exact = 0, documented = 0, unread = 0, platform_unread = 0;
    std::map<std::string, size_t> classes;
    std::vector<std::string> differences;
};

// Token comparison with the allowances of local scopes and expressions.
bool tokens_agree(const std::string &name, const std::string &theirs, std::vector<std::string> a,
                  std::vector<std::string> b, std::vector<const char *> *used) {
    if (a == b) return true;
    size_t scopes = 0;
    for (size_t at = theirs.find(")::"); at != std::string::npos; at = theirs.find(")::", at + 1))
        ++scopes;
    if (with_runs_left_out(a, b, scopes)) {
        used->push_back("return types of functions enclosing local names");
        return true;
    }
    // Expressions: each side sets its own parentheses.
    bool has_expression = name.find("DT") != std::string::npos ||
                          name.find("Dt") != std::string::npos ||
                          name.find('X') != std::string::npos;
    if (!has_expression) return false;
    used->push_back("expression parentheses");
    a = without_parentheses(a), b = without_parentheses(b);
    return a == b || with_runs_left_out(a, b, scopes);
}

// Whether the readings agree once the documented classes are allowed for;
// the classes that took part are counted.
bool agrees(const std::string &name, std::string a, std::string b, Tally_struct *tally) {
    std::vector<const char *> used;
    const std::string theirs = b;
    for (const Difference_class &c : DIFFERENCE_CLASSES) {
        std::string a2 = c.ours ? c.ours(a) : c.both(a), b2 = c.both ? c.both(b) : b;
        if (a2 != a || b2 != b) used.push_back(c.name);
        a = a2, b = b2;
    }
    std::vector<std::string> ta = tokens(a), tb = qualifiers_first(tokens(b));
    if (tokens(b) != tb) used.push_back("qualifier placement");
    if (!tokens_agree(name, theirs, ta, tb, &used)) return false;
    for (const char *c : used) ++tally->classes[c];
    return true;
}

void classify(const std::string &name, const std::string &theirs, Tally_struct *tally) {
    ++tally->names;
    std::string mine = ours(name);
    if (mine == theirs)
        ++tally->exact;
    else if (mine == name)
        ++tally->unread;
    else if (theirs == name)
        ++tally->platform_unread;
    else if (agrees(name, mine, theirs, tally))
        ++tally->documented;
    else
        tally->differences.push_back(name + "\n  ours:   " + mine + "\n  c++filt: " + theirs);
}

double percent(size_t part, size_t whole) {
    return whole == 0 ? 0.0 : 100.0 * double(part) / double(whole);
}

// Compares every name with c++filt, prints the figures, and checks that no
// name differs outside the documented classes and that at least
// readable_floor percent get a readable form.
void check_corpus(const char *title, const std::vector<std::string> &names, double readable_floor) {
    ASSERT_FALSE(names.empty()) << title << ": no mangled names";
    std::vector<std::string> theirs = platform_readings(names);
    Tally_struct tally;
    for (size_t i = 0; i < names.size(); ++i) classify(names[i], theirs[i], &tally);
    double readable = percent(tally.names - tally.unread, tally.names);
    std::printf("%s: %zu names, %zu exact (%.1f%%), %zu agree in documented classes, "
                "%zu read only by us, %zu without readable form; %.2f%% readable\n",
                title, tally.names, tally.exact, percent(tally.exact, tally.names),
                tally.documented, tally.platform_unread, tally.unread, readable);
    for (const auto &[name, count] : tally.classes)
        std::printf("  %-44s %zu\n", name.c_str(), count);
    for (size_t i = 0; i < tally.differences.size() && i < 20; ++i)
        ADD_FAILURE() << title << ": " << tally.differences[i];
    EXPECT_TRUE(tally.differences.empty()) << tally.differences.size() << " names differ";
    EXPECT_GE(readable, readable_floor);
}

// The path of an installed library, as the compiler finds it.
std::string installed_library(const std::string &file) {
    std::string text;
    EXPECT_TRUE(run_command(shell_quoted(GXX) + " -print-file-name=" + file, &text)) << text;
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    EXPECT_NE(text, file) << file << " is not installed";
    return text;
}

// Names of a corpus source compiled at -O0 with one of the compilers.
std::vector<std::string> compiled_names(const std::string &compiler, const std::string &source) {
    EXPECT_FALSE(compiler.empty()) << "compiler not found when the build was configured";
    if (compiler.empty()) return {};
    Scratch_dir dir;
    std::string object = dir.path() + "/corpus.o", text;
    std::string command = shell_quoted(compiler) + " -std=c++17 -O0 -c " +
                          shell_quoted(CORPUS_DIR + "/" + source) + " -o " + shell_quoted(object);
    EXPECT_TRUE(run_command(command, &text)) << text;
    return mangled_names(shell_quoted(object));
}

std::vector<std::string> merged(std::vector<std::string> a, const std::vector<std::string> &b) {
    a.insert(a.end(), b.begin(), b.end());
    std::sort(a.begin(), a.end());
    a.erase(std::unique(a.begin(), a.end()), a.end());
    return a;
}

TEST(DemangleDifferential, ToolsArePresent) {
    for (const std::string &tool : {GXX, CLANGXX, CXXFILT, NM})
        EXPECT_FALSE(tool.empty()) << "a tool of this test was not found when configured";
}

TEST(DemangleDifferential, InstalledLibraries) {
    std::vector<std::string> names =
        mangled_names("-D --defined-only " + shell_quoted(installed_library("libstdc++.so")));
    for (const char *archive : {"libgtest.a", "libgmock.a"})
        names = merged(names, mangled_names(shell_quoted(installed_library(archive))));
    check_corpus("installed libraries", names, 99.0);
}

TEST(DemangleDifferential, ModernProgram) {
    check_corpus("modern program (g++ -O0)", compiled_names(GXX, "modern.cpp"), 97.0);
}

TEST(DemangleDifferential, SmallSourcesGnu) {
    std::vector<std::string> names =
        merged(compiled_names(GXX, "features.cpp"), compiled_names(GXX, "templates.cpp"));
    check_corpus("small sources (g++)", names, 99.0);
}

TEST(DemangleDifferential, SmallSourcesClang) {
    std::vector<std::string> names =
        merged(compiled_names(CLANGXX, "features.cpp"), compiled_names(CLANGXX, "templates.cpp"));
    check_corpus("small sources (clang++)", names, 99.0);
}

} // namespace
