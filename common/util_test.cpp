#include "common/util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

char *heap(const char *text) {
    return strdup(text);
}

TEST(Stack, EmptyStack) {
    Stack_struct *s = stack_create();
    EXPECT_TRUE(s->is_empty(s));
    EXPECT_EQ(s->pop(s), nullptr);
    EXPECT_EQ(s->top(s), nullptr);
    EXPECT_EQ(s->next(s), nullptr);
    EXPECT_EQ(s->count(s), 0u);
    stack_release(s);
}

TEST(Stack, WalkThenResetThenPop) {
    Stack_struct *s = stack_create();
    char *a = heap("a"), *b = heap("b"), *c = heap("c");
    s->push(s, a);
    s->push(s, b);
    s->push(s, c);
    EXPECT_EQ(s->top(s), c);
    EXPECT_EQ(s->next(s), b);
    EXPECT_EQ(s->next(s), a);
    EXPECT_EQ(s->next(s), nullptr);
    EXPECT_EQ(s->count(s), 1u);
    s->reset(s);
    EXPECT_EQ(s->top(s), c);
    EXPECT_EQ(s->count(s), 3u);
    EXPECT_EQ(s->pop(s), c); // the real top, not the walk position
    free(c);
    EXPECT_EQ(s->pop(s), b);
    free(b);
    EXPECT_EQ(s->count(s), 1u);
    EXPECT_FALSE(s->is_empty(s));
    stack_release(s); // frees a
}

TEST(Stack, ReleaseDuringWalkFreesEveryNode) {
    Stack_struct *s = stack_create();
    for (const char *t : {"x", "y", "z"}) s->push(s, heap(t));
    s->next(s);
    s->next(s);
    stack_release(s); // leak checkers see nothing left behind
}

TEST(Stack, InitEmptiesTheRecord) {
    Stack_struct *s = stack_create();
    int value = 1;
    s->push(s, &value);
    s->pop(s); // init forgets nodes without freeing them, so empty the stack first
    s->push(s, &value);
    s->pop(s);
    EXPECT_EQ(s->init(s), 1);
    EXPECT_TRUE(s->is_empty(s));
    EXPECT_EQ(s->top(s), nullptr);
    stack_release(s);
}

TEST(StackDeathTest, NullStackIsAnAssertion) {
    Stack_struct *s = stack_create();
    using op = void (*)(Stack_struct *);
    op calls[] = {
        [](Stack_struct *) { stack_create()->push(nullptr, nullptr); },
        [](Stack_struct *) { stack_create()->pop(nullptr); },
        [](Stack_struct *) { stack_create()->top(nullptr); },
        [](Stack_struct *) { stack_create()->is_empty(nullptr); },
        [](Stack_struct *) { stack_create()->next(nullptr); },
        [](Stack_struct *) { stack_create()->reset(nullptr); },
        [](Stack_struct *) { stack_release(nullptr); },
    };
    for (op call : calls)
        EXPECT_DEATH(call(s), "Assertion failed: s != NULL, file common/util, line [0-9]+");
    stack_release(s);
}

} // namespace
