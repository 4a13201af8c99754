// The production module-supervisor, run unmodified in a sandbox with a stub
// agent at "/opt/orvanta/bin/tessard".
#include "FileBytes.h"
#include "Processes.h"
#include "Sandbox.h"
#include "SandboxTesting.h"
#include "SupervisorFiles.h"
#include "Transcript.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libconfig.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <syslog.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

using namespace std::chrono_literals;
using orvanta::test::agentConfiguration;
using orvanta::test::Sandbox;
using orvanta::test::SandboxOptions;
using orvanta::test::stoppedWhileRunning;
using orvanta::test::SyslogMessage;
using Clock = std::chrono::steady_clock;

namespace {

const char agentPath[] = "/opt/orvanta/bin/tessard";
const char agentCfgPath[] = "/var/orvanta/tessard.cfg";
const char settingsPath[] = "/opt/orvanta/etc/settings";
const char lockPath[] = "/var/orvanta/module-supervisor.lock";
const char pidPath[] = "/var/orvanta/module-supervisor.pid";
const char statusPath[] = "/var/orvanta/status";

// Generous: under qemu a start takes a while. Promptness is asserted apart.
constexpr auto startTimeout = 20s;

enum class Agent { Sleeps, Exits };

// A stub agent that records each run N under `runs`: N.argv (its
// arguments, one per line, the program path first), N.cfg (a copy of the
// file named by its second argument) and N.pid, then "count" = N. Then it sleeps or exits. An
// exiting agent spoils the configuration, so that the next run proves it rewritten.
std::string stubAgent(Agent mode, const std::string& runs = "/var/orvanta/runs")
{
    return "#!/bin/sh\n"
           "runs=" +
           runs +
           "\n"
           "mkdir -p $runs\n"
           "n=$(( $(cat $runs/count 2>/dev/null || echo 0) + 1 ))\n"
           "printf '%s\\n' \"$0\" \"$@\" > $runs/$n.argv\n"
           "cp \"$2\" $runs/$n.cfg\n"
           "echo $$ > $runs/$n.pid\n"
           "echo $n > $runs/count\n" +
           (mode == Agent::Sleeps ? "exec sleep 600\n" : "echo spoiled > \"$2\"\n");
}

class Supervisor : public ::testing::Test {
protected:
    void SetUp() override { ORVANTA_REQUIRE_SANDBOX(); }

    // Creates the sandbox (once) with the options given.
    Sandbox& box(SandboxOptions options = {})
    {
        if (!sandbox)
            sandbox = std::make_unique<Sandbox>(options);
        EXPECT_TRUE(sandbox->ok()) << sandbox->lastError();
        return *sandbox;
    }

    pid_t startSupervisor(const Sandbox::ChildSetup& setup = {})
    {
        pid = box().start({ORVANTA_SUPERVISOR}, Sandbox::defaultEnvironment(), setup);
        return pid;
    }

