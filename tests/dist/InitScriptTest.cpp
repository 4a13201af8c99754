// The start/stop script as the router runs it, in a sandbox with the
// production module-supervisor and a stub agent, under dash and under
// busybox (its sh and its tools alone on PATH).
#include "ShellCommand.h"
#include "RouterTools.h"
#include "SandboxTesting.h"
#include "TempDir.h"
#include "Transcript.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <thread>

using namespace std::chrono_literals;
using namespace orvanta::test;

namespace {

const char settingsPath[] = "/opt/orvanta/etc/settings";
const char defaultsPath[] = "/opt/orvanta/etc/settings.default";
const std::string defaults = sourceFile("dist/settings.default");
const char pidPath[] = "/var/orvanta/module-supervisor.pid";
const char disabled[] = "orvanta: disabled in /opt/orvanta/etc/settings (MOD_ORVANTA_ENABLED), not started\n";
const char missing[] = "orvanta: /opt/orvanta/bin/module-supervisor is missing\n";
const char stale[] = "orvanta: not running (stale pid file /var/orvanta/module-supervisor.pid)\n";

// Records itself and leaves a process behind, as a shell pipeline of the
// plug-in would be left when the agent is killed.
const char stubAgent[] =
    "#!/bin/sh\n"
    "printf '%s\\n' \"$LD_LIBRARY_PATH\" > /var/orvanta/agent.env\n"
    "sleep 600 &\n"
    "echo $! > /var/orvanta/pipeline.pid\n"
    "echo $$ > /var/orvanta/agent.pid\n"
    "exec sleep 600\n";

std::string started(pid_t pid)
{
    return "orvanta: started (pid " + std::to_string(pid) + ")\n";
}

// Descriptor -> what it refers to ("/dev/null", "pipe:[1234]").
std::map<int, std::string> openDescriptors(pid_t pid)
{
    std::map<int, std::string> open;
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* fds = opendir(dir.c_str());
    while (dirent* entry = fds ? readdir(fds) : nullptr) {
        char target[512] = {};
        if (entry->d_name[0] != '.' &&
            readlink((dir + "/" + entry->d_name).c_str(), target, sizeof target - 1) > 0)
            open[std::atoi(entry->d_name)] = target;
    }
    if (fds)
        closedir(fds);
    return open;
}

std::string mountNamespace(pid_t pid)
{
    char target[64] = {};
    return readlink(("/proc/" + std::to_string(pid) + "/ns/mnt").c_str(), target, sizeof target - 1) > 0
               ? target
               : "";
}

// The living supervisors that share pid's mount namespace: those that
// scripts of one sandbox started.
std::vector<pid_t> supervisorsBeside(pid_t pid)
{
    const std::string ns = mountNamespace(pid);
    std::vector<pid_t> found;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        pid_t p = std::atoi(entry->d_name);
        if (p > 0 && processName(p) == "module-supervis" && processLiving(p) && mountNamespace(p) == ns)
            found.push_back(p);
    }
    if (proc)
        closedir(proc);
    // A supervisor's own child bears its name until the agent's exec, which
    // under qemu-user takes a while: it is no second supervisor.
    std::vector<pid_t> children;
    for (pid_t p : found)
        for (pid_t child : childrenOf(p))
            children.push_back(child);
    found.erase(std::remove_if(found.begin(), found.end(),
                               [&](pid_t p) {
                                   return std::find(children.begin(), children.end(), p) != children.end();
                               }),
                found.end());
    return found;
}

