// The router archive (CPack) unpacked into an empty /opt as on a router:
// the tree it lays out, the module set up with its settings tool, starting
// and stopping there with the development agent, which opens the archive's
// plug-in library by its bare name and runs it against substitute router
// tools, and the settings kept when the archive is unpacked again over it.
#include "ShellCommand.h"
#include "SandboxShell.h"
#include "SandboxTesting.h"
#include "TempDir.h"
#include "Transcript.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <map>
#include <thread>

using namespace std::chrono_literals;
using namespace orvanta::test;

namespace {

const char rtrinfo[] =
    "#!/bin/sh\n"
    "case $1 in\n"
    "  module) printf 'Model: RX200\\nIMEI: 356938035643809\\n' ;;\n"
    "  mobile) printf 'Operator: Orvanta Mobile\\nCell ID: 1A2B3C\\n' ;;\n"
    "esac\n";
const char cellctl[] =
    "#!/bin/sh\n"
    "printf '^SCID: 89490200001234567890\\r\\nOK\\r\\n'\n";

// Path below dir -> permission bits, or 'd' added for folders; overlay
// whiteouts (the real /opt's entries hidden) are left out.
void listTree(const std::string& dir, const std::string& prefix, std::map<std::string, std::string>& tree)
{
    DIR* d = opendir(dir.c_str());
    if (!d)
        return;
    while (dirent* entry = readdir(d)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st;
        std::string path = dir + "/" + name;
        if (lstat(path.c_str(), &st) != 0 || (S_ISCHR(st.st_mode) && st.st_rdev == makedev(0, 0)))
            continue;
        char mode[8];
        std::snprintf(mode, sizeof mode, "%s%04o", S_ISDIR(st.st_mode) ? "d" : "", st.st_mode & 07777);
        tree[prefix + name] = mode;
        if (S_ISDIR(st.st_mode))
            listTree(path, prefix + name + "/", tree);
    }
    closedir(d);
}

bool waitForFile(Sandbox& sandbox, const std::string& path, const std::string& bytes)
{
    for (auto deadline = std::chrono::steady_clock::now() + 60s;
         std::chrono::steady_clock::now() < deadline;) {
        if (sandbox.readFile(path) == bytes)
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

TEST(RouterArchive, InstallsIntoAnEmptyOptWhereTheModuleStartsAndStops)
{
    ORVANTA_REQUIRE_SANDBOX();
    SandboxOptions options;
    options.varOrvanta = false;
    Sandbox sandbox(options);
    ASSERT_TRUE(sandbox.ok()) << sandbox.lastError();
    if (DIR* opt = opendir("/opt")) {
        std::vector<std::string> entries;
        while (dirent* entry = readdir(opt))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                entries.push_back(std::string("/opt/") + entry->d_name);
        closedir(opt);
        for (const std::string& entry : entries) {
            ASSERT_TRUE(sandbox.hide(entry)) << sandbox.lastError();
        }
    }
    SandboxShell shell(sandbox);
    ASSERT_TRUE(shell.ok()) << sandbox.lastError();

    ScriptResult result = shell.run(std::string("tar -xzf ") + ORVANTA_ARCHIVE + " -C /");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::map<std::string, std::string> tree;
    listTree(sandbox.hostPath("/opt"), "", tree);
    const std::map<std::string, std::string> expected{
        {"orvanta", "d0755"},
        {"orvanta/bin", "d0755"},
        {"orvanta/bin/module-supervisor", "0755"},
        {"orvanta/bin/orvanta-settings", "0755"},
        {"orvanta/bin/orvanta-log", "0755"},
        {"orvanta/etc", "d0755"},
        {"orvanta/etc/init", "0755"},
        {"orvanta/etc/settings.default", "0600"},
        {"orvanta/lib", "d0755"},
        {"orvanta/lib/tessard-system-resources.so", "0644"},
        {"orvanta/www", "d0755"},
        {"orvanta/www/cgi-bin", "d0755"},
        {"orvanta/www/cgi-bin/orvanta", "0755"},
        {"orvanta/www/index.html", "0644"},
    };
    EXPECT_EQ(tree, expected);
    EXPECT_EQ(sandbox.readFile("/opt/orvanta/etc/settings.default"), sourceFile("dist/settings.default"));
    EXPECT_EQ(sandbox.readFile("/opt/orvanta/etc/init"), sourceFile("dist/init"));

    // The agent comes with the router, not with the module.
    ASSERT_TRUE(shell.place("/opt/orvanta/bin/tessard", readFileBytes(ORVANTA_AGENT).value_or(""), "0755"));
    ASSERT_TRUE(shell.place("/usr/bin/rtrinfo", rtrinfo, "0755"));
    ASSERT_TRUE(shell.place("/usr/bin/cellctl", cellctl, "0755"));

    result = shell.run("/opt/orvanta/etc/init start");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out,
              "orvanta: disabled in /opt/orvanta/etc/settings (MOD_ORVANTA_ENABLED), not started\n");
    EXPECT_EQ(sandbox.readFile("/opt/orvanta/etc/settings"), sourceFile("dist/settings.default"));

    // The installation steps of the README.
    const char* const setUp[] = {"set MOD_ORVANTA_USERNAME router", "set MOD_ORVANTA_PASSWORD 'new secret'",
                                 "set MOD_ORVANTA_ENABLED 1", "show"};
    for (const char* command : setUp) {
        result = shell.run(std::string("/opt/orvanta/bin/orvanta-settings ") + command);
        EXPECT_EQ(result.exitCode, 0) << command << ": " << result.err;
    }
    EXPECT_EQ(result.out,
              "MOD_ORVANTA_ENABLED=1\nMOD_ORVANTA_USERNAME=router\nMOD_ORVANTA_PASSWORD=********\n"
              "MOD_ORVANTA_INTERVAL=60\n");
    const std::string configured =
        "MOD_ORVANTA_ENABLED=1\nMOD_ORVANTA_USERNAME=router\n"
        "MOD_ORVANTA_PASSWORD=\"new secret\"\nMOD_ORVANTA_INTERVAL=60\n";
    EXPECT_EQ(sandbox.readFile("/opt/orvanta/etc/settings"), configured);
    result = shell.run("/opt/orvanta/etc/init start");
    pid_t supervisor =
        std::atoi(sandbox.readFile("/var/orvanta/module-supervisor.pid").value_or("0").c_str());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "orvanta: started (pid " + std::to_string(supervisor) + ")\n");

    // The plug-in's first run leaves the tools' answers in its scratch files.
    EXPECT_TRUE(waitForFile(sandbox, "/var/orvanta/imei", "356938035643809\n"));
    EXPECT_TRUE(waitForFile(sandbox, "/var/orvanta/cell", "1A2B3C\n"));
    std::vector<pid_t> agents = childrenOf(supervisor);
    ASSERT_EQ(agents.size(), 1u);
    EXPECT_EQ(processName(agents[0]), "tessard");

    result = shell.run("/opt/orvanta/etc/init stop");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "orvanta: stopped\n");
    sandbox.waitExit(supervisor, 100ms);
    EXPECT_FALSE(processLiving(supervisor));
    EXPECT_FALSE(processLiving(agents[0]));
    EXPECT_EQ(livingGroupMembers(supervisor), std::vector<pid_t>{});
    EXPECT_EQ(transcript(sandbox.syslog().messages(), supervisor, "orvanta"), stoppedWhileRunning);
    EXPECT_TRUE(sandbox.syslog().waitForText("Agent running.", 0ms))
        << "the agent's log did not reach syslog";

    // An upgrade: the archive unpacked over the configured module.
    result = shell.run(std::string("tar -xzf ") + ORVANTA_ARCHIVE + " -C /");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(sandbox.readFile("/opt/orvanta/etc/settings"), configured);
    EXPECT_EQ(sandbox.fileMode("/opt/orvanta/etc/settings"), mode_t{0600});
}

} // namespace
