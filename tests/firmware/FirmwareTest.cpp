// The ARM artifacts on an older runtime than this machine's: Debian 11's
// armhf glibc 2.31 with the libstdc++ of GCC 10, unpacked into the build
// tree and given to qemu-arm as QEMU_LD_PREFIX, which every ARM program
// started below (by binfmt_misc) inherits. The supervisor runs there and
// starts the agent, which loads the plug-in library; every library either
// maps comes from that runtime. The settings tool saves a setting there,
// and the page answers there.
//
// The supervisor (started through the log relay, as the router's start
// script does), the relay, the settings tool, the page and the plug-in are this
// build's, or those of the router archive unpacked at $ORVANTA_ARTIFACTS
// (a folder holding opt/orvanta).
#include "ModuleSandbox.h"
#include "Processes.h"
#include "TempDir.h"
#include "Transcript.h"

#include <fcntl.h>
#include <gnu/libc-version.h>
#include <sys/wait.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

using namespace orvanta::test;

namespace {

const std::string runtimeRoot = ORVANTA_OLD_RUNTIME "/root";

#define REQUIRE_OLD_RUNTIME()                                                                         \
    do {                                                                                              \
        if (!readFileBytes(ORVANTA_OLD_RUNTIME "/ready"))                                             \
            GTEST_SKIP() << "Debian 11's runtime was not fetched (firmware_fetch_debian11 says why)"; \
    } while (0)

std::string artifact(const std::string& installed, const char* built)
{
    const char* root = std::getenv("ORVANTA_ARTIFACTS");
    return root && *root ? std::string(root) + "/opt/orvanta/" + installed : built;
}

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

// The ARM libraries that process pid has mapped (qemu-arm maps them from
// the files), and the plug-in library.
std::vector<std::string> mappedLibraries(pid_t pid)
{
    std::vector<std::string> paths;
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    for (std::string line; std::getline(maps, line);) {
        size_t at = line.find('/');
        if (at == std::string::npos)
            continue;
        std::string path = line.substr(at);
        bool library = path.find("/arm-linux-gnueabihf/") != std::string::npos ||
                       path.rfind("/opt/orvanta/lib/", 0) == 0;
        if (library && std::find(paths.begin(), paths.end(), path) == paths.end())
            paths.push_back(path);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<std::string> runtimeLibraries(std::vector<std::string> names)
{
    for (std::string& name : names)
        name = runtimeRoot + "/usr/lib/arm-linux-gnueabihf/" + name;
    return names;
}

const char settings[] =
    "MOD_ORVANTA_ENABLED=1\n"
    "MOD_ORVANTA_USERNAME=router-17\n"
    "MOD_ORVANTA_PASSWORD=secret\n"
    "MOD_ORVANTA_INTERVAL=5\n";

const char wireRecord[] = "request: 1002,1,351234567890123,4711,89490200001234567890";

// Waits until the agent's wire line for the record (on its standard output,
// which the relay passes on to syslog) has arrived count times.
bool waitForRecords(const SyslogRecorder& syslog, std::size_t count, std::chrono::seconds timeout)
{
    for (auto deadline = std::chrono::steady_clock::now() + timeout;; std::this_thread::sleep_for(20ms)) {
        std::size_t found = 0;
        for (const SyslogMessage& m : syslog.messages())
            found += m.ident == "tessard" && m.text == wireRecord;
        if (found >= count)
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    }
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

TEST(OldFirmware, TheModuleRunsOnDebian11)
{
    REQUIRE_OLD_RUNTIME();
    ORVANTA_REQUIRE_SANDBOX();
    ModuleSandbox module(artifact("lib/tessard-system-resources.so", TESSARD_SYSTEM_RESOURCES), TESSARD_DEV);
    ASSERT_TRUE(module.ready) << module.sandbox.lastError();
    module.tools.modemReady("351234567890123", "4711", "89490200001234567890");
    ASSERT_TRUE(module.sandbox.writeFile("/opt/orvanta/etc/settings", settings));

    pid_t supervisor = module.start(
        {artifact("bin/orvanta-log", ORVANTA_RELAY), artifact("bin/module-supervisor", MODULE_SUPERVISOR)},
        {"QEMU_LD_PREFIX=" + runtimeRoot});
    ORVANTA_REQUIRE_STARTED(module.sandbox, supervisor);
    SyslogRecorder& syslog = module.sandbox.syslog();

    // What the system log holds, for the failure messages.
    auto everything = [&] {
        return transcript(syslog.messages(), supervisor);
    };

    ASSERT_TRUE(waitForRecords(syslog, 1, 15s)) << everything();
    EXPECT_EQ(module.sandbox.readFile(ModuleSandbox::configurationPath), agentConfiguration(60));
    EXPECT_EQ(mappedLibraries(supervisor), runtimeLibraries({"ld-2.31.so", "libc-2.31.so"}));
    std::vector<pid_t> relays = livingSessionMembers(supervisor);
    relays.erase(std::remove(relays.begin(), relays.end(), supervisor), relays.end());
    relays.erase(
        std::remove_if(relays.begin(), relays.end(), [](pid_t p) { return processName(p) != "orvanta-log"; }),
        relays.end());
    ASSERT_EQ(relays.size(), 1u) << everything();
    EXPECT_EQ(mappedLibraries(relays[0]), runtimeLibraries({"ld-2.31.so", "libc-2.31.so"}));
    pid_t first = std::atoi(module.sandbox.readFile(ModuleSandbox::agentPidPath).value_or("0").c_str());
    ASSERT_GT(first, 0);
    std::vector<std::string> agentLibraries =
        runtimeLibraries({"ld-2.31.so", "libc-2.31.so", "libconfig.so.9.2.0", "libdl-2.31.so",
                          "libgcc_s.so.1", "libm-2.31.so", "libstdc++.so.6.0.28"});
    agentLibraries.push_back("/opt/orvanta/lib/tessard-system-resources.so");
    // Sorted like the mapped ones: where the runtime lies sorts before or
    // after /opt, depending on where the build tree is checked out.
    std::sort(agentLibraries.begin(), agentLibraries.end());
    EXPECT_EQ(mappedLibraries(first), agentLibraries);

    // The agent dies; the supervisor starts it again, and it reports again.
    ASSERT_EQ(::kill(first, SIGKILL), 0);
    ASSERT_TRUE(waitForRecords(syslog, 2, 20s)) << everything();

    ASSERT_EQ(::kill(supervisor, SIGTERM), 0);
    int status = -1;
    ASSERT_TRUE(module.sandbox.waitExit(supervisor, 5s, &status)) << everything();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_TRUE(syslog.waitForText("terminated", 5s)) << everything();
    EXPECT_EQ(transcript(syslog.messages(), supervisor, "orvanta"),
              R"(notice.daemon orvanta[PID]: started
notice.daemon orvanta[PID]: Starting agent
notice.daemon orvanta[PID]: agent_terminated
notice.daemon orvanta[PID]: Starting agent
notice.daemon orvanta[PID]: sending SIGKILL to agent
notice.daemon orvanta[PID]: terminated
)") << everything();
    // The agent was killed; the relay passes on what is left and ends.
    EXPECT_TRUE(processEndsWithin(relays[0], 5s)) << "the log relay outlived its writers";
}

TEST(OldFirmware, TheSettingsToolSavesASettingOnDebian11)
{
    REQUIRE_OLD_RUNTIME();
    ORVANTA_REQUIRE_SANDBOX();
    Sandbox sandbox;
    ASSERT_TRUE(sandbox.writeFile("/opt/orvanta/etc/settings", settings, 0600));
    std::vector<std::string> env = Sandbox::defaultEnvironment();
    env.push_back("QEMU_LD_PREFIX=" + runtimeRoot);
    pid_t tool = sandbox.start(
        {artifact("bin/orvanta-settings", ORVANTA_SETTINGS_TOOL), "set", "MOD_ORVANTA_INTERVAL", "15"}, env);
    ORVANTA_REQUIRE_STARTED(sandbox, tool);
    int status = -1;
    ASSERT_TRUE(sandbox.waitExit(tool, 20s, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::string changed = settings;
    changed.replace(changed.find("INTERVAL=5"), 10, "INTERVAL=15");
    EXPECT_EQ(sandbox.readFile("/opt/orvanta/etc/settings"), changed);
}

// The page answers a GET there, with the token it made: its files' owner
// and mode are checked through the old stat functions.
TEST(OldFirmware, ThePageAnswersOnDebian11)
{
    REQUIRE_OLD_RUNTIME();
    ORVANTA_REQUIRE_SANDBOX();
    Sandbox sandbox;
    ASSERT_TRUE(sandbox.writeFile("/opt/orvanta/etc/settings", settings, 0600));
    TempDir dir;
    int out = open(dir.file("answer").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(out, 0);
    std::vector<std::string> env = Sandbox::defaultEnvironment();
    env.push_back("QEMU_LD_PREFIX=" + runtimeRoot);
    env.push_back("REQUEST_METHOD=GET");
    pid_t page = sandbox.start({artifact("www/cgi-bin/orvanta", ORVANTA_WEB_PAGE)}, env,
                               [out] { dup2(out, STDOUT_FILENO); });
    close(out);
    ORVANTA_REQUIRE_STARTED(sandbox, page);
    int status = -1;
    ASSERT_TRUE(sandbox.waitExit(page, 20s, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::string answer = readFileBytes(dir.file("answer")).value_or("");
    EXPECT_EQ(answer.substr(0, 16), "Status: 200 OK\r\n");
    std::string token = sandbox.readFile("/var/orvanta/page-token").value_or("");
    ASSERT_EQ(token.size(), 65u);
    EXPECT_EQ(sandbox.fileMode("/var/orvanta/page-token"), mode_t{0600});
    EXPECT_NE(answer.find("name=\"token\" value=\"" + token.substr(0, 64) + "\""), std::string::npos)
        << answer;
    EXPECT_NE(answer.find("<dt>Module</dt><dd>Switched on</dd>"), std::string::npos) << answer;
}
