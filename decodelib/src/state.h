// Library state: per-architecture tables with their field maps, operand
// plans and match index, the one DecoderState, and the internal decoding
// operations.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "decodelib/src/clean_text.h"
#include "decodelib/src/fields.h"
#include "decodelib/zema_disasm.h"

namespace ZEMADisasmLib {

// Per-record properties worked out once from the record kind.
enum : uint8_t {
    TRAIT_TWO_S = 0x1,
    TRAIT_SPECIAL = 0x2, // text computed from operand values
    TRAIT_NULL = 0x4,
    TRAIT_SWBREAK = 0x8,
    TRAIT_SWBREAK_UPPER = 0x10,
    TRAIT_SWBREAK_LOWER = 0x20,
    TRAIT_WHOLE = 0x40, // a ZEMA word format that is an instruction itself
};

using FieldMap = std::map<std::string, std::unique_ptr<Field>>;

// Candidates of one (size, slot) class, ordered by mask bit count descending
// with table order kept on ties, split into buckets on a few fixed bits so
// that the first matching candidate of a word's bucket is the winner.
struct MatchClass {
    uint32_t size = 0;
    uint32_t slot = 0;              // 0: whole words (any slot, flag bit 0 clear)
    std::vector<uint32_t> key_bits; // positions gathered into the bucket number
    // Bucket number bits of each byte of a word that holds key bits.
    struct ByteKey {
        uint32_t shift;
        std::array<uint16_t, 256> bits;
    };
    std::vector<ByteKey> byte_keys;
    // The bucket number of v: most classes gather their key bits in one or
    // two lookups, taken without a loop.
    [[gnu::always_inline]] uint32_t Bucket(uint64_t v) const {
        const ByteKey *k = byte_keys.data(), *end = k + byte_keys.size();
        if (end == k) return 0;
        uint32_t bucket = k[0].bits[(v >> k[0].shift) & 0xFF];
        if (end == k + 1) return bucket;
        bucket |= k[1].bits[(v >> k[1].shift) & 0xFF];
        for (k += 2; k < end; ++k) bucket |= k->bits[(v >> k->shift) & 0xFF];
        return bucket;
    }
    // Candidates with their mask and value copied beside the record index, so
    // that a scan stays in one array; bucket b is [begins[b], begins[b + 1]),
    // kept as pointers so that finding it takes no offset arithmetic (the
    // array never moves once filled: a class is moved, never copied).
    struct Candidate {
        uint64_t mask, value;
        uint32_t index;
    };
    std::vector<Candidate> candidates;
    std::vector<const Candidate *> begins;
    static constexpr uint32_t kNone = UINT32_MAX;
    // The index of the record that wins for v (the first candidate of its
    // bucket that it matches), or kNone.
    [[gnu::always_inline]] uint32_t Winner(uint64_t v) const {
        uint32_t bucket = Bucket(v);
        const Candidate *m = begins[bucket], *end = begins[bucket + 1];
        for (; m != end; ++m)
            if ((v & m->mask) == m->value) return m->index;
        return kNone;
    }
    // The winner of every value of a class of at most kDirectBits bits
    // (empty for wider ones): most slots are narrow, and a table lookup is
    // cheaper than finding the bucket and scanning it.
    static constexpr uint32_t kDirectBits = 8;
    std::vector<uint32_t> direct;

