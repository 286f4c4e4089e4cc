// What every harness shares: a check that stops the run where a decoder broke its own
// promise (the fuzzer then keeps the input), and nothing else.
#pragma once

#include <cstdio>
#include <cstdlib>

#define QVL_FUZZ_CHECK(cond)                                                              \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)
