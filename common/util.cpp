#include "common/util.h"

#include <cstdlib>

#include "kelim/kelim.h"

// A null stack is a programming error, reported under this module's name.
#define STACK_ASSERT(expr) ((expr) ? (void)0 : kl_assert_failed(#expr, "common/util", __LINE__))

namespace {

void save(Stack_struct *s) {
    s->saved_top = s->top_node;
    s->saved_count = s->size;
}

int stack_init(Stack_struct *s) {
    STACK_ASSERT(s != NULL);
    s->top_node = nullptr;
    s->saved_top = nullptr;
    s->saved_count = 0;
    s->size = 0;
    return 1;
}

int stack_push(Stack_struct *s, void *data) {
    STACK_ASSERT(s != NULL);
    stack_node_struct *node = static_cast<stack_node_struct *>(kl_malloc(sizeof *node));
    node->data = data;
    node->next = s->top_node;
    s->top_node = node;
    s->size++;
    save(s);
    return 1;
}

void *stack_pop(Stack_struct *s) {
    STACK_ASSERT(s != NULL);
    if (s->size == 0 || s->top_node == nullptr) return nullptr;
    stack_node_struct *node = s->top_node;
    void *data = node->data;
    s->top_node = node->next;
    s->size--;
    free(node);
    save(s);
    return data;
}

void *stack_top(Stack_struct *s) {
    STACK_ASSERT(s != NULL);
    return s->top_node ? s->top_node->data : nullptr;
}

bool stack_is_empty(Stack_struct *s) {
    STACK_ASSERT(s != NULL);
    return s->size == 0;
}

uint32_t stack_count(Stack_struct *s) {
    STACK_ASSERT(s != NULL);
    return s->size;
}

void *stack_next(Stack_struct *s) {
    STACK_ASSERT(s != NULL);
    if (s->size == 0 || s->top_node == nullptr || s->top_node->next == nullptr) return nullptr;
    s->top_node = s->top_node->next;
    s->size--;
    return s->top_node->data;
}

int stack_reset(Stack_struct *s) {
    STACK_ASSERT(s != NULL);
    s->top_node = s->saved_top;
    s->size = s->saved_count;
    return 1;
}

} // namespace

Stack_struct *stack_create() {
    Stack_struct *s = static_cast<Stack_struct *>(kl_malloc(sizeof(Stack_struct)));
    s->push = stack_push;
    s->init = stack_init;
    s->top = stack_top;
    s->is_empty = stack_is_empty;
    s->pop = stack_pop;
    s->count = stack_count;
    s->next = stack_next;
    s->reset = stack_reset;
    s->init(s);
    return s;
}

void stack_release(Stack_struct *s) {
    STACK_ASSERT(s != NULL);
    // Start from the saved top so that nodes passed by an unfinished walk are freed too.
    stack_node_struct *node = s->saved_top;
    while (node) {
        stack_node_struct *next = node->next;
        free(node->data);
        free(node);
        node = next;
    }
    free(s);
}