    MatchClass() = default;
    MatchClass(MatchClass &&) = default;
    MatchClass &operator=(MatchClass &&) = default;
    MatchClass(const MatchClass &) = delete;
    MatchClass &operator=(const MatchClass &) = delete;
};

// One operand a decode renders for a record: the field object of an operand
// of the record, and the slot code when the packet decoder decodes that field
// as a slot of a whole word instead (0 otherwise).
struct OperandPlan {
    const Field *field;
    const OperandName *name;
    uint32_t slot;
};

// The parts of a decoded operand that depend on its plan only, gathered
// once so that a decode copies them from one place: the leading and the
// trailing members of its OperandRecord (long_text cleared) as blocks, and
// what rendering the text takes.
struct OperandConstants {
    struct Names {
        const char *syntax_name, *field_name;
    } names;
    struct Relocation {
        const char *reloc_name;
        uint32_t reloc_type, reloc_width, is_signed;
        const char *long_text;
    } relocation;
    const Field *field;
    bool clean; // TextsClean of the field
    // Whether the short texts, or the rendered ones, may hold upper-case
    // letters (which lower-case listings change).
    bool short_upper, rendered_upper;
    // How the text is made: a tabled field's short text or an immediate's
    // number, from the value (word >> from) & mask while the boundary is at
    // least run_limit; else (and for other fields) through the field.
    enum : uint8_t { kRendered, kShortText, kNumber } text_kind;
    uint32_t from, run_limit;
    // An immediate's values below small_below (at most 16) are written as
    // "+$" and the digit of value << small_shift.
    uint8_t small_below, small_shift;
    uint64_t mask;
    uint32_t number_bits, number_shift; // an immediate's bit count and shift
    // A tabled field's short texts (short_count 0 when there are none).
    const std::array<char, 16> *short_texts;
    const uint8_t *short_lengths;
    size_t short_count;
};

// How a slot field's value is read from a whole ZEMA word, and the match
// class of the value.
struct SlotRead {
    const Field *field = nullptr; // null: no such field, the value is 0
    uint64_t mask = 0;            // the value is (word >> from) & mask; 0: through field
    uint32_t from = 0;
    uint32_t width = 0;                      // of the value
    const MatchClass *match_class = nullptr; // of (width, slot); null when none
    // The class's winners by value when it has them and every value read
    // (a one-run value below its mask + 1) has a place there; else null.
    const uint32_t *direct = nullptr;
    uint64_t Value(uint64_t word) const {
        if (mask) return (word >> from) & mask;
        return field ? field->Extract(word, 0, 64) : 0;
    }
};

// One step of decoding a whole ZEMA word by its packet format record, in
// plan order: a slot field's value decoded in its match class, or an
// operand of the record itself (slot 0).
struct SlotStep {
    // The word bits the step reads: a slot whose bits are all clear is empty
    // and skipped (all ones for an operand, which is always rendered).
    uint64_t placed;
    SlotRead read;
    uint32_t slot;
    uint32_t plan; // position among the plans of the record
};

// The slot steps of a packet format whose slots lie in disjoint bit ranges
// in step order (rising or falling): the filled ones are found from the set
// bits of the word, so empty slots cost nothing.
struct StepScan {
    uint64_t placed = 0;    // union of the steps' placed bits
    bool from_top = false;  // steps in falling bit order
    uint8_t owner[64] = {}; // step (from the record's first) reading each bit
};

// The slot fields of a two-S packet format (field null when absent).
struct TwoSFields {
    SlotRead x, x_hi, x_lo, s_hi, s_lo, z;
};

// A record's syntax template compiled against the operands a decode gives it:
// pieces of a literal text and the operand list position after it, in text
// order. The literal is held in the piece, so that writing it takes no
// load of its place; longer literals are split over pieces without an operand.
struct TemplatePiece {
    static constexpr size_t kLongest = CleanText::kOverrun - 1; // literal characters held
    char literal[CleanText::kOverrun]; // then anything: copied as one block
    uint8_t length;                    // of the literal
    int8_t operand;                    // operand list position, or -1 for none
    // How the literal and the operand's text are written when the text before
    // the template cannot start a pair: copied as they are, the first
    // character checked against the text before it, or (a literal holding a
    // pair) character by character.
    uint8_t literal_write, operand_write;
    enum : uint8_t { kCopy, kCheckFirst, kByChar };
};

// A set of characters (those above 127 share the places of their low bits).
struct CharSet {
    uint64_t bits[2] = {};
    void Add(char c) {
        unsigned u = static_cast<unsigned char>(c) & 127;
        bits[u >> 6] |= 1ULL << (u & 63);
    }
    bool Has(char c) const {
        unsigned u = static_cast<unsigned char>(c) & 127;
        return (bits[u >> 6] >> (u & 63)) & 1;
    }
    void Add(const CharSet &o) {
        bits[0] |= o.bits[0];
        bits[1] |= o.bits[1];
    }
    bool Meets(const CharSet &o) const { return (bits[0] & o.bits[0]) || (bits[1] & o.bits[1]); }
};

// The characters an operand's texts can begin and end with.
struct TextEnds {
    CharSet first, last;
};

// The places of a template's text taken by operand names: each name, in
// list order, wherever it lies wholly in text no earlier name took, found
// from the left without overlap, as replacing it in the literal stretches
// between the earlier names would.
class TemplateClaims {
  public:
    static constexpr size_t kLongest = 256; // longer templates are not compiled
    explicit TemplateClaims(std::string_view syntax) : syntax_(syntax) {} // at most kLongest
    // Takes the places of a name for operand list position `operand`; false
    // when it is nowhere.
    bool Claim(std::string_view name, int32_t operand);
    // Whether a name could be matched across the place of an operand whose
    // text is empty: it holds a character that can stand before the place and
    // one that can stand after it, one after the other. ends[l]: how operand
    // l's texts can begin and end; bit l of `empty`: whether its text can be
    // empty, which also lets the text beyond it meet a neighbouring place.
    bool MatchesAcross(std::string_view name, const TextEnds *ends, uint32_t empty) const;
    std::string_view Syntax() const { return syntax_; }
    // Calls piece(begin, length, operand) in text order for each literal
    // stretch (perhaps empty) and the name after it, then (operand -1) for a
    // nonempty literal at the end.
    template <class Piece> void Pieces(Piece &&piece) const {
        uint32_t literal = 0;
        for (uint32_t k = 0; k < count_; ++k) {
            piece(literal, claims_[k].begin - literal, claims_[k].operand);
            literal = claims_[k].end;
        }
        auto size = static_cast<uint32_t>(syntax_.size());
        if (literal < size) piece(literal, size - literal, int32_t{-1});
    }

