// Archive reader. Levels are read one at a time: all headers of a level
// first, then its members are probed in file order, and a member holding an
// archive is read as a new level at once (depth first, with an explicit
// stack, so nesting depth costs no call depth).
#include "common/archive.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "elflib/elfread.h"
#include "kelim/kelim.h"

namespace {

constexpr const char *SOURCE = "common/archive";
constexpr char AR_MAGIC[] = "!<arch>\n";
constexpr char AR_TRAILER[] = "`\n";
// Piece size of reads whose length comes from a size field: memory grows
// only with bytes the file really holds.
constexpr uint64_t READ_PIECE = 64 * 1024;

// Reading state of one level.
struct level_reader {
    archive_struct *ar;
    archive_level *level;
    uint64_t base; // offset of the level's magic
    uint64_t pos;  // offset of the next header
};

// One header and where its member lies.
struct member_place {
    archive_header header;
    uint64_t data;
    uint64_t size;
};

uint32_t read_be32(const uint8_t *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void copy_field(char *to, const char *from, size_t width) {
    memcpy(to, from, width);
    to[width] = '\0';
}

// A decimal size: optional leading blanks, digits, then only blanks.
bool parse_size(const char *field, uint64_t *value) {
    while (*field == ' ') field++;
    if (!isdigit(static_cast<unsigned char>(*field))) return false;
    uint64_t v = 0;
    for (; isdigit(static_cast<unsigned char>(*field)); field++)
        v = v * 10 + uint64_t(*field - '0');
    while (*field == ' ') field++;
    *value = v;
    return *field == '\0';
}

// Date, ids and mode are informational: leading digits, saturated to 32 bits.
uint32_t parse_number(const char *field, unsigned base) {
    while (*field == ' ') field++;
    uint64_t v = 0;
    for (; *field >= '0' && *field < char('0' + base); field++) {
        v = v * base + uint64_t(*field - '0');
        if (v > UINT32_MAX) return UINT32_MAX;
    }
    return uint32_t(v);
}

bool has_magic_at(FILE *stream, uint64_t offset, uint64_t size) {
    if (size < AR_MAGIC_SIZE) return false;
    char magic[AR_MAGIC_SIZE];
    kl_fseek(stream, long(offset), SEEK_SET);
    return fread(magic, 1, AR_MAGIC_SIZE, stream) == AR_MAGIC_SIZE &&
           memcmp(magic, AR_MAGIC, AR_MAGIC_SIZE) == 0;
}

// Reads size bytes at the stream position; a file that ends first stops the
// run through kl_fread.
uint8_t *read_body(FILE *stream, uint64_t size) {
    std::unique_ptr<uint8_t, void (*)(void *)> body(static_cast<uint8_t *>(kl_malloc(1)), free);
    for (uint64_t done = 0; done < size;) {
        uint64_t piece = std::min(READ_PIECE, size - done);
        body.reset(static_cast<uint8_t *>(kl_realloc(body.release(), done + piece)));
        kl_fread(body.get() + done, 1, piece, stream);
        done += piece;
    }
    return body.release();
}

// Every member lies inside its level: the file, or the member holding a
// nested archive.
void check_member_end(const level_reader *r, const member_place *p) {
    uint64_t member_end = p->data + p->size, level_end = r->level->end;
    KL_INPUT_CHECK(member_end <= level_end, SOURCE);
}

// The next header of the level, when one fits before the level's end and
// carries its trailer.
bool next_header(level_reader *r, member_place *p) {
    if (r->pos + AR_HEADER_SIZE > r->level->end) return false;
    kl_fseek(r->ar->stream, long(r->pos), SEEK_SET);
    if (!archive_read_header(r->ar->stream, &p->header)) return false;
    bool size_is_decimal = parse_size(p->header.size, &p->size);
    KL_INPUT_CHECK(size_is_decimal, SOURCE);
    p->data = r->pos + AR_HEADER_SIZE;
    r->pos = p->data + p->size + (p->size & 1);
    return true;
}

void reserve_symbols(archive_struct *ar, size_t count) {
    if (ar->symbol_count + count <= ar->symbol_capacity) return;
    ar->symbol_capacity = std::max(ar->symbol_count + count, ar->symbol_capacity * 2);
    ar->symbol_table = static_cast<archive_symbol *>(
        kl_realloc(ar->symbol_table, ar->symbol_capacity * sizeof(archive_symbol)));
}

// "/ ": a big-endian count, that many big-endian header offsets relative to
// the level's start, then as many terminated names.
void read_symbol_table(level_reader *r, const member_place *p) {
    kl_fseek(r->ar->stream, long(p->data), SEEK_SET);
    // Released however the reading ends (a harness may take a fatal end back).
    std::unique_ptr<uint8_t, void (*)(void *)> held(read_body(r->ar->stream, p->size), free);
    const uint8_t *body = held.get();
    check_member_end(r, p);
    uint64_t table_size = p->size;
    KL_INPUT_CHECK(table_size >= 4, SOURCE);
    uint64_t symbol_count = read_be32(body);
    KL_INPUT_CHECK(symbol_count <= (table_size - 4) / 4, SOURCE);
    reserve_symbols(r->ar, symbol_count);
    const char *names = reinterpret_cast<const char *>(body + 4 + 4 * symbol_count);
    uint64_t left = table_size - 4 - 4 * symbol_count;
    for (uint64_t i = 0; i < symbol_count; i++) {
        const char *end = static_cast<const char *>(memchr(names, '\0', left));
        bool symbol_name_terminated = end != nullptr;
        KL_INPUT_CHECK(symbol_name_terminated, SOURCE);
        archive_symbol *s = &r->ar->symbol_table[r->ar->symbol_count];
        s->name = kl_strdup(names);
        r->ar->symbol_count++; // counted once its name exists, for archive_free
        s->member = nullptr;
        s->data_offset = r->base + AR_HEADER_SIZE + read_be32(body + 4 + 4 * i);
        left -= uint64_t(end - names) + 1;
        names = end + 1;
    }
}

// "//": names ended by '/', looked up by offset. Members keep pointing into
// the table, so many references to one long name cost no copies.
void read_long_names(level_reader *r, const member_place *p) {
    check_member_end(r, p);
    uint64_t long_names_size = p->size;
    KL_INPUT_CHECK(long_names_size <= AR_LONG_NAMES_MAX, SOURCE);
    archive_level *level = r->level;
    level->long_names = static_cast<char *>(kl_malloc(long_names_size + 1));
    kl_fseek(r->ar->stream, long(p->data), SEEK_SET);
    if (long_names_size) kl_fread(level->long_names, 1, long_names_size, r->ar->stream);
    level->long_names[long_names_size] = '\0';
    for (uint64_t i = 0; i < long_names_size; i++)
        if (level->long_names[i] == '/') level->long_names[i] = '\0';
    level->long_names_size = long_names_size;
}

// "/123": the name at offset 123 of the level's long-name table.
char *long_name(const archive_level *level, const char *digits) {
    bool long_name_table_present = level->long_names != nullptr;
    KL_INPUT_CHECK(long_name_table_present, SOURCE);
    uint64_t long_name_offset = 0;
    for (; isdigit(static_cast<unsigned char>(*digits)) && long_name_offset <= AR_LONG_NAMES_MAX;
         digits++)
        long_name_offset = long_name_offset * 10 + uint64_t(*digits - '0');
    uint64_t long_names_size = level->long_names_size;
    KL_INPUT_CHECK(long_name_offset < long_names_size, SOURCE);
    return level->long_names + long_name_offset;
}

char *copy_text(const char *text, size_t length) {
    char *copy = static_cast<char *>(kl_malloc(length + 1));
    memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

// A short name ends at the first '/' (or fills the field); "/N" refers to the
// long-name table; any other name starting with '/' ("/SYM64/", a late "/ ")
// is kept as written, without its trailing blanks.
void name_member(archive_member *m, const char *field) {
    m->shared_name = field[0] == '/' && isdigit(static_cast<unsigned char>(field[1]));
    if (m->shared_name) {
        m->name = long_name(m->parent, field + 1);
        return;
    }
    size_t length = strlen(field);
    if (field[0] == '/') {
        while (length > 1 && field[length - 1] == ' ') length--;
    } else if (const char *slash = strchr(field, '/')) {
        length = size_t(slash - field);
    }
    m->name = copy_text(field, length);
}

// The name index keeps the first member of each name. Long names, and chains
// that crafted names of one hash have made long, stay out of it, so that
// indexing costs a bounded time per member; lookups then also search the
// member list.
void index_member_name(archive_level *level, archive_member *m) {
    if (strnlen(m->name, AR_INDEX_NAME_MAX + 1) > AR_INDEX_NAME_MAX) {
        level->index_partial = true;
        return;
    }
    kl_containerT *cc = level->members_by_name;
    const kl_cc_node *node = cc->table->buckets[cc->table->hash(m->name) % cc->table->nbuckets];
    uint32_t chain = 0;
    for (; node && chain < AR_INDEX_CHAIN_MAX; node = node->next) chain++;
    if (chain == AR_INDEX_CHAIN_MAX) {
        level->index_partial = true;
        return;
    }
    cc->insert(cc, m->name, m);
}

void add_member(level_reader *r, const member_place *p) {
    check_member_end(r, p);
    archive_level *level = r->level;
    std::unique_ptr<archive_member, void (*)(void *)> held(
        static_cast<archive_member *>(kl_calloc(1, sizeof(archive_member))), free);
    archive_member *m = held.get();
    m->parent = level;
    name_member(m, p->header.name);
    m->date = parse_number(p->header.date, 10);
    m->uid = parse_number(p->header.uid, 10);
    m->gid = parse_number(p->header.gid, 10);
    m->mode = parse_number(p->header.mode, 8);
    m->size = p->size;
    m->data_offset = p->data;
    if (level->member_count == level->member_capacity) {
        level->member_capacity = level->member_capacity ? 2 * level->member_capacity : 16;
        level->members = static_cast<archive_member **>(
            kl_realloc(level->members, level->member_capacity * sizeof(archive_member *)));
    }
    level->members[level->member_count++] = held.release();
    index_member_name(level, m);
}

// The headers of one level, whose magic lies at base.
void read_level(archive_struct *ar, archive_level *level, uint64_t base) {
    level_reader r{ar, level, base, base + AR_MAGIC_SIZE};
    member_place p;
    bool valid = next_header(&r, &p);
    if (valid && strncmp(p.header.name, "/ ", 2) == 0) {
        read_symbol_table(&r, &p);
        valid = next_header(&r, &p);
    }
    if (valid && strncmp(p.header.name, "// ", 3) == 0) {
        read_long_names(&r, &p);
        valid = next_header(&r, &p);
    }
    for (; valid; valid = next_header(&r, &p)) add_member(&r, &p);
}

void free_level(void *data) {
    auto *level = static_cast<archive_level *>(data);
    level->members_by_name->destroy(level->members_by_name);
    for (size_t i = 0; i < level->member_count; i++) {
        if (!level->members[i]->shared_name) free(level->members[i]->name);
        free(level->members[i]);
    }
    free(level->members);
    free(level->long_names);
    free(level);
}

// A new level for the archive lying at [base, end), held by container (null
// for the top level), read at once.
archive_level *open_level(archive_struct *ar, archive_member *container, uint64_t base,
                          uint64_t end) {
    uint32_t level_count = ar->levels->count;
    KL_INPUT_CHECK(level_count < AR_MAX_LEVELS, SOURCE);
    auto *level = static_cast<archive_level *>(kl_calloc(1, sizeof(archive_level)));
    level->members_by_name =
        kl_cc_create(nullptr, nullptr, nullptr, nullptr, kl_pjw_hash, AR_LEVEL_BUCKETS, 0);
    level->container = container;
    level->end = end;
    ar->levels->insert(ar->levels, level);
    read_level(ar, level, base);
    return level;
}

// ZEMA objects and archives are what a library holds; anything else is
// reported (and listed later as an unknown entry).
bool holds_archive(archive_struct *ar, const archive_member *m) {
    if (elf_read(ar->stream, long(m->data_offset), nullptr) == EM_ZEMA) return false;
    if (has_magic_at(ar->stream, m->data_offset, m->size)) return true;
    kl_report_warning(&kl_errors, KL_FLAG_RAISE, nullptr, "Unknown format %s\n", m->name);
    return false;
}

struct level_cursor {
    archive_level *level;
    size_t next; // member to probe next
};

// Probes the members of every level in file order, reading each nested
// archive before the members that follow it.
void read_nested_levels(archive_struct *ar, archive_level *top) {
    size_t depth = 0, capacity = 16;
    std::unique_ptr<level_cursor, void (*)(void *)> held(
        static_cast<level_cursor *>(kl_malloc(capacity * sizeof(level_cursor))), free);
    level_cursor *stack = held.get();
    stack[depth++] = {top, 0};
    while (depth > 0) {
        level_cursor *c = &stack[depth - 1];
        if (c->next == c->level->member_count) {
            depth--;
            continue;
        }
        archive_member *m = c->level->members[c->next++];
        if (!holds_archive(ar, m)) continue;
        m->nested = open_level(ar, m, m->data_offset, m->data_offset + m->size);
        if (depth == capacity) {
            capacity *= 2;
            stack = static_cast<level_cursor *>(
                kl_realloc(held.release(), capacity * sizeof(level_cursor)));
            held.reset(stack);
        }
        stack[depth++] = {m->nested, 0};
    }
}

void build_member_table(archive_struct *ar) {
    size_t count = 0;
    kl_ds_posT pos;
    for (auto *l = static_cast<archive_level *>(ar->levels->first(ar->levels, &pos)); l;
         l = static_cast<archive_level *>(ar->levels->next(&pos)))
        count += l->member_count;
    ar->member_table =
        static_cast<archive_member **>(kl_malloc((count ? count : 1) * sizeof(archive_member *)));
    ar->member_count = 0;
    for (auto *l = static_cast<archive_level *>(ar->levels->first(ar->levels, &pos)); l;
         l = static_cast<archive_level *>(ar->levels->next(&pos)))
        for (size_t i = 0; i < l->member_count; i++)
            ar->member_table[ar->member_count++] = l->members[i];
    std::sort(ar->member_table, ar->member_table + ar->member_count,
              [](const archive_member *a, const archive_member *b) {
                  return a->data_offset < b->data_offset;
              });
}

void sort_and_link_symbols(archive_struct *ar) {
    std::sort(ar->symbol_table, ar->symbol_table + ar->symbol_count,
              [](const archive_symbol &a, const archive_symbol &b) {
                  return strcmp(a.name, b.name) < 0;
              });
    archive_member **begin = ar->member_table, **end = begin + ar->member_count;
    for (size_t i = 0; i < ar->symbol_count; i++) {
        archive_symbol *s = &ar->symbol_table[i];
        archive_member **found =
            std::lower_bound(begin, end, s->data_offset, [](const archive_member *m, uint64_t o) {
                return m->data_offset < o;
            });
        if (found != end && (*found)->data_offset == s->data_offset) s->member = *found;
    }
}

archive_member *find_in_member_list(const archive_level *level, const char *name) {
    for (size_t i = 0; i < level->member_count; i++)
        if (strcmp(level->members[i]->name, name) == 0) return level->members[i];
    return nullptr;
}

} // namespace

bool archive_read_header(FILE *stream, archive_header *header) {
    KL_ASSERT(header);
    char raw[AR_HEADER_SIZE];
    kl_fread(raw, 1, AR_HEADER_SIZE, stream);
    copy_field(header->name, raw, 16);
    copy_field(header->date, raw + 16, 12);
    copy_field(header->uid, raw + 28, 6);
    copy_field(header->gid, raw + 34, 6);
    copy_field(header->mode, raw + 40, 8);
    copy_field(header->size, raw + 48, 10);
    copy_field(header->trailer, raw + 58, 2);
    return memcmp(header->trailer, AR_TRAILER, 2) == 0;
}

archive_struct *archive_open(FILE *stream) {
    KL_ASSERT(stream);
    char magic[AR_MAGIC_SIZE];
    kl_fseek(stream, 0, SEEK_SET);
    kl_fread(magic, 1, AR_MAGIC_SIZE, stream);
    if (memcmp(magic, AR_MAGIC, AR_MAGIC_SIZE) != 0) return nullptr;

    std::unique_ptr<archive_struct, void (*)(archive_struct *)> held(
        static_cast<archive_struct *>(kl_calloc(1, sizeof(archive_struct))), archive_free);
    archive_struct *ar = held.get();
    ar->stream = stream;
    ar->levels = kl_ds_create(free_level);
    kl_fseek(stream, 0, SEEK_END);
    auto file_size = uint64_t(kl_ftell(stream));
    kl_fseek(stream, 0, SEEK_SET);

    archive_level *top = open_level(ar, nullptr, 0, file_size);
    read_nested_levels(ar, top);
    build_member_table(ar);
    sort_and_link_symbols(ar);
    return held.release();
}

void archive_free(archive_struct *ar) {
    if (!ar) return;
    for (size_t i = 0; i < ar->symbol_count; i++) free(ar->symbol_table[i].name);
    free(ar->symbol_table);
    free(ar->member_table);
    ar->levels->destroy(ar->levels);
    free(ar);
}

const char *archive_parent_name(archive_struct *ar, const char *member_name) {
    KL_ASSERT(ar);
    kl_ds_posT pos;
    for (auto *l = static_cast<archive_level *>(ar->levels->first(ar->levels, &pos)); l;
         l = static_cast<archive_level *>(ar->levels->next(&pos))) {
        bool held = l->members_by_name->find(l->members_by_name, member_name) != nullptr ||
                    (l->index_partial && find_in_member_list(l, member_name));
        if (held) return l->container ? l->container->name : nullptr;
    }
    return nullptr;
}

const char *archive_member_parent(const archive_member *member) {
    const archive_member *holder = member->parent->container;
    return holder ? holder->name : nullptr;
}
