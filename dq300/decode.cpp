// Listing lines of packets and data: the hex codification, the packet body,
// data items with their relocation expressions, BSS ".space" runs, and the
// data-piece entry of the engine.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/rela.h"
#include "dq300/disasm.h"
#include "kelim/kelim.h"

namespace {

const char *const directive_names[5] = {".org", ".byte", ".hword", ".word", ".space"};

const char *data_directive(uint32_t rela_size) {
    switch (rela_size) {
    case 0:
    case 1:
        return directive_names[1];
    case 2:
        return directive_names[2];
    case 4:
        return directive_names[3];
    default:
        return nullptr;
    }
}

// Hex groups of the bytes into line (HEX_LINE_SIZE bytes, no NUL), read
// forward or from the last byte: 16-bit units of two digits pairs, an odd
// count byte by byte; every group ends with a blank. Written by hand, as
// formatting each byte cost more than listing a packet.
uint32_t format_hex_groups(const char *lead, const uint8_t *bytes, uint32_t size, bool from_last,
                           char *line) {
    char *p = line;
    for (const char *l = lead; *l;) *p++ = *l++;
    for (uint32_t k = 0; k < size && p < line + HEX_LINE_SIZE - 5; k++) {
        uint8_t b = bytes[from_last ? size - 1 - k : k];
        memcpy(p, UPPER_HEX_PAIRS.text + 2 * b, 2);
        p += 2;
        if (size % 2 == 0 && k % 2 == 0) continue; // the unit's second byte follows
        *p++ = ' ';
    }
    *p++ = '\n';
    return uint32_t(p - line);
}

// The hex line of a packet of N bytes (a multiple of 2), unrolled: the
// usual 8-byte packets and 4-byte words of a -x listing.
template <uint32_t N> uint32_t format_short_packet_hex(const uint8_t *bytes, char *line) {
    line[0] = '\t';
    char *p = line + 1;
    for (uint32_t k = N; k >= 2; k -= 2, p += 5) {
        memcpy(p, UPPER_HEX_PAIRS.text + 2 * bytes[k - 1], 2);
        memcpy(p + 2, UPPER_HEX_PAIRS.text + 2 * bytes[k - 2], 2);
        p[4] = ' ';
    }
    *p++ = '\n';
    return uint32_t(p - line);
}

} // namespace

uint32_t format_packet_hex(const uint8_t *bytes, uint32_t size, char *line) {
    if (size == 8) return format_short_packet_hex<8>(bytes, line);
    if (size == 4) return format_short_packet_hex<4>(bytes, line);
    return format_hex_groups("\t", bytes, size, true, line);
}