    TemplateClaims(const TemplateClaims &) = delete;
    TemplateClaims &operator=(const TemplateClaims &) = delete;

  private:
    struct Place {
        uint16_t begin, end;
        int32_t operand;
    };
    // Appends the places of a name in the free stretch [begin, end) to out.
    size_t ClaimIn(size_t begin, size_t end, std::string_view name, int32_t operand, Place *out);

    std::string_view syntax_;
    // The places in text order (disjoint, a character at least each), and
    // room for the next list, which a claim merges them into.
    Place lists_[2][kLongest];
    Place *claims_ = lists_[0], *spare_ = lists_[1];
    uint32_t count_ = 0;
};

// The characters of the texts a field can render (for fields that render
// more than numbers) and their first characters; the texts themselves are
// listed only when these cannot rule out an overlap.
struct FieldChars {
    CharSet all, first, last; // last: of the texts as they may be cut too
    bool listed = false;
    std::vector<std::string> texts;
};

// A yes/no answer remembered per pair of pointers: open addressing on a
// power-of-two table kept at most half full.
class PairMemo {
  public:
    // The answer noted for (a, b): 0 or 1, or -1 when there is none.
    int Find(const void *a, const void *b) const {
        if (slots_.empty()) return -1;
        for (size_t i = home(a, b);; i = (i + 1) & (slots_.size() - 1)) {
            const Slot &s = slots_[i];
            if (s.answer < 0 || (s.a == a && s.b == b)) return s.answer;
        }
    }
    void Note(const void *a, const void *b, bool answer) {
        if (2 * (used_ + 1) > slots_.size()) grow();
        size_t i = home(a, b);
        while (slots_[i].answer >= 0 && !(slots_[i].a == a && slots_[i].b == b))
            i = (i + 1) & (slots_.size() - 1);
        if (slots_[i].answer < 0) ++used_;
        slots_[i] = {a, b, answer ? 1 : 0};
    }
    size_t Size() const { return used_; }

