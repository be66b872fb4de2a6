// Code windows: argument checks, the window, the section line, and the packet
// loop that decodes each word, attaches relocation expressions and address
// comments, marks loop ends, counts -z statistics and prints the packet or,
// failing that, data.
#include "dq300/disasm.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/rela.h"
#include "kelim/kelim.h"
#include "stats/stats.h"

using namespace ZEMADisasmLib;

namespace {

constexpr const char *INVALID_RELA = "Invalid .rela info\n";
constexpr uint32_t MAX_LONG_TEXTS = 64;

// Per-window state of the packet loop.
struct Window_struct {
    const Buffer_struct *buf;
    const uint8_t *ptr; // next byte to list
    uint64_t offset;    // of ptr in the section
    uint64_t available; // bytes from ptr to the end of the buffer
    uint64_t first;     // offset of the window start
    // What the options make of every packet, worked out once per window:
    // the render flags, whether every packet's operands are walked (for
    // address comments, or the error an unknown architecture gives them),
    // whether every packet is annotated (that, or loop ends marked), and
    // whether a packet without relocations gets address comments alone.
    uint32_t render;
    bool walk_operands;
    bool annotate_all;
    bool addresses_only;
    Rela_cursor_struct rela;
    // Offset of the cursor's relocation (UINT64_MAX: none left), noted
    // whenever the cursor may have moved: one comparison per packet.
    uint64_t relocation_at;
    Loop_state_struct loops;
    Label_cursor_struct labels;
    Address_line_struct address_line;
    std::string comment; // comment text of the current packet
    // Expressions too long for an operand's text, alive until the packet is printed.
    char *long_texts[MAX_LONG_TEXTS];
    uint32_t long_count;
    // Offset from which on the listed bytes are given back next (UINT64_MAX:
    // never), and the first byte not given back yet.
    uint64_t release_at;
    const uint8_t *kept;
    // Offset at which the listing so far is written out next (UINT64_MAX:
    // never), and the nearer of the two.
    uint64_t write_at;
    uint64_t upkeep_at;
};

void release_long_texts(Window_struct *w) {
    for (uint32_t i = 0; i < w->long_count; i++) free(w->long_texts[i]);
    w->long_count = 0;
}

// Writes the expression over the operand text, or keeps it beside the
// operand when it does not fit there.
void set_operand_text(OperandRecord *op, const char *text, Window_struct *w) {
    size_t length = strlen(text);
    if (length < sizeof op->text || w->long_count == MAX_LONG_TEXTS) {
        if (length >= sizeof op->text) length = sizeof op->text - 1;
        memcpy(op->text, text, length);
        op->text[length] = '\0';
        return;
    }
    char *kept = kl_strdup(text);
    op->long_text = kept;
    w->long_texts[w->long_count++] = kept;
}

// Looks up (and with consume, takes) the relocation at offset. Returns the
// rela_next result (1 found, 2 none, 0 malformed) and the relocation's first
// entry in *first.
int next_relocation(int consume, uint64_t offset, Window_struct *w, Option_struct *opt,
                    Elf32_Rela **first) {
    Rela_cursor_struct *c = &w->rela;
    // Entries below offset belong to packets listed before; the next one
    // above it means there is none here.
    if (c->current == nullptr || c->current->r_offset > offset) return 2;
    rela_seek(&c->current, c->count, &c->index, offset);
    *first = c->current;
    return rela_next(consume, &c->current, &c->index, c->count, offset, opt);
}

// Replaces the operand text by the expression of the relocation at offset.
// Returns the rela_next result.
int relocate_operand(OperandRecord *op, const InstructionRecord *record, uint64_t offset,
                     Window_struct *w, Option_struct *opt) {
    Elf32_Rela *first = nullptr;
    int found = next_relocation(1, offset, w, opt, &first);
    if (found != 1) return found;
    // Nearly every relocation is a symbol and an addend: its text goes
    // straight into the operand.
    if (rela_ordinary_text(first, opt->strtab, opt->symtab, opt->symcount, record, opt->arch_code,
                           op->text, sizeof op->text))
        return has_error(opt) ? 0 : 1;
    // An operand lists no names of its symbols: no reference list.
    uint32_t remaining = w->rela.count - static_cast<uint32_t>(first - w->rela.entries);
    const char *text = rela_text(first, opt->strtab, opt->symtab, opt->symcount, record, nullptr,
                                 opt, nullptr, remaining);
    if (text == nullptr) {
        set_error(opt, ERR_DATA, INVALID_RELA);
        return 0;
    }
    set_operand_text(op, text, w);
    return has_error(opt) ? 0 : 1;
}

// The address comment of an operand that names an address in an executable,
// written at `mark` of the packet's comment: the instruction's last such
// operand gives it. Kept out of line: few operands need it, and inlined it
// crowds the registers of the operand walks.
[[gnu::noinline]] void note_operand_address(const InstructionRecord *record,
                                            const OperandRecord *op, size_t mark, Window_struct *w,
                                            Option_struct *opt) {
    Operand_address_struct a;
    if (!operand_address(record, op, opt, &a) || opt->file_type != ET_EXEC) return;
    const Space_filter_struct *filter = opt->elf.qz_info ? &a.space : nullptr;
    w->comment.resize(mark);
    append_address_comment(static_cast<uint32_t>(a.value), a.address, opt, filter, &w->comment);
}

// Relocations and address comments of instruction i. False when the packet
// must be listed as data (a malformed relocation; the error is recorded).
bool handle_operands(uint32_t i, Window_struct *w, Option_struct *opt) {
    const InstructionRecord *record = nullptr; // fetched for the first relocatable operand
    uint64_t offset = w->offset;
    bool relocatable = false;
    size_t mark = w->comment.size();
    uint32_t n = GetOperandCount(i);
    // The operands of an instruction are consecutive records: one call for
    // the first instead of one per operand.
    OperandRecord *operands = n ? GetOperand(i, 0) : nullptr;
    for (uint32_t j = 0; j < n; j++) {
        OperandRecord *op = operands + j;
        if (op->reloc_type == 0) continue;
        relocatable = true;
        if (record == nullptr) record = GetInstructionRecord(i);
        int found = relocate_operand(op, record, offset, w, opt);
        if (found == 0) return false;
        if (found == 2) note_operand_address(record, op, mark, w, opt);
        if (has_error(opt)) return false;
    }
    if (!relocatable) {
        Elf32_Rela *first = nullptr;
        if (next_relocation(0, offset, w, opt, &first) == 0) return false;
    }
    return true;
}

// The address comments of instruction i in a packet with no relocation at
// it (every packet of an executable): its relocatable operands keep their
// texts, so only those naming an address are looked at.
[[gnu::always_inline]] inline bool note_addresses(uint32_t i, Window_struct *w,
                                                  Option_struct *opt) {
    uint32_t n = GetOperandCount(i);
    if (n == 0) return true;
    const OperandRecord *operands = GetOperand(i, 0);
    // The comment's size before this instruction's, taken at its first
    // operand that may name an address (most have none).
    size_t mark = SIZE_MAX;
    for (uint32_t j = 0; j < n; j++) {
        if (operands[j].reloc_type == 0) continue;
        if (mark == SIZE_MAX) mark = w->comment.size();
        note_operand_address(GetInstructionRecord(i), &operands[j], mark, w, opt);
        if (has_error(opt)) return false;
    }
    return true;
}

// Whether a relocation lies at the packet at the window position (or one
// left behind below it, which the look-up passes over).
bool relocation_here(const Window_struct *w) {
    return w->relocation_at <= w->offset;
}

void note_relocation_cursor(Window_struct *w) {
    w->relocation_at = w->rela.current ? w->rela.current->r_offset : UINT64_MAX;
}

// Annotates the `count` instructions of a packet of `size` bytes whose
// operands or instructions need a look (relocated: a relocation lies at
// it), and sets their texts.
[[gnu::noinline]] bool annotate_busy_packet(uint32_t size, uint32_t count, bool relocated,
                                            Window_struct *w, Option_struct *opt) {
    w->comment.clear();
    for (uint32_t i = 0; i < count; i++) {
        if (relocated) {
            if (!handle_operands(i, w, opt)) return false;
        } else if (w->walk_operands && !note_addresses(i, w, opt)) {
            return false;
        }
        if (opt->loop_end) track_loop_ends(i, w->offset - w->first + size, &w->loops, &w->comment);
    }
    // A decoded instruction has no suffix: only the last one gets the
    // comment, complete once every instruction is annotated.
    bool commented = count && !w->comment.empty();
    uint32_t plain = commented ? count - 1 : count;
    for (uint32_t i = 0; i < plain; i++) SetInstructionText(i, "\t", nullptr, nullptr);
    if (commented) SetInstructionText(count - 1, "\t", w->comment.c_str(), nullptr);
    return true;
}

// The usual busy packet of an executable, with no relocation at it and no
// loop ends marked: address comments alone, noted while the texts are set,
// without the other cases' tests per instruction.
[[gnu::noinline]] bool annotate_addresses(uint32_t count, Window_struct *w, Option_struct *opt) {
    w->comment.clear();
    if (count == 0) return true;
    uint32_t last = count - 1;
    for (uint32_t i = 0;; i++) {
        if (!note_addresses(i, w, opt)) return false;
        if (i == last) break;
        SetInstructionText(i, "\t", nullptr, nullptr);
    }
    // Only the last instruction gets the comment, complete by now.
    SetInstructionText(last, "\t", w->comment.empty() ? nullptr : w->comment.c_str(), nullptr);
    return true;
}

// Annotates the `count` instructions of an accepted packet of `size` bytes
// and sets their texts. Most packets of a relocatable file need neither
// relocations nor comments: their instructions only get the tab, without
// the upkeep of the busy path.
inline bool annotate_packet(uint32_t size, uint32_t count, Window_struct *w, Option_struct *opt) {
    bool relocated = relocation_here(w);
    if (w->annotate_all || relocated) {
        bool annotated = !relocated && w->addresses_only
                             ? annotate_addresses(count, w, opt)
                             : annotate_busy_packet(size, count, relocated, w, opt);
        // Only the relocations of a packet move the cursor.
        if (relocated) note_relocation_cursor(w);
        return annotated;
    }
    for (uint32_t i = 0; i < count; i++) SetInstructionText(i, "\t", nullptr, nullptr);
    return true;
}

// Listed bytes go back to the system in steps of this size, the pages of the
// last step kept.
constexpr uint64_t RELEASE_STEP = uint64_t(1) << 20;

// Gives back the whole pages of the bytes listed before the window position,
// but for the last RELEASE_STEP bytes (a packet reads forward only).
void release_listed_bytes(Window_struct *w) {
    static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    uintptr_t from = (reinterpret_cast<uintptr_t>(w->kept) + page - 1) & ~(page - 1);
    uintptr_t to = (reinterpret_cast<uintptr_t>(w->ptr) - RELEASE_STEP) & ~(page - 1);
    if (to > from) {
        madvise(reinterpret_cast<void *>(from), to - from, MADV_DONTNEED);
        w->kept = reinterpret_cast<const uint8_t *>(to);
    }
    w->release_at = w->offset + RELEASE_STEP;
}

// Code bytes listed between two writes of a streamed listing: some hundred
// KiB of text, so that the buffer stays small and in the cache instead of
// growing into fresh pages for the whole section.
constexpr uint64_t WRITE_STEP = uint64_t(1) << 14;

// The upkeep due at the window position: listed bytes given back, the
// listing so far written out.
void keep_up(Window_struct *w, Option_struct *opt) {
    if (w->offset >= w->release_at) release_listed_bytes(w);
    if (w->offset >= w->write_at) {
        text_write_out(w->buf->listing_out, opt);
        w->write_at = w->offset + WRITE_STEP;
    }
    w->upkeep_at = std::min(w->release_at, w->write_at);
}

void advance(Window_struct *w, uint64_t size, Option_struct *opt) {
    w->ptr += size;
    w->offset += size;
    w->available -= size;
    opt->pc += size;
}

// Bytes that cannot be listed as a packet: one data item of a relocated
// size, or two plain bytes (one when a single byte is left).
void list_as_data(Window_struct *w, Option_struct *opt) {
    uint32_t rela_size = 0;
    Rela_cursor_struct *c = &w->rela;
    if (c->current) rela_size = rela_data_size(&c->current, &c->index, c->count, w->offset, opt);
    note_relocation_cursor(w);
    if (has_error(opt)) return;
    // A relocated word must lie wholly inside the section.
    if (rela_size > w->available) {
        set_error(opt, ERR_CONTENT, "Invalid data size\n");
        return;
    }
    uint32_t plain = w->available >= 2 ? 2 : 1;
    // Most items have no label at them: the cursor spares the search.
    bool labels = label_cursor_any(&w->labels, opt->pc, 1);
    print_data_item(w->ptr, plain, rela_size, c, labels ? w->buf : nullptr, opt);
    if (has_error(opt)) return;
    advance(w, rela_size ? rela_size : plain, opt);
}

// Prints the packet decoded at the window position (with the labels at it
// when there may be any); false on an error.
bool list_packet(uint32_t size, const Elf32_Sym *inner, bool labels, Window_struct *w,
                 Option_struct *opt) {
    uint32_t count = GetInstructionCount();
    if (!annotate_packet(size, count, w, opt)) return false;
    if (opt->statistics) stats_packet(count, opt);
    const char *text = nullptr;
    FormatPacket(&text);
    char *with_labels = nullptr;
    if (inner) {
        with_labels = insert_inner_labels(text, inner, w->buf, opt);
        if (!with_labels) return false;
        text = with_labels;
    }
    if (labels)
        print_packet(w->ptr, size, text, count, w->buf, &w->address_line, opt);
    else
        print_packet_body(w->ptr, size, text, count, true, &w->address_line, opt);
    if (with_labels) free(with_labels);
    if (w->long_count) release_long_texts(w);
    advance(w, size, opt);
    return !has_error(opt);
}

// One step of the packet loop at the window position.
void list_next_item(Window_struct *w, Option_struct *opt) {
    uint32_t size =
        DecodeInstruction(w->ptr, w->available, w->render, opt->core_mode, opt->au_count);
    const Elf32_Sym *inner = nullptr;
    // Most packets hold no label: one look at the label cursor spares both
    // searches then.
    bool labels = size != 0 && size <= w->available && label_cursor_any(&w->labels, opt->pc, size);
    if (labels && size >= 2) {
        inner = find_inner_label(opt->pc + 1, size - 2, w->buf, opt);
        if (has_error(opt)) return;
    }
    bool printable = size != 0 && size <= w->available;
    if (printable && inner && !accept_inner_label_packet()) printable = false;
    if (!printable) {
        list_as_data(w, opt);
        return;
    }
    if (!list_packet(size, inner, labels, w, opt)) release_long_texts(w);
}

void init_window(Window_struct *w, const Buffer_struct *buf, Elf32_Rela *sorted,
                 Option_struct *opt) {
    w->buf = buf;
    uint64_t skip = opt->pc - buf->address;
    w->ptr = buf->bytes ? buf->bytes + skip : nullptr;
    w->offset = skip;
    w->available = buf->size > skip ? buf->size - skip : 0;
    w->first = skip;
    w->render = render_flags(opt);
    w->walk_operands = opt->file_type == ET_EXEC || opt->arch_code > 3;
    w->annotate_all = w->walk_operands || opt->loop_end != 0;
    w->addresses_only = w->walk_operands && opt->loop_end == 0;
    w->rela.entries = sorted;
    w->rela.count = sorted ? static_cast<uint32_t>(buf->rela_count) : 0;
    w->rela.index = 0;
    w->rela.current = w->rela.count ? sorted : nullptr;
    note_relocation_cursor(w);
    memset(&w->loops, 0, sizeof w->loops);
    label_cursor_start(&w->labels, opt->pc, buf, opt);
    w->address_line = {UINT64_MAX, 0, {}};
    w->long_count = 0;
    // Small sections are not worth the system calls.
    bool release = buf->release_listed && w->ptr && w->available >= 4 * RELEASE_STEP;
    w->release_at = release ? w->offset + 2 * RELEASE_STEP : UINT64_MAX;
    w->kept = w->ptr;
    w->write_at = buf->listing_out ? w->offset + WRITE_STEP : UINT64_MAX;
    w->upkeep_at = std::min(w->release_at, w->write_at);
}

// The offset at which the packet loop stops: past the window's last address
// or the section's last byte, whichever comes first.
uint64_t window_stop(const Buffer_struct *buf, uint64_t end) {
    if (end < buf->address) return 0;
    uint64_t last = end - buf->address;
    return last < buf->size ? last + 1 : buf->size;
}

// The packet loop over one window.
void disassemble_code(const Buffer_struct *buf, Elf32_Rela *sorted, uint64_t end,
                      Option_struct *opt) {
    Window_struct w;
    init_window(&w, buf, sorted, opt);
    if (opt->statistics) stats_reset(opt);
    const uint64_t stop = window_stop(buf, end);
    while (w.offset < stop && !has_error(opt)) {
        list_next_item(&w, opt);
        if (w.offset >= w.upkeep_at) keep_up(&w, opt);
    }
    release_long_texts(&w);
    if (has_error(opt)) return;
    print_address_line(opt->pc, opt);
    print_labels_at(opt->pc, buf, opt);
}

} // namespace

