// Hash container of untyped data keyed by untyped keys, with sorted chains
// and its operations held as function pointers in the record.
#pragma once

#include <cstdint>

using kl_cmp_keyF = int (*)(const void *a, const void *b);
using kl_dup_keyF = void *(*)(const void *key);
using kl_free_keyF = void (*)(void *key);
using kl_free_dataF = void (*)(void *data);
using kl_hashF = uint32_t (*)(const void *key);

struct kl_cc_node {
    kl_cc_node *next;
    void *key;
    void *data;
};

struct kl_cc_table {
    kl_hashF hash;
    kl_cc_node **buckets;
    uint32_t nbuckets;
    uint32_t empty_buckets;
    uint32_t max_load;
};

struct kl_cc_posT {
    kl_cc_table *table;
    uint32_t bucket;
    kl_cc_node *node; // next node to visit
};

struct kl_containerT {
    kl_cc_table *table;
    uint32_t count;
    kl_cmp_keyF cmp_key;
    kl_dup_keyF dup_key;
    kl_free_keyF free_key;
    kl_free_dataF free_data;
    int (*insert)(kl_containerT *cc, const void *key, void *data);
    int (*remove)(kl_containerT *cc, const void *key);
    void *(*find)(kl_containerT *cc, const void *key);
    kl_cc_node *(*first)(kl_containerT *cc, kl_cc_posT *pos);
    kl_cc_node *(*next)(kl_cc_posT *pos);
    void (*destroy)(kl_containerT *cc);
};

// PJW (ELF) hash of a string, its characters taken as signed 8-bit values.
uint32_t kl_pjw_hash(const void *key);

kl_containerT *kl_cc_create(kl_cmp_keyF cmp_key, kl_dup_keyF dup_key, kl_free_keyF free_key,
                            kl_free_dataF free_data, kl_hashF hash, uint32_t nbuckets,
                            uint32_t max_load);
int kl_cc_insert(kl_containerT *cc, const void *key, void *data);
int kl_cc_remove(kl_containerT *cc, const void *key);
void *kl_cc_find(kl_containerT *cc, const void *key);
kl_cc_node *kl_cc_first(kl_containerT *cc, kl_cc_posT *pos);
kl_cc_node *kl_cc_next(kl_cc_posT *pos);
void kl_cc_destroy(kl_containerT *cc);