// Whether a process of ours may keep the OOM killer away from itself: root
// may, unless the machine forbids it (some virtual machines answer EIO).
bool mayLowerOomScore()
{
    pid_t child = fork();
    if (child == 0) {
        int fd = open("/proc/self/oom_score_adj", O_WRONLY);
        _exit(fd >= 0 && write(fd, "-1", 2) == 2 ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class InitScript : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        ORVANTA_REQUIRE_SANDBOX();
        SandboxOptions options;
        options.varOrvanta = false;
        sandbox = std::make_unique<Sandbox>(options);
        ASSERT_TRUE(sandbox->ok()) << sandbox->lastError();
        if (std::string(GetParam()) == "busybox") {
            if (std::string(ORVANTA_BUSYBOX).empty()) {
                if (runningInCi())
                    FAIL() << "busybox is not installed";
                GTEST_SKIP() << "busybox is not installed";
            }
            useBusybox();
        } else {
            shell = {"dash", {"/bin/sh"}, Sandbox::defaultEnvironment()};
        }
        ASSERT_TRUE(sandbox->writeFile("/opt/orvanta/etc/init", sourceFile("dist/init"), 0755));
        ASSERT_TRUE(sandbox->writeFile("/opt/orvanta/bin/orvanta-settings",
                                       sourceBytes(ORVANTA_SETTINGS_TOOL), 0755));
        ASSERT_TRUE(sandbox->writeFile(defaultsPath, defaults, 0600));
        ASSERT_TRUE(sandbox->writeFile(settingsPath, defaults, 0600));
    }

    void TearDown() override
    {
        // A failed test may leave the module running.
        for (pid_t pid : {supervisorPid(), agentPid()}) {
            if (pid > 1 && processLiving(pid)) {
                kill(-pid, SIGKILL);
                kill(pid, SIGKILL);
            }
        }
    }

    // busybox's sh, with busybox's tools alone on PATH.
    void useBusybox()
    {
        const std::string bin = sandbox->dir() + "/busybox-bin";
        mkdir(bin.c_str(), 0755);
        for (const char* tool : {"sh", "awk", "cp", "sync", "sleep", "mkdir", "chmod", "rm", "mv", "cat",
                                 "printf", "ls", "id", "ln", "readlink"})
            EXPECT_EQ(symlink(ORVANTA_BUSYBOX, (bin + "/" + tool).c_str()), 0) << tool;
        std::vector<std::string> env = Sandbox::defaultEnvironment();
        env[0] = "PATH=" + bin;
        shell = {"busybox", {ORVANTA_BUSYBOX, "sh"}, env};
    }

    void installModule(const std::string& agent = stubAgent)
    {
        ASSERT_TRUE(
            sandbox->writeFile("/opt/orvanta/bin/module-supervisor", sourceBytes(ORVANTA_SUPERVISOR), 0755));
        ASSERT_TRUE(sandbox->writeFile("/opt/orvanta/bin/orvanta-log", sourceBytes(ORVANTA_RELAY), 0755));
        ASSERT_TRUE(sandbox->writeFile("/opt/orvanta/bin/tessard", agent, 0755));
    }

    static std::string sourceBytes(const char* path) { return readFileBytes(path).value_or(""); }

    void enable() { ASSERT_TRUE(sandbox->writeFile(settingsPath, "MOD_ORVANTA_ENABLED=1\n", 0600)); }

    ScriptResult init(const std::string& action) { return runInit(*sandbox, shell, action); }

    // The pid in the file, once it holds one other than old.
    pid_t pidFrom(const std::string& path, std::chrono::milliseconds timeout = 0ms, pid_t old = 0)
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            std::optional<std::string> text = sandbox ? sandbox->readFile(path) : std::nullopt;
            pid_t pid = text ? std::atoi(text->c_str()) : 0;
            if (pid > 0 && pid != old)
                return pid;
            if (std::chrono::steady_clock::now() >= deadline)
                return -1;
            std::this_thread::sleep_for(10ms);
        }
    }
    pid_t supervisorPid() { return pidFrom(pidPath); }
    pid_t agentPid(std::chrono::milliseconds timeout = 0ms, pid_t old = 0)
    {
        return pidFrom("/var/orvanta/agent.pid", timeout, old);
    }

    // Starts the module and waits for the agent; gives the supervisor's pid.
    pid_t startModule()
    {
        ScriptResult result = init("start");
        pid_t pid = supervisorPid();
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, started(pid));
        EXPECT_EQ(result.err, "");
        EXPECT_GT(agentPid(30s), 0) << "the agent never started";
        return pid;
    }

    // The supervisor, its agent and what the agent left are all gone.
    struct Running {
        pid_t supervisor, agent, pipeline;
    };
    // Starts the module and waits for its agent and the agent's pipeline.
    Running startRunning()
    {
        pid_t supervisor = startModule();
        return {supervisor, agentPid(), pidFrom("/var/orvanta/pipeline.pid", 5s)};
    }

    void expectNothingLeft(pid_t supervisor, pid_t agent, pid_t pipeline)
    {
        sandbox->waitExit(supervisor, 100ms);
        EXPECT_FALSE(processLiving(supervisor)) << "supervisor still there";
        EXPECT_FALSE(processLiving(agent)) << "agent still running";
        EXPECT_FALSE(processLiving(pipeline)) << "the agent's pipeline still running";
        EXPECT_EQ(livingGroupMembers(supervisor), std::vector<pid_t>{});
        EXPECT_EQ(livingSessionMembers(supervisor), std::vector<pid_t>{}) << "the log relay is left";
    }

    std::unique_ptr<Sandbox> sandbox;
    Shell shell;
};