char *engine_error(Option_struct *opt, uint8_t *error_class) {
    free(text_detach(opt));
    opt->detached_text = nullptr;
    *error_class = get_error_code(opt);
    return kl_strdup(get_error_text(opt));
}

void use_buffer_symbols(const Buffer_struct *buf, int32_t file_type, Option_struct *opt) {
    if (opt->sort_symtab) make_sorted_symbols(opt, buf->symtab, buf->symcount);
    opt->strtab = buf->strtab;
    opt->symtab = buf->symtab;
    opt->symcount = buf->symcount;
    opt->file_type = file_type;
}

Elf32_Rela *buffer_relocations(const Buffer_struct *buf, Option_struct *opt) {
    if (buf->rela == nullptr || buf->rela_count == 0) return nullptr;
    // Relocations name symbols: without a symbol table they cannot be read.
    if (buf->rela_present != 1 || buf->symtab == nullptr) {
        set_error(opt, ERR_DATA, INVALID_RELA);
        return nullptr;
    }
    // Files nearly always hold them in order already: no copy then.
    if (buf->rela_sorted || relocations_in_order(buf->rela, buf->rela_count)) return buf->rela;
    return sort_relocations(buf->rela, buf->rela_count, buf->rela_present);
}

uint32_t render_flags(const Option_struct *opt) {
    return opt->compact_output ? OPT_RENDER : OPT_RENDER | OPT_LINE_SEPARATOR;
}