namespace {

void print_hex_groups(const char *lead, const uint8_t *bytes, uint32_t size, bool from_last,
                      Option_struct *opt) {
    char line[HEX_LINE_SIZE];
    text_append_n(line, format_hex_groups(lead, bytes, size, from_last, line), opt);
}

// "$%02X," for each byte, the last ending the line; written by hand, as
// formatting each byte cost more than listing a packet.
void print_plain_values(const uint8_t *bytes, uint32_t size, Option_struct *opt) {
    char value[4] = {'$', '0', '0', ','};
    for (uint32_t i = 0; i < size; i++) {
        memcpy(value + 1, UPPER_HEX_PAIRS.text + 2 * bytes[i], 2);
        value[3] = i + 1 < size ? ',' : '\n';
        text_append_n(value, sizeof value, opt);
    }
}

// Room in the listing for an ordinary relocated item's text: names of up to
// some 200 characters; a longer one takes the expression path.
constexpr size_t ORDINARY_ITEM_ROOM = 256;

// An ordinary relocation (a symbol and an addend) written straight into the
// listing, without the expression scratch, a heap copy and a symbol list;
// false, with nothing written, for any other.
bool print_ordinary_value(const Elf32_Rela *rela, Option_struct *opt) {
    char *room = text_room(ORDINARY_ITEM_ROOM + 1, opt);
    if (room == nullptr) return false;
    size_t length = rela_ordinary_text(rela, opt->strtab, opt->symtab, opt->symcount, nullptr,
                                       opt->arch_code, room, ORDINARY_ITEM_ROOM);
    if (length == 0) return false;
    room[length] = '\n';
    text_added(length + 1, opt);
    return true;
}

// The expression of the relocated item at the cursor and its symbols' names.
void print_relocated_value(Rela_cursor_struct *cursor, Option_struct *opt) {
    // The names are listed only with -n.
    if (!opt->unmangle && print_ordinary_value(cursor->current, opt)) return;
    Symbol_refs_struct *refs = nullptr;
    uint32_t remaining = cursor->count - cursor->index;
    char *text = rela_to_chr(cursor->current, opt->strtab, opt->symtab, opt->symcount, nullptr,
                             &refs, opt, nullptr, remaining);
    if (text == nullptr) {
        if (!has_error(opt)) set_error(opt, ERR_DATA, "Invalid .rela info\n");
        release_symbol_references(refs);
        return;
    }
    text_append(text, opt);
    free(text);
    print_comment_record(refs, opt);
    release_symbol_references(refs);
    text_append("\n", opt);
}

// Labels strictly inside the rest of a BSS window decide the next gap.
uint64_t bss_gap(uint64_t remaining, const Buffer_struct *buf, Option_struct *opt) {
    if (remaining < 2) return remaining;
    const Elf32_Sym *label = find_inner_label(opt->pc + 1, remaining - 2, buf, opt);
    if (label == nullptr) return remaining;
    uint64_t gap = label->st_value - symbol_address(opt->pc, buf);
    return gap ? gap : 1;
}

void print_space_line(uint64_t gap, const Buffer_struct *buf, Option_struct *opt) {
    print_address_line(opt->pc, opt);
    print_labels_at(opt->pc, buf, opt);
    char line[40];
    snprintf(line, sizeof line, "\t\t%s $%08llX\n", directive_names[4],
             static_cast<unsigned long long>(gap));
    text_append(line, opt);
}

} // namespace

void print_hex_codification(const uint8_t *bytes, uint32_t size, Option_struct *opt) {
    char line[HEX_LINE_SIZE];
    text_append_n(line, format_packet_hex(bytes, size, line), opt);
}

void print_packet(const uint8_t *bytes, uint32_t size, const char *text, uint32_t count,
                  const Buffer_struct *buf, Address_line_struct *last, Option_struct *opt) {
    // Without labels the address line, the hex line and the body go in one
    // piece.
    if (buf) {
        print_address_line(opt->pc, opt);
        if (opt->hex_display) print_hex_codification(bytes, size, opt);
        print_labels_at(opt->pc, buf, opt);
    }
    print_packet_body(bytes, size, text, count, buf == nullptr, last, opt);
}

void print_data_item(const uint8_t *bytes, uint32_t size, uint32_t rela_size,
                     Rela_cursor_struct *cursor, const Buffer_struct *buf, Option_struct *opt) {
    const char *directive = data_directive(rela_size);
    if (directive == nullptr) {
        set_error(opt, ERR_CONTENT, "Invalid data size\n");
        return;
    }
    print_address_line(opt->pc, opt);
    if (opt->hex_display) print_hex_groups("\t ", bytes, rela_size ? rela_size : size, false, opt);
    if (buf) print_labels_at(opt->pc, buf, opt);
    char head[16] = "\t\t";
    size_t length = strlen(directive);
    memcpy(head + 2, directive, length);
    head[2 + length] = ' ';
    text_append_n(head, length + 3, opt);
    if (rela_size == 0)
        print_plain_values(bytes, size, opt);
    else
        print_relocated_value(cursor, opt);
}