TEST_P(InitScript, StartDoesNothingWhileTheModuleIsDisabled)
{
    installModule();
    ScriptResult result = init("start");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, disabled);
    EXPECT_EQ(result.err, "");
    EXPECT_FALSE(sandbox->exists("/var/orvanta"));

    result = init("status");
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, "orvanta: not running\n");
    EXPECT_TRUE(sandbox->syslog().texts().empty());
}

// Start makes missing settings from the defaults and asks the settings tool
// whether the module is switched on. Without a supervisor installed, a
// module switched on reports it missing.
TEST_P(InitScript, StartMakesMissingSettingsAndAsksTheSettingsToolWhetherTheModuleIsOn)
{
    const std::string noLine =
        "orvanta-settings: MOD_ORVANTA_ENABLED is not in /opt/orvanta/etc/settings; the module reads it as 0\n";
    const struct {
        std::optional<std::string> settings;
        int exitCode;
        std::string out, err, after;
    } cases[] = {
        {std::nullopt, 0, disabled, "", defaults},
        {"MOD_ORVANTA_ENABLED=1\n", 5, "", missing, "MOD_ORVANTA_ENABLED=1\n"},
        {"mod_orvanta_enabled=\"+2x\"\n", 5, "", missing, "mod_orvanta_enabled=\"+2x\"\n"},
        {"MOD_ORVANTA_ENABLED=0\nMOD_ORVANTA_ENABLED=1\n", 0, disabled, "",
         "MOD_ORVANTA_ENABLED=0\nMOD_ORVANTA_ENABLED=1\n"},
        {"MOD_ORVANTA_USERNAME=me\n", 0, disabled, noLine, "MOD_ORVANTA_USERNAME=me\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings.value_or("no settings"));
        ASSERT_TRUE(c.settings ? sandbox->writeFile(settingsPath, *c.settings, 0644)
                               : sandbox->hide(settingsPath));
        ScriptResult result = init("start");
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(sandbox->readFile(settingsPath), c.after);
        EXPECT_EQ(sandbox->fileMode(settingsPath), mode_t(c.settings ? 0644 : 0600));
    }

    ASSERT_TRUE(sandbox->hide(settingsPath));
    ASSERT_TRUE(sandbox->hide(defaultsPath));
    ScriptResult result = init("start");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, disabled);
    EXPECT_EQ(result.err,
              "orvanta: cannot create /opt/orvanta/etc/settings from /opt/orvanta/etc/settings.default\n"
              "orvanta-settings: /opt/orvanta/etc/settings is missing\n");

    ASSERT_EQ(unlink(sandbox->hostPath(settingsPath).c_str()), 0);
    ASSERT_TRUE(sandbox->makeDir(settingsPath));
    result = init("start");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "orvanta-settings: cannot read /opt/orvanta/etc/settings: Is a directory\n"
              "orvanta: cannot read /opt/orvanta/etc/settings, not started\n");
    EXPECT_EQ(sandbox->readFile(defaultsPath), std::nullopt);
}

TEST_P(InitScript, StartsReportsAndStopsTheModuleLeavingNothingRunning)
{
    installModule();
    enable();
    auto [supervisor, agent, pipeline] = startRunning();
    ASSERT_GT(supervisor, 0);
    EXPECT_EQ(sandbox->fileMode("/var/orvanta"), mode_t{0700});
    EXPECT_EQ(sandbox->readFile(pidPath), std::to_string(supervisor) + "\n");
    EXPECT_EQ(processName(supervisor), "module-supervis");
    EXPECT_EQ(livingGroupMembers(supervisor).size(), 3u) << "supervisor, agent, pipeline, none else";
    EXPECT_EQ(sandbox->readFile("/var/orvanta/agent.env"), "/opt/orvanta/lib\n");

    ScriptResult result = init("status");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "orvanta: running (pid " + std::to_string(supervisor) + ")\n");

    result = init("start");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "orvanta: already running (pid " + std::to_string(supervisor) + ")\n");

    result = init("stop");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "orvanta: stopped\n");
    EXPECT_EQ(result.err, "");
    expectNothingLeft(supervisor, agent, pipeline);
    EXPECT_FALSE(sandbox->exists(pidPath));
    std::vector<std::string> texts = sandbox->syslog().texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "sending SIGKILL to agent");
    EXPECT_EQ(texts.back(), "terminated");

    result = init("status");
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, "orvanta: not running\n");
    result = init("stop");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "orvanta: not running\n");
}