void select_core(Option_struct *opt, uint64_t sh_flags) {
    static const uint32_t zema_mode[4] = {ARCH_ZEMA1, ARCH_ZEMA2, ARCH_ZEMA2, ARCH_ZEMA3};
    static const uint32_t rixu_mode[4] = {ARCH_RIXU1, ARCH_RIXU2, ARCH_RIXU2, ARCH_RIXU3};
    if (opt->arch_code > 3) return;
    opt->core_mode = (sh_flags & SHF_RIXU) ? rixu_mode[opt->arch_code] : zema_mode[opt->arch_code];
}

void check_buffer_args(Option_struct *opt, const uint8_t *bytes, uint64_t size, int32_t file_type,
                       uint32_t sh_type, uint64_t start, uint64_t end) {
    if (start == end || opt == nullptr) return;
    if (bytes == nullptr && sh_type != SHT_NOBITS)
        set_error(opt, ERR_OPTION, "Buffer not specified\n");
    else if (size == 0)
        set_error(opt, ERR_OPTION, "Buffer length should be greater than 0\n");
    else if (file_type != ET_REL && file_type != ET_EXEC)
        set_error(opt, ERR_OPTION, "Unknown buffer type\n");
}

void clip_window(uint64_t *start, uint64_t *end, uint64_t address, uint64_t size) {
    if (*start < address) *start = address;
    uint64_t last = size ? address + size - 1 : address;
    if (*end > last) *end = last;
}