namespace {

// The cursor at the first relocation at or after offset: a piece of a large
// section starts there instead of walking the entries of the pieces before.
Rela_cursor_struct relocations_from(Elf32_Rela *sorted, uint64_t count, uint64_t offset) {
    if (sorted == nullptr || count == 0) return {sorted, 0, 0, nullptr};
    Elf32_Rela *first =
        std::lower_bound(sorted, sorted + count, offset,
                         [](const Elf32_Rela &r, uint64_t o) { return uint64_t(r.r_offset) < o; });
    auto index = static_cast<uint32_t>(first - sorted);
    return {sorted, static_cast<uint32_t>(count), index, index < count ? first : nullptr};
}

} // namespace

void print_data_bytes(const Buffer_struct *buf, Option_struct *opt) {
    Elf32_Rela *sorted = buffer_relocations(buf, opt);
    Rela_cursor_struct cursor = relocations_from(sorted, buf->rela_count, opt->pc - buf->address);
    uint64_t end = buf->address + buf->size; // first address after the section
    // Most items have no label at them: the cursor spares the search.
    Label_cursor_struct labels;
    label_cursor_start(&labels, opt->pc, buf, opt);
    while (opt->pc <= buf->end && opt->pc < end && !has_error(opt)) {
        uint64_t offset = opt->pc - buf->address;
        uint32_t rela_size = 0;
        if (cursor.current)
            rela_size = rela_data_size(&cursor.current, &cursor.index, cursor.count, offset, opt);
        if (has_error(opt)) break;
        // A relocated word must lie wholly inside the section.
        if (rela_size > end - opt->pc) {
            set_error(opt, ERR_CONTENT, "Invalid data size\n");
            break;
        }
        bool labelled = label_cursor_any(&labels, opt->pc, 1);
        print_data_item(buf->bytes + offset, 1, rela_size, &cursor, labelled ? buf : nullptr, opt);
        opt->pc += rela_size ? rela_size : 1;
    }
    if (sorted != buf->rela) free(sorted);
}

void print_bss(const Buffer_struct *buf, Option_struct *opt) {
    if (buf->bytes) {
        set_error(opt, ERR_CONTENT, "Found bss section with initialized content");
        return;
    }
    if (buf->rela && buf->rela_count) {
        set_error(opt, ERR_DATA, "Found bss section with relocation information");
        return;
    }
    if (buf->size == 0) return;
    // The run ends at the window end as well as at the piece end.
    uint64_t last =
        buf->address + buf->size - 1 < buf->end ? buf->address + buf->size - 1 : buf->end;
    while (opt->pc <= last && !has_error(opt)) {
        uint64_t remaining = last - opt->pc + 1;
        uint64_t gap = bss_gap(remaining, buf, opt);
        if (has_error(opt)) break;
        print_space_line(gap, buf, opt);
        opt->pc += gap;
    }
}

char *dump_data_piece(const Buffer_struct *buf, Option_struct *opt, uint8_t *error_class) {
    *error_class = ERR_NONE;
    if (!opt->data_sections || (buf->sh_type == SHT_NOBITS && !opt->bss_sections)) return nullptr;
    check_buffer_args(opt, buf->bytes, buf->size, buf->file_type, buf->sh_type, buf->start,
                      buf->end);
    if (has_error(opt)) return engine_error(opt, error_class);
    // Data get no equivalence texts: no file type for them.
    use_buffer_symbols(buf, -1, opt);
    Buffer_struct piece = *buf;
    clip_window(&piece.start, &piece.end, buf->address, buf->size);
    text_open(opt);
    opt->pc = piece.start;
    if (opt->label_display && !opt->piece_continued) {
        if (buf->shstrtab) {
            print_section_line(&piece, opt);
            print_section_globals(&piece, opt);
        }
        print_org_line(piece.address, opt);
    }
    if (buf->sh_type == SHT_NOBITS)
        print_bss(&piece, opt);
    else
        print_data_bytes(&piece, opt);
    // Labels at a piece boundary belong to the next piece's first item.
    if (!has_error(opt) && !opt->piece_more) print_labels_at(opt->pc, &piece, opt);
    if (has_error(opt)) return engine_error(opt, error_class);
    return text_detach(opt);
}