  private:
    struct Slot {
        const void *a = nullptr, *b = nullptr;
        int answer = -1;
    };
    size_t home(const void *a, const void *b) const {
        uint64_t h = reinterpret_cast<uintptr_t>(a) * 0x9E3779B97F4A7C15ULL ^
                     reinterpret_cast<uintptr_t>(b) * 0xC2B2AE3D27D4EB4FULL;
        return static_cast<size_t>(h >> 32) & (slots_.size() - 1);
    }
    void grow() {
        std::vector<Slot> old(std::max<size_t>(64, 2 * slots_.size()));
        old.swap(slots_);
        used_ = 0;
        for (const Slot &s : old)
            if (s.answer >= 0) Note(s.a, s.b, s.answer != 0);
    }
    std::vector<Slot> slots_;
    size_t used_ = 0;
};

struct GeneratedTables;

struct RecordInfo {
    uint32_t plan_begin = 0, plan_count = 0; // into ArchitectureTables::plans
    uint32_t operand_count = 0;              // operands a decode appends
    RecordKind kind = KIND_PLAIN;
    uint8_t traits = 0;
    bool expanded = false; // its public record filled (see ArchitectureTables::packed)
    int32_t two_s = -1;    // into ArchitectureTables::two_s_fields
    // Compiled template: pieces [template_begin, template_end); kTemplateUnbuilt
    // until the first use, kTemplateGeneric when the template must be
    // substituted by the general rule (a text could join a later operand's name).
    int32_t template_begin = kTemplateUnbuilt, template_end = 0;
    // Room the compiled template's text can take: its literals and, for
    // every piece, an untouched operand text and the overrun of a copy.
    uint32_t template_room = 0;
    // Operands (bit per list position) followed by a later operand's name:
    // a rewritten text of one of them is looked at against those names.
    uint32_t touch_sensitive = 0;
    // The constants of its plans, noted on first use (null before): a block
    // of ArchitectureTables::constant_blocks.
    const OperandConstants *constants = nullptr;
    int32_t shared = -1; // into ArchitectureTables::shared_plans; -1 before first use
    // Its steps [step_begin, step_begin + step_count) of ArchitectureTables::
    // slot_steps, noted on first use (-1 before).
    int32_t step_begin = -1;
    uint32_t step_count = 0;
    int32_t step_scan = -1; // into ArchitectureTables::step_scans; -1: step by step
    // kTemplateSpecial: the text is computed from the operand values.
    static constexpr int32_t kTemplateUnbuilt = -1, kTemplateGeneric = -2, kTemplateSpecial = -3;
};

struct ArchitectureTables {
    const InstructionRecord *records = nullptr;
    uint32_t record_count = 0;
    // The packed records of generated tables while some public records are
    // not yet expanded: each is filled on its first use (RecordOf) in an
    // array that comes zeroed, so a run touches only the records it decodes.
    // Null when every record is complete (installed tables).
    const GeneratedTables *packed = nullptr;
    const FieldRecord *fields = nullptr;
    uint32_t field_count = 0;
    const RecordKindEntry *kinds = nullptr;
    uint32_t kind_count = 0;
    uint32_t arch = 0;
    bool built = false;
    FieldMap field_map;
    std::vector<RecordInfo> info; // per record
    std::vector<OperandPlan> plans;
    std::vector<SlotStep> slot_steps;
    std::vector<StepScan> step_scans;
    // What first uses note about a record that depends on its plans only
    // (and on whether it is an instruction itself), kept once per distinct
    // list: a set has about a hundred lists against thousands of records.
    struct SharedPlans {
        uint64_t hash;                   // PlanListHash, with `whole` in bit 0
        uint32_t plan_begin, plan_count; // the plans of the record that made it
        bool whole;
        const OperandConstants *constants = nullptr; // a block of constant_blocks
        int32_t step_begin = -1;                     // as in RecordInfo
        uint32_t step_count = 0;
        int32_t step_scan = -1;
    };
    std::vector<SharedPlans> shared_plans;
    // Open addressing on the hashes, kept at most half full: shared_plans
    // index + 1 per slot, 0 for an empty one.
    std::vector<uint32_t> shared_slots;
    std::vector<std::unique_ptr<OperandConstants[]>> constant_blocks;
    std::vector<TwoSFields> two_s_fields;
    std::vector<MatchClass> classes;
    int16_t class_of[65][23];               // [size][slot], slot 0 the whole-word class; -1 none
    const MatchClass *word_class = nullptr; // class_of[word width][0]
    const InstructionRecord *loop_markers[4] = {}; // loop_begin_0/1, loop_end_0/1
    // The loop markers a word carries (bit k: loop_markers[k]) by its low
    // byte, when every marker's mask lies in it (state 1); noted on first
    // use (state 0 before, -1 when a mask reaches further).
    uint8_t marker_sets[256] = {};
    int8_t marker_sets_state = 0;
    std::vector<const InstructionRecord *> swbreaks;
    // Compiled templates of the records used so far.
    std::vector<TemplatePiece> pieces;
    // Whether a text of a field can join a name into a match (memo of the
    // template compiler), keyed by field and name text, and the texts of the
    // fields looked at.
    PairMemo joins; // (field, operand name): whether a text of the field can join the name
    std::map<const Field *, FieldChars> field_chars;
    std::vector<int8_t> field_empty; // by field record: whether a text can be "" (-1: not known)

