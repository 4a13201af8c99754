// The ARM start-up on an older runtime than this machine's: Debian 11's
// armhf glibc 2.31, unpacked into the build tree and given to qemu-arm as
// QEMU_LD_PREFIX, and this machine's glibc. (The whole module on that
// runtime is the scenarios' debian11 target.)
#include <gnu/libc-version.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <cstdio>
#include <string>

namespace {

const std::string runtimeRoot = ORVANTA_OLD_RUNTIME "/root";

#define REQUIRE_OLD_RUNTIME()                                                                         \
    do {                                                                                              \
        if (FILE* ready = std::fopen(ORVANTA_OLD_RUNTIME "/ready", "r"))                              \
            std::fclose(ready);                                                                       \
        else                                                                                          \
            GTEST_SKIP() << "Debian 11's runtime was not fetched (firmware_fetch_debian11 says why)"; \
    } while (0)

// What program writes on its standard output and error, and its exit code,
// run on the runtime below root (this machine's when empty).
std::string run(const std::string& program, const std::string& root, int* exitCode)
{
    std::string command = (root.empty() ? "env -u QEMU_LD_PREFIX '" : "env QEMU_LD_PREFIX='" + root + "' '") +
                          program + "' 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char chunk[512];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        output.append(chunk, n);
    int status = pclose(pipe);
    *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

} // namespace

// Glibc 2.34 and later run the constructors themselves when the start
// files give no init, older glibc only the init it is given: the start-up
// gives one, and each runs it once.
TEST(StartUp, RunsTheConstructorsOnceOnThisMachinesGlibc)
{
    int exitCode = -1;
    EXPECT_EQ(run(STARTUP_PROBE, "", &exitCode),
              std::string("glibc ") + gnu_get_libc_version() + ", constructor runs: 1\ndestructor ran\n");
    EXPECT_EQ(exitCode, 0);
}

TEST(StartUp, RunsTheConstructorsOnceOnDebian11)
{
    REQUIRE_OLD_RUNTIME();
    int exitCode = -1;
    EXPECT_EQ(run(STARTUP_PROBE, runtimeRoot, &exitCode),
              "glibc 2.31, constructor runs: 1\ndestructor ran\n");
    EXPECT_EQ(exitCode, 0);
}

// The runtime is old indeed: the toolchain's own start-up does not load.
TEST(StartUp, OfTheToolchainAloneDoesNotLoadOnDebian11)
{
    REQUIRE_OLD_RUNTIME();
    int exitCode = -1;
    std::string output = run(STARTUP_PROBE_TOOLCHAIN, runtimeRoot, &exitCode);
    EXPECT_NE(output.find("version `GLIBC_2.34' not found"), std::string::npos) << output;
    EXPECT_NE(exitCode, 0);
}
