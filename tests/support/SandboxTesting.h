// GoogleTest helpers for sandboxed tests. Both macros return from the test
// body: with a skip and the reason, or, under CI=true, with a failure, so
// that process tests never pass vacuously in CI.
#pragma once

#include "Sandbox.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

#define ORVANTA_REQUIRE_SANDBOX()                                                               \
    do {                                                                                        \
        const std::string& orvantaReason_ = ::orvanta::test::Sandbox::unavailableReason();      \
        if (!orvantaReason_.empty()) {                                                          \
            if (::orvanta::test::runningInCi())                                                 \
                FAIL() << "sandbox unavailable: " << orvantaReason_;                            \
            GTEST_SKIP() << "sandbox unavailable: " << orvantaReason_;                          \
        }                                                                                       \
    } while (0)

// After pid = sandbox.start(...): a program of another architecture that
// this machine cannot run is skipped (failed in CI); any other failure fails.
#define ORVANTA_REQUIRE_STARTED(sandbox, pid)                                                   \
    do {                                                                                        \
        if ((pid) < 0) {                                                                        \
            if ((sandbox).lastErrno() == ENOEXEC && !::orvanta::test::runningInCi())            \
                GTEST_SKIP() << "cannot execute here: " << (sandbox).lastError();               \
            FAIL() << "start failed: " << (sandbox).lastError();                                \
        }                                                                                       \
    } while (0)
