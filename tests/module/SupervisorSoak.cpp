// The production module-supervisor over many restarts and many stop
// signals, in a sandbox. CI runs a short version; scripts/soak-supervisor
// the long one. Environment:
//   ORVANTA_SOAK_RESTARTS  restarts of an agent that exits at once (3)
//   ORVANTA_SOAK_TRIALS    stop signals at random moments (30)
//   ORVANTA_SOAK_SEED      the random moments' seed (a fresh one, printed)
#include "Processes.h"
#include "Sandbox.h"
#include "SandboxTesting.h"
#include "TempDir.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <thread>

// The address sanitizer's quarantine holds freed memory back on purpose.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVANTA_SANITIZED 1
#endif
#endif

using namespace std::chrono_literals;
using orvanta::test::Sandbox;
using orvanta::test::SyslogMessage;
using Clock = std::chrono::steady_clock;

namespace {

const char agentPath[] = "/opt/orvanta/bin/tessard";

unsigned setting(const char* name, unsigned fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? static_cast<unsigned>(std::strtoul(value, nullptr, 10)) : fallback;
}

struct Sample {
    unsigned restart;
    std::size_t descriptors;
    std::size_t zombies;
    long rssKiB;
};

Sample sample(pid_t pid, unsigned restart)
{
    Sample s{restart, 0, 0, -1};
    const std::string proc = "/proc/" + std::to_string(pid);
    if (DIR* fds = opendir((proc + "/fd").c_str())) {
        while (dirent* e = readdir(fds))
            s.descriptors += e->d_name[0] != '.';
        closedir(fds);
    }
    for (pid_t child : orvanta::test::childrenOf(pid))
        s.zombies += orvanta::test::processState(child) == 'Z';
    std::string status = orvanta::test::readFileBytes(proc + "/status").value_or("");
    std::size_t at = status.find("VmRSS:");
    if (at != std::string::npos)
        s.rssKiB = std::atol(status.c_str() + at + 6);
    return s;
}

// Waits for the next message with this text from index *from on, and moves
// *from past it.
bool next(Sandbox& box, const std::string& text, std::size_t* from, std::chrono::milliseconds timeout)
{
    std::size_t at = *from;
    auto found = box.syslog().waitFor(
        [&](const SyslogMessage& m) {
            ++at;
            return m.text == text;
        },
        timeout, *from);
    *from = at;
    return found.has_value();
}

TEST(SupervisorSoak, RestartsKeepDescriptorsZombiesAndMemoryFlat)
{
    ORVANTA_REQUIRE_SANDBOX();
    const unsigned restarts = setting("ORVANTA_SOAK_RESTARTS", 3);
    Sandbox box;
    ASSERT_TRUE(box.writeFile(agentPath, "#!/bin/sh\nexit 0\n", 0755)) << box.lastError();
    pid_t pid = box.start({ORVANTA_SUPERVISOR});
    ORVANTA_REQUIRE_STARTED(box, pid);

    const unsigned every = std::max(1u, restarts / 20);
    std::vector<Sample> samples;
    std::size_t from = 0;
    for (unsigned n = 1; n <= restarts; ++n) {
        ASSERT_TRUE(next(box, "agent_terminated", &from, 10s)) << "agent run " << n << " never ended";
        if (n == 1 || n % every == 0 || n == restarts) {
            std::this_thread::sleep_for(200ms); // inside the pause: the agent has been reaped
            samples.push_back(sample(pid, n));
            const Sample& s = samples.back();
            std::printf("restart %5u: descriptors %zu, zombies %zu, VmRSS %ld KiB\n", s.restart,
                        s.descriptors, s.zombies, s.rssKiB);
            std::fflush(stdout);
        }
    }

    std::vector<double> pauses;
    std::vector<SyslogMessage> messages = box.syslog().messages();
    for (std::size_t i = 0; i + 1 < messages.size(); ++i)
        if (messages[i].text == "agent_terminated" && messages[i + 1].text == "Starting agent")
            pauses.push_back(
                std::chrono::duration<double>(messages[i + 1].arrival - messages[i].arrival).count());
    ASSERT_FALSE(pauses.empty());
    std::sort(pauses.begin(), pauses.end());
    std::printf("pause before a restart over %zu restarts: min %.3f s, median %.3f s, max %.3f s\n",
                pauses.size(), pauses.front(), pauses[pauses.size() / 2], pauses.back());
    // Arrivals are stamped by the recorder's thread, which a loaded machine
    // may hold back for a while; the pause itself is a 3 s deadline.
    EXPECT_GE(pauses.front(), 2.5);
    EXPECT_GE(pauses[pauses.size() / 2], 2.9);
    EXPECT_LE(pauses[pauses.size() / 2], 3.5);

    for (const Sample& s : samples) {
        EXPECT_EQ(s.descriptors, samples.front().descriptors) << "restart " << s.restart;
        EXPECT_EQ(s.zombies, 0u) << "restart " << s.restart;
    }
#if !defined(ORVANTA_EMULATED) && !defined(ORVANTA_SANITIZED) // under qemu-user the memory is the emulator's
    // The first restart has touched every page a restart needs.
    EXPECT_LE(samples.back().rssKiB, samples.front().rssKiB + 8) << "resident memory grew";
#endif
}

// Where the supervisor was when the stop came, read from its messages:
// "starting", "running" (spawning included: the stop waits until the agent
// exists), "pausing"; empty when the messages break the supervisor's order.
std::string stoppedIn(const std::vector<std::string>& t)
{
    if (t.size() < 2 || t.front() != "started" || t.back() != "terminated")
        return "";
    std::size_t i = 1;
    while (i + 1 < t.size() && t[i] == "Starting agent") {
        ++i;
        if (t[i] == "agent_terminated") {
            ++i;
            continue;
        }
        return t[i] == "sending SIGKILL to agent" && i + 2 == t.size() ? "running" : "";
    }
    if (i + 1 != t.size())
        return "";
    return t[i - 1] == "started" ? "starting" : "pausing";
}

enum class Aim { Early, Running, Pausing };

// Waits for the moment from which the random delay counts.
bool reach(Sandbox& box, pid_t pid, Aim aim)
{
    std::size_t from = 0;
    switch (aim) {
    case Aim::Early: {
#ifdef ORVANTA_EMULATED // the emulator catches every signal itself from its start
        (void)pid;
        return next(box, "started", &from, 20s);
#else
        const unsigned long stopSignals = 1ul << (SIGINT - 1) | 1ul << (SIGQUIT - 1) | 1ul << (SIGTERM - 1);
        auto deadline = Clock::now() + 5s;
        while (Clock::now() < deadline) {
            std::string status =
                orvanta::test::readFileBytes("/proc/" + std::to_string(pid) + "/status").value_or("");
            std::size_t at = status.find("SigCgt:");
            if (at != std::string::npos &&
                (std::strtoul(status.c_str() + at + 7, nullptr, 16) & stopSignals) == stopSignals)
                return true;
            std::this_thread::sleep_for(100us);
        }
        return false;
#endif
    }
    case Aim::Running:
        return next(box, "Starting agent", &from, 20s);
    case Aim::Pausing:
        return next(box, "agent_terminated", &from, 20s);
    }
    return false;
}

TEST(SupervisorSoak, StopSignalsAtRandomMomentsEndItCleanly)
{
    ORVANTA_REQUIRE_SANDBOX();
    const unsigned trials = setting("ORVANTA_SOAK_TRIALS", 30);
    const unsigned seed = setting("ORVANTA_SOAK_SEED", std::random_device{}());
    std::printf("seed %u\n", seed);
    std::mt19937 random(seed);
    const int signals[] = {SIGINT, SIGTERM, SIGQUIT};
    const char* const names[] = {"SIGINT", "SIGTERM", "SIGQUIT"};
    // Delays after the aimed-at moment: handlers installed, agent started
    // (it lives 0.5 s), agent ended (the pause lasts 3 s).
    const struct {
        Aim aim;
        std::chrono::microseconds longest;
    } aims[] = {{Aim::Early, 40000us}, {Aim::Running, 400000us}, {Aim::Pausing, 2900000us}};
    std::map<std::string, std::map<std::string, unsigned>> hits; // state, signal: trials
    // Long enough to read that a stop can land while the settings load.
    std::string settings;
    for (int i = 0; i < 100000; ++i)
        settings += "FILLER=" + std::to_string(i) + "\n";
    settings += "MOD_ORVANTA_INTERVAL=1\n";

    for (unsigned t = 0; t < trials && !HasFailure(); ++t) {
        const int s = t % 3;
        const auto& aim = aims[t / 3 % 3];
        SCOPED_TRACE("trial " + std::to_string(t) + ", " + names[s]);
        Sandbox box;
        ASSERT_TRUE(box.writeFile(agentPath, "#!/bin/sh\nexec sleep 0.5\n", 0755)) << box.lastError();
        ASSERT_TRUE(box.writeFile("/opt/orvanta/etc/settings", settings, 0600)) << box.lastError();
        pid_t pid = box.start({ORVANTA_SUPERVISOR});
        ORVANTA_REQUIRE_STARTED(box, pid);
        ASSERT_TRUE(reach(box, pid, aim.aim));
        // The first round stops right at each moment, so that every state is
        // hit however fast this machine reads the settings; later rounds at
        // random moments after it.
        const auto delay = random() % (aim.longest.count() + 1);
        std::this_thread::sleep_for(std::chrono::microseconds(t < 9 ? 0 : delay));

        // How soon a stop is served is the supervisor test's (a small
        // settings file, at chosen moments); here the long settings file
        // takes its time to read on a busy machine, so only the 5 s bound.
        ASSERT_EQ(kill(pid, signals[s]), 0);
        int status = 0;
        ASSERT_TRUE(box.waitExit(pid, 5s, &status)) << "the supervisor did not stop";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
        EXPECT_TRUE(box.syslog().waitForText("terminated", 5s));
        std::vector<std::string> texts = box.syslog().texts();
        std::string state = stoppedIn(texts);
        std::string transcript;
        for (const std::string& text : texts)
            transcript += text + "; ";
        EXPECT_NE(state, "") << "messages out of order: " << transcript;
        auto deadline = Clock::now() + 2s;
        while (!orvanta::test::livingGroupMembers(pid).empty() && Clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        EXPECT_EQ(orvanta::test::livingGroupMembers(pid), std::vector<pid_t>{})
            << "agent left: " << transcript;
        ++hits[state][names[s]];
    }

    for (const auto& [state, bySignal] : hits)
        for (const auto& [signal, count] : bySignal)
            std::printf("stopped while %-8s by %-7s: %u trials\n", state.c_str(), signal.c_str(), count);
    if (trials >= 9 && !HasFailure()) {
        for (const char* state : {"starting", "running", "pausing"})
            EXPECT_GT(hits[state].size(), 0u) << "no trial hit the state " << state;
    }
}

} // namespace
