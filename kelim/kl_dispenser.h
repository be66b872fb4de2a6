// Dispenser: a doubly linked list of untyped data used as a stack, with its
// operations held as function pointers in the record.
#pragma once

#include <cstdint>

struct kl_ds_node {
    kl_ds_node *next;
    kl_ds_node *previous;
    void *data;
};

using kl_ds_posT = kl_ds_node *; // the next node to visit

struct kl_dispenserT {
    kl_ds_node *head;
    kl_ds_node *tail;
    uint32_t count;
    void (*free_data)(void *data);
    void (*insert)(kl_dispenserT *ds, void *data);
    void *(*first)(kl_dispenserT *ds, kl_ds_posT *pos);
    void *(*next)(kl_ds_posT *pos);
    void (*destroy)(kl_dispenserT *ds);
};

kl_dispenserT *kl_ds_create(void (*free_data)(void *data));
void kl_ds_insert(kl_dispenserT *ds, void *data);
void *kl_ds_first(kl_dispenserT *ds, kl_ds_posT *pos);
void *kl_ds_next(kl_ds_posT *pos);
void kl_ds_destroy(kl_dispenserT *ds);