    // Index of a record of these tables, or SIZE_MAX.
    size_t IndexOf(const InstructionRecord *r) const {
        size_t i = static_cast<size_t>(r - records);
        return r >= records && i < record_count ? i : SIZE_MAX;
    }
};

// Fills public record i of generated tables from its packed record.
void ExpandRecord(ArchitectureTables &t, uint32_t i);

// Record i, complete: expanded on its first use.
inline const InstructionRecord &RecordOf(ArchitectureTables &t, uint32_t i) {
    if (t.packed && !t.info[i].expanded) ExpandRecord(t, i);
    return t.records[i];
}

// What matching reads of record i, taken from the packed record of a
// generated table so that looking at it does not expand it.
struct RecordHead {
    uint32_t size, slot, flags;
    uint64_t mask, value;
};
RecordHead HeadOf(const ArchitectureTables &t, uint32_t i);

// An operand's current text: the driver's long text when it set one, else
// the text buffer, which the driver may have overwritten and which is read
// at most to its size.
inline std::string_view CurrentText(const OperandRecord &op) {
    if (op.long_text) return op.long_text;
    return std::string_view(op.text, strnlen(op.text, sizeof op.text));
}

// What the library rendered into an operand's text: its first 16 bytes and
// its length, so that FormatPacket can tell an untouched text (and use the
// length) from one the driver rewrote. Texts of 16 characters or more are
// never taken as untouched.
struct RenderedText {
    uint64_t head[2];
    uint32_t length;
    bool clean; // holds none of the pairs the clean-ups change
    bool Untouched(const OperandRecord &op) const {
        uint64_t now[2];
        std::memcpy(now, op.text, sizeof now);
        return length < sizeof head && !op.long_text && now[0] == head[0] && now[1] == head[1];
    }
};

// Operand list of one decoded instruction. Cleared lists keep their records
// so that later decodes overwrite them instead of constructing new ones.
class OperandList {
  public:
    size_t size() const { return count_; }
    void clear() { count_ = 0; }
    // Appends n records (to be set by the caller); returns the first one's index.
    size_t AppendBlock(size_t n) {
        while (room_ < count_ + n) Grow();
        size_t first = count_;
        count_ += n;
        return first;
    }
    // The records and their rendered texts as arrays, for setting a block
    // without reloading the vectors after every text written.
    OperandRecord *Items() { return items_.data(); }
    RenderedText *RenderedTexts() { return rendered_.data(); }
    OperandRecord &operator[](size_t i) { return items_[i]; }
    const OperandRecord &operator[](size_t i) const { return items_[i]; }
    RenderedText &Rendered(size_t i) { return rendered_[i]; }
    const RenderedText &Rendered(size_t i) const { return rendered_[i]; }
    // Storage of a rendered text too long for OperandRecord::text.
    std::string &WholeText(size_t i) { return whole_texts_[i]; }
    const OperandRecord *begin() const { return items_.data(); }
    const OperandRecord *end() const { return items_.data() + count_; }

  private:
    [[gnu::noinline]] void Grow() {
        items_.emplace_back();
        rendered_.emplace_back();
        whole_texts_.emplace_back();
        ++room_;
    }

    std::vector<OperandRecord> items_;
    std::vector<RenderedText> rendered_;
    std::vector<std::string> whole_texts_;
    size_t count_ = 0;
    size_t room_ = 0; // records made, kept apart to spare a division per check
};

struct WordItem {
    uint64_t bits = 0;
    uint32_t width = 0;
    uint8_t flag = 0;
};

// Every character once, so that a one-character text (the usual tab prefix)
// is kept as a view into constant data instead of a copy.
inline constexpr struct SingleChars {
    char at[256] = {};
    constexpr SingleChars() {
        for (int c = 0; c < 256; ++c) at[c] = static_cast<char>(c);
    }
} kSingleChars;

// Texts given with SetInstructionText, alive until the next decode. Chunks
// never move, so views into them stay valid while more texts are added.
class TextArena {
  public:
    std::string_view Keep(const char *text) {
        if (!*text) return {};
        if (!text[1]) return One(text[0]);
        return KeepCopy(text);
    }
    static std::string_view One(char c) {
        return {&kSingleChars.at[static_cast<unsigned char>(c)], 1};
    }
    // Per decode: a few instructions unless a long text needed chunks of
    // its own, which go then.
    void Reset() {
        if (extra_chunks_) DropChunks();
        used_ = 0;
    }

  private:
    std::string_view KeepCopy(const char *text);
    [[gnu::noinline]] void DropChunks();

