// GoogleTest helpers for sandboxed tests. Both macros return from the test
// body: with a skip and the reason, or, under CI=true, with a failure, so
// that process tests never pass vacuously in CI.
#ifndef ORVANTA_TESTS_SUPPORT_SANDBOXTESTING_H
#define ORVANTA_TESTS_SUPPORT_SANDBOXTESTING_H

#include "Sandbox.h"

#include <gtest/gtest.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#define ORVANTA_REQUIRE_SANDBOX()                                                         \
    do {                                                                                  \
        const std::string& orvantaReason = ::orvanta::test::Sandbox::unavailableReason(); \
        if (!orvantaReason.empty()) {                                                     \
            if (::orvanta::test::runningInCi())                                           \
                FAIL() << "sandbox unavailable: " << orvantaReason;                       \
            GTEST_SKIP() << "sandbox unavailable: " << orvantaReason;                     \
        }                                                                                 \
    } while (0)

// After pid = sandbox.start(...): a program of another architecture that
// this machine cannot run is skipped (failed in CI); any other failure fails.
#define ORVANTA_REQUIRE_STARTED(sandbox, pid)                                        \
    do {                                                                             \
        if ((pid) < 0) {                                                             \
            if ((sandbox).lastErrno() == ENOEXEC && !::orvanta::test::runningInCi()) \
                GTEST_SKIP() << "cannot execute here: " << (sandbox).lastError();    \
            FAIL() << "start failed: " << (sandbox).lastError();                     \
        }                                                                            \
    } while (0)

namespace orvanta::test {

// True when the environment has CI=true: tests that cannot run there fail
// instead of being skipped.
inline bool runningInCi()
{
    const char* ci = std::getenv("CI");
    return ci && std::strcmp(ci, "true") == 0;
}

// The main of a test program whose tests all use the fixed paths: enters
// one sandbox before any test runs (not when the tests are only listed)
// and runs them all in it. entered stays null when that is impossible; the
// tests then skip or fail through ORVANTA_REQUIRE_SANDBOX.
inline int runAllTestsInSandbox(int argc, char** argv, Sandbox*& entered)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<Sandbox> sandbox;
    if (!::testing::GTEST_FLAG(list_tests) && Sandbox::unavailableReason().empty()) {
        sandbox = std::make_unique<Sandbox>();
        if (sandbox->enter())
            entered = sandbox.get();
        else
            std::fprintf(stderr, "cannot enter the sandbox: %s\n", sandbox->lastError().c_str());
    }
    return RUN_ALL_TESTS();
}

} // namespace orvanta::test

#endif
