// A fuzz target's own check of what must hold whatever the input: a broken
// one aborts, so that libFuzzer keeps the input as a crash artifact. The
// build names the target (ORVANTA_FUZZ_TARGET) for the message.
#ifndef ORVANTA_TESTS_FUZZ_REQUIRE_H
#define ORVANTA_TESTS_FUZZ_REQUIRE_H

#include <cstdio>
#include <cstdlib>

inline void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "%s: %s\n", ORVANTA_FUZZ_TARGET, what);
        std::abort();
    }
}

#endif