    static constexpr size_t kChunk = 4096;
    std::vector<std::unique_ptr<char[]>> chunks_;
    size_t used_ = 0, capacity_ = 0;
    bool extra_chunks_ = false; // more than the one chunk of the usual size
};

struct DecoderState {
    DecoderState();
    WordItem word;
    // The decoded instructions are the first `count` entries; later ones are
    // spare, as are the operand lists beyond them.
    std::vector<DecodedInstruction> instructions;
    std::vector<OperandList> operand_lists;
    uint32_t instruction_room = 0; // entries made: the check per instruction reads one counter
    uint32_t count = 0;
    // Instructions of S-slot records appended since the last word began: with
    // fewer than two, a packet's text has one half.
    uint32_t s_count = 0;
    uint32_t consumed = 0;
    uint32_t options = 0;
    uint32_t architecture = 1;
    uint32_t selected = 1; // code of the current tables selection
    uint8_t au_count = 0;
    InstructionRecord invalid;
    ArchitectureTables tables[6];
    ArchitectureTables *current = nullptr;
    TextArena texts;
    // The text FormatPacket writes and returns, kept to avoid allocating per
    // packet.
    CleanText packet_part;
    std::string body;
    // The text FormatPacket returned last and its length.
    const char *packet_text = nullptr;
    size_t packet_length = 0;
};

extern DecoderState g_decoder_state;
inline DecoderState &State() {
    return g_decoder_state;
}

// Replaces the tables of an architecture (tests install small fixtures).
void InstallTables(uint32_t arch, const InstructionRecord *records, uint32_t record_count,
                   const FieldRecord *fields, uint32_t field_count,
                   const RecordKindEntry *kinds = nullptr, uint32_t kind_count = 0);
// Puts the generated tables of an architecture back.
void RestoreGeneratedTables(uint32_t arch);
// The tables of an architecture, built on first use, with every record
// expanded (for tools and tests); null for other codes.
ArchitectureTables *TablesOf(uint32_t arch);

void SelectArchitecture(uint32_t arch);
// Decodes the word at `bytes`; sets and returns the bytes consumed.
uint32_t DecodeWord(const uint8_t *bytes, uint32_t arch);
// How a slot field (null: none) of slot code `slot` is read and matched.
SlotRead ReadOfSlot(const ArchitectureTables &t, const Field *field, uint32_t slot);
// Whether slot steps [steps, steps + count) can be taken by the set bits of
// the word; fills `scan` when they can.
bool ScanStepsByBits(const SlotStep *steps, uint32_t count, StepScan &scan);
// Sets the byte keys of a class from its key bits: each key bit gathered by
// exactly one of them, in as few lookups as the positions allow.
void BuildByteKeys(MatchClass &c);
const InstructionRecord *MatchWord(uint64_t bits, uint32_t width, uint8_t flag);
const InstructionRecord *MatchSlot(uint64_t value, uint32_t width, uint32_t slot);
// The plain scan of the whole current table (slot 0: whole-word match).
const InstructionRecord *MatchLinear(uint64_t bits, uint32_t width, uint8_t flag, uint32_t slot);
void DecodeSlot(uint64_t value, uint32_t width, uint32_t slot);
const Field *FindFieldObject(const char *impl_name);
// Slot code of a slot field that the packet decoder decodes directly, else 0.
uint32_t DirectSlotCode(const char *syntax_name);
// TRAIT_ bits of a record kind.
uint8_t TraitsOfKind(RecordKind kind);
// Slot code of a packet slot field name ("opA" 1, "opS_LO" 5, ...); 22 otherwise.
uint32_t SlotOfField(const char *syntax_name);

// A hash of plans [p, p + count) over what their noted parts depend on, and
// whether two such lists are alike in all of it.
uint64_t PlanListHash(const OperandPlan *p, uint32_t count);
bool SamePlans(const OperandPlan *a, const OperandPlan *b, uint32_t count);

// Compiles the template of record `index` of the tables (RecordInfo).
void CompileTemplate(ArchitectureTables &t, uint32_t index);
// Whether a text and a name can overlap in a match of the name: some
// alignment where every character they share agrees.
bool TextOverlapsName(std::string_view text, std::string_view name);
// The template substituted by the general rule: every occurrence of each
// operand's name, operand by operand, texts inserted earlier included.
void SubstituteTemplate(const char *syntax, const OperandList &operands, std::string &out);

// Special renderings; true when the instruction's text was written to out.
bool RenderSpecial(uint32_t index, std::string &out);
int64_t ParseNumber(const char *text);
std::string FormatNumber(int64_t value, uint32_t options);

} // namespace ZEMADisasmLib