bool relocations_in_order(const Elf32_Rela *rela, uint64_t count) {
    for (uint64_t i = 1; i < count; i++)
        if (rela[i].r_offset < rela[i - 1].r_offset) return false;
    return true;
}

Elf32_Rela *sort_relocations(const Elf32_Rela *rela, uint64_t count, uint8_t present) {
    if (present != 1 || rela == nullptr) return nullptr;
    auto *copy = static_cast<Elf32_Rela *>(kl_malloc((count ? count : 1) * sizeof *rela));
    if (count) memcpy(copy, rela, count * sizeof *rela);
    // The entries of one offset form one relocation and keep their file order.
    std::stable_sort(copy, copy + count, [](const Elf32_Rela &a, const Elf32_Rela &b) {
        return a.r_offset < b.r_offset;
    });
    return copy;
}

uint32_t format_long_address_line(uint64_t pc, char *line) {
    uint32_t n = 8;
    while (n < 16 && (pc >> (4 * n)) != 0) n++;
    // Two digits at a time from the last; an odd count writes a leading
    // zero over the '#', which is set afterwards.
    for (int k = int(n); k > 0; k -= 2, pc >>= 8)
        memcpy(line + k - 1, LOWER_HEX_PAIRS.text + 2 * (pc & 0xFF), 2);
    line[0] = '#';
    line[n + 1] = ':';
    line[n + 2] = '\n';
    return n + 3;
}