// The development agent's log, through the relay that start puts between
// the supervisor and syslog: each line a message of the agent's identity,
// its severity taken from the level tag, as logread shows them.
TEST_P(InitScript, PassesTheAgentsLogToSyslog)
{
    installModule(sourceBytes(ORVANTA_AGENT));
    ASSERT_TRUE(
        sandbox->writeFile("/opt/orvanta/lib/tessard-system-resources.so", sourceBytes(ORVANTA_PLUGIN)));
    RouterTools tools(*sandbox);
    ASSERT_TRUE(tools.installed());
    tools.modemReady("351234567890123", "4711", "89490200001234567890");
    ASSERT_TRUE(
        sandbox->writeFile(settingsPath, "MOD_ORVANTA_ENABLED=1\nMOD_ORVANTA_USERNAME=router-17\n", 0600));
    // The caller's own descriptor, which its children inherit.
    const std::string callers = sandbox->dir() + "/caller.lock";
    const char* callersPath = callers.c_str();
    ScriptResult result = runShell(*sandbox, shell, {"/opt/orvanta/etc/init", "start"},
                                   [callersPath] { open(callersPath, O_WRONLY | O_CREAT, 0600); });
    ASSERT_EQ(result.exitCode, 0) << result.err;
    pid_t supervisor = supervisorPid();
    SyslogRecorder& syslog = sandbox->syslog();
    ASSERT_TRUE(syslog.waitForText("status: 0", 60s)) << "the agent's report never reached syslog";

    std::vector<pid_t> relays;
    for (pid_t member : livingSessionMembers(supervisor))
        if (processName(member) == "orvanta-log")
            relays.push_back(member);
    ASSERT_EQ(relays.size(), 1u);
    std::map<int, std::string> descriptors = openDescriptors(relays[0]);
    EXPECT_EQ(descriptors[0].rfind("pipe:", 0), 0u) << descriptors[0];
    EXPECT_EQ(descriptors[1], "/dev/null");
    EXPECT_EQ(descriptors[2], "/dev/null");
    for (const auto& [fd, target] : descriptors)
        EXPECT_NE(target, callers) << "the relay keeps its caller's descriptor " << fd;
    if (mayLowerOomScore()) {
        EXPECT_EQ(readFileBytes("/proc/" + std::to_string(relays[0]) + "/oom_score_adj"), "-1000\n");
    }

    result = init("stop");
    EXPECT_EQ(result.out, "orvanta: stopped\n");
    sandbox->waitExit(supervisor, 100ms);
    EXPECT_FALSE(processLiving(relays[0])) << "the log relay outlived stop";
    EXPECT_EQ(livingSessionMembers(supervisor), std::vector<pid_t>{});

    // The agent's standard output (here the development agent's wire lines)
    // arrives too, untagged: info.
    EXPECT_EQ(transcript(syslog.messages(), supervisor, "tessard"),
              R"(notice.daemon tessard: Server http://developer.orvanta.com/s, user router-17, interval 0 s.
err.daemon tessard: tessard-measured-values.so: cannot open shared object file: No such file or directory
notice.daemon tessard: Handler system_resources, interval 60 s.
warning.daemon tessard: No plugin of type measured_values.
info.daemon tessard: identifier: com_orvanta_posix_agent_a19aa7163a456d6c
info.daemon tessard: template: 10,1000,PUT,/inventory/managedObjects/%%,application/vnd.com.zel.orvanta.managedObject+json,application/vnd.com.zel.orvanta.managedObject+json,%%,UNSIGNED STRING,"{""ovx_SupportedMeasurements"":[%%]}"
info.daemon tessard: template: 10,1001,PUT,/inventory/managedObjects/%%,application/vnd.com.zel.orvanta.managedObject+json,application/vnd.com.zel.orvanta.managedObject+json,%%,UNSIGNED,"{""ovx_SupportedMeasurements"":[]}"
info.daemon tessard: template: 11,2000,,"$.ovx_IsDevice","$.id"
info.daemon tessard: template: 10,1002,PUT,/inventory/managedObjects/%%,application/vnd.com.zel.orvanta.managedObject+json,application/vnd.com.zel.orvanta.managedObject+json,%%,UNSIGNED STRING STRING STRING,"{""ovx_Mobile"":{""imei"":""%%"",""cellId"":""%%"",""iccid"":""%%""}}"
notice.daemon tessard: Agent running.
info.daemon tessard: request: 1002,1,351234567890123,4711,89490200001234567890
info.daemon tessard: status: 0
)");
    EXPECT_EQ(transcript(syslog.messages(), supervisor, "orvanta"), stoppedWhileRunning);
}

