// A text that applies the packet text clean-ups as it grows: "+-" becomes
// "-" (unless kept), ",;" becomes ";", ",," becomes "," and "++" becomes "+",
// each as often as it occurs. Appending character by character while the
// text already holds none of the four pairs gives the same result as
// replacing each pair in the whole text until it no longer occurs, in that
// order: a run of "+" before "-" vanishes, a run of "," before ";" vanishes,
// other runs of either shrink to one character.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

namespace ZEMADisasmLib {

// Whether a character can take part in a clean-up.
inline constexpr struct CleanUpChars {
    bool is[256] = {};
    constexpr CleanUpChars() {
        for (unsigned char c : {'+', '-', ',', ';'}) is[c] = true;
    }
} kCleanUpChars;

// Whether a character can be the first of a pair.
inline bool CanLead(char c) {
    return c == '+' || c == ',';
}

class CleanText {
  public:
    // Up to 15 bytes past the end of a clean piece are read and written.
    static constexpr size_t kOverrun = 16;

    // Writes at the end of the text, kept in locals so that stores through
    // char pointers do not make the compiler reload the text's members.
    class Cursor {
      public:
        Cursor(char *b, size_t n, size_t limit, bool keep)
            : b_(b), n_(n), limit_(limit), keep_(keep) {}
        size_t Size() const { return n_; }
        // Whether `room` more characters (and the overrun) fit without a new Begin.
        bool Fits(size_t room) const { return n_ + room <= limit_; }
        // Drops what was written after size n (no clean-up character may follow n).
        void Truncate(size_t n) { n_ = n; }
        [[gnu::always_inline]] void Char(char c) { n_ = CharAt(b_, n_, c, keep_); }
        [[gnu::always_inline]] void Text(const char *s, size_t len) {
            n_ = TextAt(b_, n_, s, len, keep_);
        }
        // A piece that holds none of the four pairs, so that only its first
        // character can take part in a clean-up; 15 bytes past its end are
        // read (the sources are padded for it).
        void Clean(const char *s, size_t len) {
            if (len == 0) return;
            Char(s[0]);
            Copy(s + 1, len - 1);
        }
        // A clean piece whose first character cannot join the text before
        // it: copied as it is, with the same overrun as Clean.
        void Copy(const char *s, size_t len) {
            for (size_t k = 0; k < len; k += kOverrun) std::memcpy(b_ + n_ + k, s + k, kOverrun);
            n_ += len;
        }
        // The same for a piece shorter than the overrun: one block, no loop
        // (operand texts, which fill a buffer of 128, and short literals).
        void CopyShort(const char *s, size_t len) {
            std::memcpy(b_ + n_, s, kOverrun);
            n_ += len;
        }
        // A clean piece after text that most often ends in no character
        // that can start a pair: copied as it is then.
        void CleanAfter(const char *s, size_t len) {
            if (n_ && CanLead(b_[n_ - 1]))
                Clean(s, len);
            else
                Copy(s, len);
        }
        // The same for a piece of 1 to 15 characters in a block of 16,
        // which is read no further.
        void CleanAfterBlock(const char (&s)[kOverrun], size_t len) {
            if (!n_ || !CanLead(b_[n_ - 1])) {
                CopyShort(s, len);
                return;
            }
            Char(s[0]);
            std::memcpy(b_ + n_, s + 1, kOverrun - 1);
            n_ += len - 1;
        }
        // A text that cannot be read past its end (a suffix the driver set,
        // such as an address comment): with no character that can start a
        // pair, only its first character can take part in a clean-up and the
        // rest is copied as one block.
        void Unpadded(const char *s, size_t len) {
            if (len < kBlockFrom || std::memchr(s, '+', len) || std::memchr(s, ',', len)) {
                Text(s, len);
                return;
            }
            Char(s[0]);
            std::memcpy(b_ + n_, s + 1, len - 1);
            n_ += len - 1;
        }
        // The ";" that ends a line of at least one character: of the
        // clean-ups, only a "," before it can apply.
        void EndLine() {
            n_ -= b_[n_ - 1] == ',';
            b_[n_++] = ';';
        }
        // A terminating zero after the text, which the overrun has room for.
        void Terminate() { b_[n_] = '\0'; }
        // A character that takes part in no clean-up (a separator).
        void Plain(char c) { b_[n_++] = c; }
        // The same, kept only `when` (written either way, without a branch).
        void PlainWhen(char c, bool when) {
            b_[n_] = c;
            n_ += when;
        }

      private:
        // Shorter texts go character by character: cheaper than the searches.
        static constexpr size_t kBlockFrom = 12;

        // The writes work on the text's end by value and give the new size,
        // so that a write the compiler leaves out of line never takes the
        // cursor's address (which would keep it in memory throughout).
        static size_t CharAt(char *b, size_t n, char c, bool keep) {
            if (!kCleanUpChars.is[static_cast<unsigned char>(c)]) {
                b[n] = c;
                return n + 1;
            }
            char last = n ? b[n - 1] : '\0';
            if ((c == '+' && last == '+') || (c == ',' && last == ',')) return n;
            if ((c == '-' && last == '+' && !keep) || (c == ';' && last == ',')) n--;
            b[n] = c;
            return n + 1;
        }
        static size_t TextAt(char *b, size_t n, const char *s, size_t len, bool keep) {
            for (size_t k = 0; k < len; ++k) n = CharAt(b, n, s[k], keep);
            return n;
        }

        char *b_;
        size_t n_, limit_;
        bool keep_;
    };

    void Reset(bool keep_plus_minus) {
        size_ = 0;
        keep_plus_minus_ = keep_plus_minus;
    }
    size_t Size() const { return size_; }
    const char *Data() const { return buffer_.data(); }

    // A cursor with room for `room` more characters (and the overrun).
    // Taken once per packet and around every line written another way: the
    // growth stays out of line so that the usual call is a compare.
    Cursor Begin(size_t room) {
        if (size_ + room + kOverrun > buffer_.size()) [[unlikely]]
            Grow(room);
        return Cursor(buffer_.data(), size_, buffer_.size() - kOverrun, keep_plus_minus_);
    }
    void End(const Cursor &c) { size_ = c.Size(); }

    // The text with a terminating zero, valid until the next change.
    const char *CStr() {
        Begin(1);
        buffer_[size_] = '\0';
        return buffer_.data();
    }

    void Append(std::string_view s) {
        Cursor c = Begin(s.size());
        c.Text(s.data(), s.size());
        End(c);
    }

    static bool IsCleanUpChar(char c) { return kCleanUpChars.is[static_cast<unsigned char>(c)]; }
    // Whether the text holds one of the pairs a clean-up removes or shortens.
    static bool HasPair(std::string_view s) {
        for (size_t k = 1; k < s.size(); ++k) {
            char a = s[k - 1], b = s[k];
            if ((a == '+' && (b == '+' || b == '-')) || (a == ',' && (b == ',' || b == ';')))
                return true;
        }
        return false;
    }

  private:
    [[gnu::noinline]] void Grow(size_t room) {
        buffer_.resize(2 * buffer_.size() + room + kOverrun + 256);
    }

    std::vector<char> buffer_;
    size_t size_ = 0;
    bool keep_plus_minus_ = false;
};

} // namespace ZEMADisasmLib
