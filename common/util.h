// A pointer stack whose record carries its own operations, with a
// non-destructive walk (top, then next ..., ended by reset).
#pragma once

#include <cstdint>

struct stack_node_struct {
    void *data;
    stack_node_struct *next;
};

struct Stack_struct {
    stack_node_struct *top_node;
    stack_node_struct *saved_top; // taken by push and pop, restored by reset
    uint32_t saved_count;
    uint32_t size;
    int (*push)(Stack_struct *s, void *data);
    int (*init)(Stack_struct *s);
    void *(*top)(Stack_struct *s);
    bool (*is_empty)(Stack_struct *s);
    void *(*pop)(Stack_struct *s);
    uint32_t (*count)(Stack_struct *s);
    void *(*next)(Stack_struct *s);
    int (*reset)(Stack_struct *s);
};

Stack_struct *stack_create();
// Frees the nodes still on the stack together with their data (free), then the record.
void stack_release(Stack_struct *s);