void print_address_line(uint64_t pc, Option_struct *opt) {
    if (!opt->pc_display) return;
    char line[ADDRESS_LINE_SIZE];
    text_append_n(line, format_address_line(pc, line), opt);
}

void print_org_line(uint64_t address, Option_struct *opt) {
    if (!opt->label_display || address == 0) return;
    char line[40];
    snprintf(line, sizeof line, "\t\t.org $%llx\n", static_cast<unsigned long long>(address));
    text_append(line, opt);
}

void print_section_line(const Buffer_struct *buf, Option_struct *opt) {
    text_append("\t.section ", opt);
    text_append(buf->shstrtab + buf->name, opt);
    uint64_t f = buf->sh_flags;
    if (f & (SHF_WRITE | SHF_ALLOC | SHF_EXECINSTR)) {
        text_append(", \"", opt);
        if (f & SHF_WRITE) text_append("w", opt);
        if (f & SHF_ALLOC) text_append("a", opt);
        if (f & SHF_EXECINSTR) text_append("e", opt);
        text_append("\"", opt);
    }
    if (buf->sh_type == SHT_PROGBITS) text_append(", @progbits", opt);
    if (buf->sh_type == SHT_NOBITS) text_append(", @nobits", opt);
    text_append("\n", opt);
}

char *disassemble_buffer(const Buffer_struct *buf, Option_struct *opt, uint8_t *error_class) {
    *error_class = ERR_NONE;
    if (opt == nullptr) {
        *error_class = ERR_OPTION;
        return kl_strdup("Option parameter not specified\n");
    }
    check_buffer_args(opt, buf->bytes, buf->size, buf->file_type, buf->sh_type, buf->start,
                      buf->end);
    Elf32_Rela *sorted = has_error(opt) ? nullptr : buffer_relocations(buf, opt);
    if (has_error(opt)) return engine_error(opt, error_class);
    use_buffer_symbols(buf, buf->file_type, opt);
    select_core(opt, buf->sh_flags);
    uint64_t start = buf->start, end = buf->end;
    clip_window(&start, &end, buf->address, buf->size);
    text_open(opt);
    opt->pc = start;
    const char *name = buf->shstrtab ? buf->shstrtab + buf->name : nullptr;
    if (opt->label_display && name && *name && strcmp(name, ".default") != 0) {
        print_section_line(buf, opt);
        print_section_globals(buf, opt);
    }
    print_org_line(buf->address, opt);
    disassemble_code(buf, sorted, end, opt);
    if (sorted != buf->rela) free(sorted);
    if (opt->statistics && !has_error(opt)) stats_report(opt);
    if (has_error(opt)) return engine_error(opt, error_class);
    return text_detach(opt);
}