TEST_P(InitScript, StopsAnEnabledOrDisabledModule)
{
    installModule();
    enable();
    auto [supervisor, agent, pipeline] = startRunning();
    ASSERT_TRUE(sandbox->writeFile(settingsPath, defaults, 0600));
    ScriptResult result = init("stop");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "orvanta: stopped\n");
    expectNothingLeft(supervisor, agent, pipeline);
}

TEST_P(InitScript, RestartReplacesTheSupervisor)
{
    installModule();
    enable();
    auto [first, firstAgent, firstPipeline] = startRunning();

    ScriptResult result = init("restart");
    pid_t second = supervisorPid();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "orvanta: stopped\n" + started(second));
    EXPECT_NE(second, first);
    expectNothingLeft(first, firstAgent, firstPipeline);
    EXPECT_GT(agentPid(30s, firstAgent), 0) << "no agent after the restart";
    EXPECT_EQ(init("stop").out, "orvanta: stopped\n");
}

TEST_P(InitScript, APidFileAndLockOfAnEndedProcessAreStale)
{
    installModule();
    enable();
    pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    ASSERT_GT(gone, 0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
    ASSERT_TRUE(sandbox->writeFile(pidPath, std::to_string(gone) + "\n"));
    // The lock of a run that was killed, or of a boot before a power cut.
    ASSERT_EQ(symlink(("boot." + std::to_string(gone) + ".1").c_str(),
                      sandbox->hostPath("/var/orvanta/init.lock").c_str()),
              0);

    ScriptResult result = init("status");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, stale);

    auto before = std::chrono::steady_clock::now();
    pid_t supervisor = startModule();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s) << "waited for a lock whose holder is gone";
    EXPECT_NE(supervisor, gone);
    EXPECT_EQ(init("status").exitCode, 0);
    EXPECT_EQ(init("stop").out, "orvanta: stopped\n");
}

TEST_P(InitScript, APidFileNamingAnotherProgramIsStaleAndThatProgramIsLeftAlone)
{
    installModule();
    enable();
    pid_t other = sandbox->start({"/bin/sleep", "600"});
    ASSERT_GT(other, 0) << sandbox->lastError();
    ASSERT_TRUE(sandbox->writeFile(pidPath, std::to_string(other) + "\n"));

    ScriptResult result = init("status");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, stale);

    result = init("stop");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "orvanta: not running\n");
    EXPECT_FALSE(sandbox->exists(pidPath));
    EXPECT_TRUE(processLiving(other));

    ASSERT_TRUE(sandbox->writeFile(pidPath, std::to_string(other) + "\n"));
    pid_t supervisor = startModule();
    EXPECT_NE(supervisor, other);
    EXPECT_EQ(init("stop").out, "orvanta: stopped\n");
    EXPECT_TRUE(processLiving(other));
    kill(other, SIGKILL);
    EXPECT_TRUE(sandbox->waitExit(other, 5s));
}

TEST_P(InitScript, AKilledSupervisorTakesItsAgentAlongAndStartSweepsWhatIsLeft)
{
    installModule();
    enable();
    auto [first, agent, pipeline] = startRunning();
    ASSERT_EQ(kill(first, SIGKILL), 0);
    if (sandbox->adoptsOrphans())
        sandbox->waitExit(first, 5s);
    EXPECT_TRUE(processEndsWithin(first, 5s));
    EXPECT_TRUE(processEndsWithin(agent, 5s)) << "the agent outlived its supervisor";
    EXPECT_TRUE(processLiving(pipeline)) << "nothing left for start to sweep";

    pid_t second = startModule();
    EXPECT_NE(second, first);
    EXPECT_FALSE(processLiving(pipeline)) << "the killed supervisor's group is left";
    EXPECT_GT(agentPid(30s, agent), 0) << "no new agent";
    EXPECT_EQ(init("stop").out, "orvanta: stopped\n");
}

