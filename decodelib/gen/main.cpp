// zema-isagen: reads the architecture descriptions, validates them and writes
// the generated tables; or prints their statistics (--stats), one expanded
// record per line (--list), or writes the Markdown reference (--markdown).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "decodelib/gen/isa_model.h"

namespace {

const char *const kSetNames[] = {"ZEMA1", "ZEMA2", "ZEMA3", "RIXU1", "RIXU2", "RIXU3"};

int usage() {
    std::cerr << "usage: zema-isagen (--out DIR [--prefix NAME] [--markdown FILE] | --markdown "
                 "FILE | --stats | --list) [--partial] [--vocabulary FILE] FILE.isa...\n";
    return 1;
}

std::string lower(std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool write_file(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

std::string default_vocabulary(const std::string &first_isa) {
    size_t slash = first_isa.rfind('/');
    std::string dir = slash == std::string::npos ? "." : first_isa.substr(0, slash);
    return dir + "/../gen/vocabulary.txt";
}

} // namespace

int main(int argc, char **argv) {
    std::string out_dir, vocabulary_path, prefix, markdown_path;
    bool stats_mode = false, list_mode = false, partial = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--out" && i + 1 < argc)
            out_dir = argv[++i];
        else if (a == "--vocabulary" && i + 1 < argc)
            vocabulary_path = argv[++i];
        else if (a == "--prefix" && i + 1 < argc)
            prefix = argv[++i];
        else if (a == "--stats")
            stats_mode = true;
        else if (a == "--partial")
            partial = true;
        else if (a == "--list")
            list_mode = true;
        else if (a == "--markdown" && i + 1 < argc)
            markdown_path = argv[++i];
        else if (!a.empty() && a[0] == '-')
            return usage();
        else
            files.push_back(a);
    }
    // Tables and reference may be written by one run.
    int modes = stats_mode + list_mode + (!out_dir.empty() || !markdown_path.empty());
    if (modes != 1 || files.empty()) return usage();
    bool vocabulary_given = !vocabulary_path.empty();
    if (!vocabulary_given && !files.empty()) vocabulary_path = default_vocabulary(files[0]);

    isagen::Vocabulary vocabulary;
    std::string error;
    if (!vocabulary_path.empty() && !isagen::read_vocabulary(vocabulary_path, vocabulary, error) &&
        vocabulary_given) {
        std::cerr << error << "\n";
        return 1;
    }
    isagen::Diagnostics diag;
    std::vector<isagen::IsaSet> sets;
    std::vector<bool> present;
    isagen::read_sets(files, partial, sets, present, diag);
    std::vector<isagen::SetStats> stats(6);
    for (size_t k = 0; k < 6; ++k)
        if (present[k]) isagen::check_set(sets[k], vocabulary, diag, stats[k]);
    for (const std::string &w : diag.warnings) std::cerr << w << "\n";
    for (const std::string &e : diag.errors) std::cerr << e << "\n";

    if (stats_mode) {
        for (size_t k = 0; k < 6; ++k) {
            if (!present[k]) continue;
            const isagen::SetStats &s = stats[k];
            std::printf("%s records=%zu fields=%zu aliases=%u unreachable=%u vocabulary=%u/%u\n",
                        kSetNames[k], sets[k].records.size(), sets[k].fields.size(), s.aliases,
                        s.unreachable, s.vocabulary_found, s.vocabulary_listed);
        }
        return diag.errors.empty() ? 0 : 1;
    }
    if (!diag.errors.empty()) return 1;
    if (list_mode) {
        for (size_t k = 0; k < 6; ++k)
            for (const isagen::RecordSpec &rec : sets[k].records)
                std::fputs(isagen::list_record(sets[k], rec).c_str(), stdout);
        return 0;
    }
    if (!markdown_path.empty() &&
        !write_file(markdown_path, isagen::markdown_reference(sets, present))) {
        std::cerr << markdown_path << ": cannot write\n";
        return 1;
    }
    for (size_t k = 0; k < 6 && !out_dir.empty(); ++k) {
        std::string path = out_dir + "/" + (prefix.empty() ? "" : lower(prefix) + "_") +
                           lower(kSetNames[k]) + "_tables.cpp";
        if (!write_file(path, isagen::emit_tables(prefix + "Tables" + kSetNames[k],
                                                  present[k] ? &sets[k] : nullptr))) {
            std::cerr << path << ": cannot write\n";
            return 1;
        }
    }
    return 0;
}
