// Validation of a read description: per-record structure, reachability of
// every record under the matching rule, and the fixed facts of finished sets.
#include <algorithm>
#include <bit>
#include <cctype>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "decodelib/gen/fixed_rows.h"
#include "decodelib/gen/isa_model.h"
#include "decodelib/match_rule.h"

namespace isagen {

namespace {

uint64_t size_mask(uint32_t size) {
    return size >= 64 ? ~0ULL : ((1ULL << size) - 1);
}

bool is_ident(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

void check_operand_bits(const IsaSet &set, const RecordSpec &rec, Diagnostics &diag) {
    std::set<uint32_t> used;
    for (const OperandSpec &op : rec.operands) {
        if (!set.types.count(op.syntax))
            diag.error(rec.where, "operand " + op.syntax + " of " + rec.name + " has no type");
        for (uint32_t b : op.bits) {
            std::string what =
                "operand " + op.syntax + " of " + rec.name + ": bit " + std::to_string(b);
            if (b >= rec.size)
                diag.error(rec.where, what + " outside size " + std::to_string(rec.size));
            else if ((rec.mask >> b) & 1)
                diag.error(rec.where, what + " overlaps the encoding mask");
            else if (!used.insert(b).second)
                diag.error(rec.where, what + " overlaps another operand");
        }
    }
}

// The text with every occurrence of name replaced by a non-word character.
std::string blank_out(const std::string &text, const std::string &name) {
    if (name.empty()) return text;
    std::string out;
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, name.size(), name) == 0) {
            out += '\x01';
            i += name.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

void check_template(const IsaSet &set, const RecordSpec &rec, Diagnostics &diag) {
    std::set<std::string> names;
    for (size_t i = 0; i < rec.operands.size(); ++i) {
        const std::string &s = rec.operands[i].syntax;
        if (!names.insert(s).second)
            diag.error(rec.where, "operand " + s + " of " + rec.name + " given twice");
        for (size_t j = i + 1; j < rec.operands.size(); ++j) {
            const std::string &later = rec.operands[j].syntax;
            if (later != s && later.find(s) != std::string::npos &&
                rec.syntax.find(later) != std::string::npos)
                diag.error(rec.where, "operand " + s + " of " + rec.name +
                                          " is part of the later operand " + later +
                                          " in the template: list " + later + " first");
        }
    }
    // What stays of the template after substitution must not show a field name.
    std::string body = rec.syntax;
    for (const OperandSpec &op : rec.operands) body = blank_out(body, op.syntax);
    for (size_t i = 0; i < body.size();) {
        if (!is_ident(body[i])) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < body.size() && is_ident(body[j])) ++j;
        std::string word = body.substr(i, j - i);
        for (size_t k = 0; k < word.size(); ++k) {
            std::string tail = word.substr(k);
            bool whole = k == 0;
            bool glued = k > 0 && tail.size() >= 3 &&
                         std::islower(static_cast<unsigned char>(word[k - 1])) &&
                         std::isupper(static_cast<unsigned char>(tail[0]));
            if ((whole || glued) && set.types.count(tail)) {
                diag.error(rec.where, "template word " + tail + " of " + rec.name +
                                          " is a field name but not an operand of the record");
                break;
            }
        }
        i = j;
    }
}

void check_records(const IsaSet &set, Diagnostics &diag) {
    for (size_t i = 0; i < set.records.size(); ++i) {
        const RecordSpec &rec = set.records[i];
        if (i && set.records[i - 1].name == rec.name)
            diag.error(rec.where, "duplicate record name " + rec.name + " (also at " +
                                      set.records[i - 1].where + ")");
        bool field_holder = rec.slot == 22 && rec.size == set.word;
        if (rec.mask == 0 && !field_holder)
            diag.error(rec.where, "record " + rec.name + " has no fixed bits and can never match");
        check_operand_bits(set, rec, diag);
        check_template(set, rec, diag);
    }
}

// Candidates that compete with a record: whole words of the set's width all
// compete with each other; slot records with those of their size and slot.
std::vector<int> competitors(const IsaSet &set, const RecordSpec &rec) {
    std::vector<int> out;
    for (size_t i = 0; i < set.records.size(); ++i) {
        const RecordSpec &o = set.records[i];
        if (o.size != rec.size) continue;
        if (rec.size == set.word || o.slot == rec.slot) out.push_back(static_cast<int>(i));
    }
    return out;
}

bool find_witness(const IsaSet &set, const std::vector<int> &group, int index) {
    const RecordSpec &rec = set.records[static_cast<size_t>(index)];
    uint64_t free_bits = size_mask(rec.size) & ~rec.mask;
    std::mt19937_64 rng(0x5eed0000u + static_cast<uint64_t>(index));
    for (int restart = 0; restart < 64; ++restart) {
        uint64_t word = rec.value | (rng() & free_bits);
        for (int step = 0; step < 64; ++step) {
            int winner = best_match(set, group, word);
            if (winner == index) return true;
            if (winner < 0) return false; // only an all-zero mask fails to match itself
            const RecordSpec &w = set.records[static_cast<size_t>(winner)];
            uint64_t flippable = w.mask & free_bits;
            if (!flippable) return false; // it matches whenever this record does
            int count = std::popcount(flippable);
            int pick = static_cast<int>(rng() % static_cast<uint64_t>(count));
            for (uint64_t m = flippable; m; m &= m - 1)
                if (pick-- == 0) {
                    word ^= m & (~m + 1);
                    break;
                }
        }
    }
    return false;
}

void check_counts(const IsaSet &set, Diagnostics &diag) {
    for (const SetTotals &t : kSetTotals) {
        if (set.name != t.set) continue;
        if (set.records.size() != t.records)
            diag.error(set.where, set.name + " has " + std::to_string(set.records.size()) +
                                      " records, expected " + std::to_string(t.records));
        if (set.fields.size() != t.fields)
            diag.error(set.where, set.name + " has " + std::to_string(set.fields.size()) +
                                      " field records, expected " + std::to_string(t.fields));
    }
    for (const CountRule &c : kCountRules) {
        if (set.name != c.set) continue;
        uint32_t n = 0;
        for (const RecordSpec &r : set.records)
            n += r.size == c.size && (!c.slot || r.slot == c.slot);
        if (n != c.count)
            diag.error(set.where, set.name + " has " + std::to_string(n) + " records of size " +
                                      std::to_string(c.size) + " slot " + std::to_string(c.slot) +
                                      ", expected " + std::to_string(c.count));
    }
    for (const SharedCountRule &c : kSharedCountRules) {
        if (set.name != c.set) continue;
        uint32_t n = 0;
        for (const RecordSpec &r : set.records)
            n += r.slot == c.slot && std::count(c.sizes.begin(), c.sizes.end(), r.size) > 0;
        if (n != c.count)
            diag.error(set.where, set.name + " has " + std::to_string(n) +
                                      " sub-slot records of slot " + std::to_string(c.slot) +
                                      ", expected " + std::to_string(c.count));
    }
}

const RecordSpec *find_record(const IsaSet &set, const std::string &name) {
    for (const RecordSpec &r : set.records)
        if (r.name == name) return &r;
    return nullptr;
}

std::string operand_list(const RecordSpec &rec, bool with_bits) {
    std::string s;
    for (const OperandSpec &op : rec.operands) {
        if (!s.empty()) s += " ";
        s += with_bits ? op.impl : op.syntax;
    }
    return s;
}

// The implementation names of an operand list written in description syntax.
std::string expected_impls(const std::string &listing) {
    std::istringstream in(listing);
    std::string tok, out;
    while (in >> tok) {
        size_t at = tok.find('@');
        std::vector<uint32_t> bits;
        if (at == std::string::npos || !parse_bit_list(tok.substr(at + 1), bits)) return "?" + tok;
        if (!out.empty()) out += " ";
        out += implementation_name(tok.substr(0, at), bits);
    }
    return out;
}

void check_format_rows(const IsaSet &set, Diagnostics &diag) {
    for (const FormatRow &row : kFormatRows) {
        if (set.name != row.set) continue;
        const RecordSpec *r = find_record(set, row.name);
        if (!r) {
            if (!set.draft)
                diag.error(set.where, "packet format " + std::string(row.name) + " missing");
            continue;
        }
        std::string want = expected_impls(format_fields(row)), got = operand_list(*r, true);
        if (r->size != 64 || r->slot != 22 || r->value != row.value || r->mask != row.mask ||
            got != want)
            diag.error(r->where, "packet format " + r->name +
                                     " differs from its fixed row (fields " + got + "; expected " +
                                     want + ")");
    }
}

void check_telling_rows(const IsaSet &set, Diagnostics &diag) {
    for (const TellingRow &row : kTellingRows) {
        if (set.name != row.set) continue;
        const RecordSpec *r = find_record(set, row.name);
        if (!r) {
            diag.error(set.where, "record " + std::string(row.name) + " missing");
            continue;
        }
        std::string want;
        for (const std::string &s : row.operands) want += (want.empty() ? "" : " ") + s;
        if (r->syntax != row.syntax || r->size != row.size || r->slot != row.slot ||
            r->flags != row.flags || r->value != row.value || r->mask != row.mask ||
            operand_list(*r, false) != want)
            diag.error(r->where, "record " + r->name + " differs from its fixed row");
    }
    for (const FieldRow &row : kFieldRows) {
        if (set.name != row.set) continue;
        const FieldSpec *f = nullptr;
        for (const FieldSpec &c : set.fields)
            if (c.impl == row.impl) f = &c;
        if (!f) {
            diag.error(set.where, "field record " + std::string(row.impl) + " missing");
            continue;
        }
        const TypeDecl &t = *f->type;
        uint32_t kind = t.kind == TypeKind::Table ? 2 : 1;
        uint32_t width = t.reloc_width < 0 ? static_cast<uint32_t>(f->bits.size())
                                           : static_cast<uint32_t>(t.reloc_width);
        if (t.reloc_name.empty()) width = 0;
        bool entries_ok = t.entries.size() == row.entries.size();
        for (size_t i = 0; entries_ok && i < row.entries.size(); ++i)
            entries_ok = t.entries[i].first == i && t.entries[i].second == row.entries[i];
        if (kind != row.kind || expected_impls(std::string(t.name) + "@" + row.bits) != f->impl ||
            t.shift != row.shift || t.reloc_name != row.reloc_name ||
            t.reloc_type != row.reloc_type || width != row.reloc_width ||
            t.is_signed != row.is_signed || !entries_ok)
            diag.error(t.where, "field record " + f->impl + " differs from its fixed row");
    }
}

void check_value_table(const IsaSet &set, const ValueTableRow &row, Diagnostics &diag) {
    if (std::find(row.sets.begin(), row.sets.end(), set.name) == row.sets.end()) return;
    for (const std::string &name : row.syntax_names) {
        auto it = set.types.find(name);
        if (it == set.types.end()) continue;
        std::map<uint64_t, std::string> first;
        for (const auto &e : it->second.entries) first.emplace(e.first, e.second);
        bool ok = !row.complete || first.size() == row.texts.size();
        for (size_t v = 0; ok && v < row.texts.size(); ++v)
            ok = first.count(v) && first[v] == row.texts[v];
        if (!ok)
            diag.error(it->second.where, "value table of " + name + " differs from its fixed list");
    }
}

std::string mnemonic_of(const RecordSpec &rec, uint32_t word) {
    if (rec.size == word && rec.slot == 22 && word == 64) return "";
    std::string m = rec.syntax.substr(0, rec.syntax.find(' '));
    for (const OperandSpec &op : rec.operands)
        if (m.find(op.syntax) != std::string::npos) return "";
    return m;
}

void check_vocabulary(const IsaSet &set, const Vocabulary &vocabulary, Diagnostics &diag,
                      SetStats &stats) {
    auto it = vocabulary.mnemonics.find(set.name);
    if (it == vocabulary.mnemonics.end()) return;
    std::set<std::string> listed(it->second.begin(), it->second.end()), found;
    std::map<std::string, std::string> where;
    for (const RecordSpec &rec : set.records) {
        std::string m = mnemonic_of(rec, set.word);
        if (m.empty()) continue;
        found.insert(m);
        where.emplace(m, rec.where);
    }
    stats.vocabulary_listed = static_cast<uint32_t>(listed.size());
    for (const std::string &m : listed) stats.vocabulary_found += found.count(m) ? 1 : 0;
    if (set.draft) return;
    for (const std::string &m : found)
        if (!listed.count(m) &&
            std::find(vocabulary.exceptions.begin(), vocabulary.exceptions.end(), m) ==
                vocabulary.exceptions.end())
            diag.error(where[m], "mnemonic " + m + " is not in the vocabulary of " + set.name);
    for (const std::string &m : listed)
        if (!found.count(m))
            diag.error(set.where, "mnemonic " + m + " of " + set.name + " is missing");
}

} // namespace

int best_match(const IsaSet &set, const std::vector<int> &candidates, uint64_t word) {
    int best = -1;
    ZEMADisasmLib::MatchRule rule(word);
    for (int i : candidates) {
        const RecordSpec &r = set.records[static_cast<size_t>(i)];
        if (rule.Offer(r.mask, r.value)) best = i;
    }
    return best;
}

void check_reachability(const IsaSet &set, Diagnostics &diag, SetStats &stats) {
    std::map<std::pair<uint32_t, uint32_t>, std::vector<int>> groups;
    for (size_t i = 0; i < set.records.size(); ++i) {
        const RecordSpec &rec = set.records[i];
        uint32_t slot_key = rec.size == set.word ? 0 : rec.slot;
        auto key = std::make_pair(rec.size, slot_key);
        if (!groups.count(key)) groups[key] = competitors(set, rec);
        const std::vector<int> &group = groups[key];
        bool alias = false;
        for (int j : group) {
            if (j >= static_cast<int>(i)) break;
            const RecordSpec &o = set.records[static_cast<size_t>(j)];
            alias |= o.slot == rec.slot && o.value == rec.value && o.mask == rec.mask;
        }
        if (alias) {
            ++stats.aliases;
            continue;
        }
        if (rec.mask == 0 && rec.slot == 22) continue; // a field holder, never matched
        if (find_witness(set, group, static_cast<int>(i))) continue;
        ++stats.unreachable;
        std::string msg = "record " + rec.name + " can never win a match";
        if (set.draft)
            diag.warning(rec.where, msg);
        else
            diag.error(rec.where, msg);
    }
}

void check_set(const IsaSet &set, const Vocabulary &vocabulary, Diagnostics &diag,
               SetStats &stats) {
    check_records(set, diag);
    check_kinds(set, diag);
    check_reachability(set, diag, stats);
    check_vocabulary(set, vocabulary, diag, stats);
    // Packet formats and value tables are checked as soon as they are written.
    check_format_rows(set, diag);
    for (const ValueTableRow &row : kValueTableRows) check_value_table(set, row, diag);
    for (const ValueTableRow &row : kRegisterBitRows) check_value_table(set, row, diag);
    if (set.draft) return;
    check_counts(set, diag);
    check_telling_rows(set, diag);
}

bool read_vocabulary(const std::string &path, Vocabulary &vocabulary, std::string &error) {
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot read vocabulary";
        return false;
    }
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        std::istringstream words(line);
        std::string w;
        while (words >> w)
            (section == "exceptions" ? vocabulary.exceptions : vocabulary.mnemonics[section])
                .push_back(w);
    }
    return true;
}

} // namespace isagen