TEST_P(InitScript, StartsAtTheSameMomentRunOneSupervisor)
{
    installModule();
    enable();
    std::string start =
        shell.argv[0] + (shell.argv.size() > 1 ? " " + shell.argv[1] : "") + " /opt/orvanta/etc/init start";
    ScriptResult result =
        runShell(*sandbox, shell, {"-c", start + " & " + start + " & " + start + " & wait"});
    pid_t pid = supervisorPid();
    ASSERT_GT(pid, 0);
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = result.out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(result.out.substr(at, end + 1 - at));
    std::sort(lines.begin(), lines.end());
    const std::string already = "orvanta: already running (pid " + std::to_string(pid) + ")\n";
    EXPECT_EQ(lines, (std::vector<std::string>{already, already, started(pid)}));
    EXPECT_EQ(result.err, "");
    std::vector<pid_t> supervisors = supervisorsBeside(pid);
    EXPECT_EQ(supervisors, std::vector<pid_t>{pid});
    for (pid_t extra : supervisors) {
        if (extra != pid) { // unrecorded: neither stop nor TearDown would find it
            kill(-extra, SIGKILL);
            kill(extra, SIGKILL);
        }
    }
    EXPECT_EQ(init("stop").out, "orvanta: stopped\n");
    EXPECT_FALSE(sandbox->exists("/var/orvanta/init.lock"));
}

TEST_P(InitScript, RefusesAVarOrvantaThatOthersCouldControl)
{
    installModule();
    enable();
    const std::string state = "/var/orvanta";
    const std::string at = sandbox->hostPath(state);
    const struct {
        const char* what;
        std::function<bool()> make;
    } cases[] = {
        {"a link to a folder",
         [&] {
             return sandbox->makeDir("/var/elsewhere", 0700) && symlink("/var/elsewhere", at.c_str()) == 0;
         }},
        {"a file",
         [&] {
             return sandbox->writeFile(state, "", 0600);
         }},
        {"another user's folder",
         [&] {
             return sandbox->makeDir(state, 0700) && chown(at.c_str(), 1000, 1000) == 0;
         }},
        {"a folder its group may write to",
         [&] {
             return sandbox->makeDir(state, 0770);
         }},
        {"a folder anyone may write to",
         [&] {
             return sandbox->makeDir(state, 01777);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(at);
        ASSERT_TRUE(c.make()) << sandbox->lastError();
        for (const char* action : {"start", "stop"}) {
            ScriptResult result = init(action);
            EXPECT_EQ(result.exitCode, 1) << action;
            EXPECT_EQ(result.out, "") << action;
            EXPECT_EQ(
                result.err,
                "orvanta: /var/orvanta is a link, no folder, not root's or writable by others: refusing to use it\n")
                << action;
        }
        EXPECT_FALSE(sandbox->exists("/var/elsewhere/init.lock"));
        EXPECT_FALSE(sandbox->exists(pidPath));
        EXPECT_TRUE(sandbox->syslog().texts().empty()) << "a supervisor was started";
    }

    // A folder of root's that only root may write to is taken and tightened.
    std::filesystem::remove_all(at);
    ASSERT_TRUE(sandbox->makeDir(state, 0755));
    startModule();
    EXPECT_EQ(sandbox->fileMode(state), mode_t{0700});
    EXPECT_EQ(init("stop").out, "orvanta: stopped\n");
}

TEST_P(InitScript, AReadOnlyVarOrvantaStartsNothingButStillStops)
{
    installModule();
    enable();
    std::filesystem::remove_all(sandbox->hostPath("/var/orvanta"));
    ASSERT_TRUE(sandbox->makeDir("/var/orvanta", 0700));
    const Sandbox::ChildSetup readOnly = [] {
        if (mount("/var/orvanta", "/var/orvanta", nullptr, MS_BIND, nullptr) != 0 ||
            mount(nullptr, "/var/orvanta", nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            _exit(125);
    };
    ScriptResult result = runShell(*sandbox, shell, {"/opt/orvanta/etc/init", "start"}, readOnly);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "orvanta: cannot create /var/orvanta/init.lock, not started\n");
    EXPECT_TRUE(sandbox->syslog().texts().empty()) << "a supervisor was started";

    auto [supervisor, agent, pipeline] = startRunning();
    result = runShell(*sandbox, shell, {"/opt/orvanta/etc/init", "stop"}, readOnly);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "orvanta: stopped\n");
    expectNothingLeft(supervisor, agent, pipeline);
}

TEST_P(InitScript, RefusesAnUnknownAction)
{
    for (const char* action : {"", "reload", "START"}) {
        ScriptResult result = init(action);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "usage: /opt/orvanta/etc/init {start|stop|restart|status}\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Shells, InitScript, ::testing::Values("dash", "busybox"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return info.param; });

} // namespace