    // Waits until the stub agent has recorded run n.
    bool waitForRun(int n, const std::string& runs = "/var/orvanta/runs",
                    std::chrono::milliseconds timeout = startTimeout)
    {
        auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            auto count = sandbox->readFile(runs + "/count");
            if (count && std::atoi(count->c_str()) >= n)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    pid_t agentPid(int n, const std::string& runs = "/var/orvanta/runs")
    {
        return std::atoi(sandbox->readFile(runs + "/" + std::to_string(n) + ".pid").value_or("0").c_str());
    }

    // Sends signo and waits for the supervisor to end; gives the time from
    // the signal to the end, and the wait status in *status.
    Clock::duration stopWith(int signo, int* status)
    {
        auto sent = Clock::now();
        EXPECT_EQ(kill(pid, signo), 0);
        EXPECT_TRUE(sandbox->waitExit(pid, startTimeout, status)) << "supervisor still runs";
        return Clock::now() - sent;
    }

    // The transcript of the messages once at least n have arrived (the
    // recorder's thread may lag behind what the supervisor has sent): all
    // of them, or the first `limit` where more may follow.
    std::string log(std::size_t n, std::size_t limit = std::string::npos)
    {
        sandbox->syslog().waitForCount(n, 5s);
        return orvanta::test::transcript(sandbox->syslog().messages(), pid, nullptr, limit);
    }

    // The new files of replacements of tessard.cfg left in /var/orvanta.
    std::string replacementsLeft() const
    {
        std::string left;
        DIR* dir = opendir(sandbox->hostPath("/var/orvanta").c_str());
        while (dirent* entry = dir ? readdir(dir) : nullptr)
            if (std::strncmp(entry->d_name, "tessard.cfg.", 12) == 0)
                left += std::string(entry->d_name) + " ";
        if (dir)
            closedir(dir);
        return left;
    }

    std::unique_ptr<Sandbox> sandbox;
    pid_t pid = -1;
};

TEST_F(Supervisor, WritesTheConfigurationAndStartsTheAgentWithItsArguments)
{
    ASSERT_TRUE(box().writeFile(settingsPath,
                                "MOD_ORVANTA_ENABLED=0\n"
                                "MOD_ORVANTA_USERNAME=\"user name\"\n"
                                "MOD_ORVANTA_PASSWORD=secret\n"
                                "MOD_ORVANTA_INTERVAL=5\n"));
    ASSERT_TRUE(box().writeFile(agentPath, stubAgent(Agent::Sleeps), 0755));
    ORVANTA_REQUIRE_STARTED(box(), startSupervisor());
    ASSERT_TRUE(waitForRun(1));

    EXPECT_EQ(sandbox->readFile("/var/orvanta/runs/1.cfg"), agentConfiguration("user name", "secret", 300));
    EXPECT_EQ(sandbox->readFile(agentCfgPath), agentConfiguration("user name", "secret", 300));
    EXPECT_EQ(sandbox->readFile("/var/orvanta/runs/1.argv"),
              "/opt/orvanta/bin/tessard\n-vc\n/var/orvanta/tessard.cfg\n");
    EXPECT_EQ(replacementsLeft(), "");
}

#ifndef ORVANTA_EMULATED // under qemu-user the mask at exec is qemu's, not the supervisor's
// The supervisor blocks every signal around the start of the agent; the
// agent must not inherit that. The agent here is a perl script, because a
// shell clears the mask itself at start-up and would hide the fault.
TEST_F(Supervisor, StartsTheAgentWithNoSignalBlocked)
{
    ASSERT_TRUE(box().writeFile(agentPath,
                                "#!/usr/bin/perl\n"
                                "open(my $in, '<', '/proc/self/status') or die;\n"
                                "my @mask = grep { /^SigBlk:/ } <$in>;\n"
                                "open(my $out, '>', '/var/orvanta/sigblk.new') or die;\n"
                                "print $out @mask;\n"
                                "close($out);\n"
                                "rename('/var/orvanta/sigblk.new', '/var/orvanta/sigblk');\n"
                                "sleep 600;\n",
                                0755));
    ORVANTA_REQUIRE_STARTED(box(), startSupervisor());
    auto deadline = Clock::now() + startTimeout;
    while (!sandbox->exists("/var/orvanta/sigblk") && Clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(sandbox->readFile("/var/orvanta/sigblk"), "SigBlk:\t0000000000000000\n");
}
#endif

TEST_F(Supervisor, EmptyMissingOrUnreadableSettingsGiveEmptyCredentialsAndIntervalZero)
{
    enum class Settings { Empty, Missing, Folder };
    for (Settings settings : {Settings::Empty, Settings::Missing, Settings::Folder}) {
        SCOPED_TRACE(settings == Settings::Empty     ? "an empty file"
                     : settings == Settings::Missing ? "no file"
                                                     : "a folder");
        sandbox.reset();
        if (settings == Settings::Empty) {
            ASSERT_TRUE(box().writeFile(settingsPath, ""));
        } else if (settings == Settings::Folder) {
            ASSERT_TRUE(box().makeDir(settingsPath));
        }
        ASSERT_TRUE(box().writeFile(agentPath, stubAgent(Agent::Sleeps), 0755));
        ORVANTA_REQUIRE_STARTED(box(), startSupervisor());
        ASSERT_TRUE(waitForRun(1));
        EXPECT_EQ(sandbox->readFile("/var/orvanta/runs/1.cfg"), agentConfiguration("", "", 0));
        EXPECT_EQ(log(2),
                  "notice.daemon orvanta[PID]: started\n"
                  "notice.daemon orvanta[PID]: Starting agent\n");
    }
}

TEST_F(Supervisor, ReplacesAWiderExistingFileWithMode0600)
{
    ASSERT_TRUE(box().writeFile(agentCfgPath, "old content that is longer than nothing\n", 0644));
    ASSERT_TRUE(box().writeFile(agentPath, stubAgent(Agent::Sleeps), 0755));
    ORVANTA_REQUIRE_STARTED(box(), startSupervisor());
    ASSERT_TRUE(waitForRun(1));
    EXPECT_EQ(sandbox->fileMode(agentCfgPath), mode_t{0600});
    EXPECT_EQ(sandbox->readFile(agentCfgPath), agentConfiguration("", "", 0));
}

TEST_F(Supervisor, EscapesCredentialsSoThatLibconfigReadsThemBack)
{
    // The settings reader cuts each line at its last double quote.
    ASSERT_TRUE(box().writeFile(settingsPath,
                                "MOD_ORVANTA_USERNAME=\"we\\ird \"name\"\n"
                                "MOD_ORVANTA_PASSWORD=x\";\\r\\nserver = \"http://evil/\"\n"
                                "MOD_ORVANTA_INTERVAL=2\n"));
    ASSERT_TRUE(box().writeFile(agentPath, stubAgent(Agent::Sleeps), 0755));
    ORVANTA_REQUIRE_STARTED(box(), startSupervisor());
    ASSERT_TRUE(waitForRun(1));
    const std::string user = "we\\ird \"name";
    const std::string password = "x\";\\r\\nserver = \"http://evil/";
    EXPECT_EQ(sandbox->readFile(agentCfgPath),
              agentConfiguration("we\\\\ird \\\"name", "x\\\";\\\\r\\\\nserver = \\\"http://evil/", 120));

    config_t config;
    config_init(&config);
    ASSERT_EQ(config_read_file(&config, sandbox->hostPath(agentCfgPath).c_str()), CONFIG_TRUE)
        << config_error_text(&config) << " at line " << config_error_line(&config);
    const char* value = nullptr;
    ASSERT_EQ(config_lookup_string(&config, "username", &value), CONFIG_TRUE);
    EXPECT_EQ(value, user);
    ASSERT_EQ(config_lookup_string(&config, "password", &value), CONFIG_TRUE);
    EXPECT_EQ(value, password);
    ASSERT_EQ(config_lookup_string(&config, "server", &value), CONFIG_TRUE);
    EXPECT_STREQ(value, "http://developer.orvanta.com/s");
    int interval = 0;
    ASSERT_EQ(config_lookup_int(&config, "interval", &interval), CONFIG_TRUE);
    EXPECT_EQ(interval, 120);
    config_setting_t* plugins = config_lookup(&config, "plugins");
    ASSERT_NE(plugins, nullptr);
    EXPECT_EQ(config_setting_length(plugins), 2);
    config_destroy(&config);
}

// An agent that ends, or that cannot be executed at all, is started again
// 3 s later, each time with a freshly written configuration.
TEST_F(Supervisor, RestartsAnAgentThatEndsOrCannotBeExecuted3SecondsLater)
{
    enum class Case { Exits, Missing, NotExecutable };
    for (Case c : {Case::Exits, Case::Missing, Case::NotExecutable}) {
        SCOPED_TRACE(c == Case::Exits     ? "agent exits"
                     : c == Case::Missing ? "agent missing"
                                          : "agent not executable");
        sandbox.reset();
        ASSERT_TRUE(box().writeFile(
            settingsPath, "MOD_ORVANTA_USERNAME=u\nMOD_ORVANTA_PASSWORD=p\nMOD_ORVANTA_INTERVAL=1\n"));
        if (c != Case::Missing) {
            ASSERT_TRUE(box().writeFile(agentPath, stubAgent(Agent::Exits), c == Case::Exits ? 0755 : 0644));
        }
        ORVANTA_REQUIRE_STARTED(box(), startSupervisor());
        ASSERT_TRUE(sandbox->syslog().waitFor(
            [n = 0](const SyslogMessage& m) mutable { return m.text == "Starting agent" && ++n == 2; },
            startTimeout + 5s));
        // The second run may have ended already.
        EXPECT_EQ(log(4, 4), R"(notice.daemon orvanta[PID]: started
notice.daemon orvanta[PID]: Starting agent
notice.daemon orvanta[PID]: agent_terminated
notice.daemon orvanta[PID]: Starting agent
)");
        std::vector<SyslogMessage> messages = sandbox->syslog().messages();
        ASSERT_GE(messages.size(), 4u);
        auto pause = messages[3].arrival - messages[2].arrival;
        EXPECT_GE(pause, 2900ms);
        EXPECT_LE(pause, 4000ms);
        if (c == Case::Exits) {
            // The agent spoils the file it was given: the second got a new one.
            ASSERT_TRUE(waitForRun(2));
            for (int n = 1; n <= 2; ++n)
                EXPECT_EQ(sandbox->readFile("/var/orvanta/runs/" + std::to_string(n) + ".cfg"),
                          agentConfiguration("u", "p", 60))
                    << "run " << n;
        } else {
            EXPECT_FALSE(sandbox->exists("/var/orvanta/runs/count"));
            EXPECT_EQ(sandbox->readFile(agentCfgPath), agentConfiguration("u", "p", 60));
        }
        for (const SyslogMessage& m : messages)
            EXPECT_EQ(m.ident + "[" + std::to_string(m.pid) + "]." + std::to_string(m.facility),
                      "orvanta[" + std::to_string(pid) + "]." + std::to_string(LOG_DAEMON))
                << m.raw;
    }
}

TEST_F(Supervisor, StartsTheAgentEvenWithoutVarOrvanta)
{
    SandboxOptions options;
    options.varOrvanta = false;
    ASSERT_TRUE(box(options).writeFile(agentPath, stubAgent(Agent::Sleeps, "/opt/orvanta/runs"), 0755));
    ORVANTA_REQUIRE_STARTED(box(), startSupervisor());
    ASSERT_TRUE(waitForRun(1, "/opt/orvanta/runs"));
    EXPECT_EQ(sandbox->readFile("/opt/orvanta/runs/1.argv"),
              "/opt/orvanta/bin/tessard\n-vc\n/var/orvanta/tessard.cfg\n");
    EXPECT_FALSE(sandbox->exists("/var/orvanta"));

    // All messages of a start that fails to write the file and a stop.
    int status = 0;
    stopWith(SIGTERM, &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    EXPECT_EQ(log(6), R"(notice.daemon orvanta[PID]: started
err.daemon orvanta[PID]: Locking module-supervisor.lock failed
notice.daemon orvanta[PID]: Starting agent
err.daemon orvanta[PID]: Creating tessard.cfg failed
notice.daemon orvanta[PID]: sending SIGKILL to agent
notice.daemon orvanta[PID]: terminated
)");
}

// A full or read-only /var/orvanta: the agent starts with the file as it was
// (read-only, the lock file that an earlier supervisor made still locks).
TEST_F(Supervisor, ReportsAFailedWriteAndKeepsThePreviousFile)
{
    const struct {
        const char* what;
        Sandbox::ChildSetup setup;
    } cases[] = {
        {"full: a file size limit below the configuration's size",
         [] {
             std::signal(SIGXFSZ, SIG_IGN);
             struct rlimit limit = {100, 100};
             setrlimit(RLIMIT_FSIZE, &limit);
         }},
        {"read-only",
         [] {
             if (mount("/var/orvanta", "/var/orvanta", nullptr, MS_BIND, nullptr) != 0 ||
                 mount(nullptr, "/var/orvanta", nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
                 _exit(125);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        sandbox.reset();
        ASSERT_TRUE(box().writeFile(agentCfgPath, "previous\n", 0600));
        ASSERT_TRUE(box().writeFile(lockPath, "", 0600));
        ASSERT_TRUE(box().writeFile(agentPath, stubAgent(Agent::Sleeps, "/opt/orvanta/runs"), 0755));
        ORVANTA_REQUIRE_STARTED(box(), startSupervisor(c.setup));
        ASSERT_TRUE(waitForRun(1, "/opt/orvanta/runs"));
        EXPECT_EQ(log(3), R"(notice.daemon orvanta[PID]: started
notice.daemon orvanta[PID]: Starting agent
err.daemon orvanta[PID]: Creating tessard.cfg failed
)");
        EXPECT_EQ(sandbox->readFile(agentCfgPath), "previous\n");
        EXPECT_EQ(sandbox->readFile("/opt/orvanta/runs/1.cfg"), "previous\n");
        EXPECT_EQ(replacementsLeft(), "");
    }
}

// Whatever another user left under a name that the new file could be
// expected under is neither written through nor waited on: the new file's
// name is unique and made exclusively.
TEST_F(Supervisor, NeverOpensWhatWasPlantedUnderTheTemporaryName)
{
    const std::string planted = "/var/orvanta/planted";
    const std::string newPath = std::string(agentCfgPath) + ".new";
    enum class Planted { HardLink, Symlink, Fifo };
    for (Planted kind : {Planted::HardLink, Planted::Symlink, Planted::Fifo}) {
        SCOPED_TRACE(kind == Planted::HardLink  ? "hard link"
                     : kind == Planted::Symlink ? "symbolic link"
                                                : "FIFO");
        sandbox.reset();
        ASSERT_TRUE(box().writeFile(planted, "planted\n", 0644));
        const std::string at = box().hostPath(newPath);
        if (kind == Planted::HardLink) {
            ASSERT_EQ(link(box().hostPath(planted).c_str(), at.c_str()), 0);
        } else if (kind == Planted::Symlink) {
            ASSERT_EQ(symlink(planted.c_str(), at.c_str()), 0);
        } else {
            ASSERT_EQ(mkfifo(at.c_str(), 0666), 0);
        }
        ASSERT_TRUE(box().writeFile(agentPath, stubAgent(Agent::Sleeps), 0755));
        ORVANTA_REQUIRE_STARTED(box(), startSupervisor());
        ASSERT_TRUE(waitForRun(1));
        EXPECT_EQ(sandbox->readFile("/var/orvanta/runs/1.cfg"), agentConfiguration("", "", 0));
        EXPECT_EQ(sandbox->fileMode(agentCfgPath), mode_t{0600});
        EXPECT_EQ(sandbox->readFile(planted), "planted\n");
        EXPECT_EQ(sandbox->fileMode(planted), mode_t{0644});
        int status = 0;
        stopWith(SIGTERM, &status);
        ASSERT_TRUE(sandbox->syslog().waitForText("terminated", 5s));
        EXPECT_EQ(log(4), stoppedWhileRunning);
    }
}

// Started with descriptors 0-2 closed, the agent still gets three, none of
// them a file of the supervisor's.
TEST_F(Supervisor, GivesTheAgentStandardDescriptorsItWasStartedWithout)
{
    ASSERT_TRUE(box().writeFile(agentPath, stubAgent(Agent::Sleeps), 0755));
    ORVANTA_REQUIRE_STARTED(box(), startSupervisor([] {
                                for (int fd = 0; fd <= 2; ++fd)
                                    close(fd);
                            }));
    ASSERT_TRUE(waitForRun(1));
    pid_t agent = agentPid(1);
    auto deadline = Clock::now() + startTimeout;
    while (orvanta::test::processName(agent) != "sleep" && Clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    for (int fd = 0; fd <= 2; ++fd) {
        char target[256] = {};
        std::string fdPath = "/proc/" + std::to_string(agent) + "/fd/" + std::to_string(fd);
        EXPECT_GT(readlink(fdPath.c_str(), target, sizeof target - 1), 0) << "descriptor " << fd << " closed";
        EXPECT_STREQ(target, "/dev/null") << "descriptor " << fd;
    }
}

// Whole seconds since boot, as /proc/uptime counts them.
long long uptimeSeconds()
{
    return std::atoll(orvanta::test::readFileBytes("/proc/uptime").value_or("0").c_str());
}

// Whether the kernel records pid as holding an exclusive flock.
bool holdsLock(pid_t pid)
{
    const std::string locks = orvanta::test::readFileBytes("/proc/locks").value_or("");
    return locks.find(" FLOCK  ADVISORY  WRITE " + std::to_string(pid) + " ") != std::string::npos;
}

// The status once it holds `state`; since= is checked against the clock
// and given as "since=S" so that the rest compares as a literal.
std::string statusOnce(Sandbox& sandbox, const std::string& state, long long earliest)
{
    auto deadline = Clock::now() + startTimeout;
    std::string text;
    while (Clock::now() < deadline) {
        text = sandbox.readFile(statusPath).value_or("");
        if (text.find("\nstate=" + state + "\n") != std::string::npos)
            break;
        std::this_thread::sleep_for(10ms);
    }
    std::size_t at = text.find("since="), end = text.find('\n', at);
    if (at == std::string::npos || end == std::string::npos)
        return text;
    long long since = std::atoll(text.c_str() + at + 6);
    EXPECT_GE(since, earliest);
    EXPECT_LE(since, uptimeSeconds());
    return text.replace(at, end - at, "since=S");
}

TEST_F(Supervisor, HoldsItsLockForLifeWritesItsPidAndItsStatusAndRemovesThemWhenStopped)
{
    for (const char* leftover : {"/var/orvanta/tessard.cfg.AbC12z",
                                 "/var/orvanta/module-supervisor.pid.x0Y9qq", "/var/orvanta/status.QQQQQQ"})
        ASSERT_TRUE(box().writeFile(leftover, "interrupted\n", 0600));
    ASSERT_TRUE(box().writeFile(agentPath, stubAgent(Agent::Sleeps), 0755));
    long long before = uptimeSeconds();
    ORVANTA_REQUIRE_STARTED(box(), startSupervisor());
    ASSERT_TRUE(waitForRun(1));
    const std::string p = std::to_string(pid);
    EXPECT_EQ(statusOnce(*sandbox, "running", before),
              "pid=" + p + "\nstate=running\nagent=" + std::to_string(agentPid(1)) +
                  "\nsince=S\nstarts=1\nlast=none\n");
    EXPECT_EQ(sandbox->readFile(pidPath), p + "\n");
    EXPECT_TRUE(holdsLock(pid));
    EXPECT_EQ(sandbox->fileMode(lockPath), mode_t{0600});
    EXPECT_EQ(replacementsLeft(), "");
    EXPECT_FALSE(sandbox->exists("/var/orvanta/module-supervisor.pid.x0Y9qq"));
    EXPECT_FALSE(sandbox->exists("/var/orvanta/status.QQQQQQ"));

    ASSERT_EQ(kill(agentPid(1), SIGKILL), 0);
    EXPECT_EQ(statusOnce(*sandbox, "pausing", before),
              "pid=" + p + "\nstate=pausing\nagent=0\nsince=S\nstarts=1\nlast=signal 9\n");
    ASSERT_TRUE(waitForRun(2, "/var/orvanta/runs", startTimeout + 5s));
    EXPECT_EQ(statusOnce(*sandbox, "running", before),
              "pid=" + p + "\nstate=running\nagent=" + std::to_string(agentPid(2)) +
                  "\nsince=S\nstarts=2\nlast=signal 9\n");

    int status = 0;
    stopWith(SIGTERM, &status);
    EXPECT_FALSE(sandbox->exists(statusPath));
    EXPECT_FALSE(sandbox->exists(pidPath));
    EXPECT_FALSE(holdsLock(pid));
}

// Both in one mount namespace, as on the router: each sandboxed start
// mounts its own overlays, whose files lock apart.
TEST_F(Supervisor, ASecondOneSaysSoAndExitsWritingAndStartingNothing)
{
    ASSERT_TRUE(box().writeFile(agentPath, stubAgent(Agent::Sleeps), 0755));
    const std::string supervisor = ORVANTA_SUPERVISOR;
    pid_t shell = box().start({"/bin/sh", "-c",
                               supervisor +
                                   " & echo $! > /var/orvanta/first\n"
                                   "until grep -qs state=running /var/orvanta/status; do sleep 0.01; done\n"
                                   "cp /var/orvanta/status /var/orvanta/status.first\n"
                                   "echo mark > /var/orvanta/tessard.cfg\n" +
                                   supervisor +
                                   " & second=$!\nwait $second\necho $second $? > /var/orvanta/second\n"
                                   "exec sleep 600\n"});
    ASSERT_GT(shell, 0) << sandbox->lastError();
    auto deadline = Clock::now() + startTimeout;
    while (!sandbox->exists("/var/orvanta/second") && Clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    // In a session of its own, out of the sandbox's reach: ended here.
    struct Ender {
        pid_t first;
        ~Ender()
        {
            if (first > 0 && kill(first, SIGTERM) == 0) {
                EXPECT_TRUE(orvanta::test::processEndsWithin(first, startTimeout));
            }
        }
    } ender{std::atoi(sandbox->readFile("/var/orvanta/first").value_or("0").c_str())};
    pid_t second = 0;
    int exitCode = -1;
    ASSERT_EQ(std::sscanf(sandbox->readFile("/var/orvanta/second").value_or("").c_str(), "%d %d", &second,
                          &exitCode),
              2);
    EXPECT_EQ(exitCode, 1);
    ASSERT_TRUE(sandbox->syslog().waitForText("another supervisor is running", 5s));
    std::string said;
    for (const SyslogMessage& m : sandbox->syslog().messages())
        if (m.pid == second)
            said += m.line() + "\n";
    EXPECT_EQ(said,
              "warning.daemon orvanta[" + std::to_string(second) + "]: another supervisor is running\n");
    const std::string first = sandbox->readFile("/var/orvanta/first").value_or("");
    EXPECT_EQ(sandbox->readFile(pidPath), first);
    EXPECT_EQ(sandbox->readFile(statusPath), sandbox->readFile("/var/orvanta/status.first"));
    EXPECT_EQ(sandbox->readFile(agentCfgPath), "mark\n");
    EXPECT_EQ(sandbox->readFile("/var/orvanta/runs/count"), "1\n");
}

// A syslog that takes nothing (stopped, hung): its socket's queue full
// before the supervisor starts. The supervisor restarts its agent after the
// usual pause and is stopped at once all the same.
TEST_F(Supervisor, WhileSyslogTakesNothingRestartsKeepTheirPauseAndAStopIsServedAtOnce)
{
    ASSERT_TRUE(box().writeFile(agentPath, stubAgent(Agent::Exits), 0755));
    ORVANTA_REQUIRE_STARTED(
        box(), startSupervisor([] {
            sockaddr_un address = {};
            address.sun_family = AF_UNIX;
            std::strcpy(address.sun_path, "/dev/log");
            unlink(address.sun_path);
            int stuck = socket(AF_UNIX, SOCK_DGRAM, 0); // kept open, never read
            int filler = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
            auto* at = reinterpret_cast<sockaddr*>(&address);
            if (bind(stuck, at, sizeof address) != 0 || connect(filler, at, sizeof address) != 0)
                _exit(125);
            while (send(filler, "<13>filler", 10, 0) == 10) {
            }
            close(filler);
        }));
    ASSERT_TRUE(waitForRun(2, "/var/orvanta/runs", startTimeout + 5s));
    struct stat first, second;
    ASSERT_EQ(stat(sandbox->hostPath("/var/orvanta/runs/1.pid").c_str(), &first), 0);
    ASSERT_EQ(stat(sandbox->hostPath("/var/orvanta/runs/2.pid").c_str(), &second), 0);
    auto pause = std::chrono::seconds(second.st_mtim.tv_sec - first.st_mtim.tv_sec) +
                 std::chrono::nanoseconds(second.st_mtim.tv_nsec - first.st_mtim.tv_nsec);
    EXPECT_GE(pause, 2900ms);
    EXPECT_LE(pause, 4000ms);

    int status = 0;
    EXPECT_LT(stopWith(SIGTERM, &status), 1s);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    EXPECT_TRUE(sandbox->syslog().texts().empty()) << "syslog was to take nothing";
}

class StopSignal : public Supervisor, public ::testing::WithParamInterface<int> {};

TEST_P(StopSignal, WhileTheAgentRunsKillsItAndExits)
{
    ASSERT_TRUE(box().writeFile(agentPath, stubAgent(Agent::Sleeps), 0755));
    ORVANTA_REQUIRE_STARTED(box(), startSupervisor());
    ASSERT_TRUE(waitForRun(1));
    pid_t agent = agentPid(1);
    ASSERT_GT(agent, 0);

    int status = 0;
    auto took = stopWith(GetParam(), &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    EXPECT_LT(took, 1s);
    if (sandbox->adoptsOrphans()) {
        int agentStatus = 0;
        ASSERT_TRUE(sandbox->waitExit(agent, 5s, &agentStatus)) << "agent still runs";
        EXPECT_TRUE(WIFSIGNALED(agentStatus) && WTERMSIG(agentStatus) == SIGKILL)
            << "agent status " << agentStatus;
    } else {
        EXPECT_TRUE(orvanta::test::processEndsWithin(agent, 5s)) << "agent still runs";
    }

    EXPECT_EQ(log(4), stoppedWhileRunning);
}

TEST_P(StopSignal, DuringThePauseExitsWithoutKill)
{
    ASSERT_TRUE(box().writeFile(agentPath, stubAgent(Agent::Exits), 0755));
    ORVANTA_REQUIRE_STARTED(box(), startSupervisor());
    ASSERT_TRUE(sandbox->syslog().waitForText("agent_terminated", startTimeout));
    std::this_thread::sleep_for(200ms); // well inside the pause

    int status = 0;
    auto took = stopWith(GetParam(), &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    EXPECT_LT(took, 1s);
    EXPECT_EQ(log(4), R"(notice.daemon orvanta[PID]: started
notice.daemon orvanta[PID]: Starting agent
notice.daemon orvanta[PID]: agent_terminated
notice.daemon orvanta[PID]: terminated
)");
}

INSTANTIATE_TEST_SUITE_P(Supervisor, StopSignal, ::testing::Values(SIGINT, SIGTERM, SIGQUIT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGINT    ? "SIGINT"
                                                : info.param == SIGTERM ? "SIGTERM"
                                                                        : "SIGQUIT");
                         });

} // namespace
