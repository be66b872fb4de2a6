// Reads a library description line by line. Only the archive's own
// statements ("archive", "member", "end") are read here; the lines between
// them describe a member and go to build_zobj unchanged, keeping their line
// numbers for its messages.
#include "tools/mkobj/zar.h"

#include <algorithm>
#include <vector>

#include "tools/writers/ar_writer.h"

namespace zema_test {
namespace {

// A problem at a line of the description; `located` messages already carry
// "file:line: " (those of member descriptions).
struct LibraryFailure {
    unsigned line;
    std::string message;
    bool located = false;
};

[[noreturn]] void fail_at(unsigned line, const std::string &message) {
    throw LibraryFailure{line, message};
}

struct Line {
    unsigned number;
    std::string text;
    std::string first; // first word of a statement; empty for blank and continued lines
};

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string first_word(const std::string &text) {
    size_t begin = 0;
    while (begin < text.size() && is_blank(text[begin])) ++begin;
    size_t end = begin;
    while (end < text.size() && !is_blank(text[end])) ++end;
    return text.substr(begin, end - begin);
}

std::vector<Line> split_lines(std::string_view text) {
    std::vector<Line> lines;
    bool continued = false;
    for (size_t pos = 0; pos < text.size();) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        Line l{unsigned(lines.size() + 1), std::string(text.substr(pos, eol - pos)), ""};
        pos = eol + 1;
        std::string code = zobj_uncommented(l.text);
        while (!code.empty() && is_blank(code.back())) code.pop_back();
        if (!continued) l.first = first_word(code);
        continued = !code.empty() && code.back() == '\\';
        lines.push_back(l);
    }
    return lines;
}

class LibraryReader {
  public:
    LibraryReader(std::vector<Line> lines, const std::string &file_name, ZobjResult *result)
        : lines_(std::move(lines)), file_name_(file_name), result_(result) {}

    Bytes library() {
        skip_blank();
        if (at_end() || lines_[next_].first != "archive")
            fail_at(at_end() ? 1 : lines_[next_].number,
                    "the first statement of a library must be 'archive'");
        return archive(false);
    }

  private:
    bool at_end() const { return next_ == lines_.size(); }
    void skip_blank() {
        while (!at_end() && lines_[next_].first.empty()) ++next_;
    }
    std::vector<std::string> words(const Line &l) const {
        std::vector<std::string> w;
        std::string error;
        if (!zobj_words(l.text, &w, &error)) fail_at(l.number, error);
        return w;
    }
    Bytes archive(bool nested);
    void member(ArWriter &w, size_t index);
    Bytes described_member(const Line &head);

    std::vector<Line> lines_;
    size_t next_ = 0;
    const std::string &file_name_;
    ZobjResult *result_;
};

// At an "archive" line: its members up to the matching "end" (or the end of
// the description for the outermost archive).
Bytes LibraryReader::archive(bool nested) {
    const Line &head = lines_[next_++];
    ArWriter w;
    std::vector<std::string> t = words(head);
    for (size_t k = 1; k < t.size(); ++k) {
        if (t[k] != "symtab") fail_at(head.number, "unknown archive setting '" + t[k] + "'");
        w.with_symbol_table();
    }
    for (size_t index = 0;; ++index) {
        skip_blank();
        if (at_end()) {
            if (nested) fail_at(head.number, "the archive begun here has no 'end'");
            break;
        }
        const Line &l = lines_[next_];
        if (l.first == "end") {
            if (!nested) fail_at(l.number, "'end' without a nested archive");
            ++next_;
            break;
        }
        if (l.first != "member")
            fail_at(l.number, "expected 'member' or 'end' in an archive, not '" + l.first + "'");
        member(w, index);
    }
    return w.build();
}

// member NAME [defines=SYMBOL,...] [text="CONTENTS"], then its description.
void LibraryReader::member(ArWriter &w, size_t index) {
    const Line &head = lines_[next_++];
    std::vector<std::string> t = words(head);
    if (t.size() < 2) fail_at(head.number, "'member' takes a name: member filter.o");
    std::vector<std::string> defines;
    bool has_text = false;
    Bytes bytes;
    for (size_t k = 2; k < t.size(); ++k) {
        std::string key = t[k].substr(0, t[k].find('='));
        std::string value = t[k].size() > key.size() ? zobj_text(t[k].substr(key.size() + 1)) : "";
        if (key == "defines") {
            for (size_t start = 0; start <= value.size();) {
                size_t comma = std::min(value.find(',', start), value.size());
                if (comma > start) defines.push_back(value.substr(start, comma - start));
                start = comma + 1;
            }
        } else if (key == "text") {
            has_text = true;
            bytes.assign(value.begin(), value.end());
        } else {
            fail_at(head.number, "unknown member setting '" + t[k] + "'");
        }
    }
    if (!has_text) bytes = described_member(head);
    w.member(zobj_text(t[1]), bytes);
    for (const std::string &d : defines) w.symbol(d, index);
}

// The lines after a member line: a nested archive, or an object description
// that runs up to the next "member" or "end".
Bytes LibraryReader::described_member(const Line &head) {
    skip_blank();
    if (!at_end() && lines_[next_].first == "archive") return archive(true);
    size_t begin = next_;
    while (!at_end() && lines_[next_].first != "member" && lines_[next_].first != "end") ++next_;
    if (next_ == begin)
        fail_at(head.number, "the member has no contents: describe an object, a nested "
                             "archive, or give text=");
    // Blank lines in front keep the line numbers of the description.
    std::string text(lines_[begin].number - 1, '\n');
    for (size_t k = begin; k < next_; ++k) text += lines_[k].text + "\n";
    ZobjResult r = build_zobj(text, file_name_);
    if (!r.ok) throw LibraryFailure{0, r.error, true};
    result_->words.insert(result_->words.end(), r.words.begin(), r.words.end());
    return r.image;
}

} // namespace

bool is_library_description(std::string_view text) {
    for (const Line &l : split_lines(text))
        if (!l.first.empty()) return l.first == "archive";
    return false;
}

ZobjResult build_library(std::string_view text, const std::string &file_name) {
    ZobjResult result;
    try {
        LibraryReader reader(split_lines(text), file_name, &result);
        result.image = reader.library();
        result.ok = true;
    } catch (const LibraryFailure &f) {
        result.words.clear();
        result.error =
            f.located ? f.message : file_name + ":" + std::to_string(f.line) + ": " + f.message;
    }
    return result;
}

} // namespace zema_test
