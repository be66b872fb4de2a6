// Dispenser operations.
#include "kelim/kl_dispenser.h"

#include <cstdlib>

#include "kelim/kelim.h"

kl_dispenserT *kl_ds_create(void (*free_data)(void *data)) {
    auto *ds = static_cast<kl_dispenserT *>(kl_calloc(1, sizeof(kl_dispenserT)));
    ds->free_data = free_data;
    ds->insert = kl_ds_insert;
    ds->first = kl_ds_first;
    ds->next = kl_ds_next;
    ds->destroy = kl_ds_destroy;
    return ds;
}

void kl_ds_insert(kl_dispenserT *ds, void *data) {
    KL_ASSERT(ds);
    if (!data)
        kl_fatal(&kl_errors, 0, nullptr,
                 "It is illegal to be inserted a NULL data object into stack dispenser\n");
    auto *node = static_cast<kl_ds_node *>(kl_malloc(sizeof(kl_ds_node)));
    node->data = data;
    node->previous = nullptr;
    node->next = ds->head;
    if (ds->head)
        ds->head->previous = node;
    else
        ds->tail = node;
    ds->head = node;
    ds->count++;
}

[[noreturn]] static void null_position() {
    kl_fatal(&kl_errors, 0, nullptr, "The kl_ds_posT* object you must be different of NULL\n");
}

void *kl_ds_first(kl_dispenserT *ds, kl_ds_posT *pos) {
    KL_ASSERT(ds);
    if (!pos) null_position();
    if (!ds->head) {
        *pos = nullptr;
        return nullptr;
    }
    *pos = ds->head->next;
    return ds->head->data;
}

void *kl_ds_next(kl_ds_posT *pos) {
    if (!pos) null_position();
    if (!*pos) return nullptr;
    void *data = (*pos)->data;
    *pos = (*pos)->next;
    return data;
}

void kl_ds_destroy(kl_dispenserT *ds) {
    if (!ds) return;
    while (ds->head) {
        kl_ds_node *node = ds->head;
        ds->head = node->next;
        if (ds->free_data) ds->free_data(node->data);
        free(node);
    }
    free(ds);
}
