// Hash container operations.
#include "kelim/kl_container.h"

#include <cstdlib>
#include <cstring>

#include "kelim/kelim.h"

uint32_t kl_pjw_hash(const void *key) {
    uint32_t h = 0;
    for (const char *p = static_cast<const char *>(key); *p; ++p) {
        h = (h << 4) + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(*p)));
        uint32_t g = h & 0xF0000000u;
        if (g) h = h ^ (g >> 24) ^ g;
    }
    return h;
}

static int string_cmp(const void *a, const void *b) {
    return strcmp(static_cast<const char *>(a), static_cast<const char *>(b));
}
static void *string_dup(const void *key) {
    return kl_strdup(static_cast<const char *>(key));
}
static void string_free(void *key) {
    free(key);
}

kl_containerT *kl_cc_create(kl_cmp_keyF cmp_key, kl_dup_keyF dup_key, kl_free_keyF free_key,
                            kl_free_dataF free_data, kl_hashF hash, uint32_t nbuckets,
                            uint32_t max_load) {
    int given = (cmp_key != nullptr) + (dup_key != nullptr) + (free_key != nullptr);
    if (given != 0 && given != 3)
        kl_fatal(&kl_errors, 0, nullptr,
                 "You must the specified the all function cmp_key, dup_key, free_key\n");
    KL_ASSERT(nbuckets >= 3);
    KL_ASSERT(hash);
    auto *cc = static_cast<kl_containerT *>(kl_calloc(1, sizeof(kl_containerT)));
    cc->table = static_cast<kl_cc_table *>(kl_calloc(1, sizeof(kl_cc_table)));
    cc->table->hash = hash;
    cc->table->buckets = static_cast<kl_cc_node **>(kl_calloc(nbuckets, sizeof(kl_cc_node *)));
    cc->table->nbuckets = nbuckets;
    cc->table->empty_buckets = nbuckets;
    cc->table->max_load = max_load;
    cc->cmp_key = given ? cmp_key : string_cmp;
    cc->dup_key = given ? dup_key : string_dup;
    cc->free_key = given ? free_key : string_free;
    cc->free_data = free_data;
    cc->insert = kl_cc_insert;
    cc->remove = kl_cc_remove;
    cc->find = kl_cc_find;
    cc->first = kl_cc_first;
    cc->next = kl_cc_next;
    cc->destroy = kl_cc_destroy;
    return cc;
}

static kl_cc_node **bucket_of(kl_containerT *cc, const void *key) {
    return &cc->table->buckets[cc->table->hash(key) % cc->table->nbuckets];
}

int kl_cc_insert(kl_containerT *cc, const void *key, void *data) {
    KL_ASSERT(cc);
    if (!data)
        kl_fatal(&kl_errors, 0, nullptr,
                 "It is illegal to be inserted a NULL data object into container\n");
    if (!key)
        kl_fatal(&kl_errors, 0, nullptr,
                 "It is illegal to be inserted a NULL key object into container\n");
    auto *node = static_cast<kl_cc_node *>(kl_malloc(sizeof(kl_cc_node)));
    node->key = cc->dup_key(key);
    node->data = data;
    kl_cc_node **bucket = bucket_of(cc, key);
    bool was_empty = *bucket == nullptr;
    kl_cc_node **link = bucket;
    int order = 1;
    while (*link && (order = cc->cmp_key(key, (*link)->key)) > 0) link = &(*link)->next;
    if (*link && order == 0) {
        cc->free_key(node->key);
        free(node);
        return 0;
    }
    node->next = *link;
    *link = node;
    if (was_empty) cc->table->empty_buckets--;
    cc->count++;
    return 1;
}

int kl_cc_remove(kl_containerT *cc, const void *key) {
    KL_ASSERT(cc);
    kl_cc_node **bucket = bucket_of(cc, key);
    for (kl_cc_node **link = bucket; *link; link = &(*link)->next) {
        int order = cc->cmp_key(key, (*link)->key);
        if (order < 0) break;
        if (order > 0) continue;
        kl_cc_node *node = *link;
        *link = node->next;
        cc->free_key(node->key);
        if (cc->free_data) cc->free_data(node->data);
        free(node);
        if (!*bucket) cc->table->empty_buckets++;
        cc->count--;
        return 1;
    }
    return 0;
}

void *kl_cc_find(kl_containerT *cc, const void *key) {
    KL_ASSERT(cc);
    for (kl_cc_node *node = *bucket_of(cc, key); node; node = node->next) {
        int order = cc->cmp_key(key, node->key);
        if (order == 0) return node->data;
        if (order < 0) break;
    }
    return nullptr;
}

[[noreturn]] static void null_position() {
    kl_fatal(&kl_errors, 0, nullptr, "The kl_cc_posT* object you must be different of NULL\n");
}

// Moves the position to the first node of the first non-empty bucket from
// pos->bucket on.
static void settle(kl_cc_posT *pos) {
    while (!pos->node && pos->bucket + 1 < pos->table->nbuckets) {
        pos->bucket++;
        pos->node = pos->table->buckets[pos->bucket];
    }
}

kl_cc_node *kl_cc_first(kl_containerT *cc, kl_cc_posT *pos) {
    if (!cc)
        kl_fatal(&kl_errors, 0, nullptr,
                 "The kl_containerT* object you must be different of NULL\n");
    if (!pos) null_position();
    pos->table = cc->table;
    pos->bucket = 0;
    pos->node = cc->table->buckets[0];
    settle(pos);
    return kl_cc_next(pos);
}

kl_cc_node *kl_cc_next(kl_cc_posT *pos) {
    if (!pos) null_position();
    if (!pos->node) return nullptr;
    kl_cc_node *visited = pos->node;
    pos->node = visited->next;
    settle(pos);
    return visited;
}

void kl_cc_destroy(kl_containerT *cc) {
    if (!cc) return;
    for (uint32_t b = 0; b < cc->table->nbuckets; ++b) {
        kl_cc_node *node = cc->table->buckets[b];
        while (node) {
            kl_cc_node *next = node->next;
            cc->free_key(node->key);
            if (cc->free_data) cc->free_data(node->data);
            free(node);
            node = next;
        }
    }
    free(cc->table->buckets);
    free(cc->table);
    free(cc);
}
