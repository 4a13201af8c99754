// The log relay as the agent meets it: a burst of lines while syslog is
// gone, or runs and reads nothing (on a datagram or a stream /dev/log), in
// a sandbox that this test program enters.
#include "LogCapture.h"
#include "SandboxTesting.h"
#include "TempDir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ostream>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using namespace orvanta::test;
using Clock = std::chrono::steady_clock;

namespace {

Sandbox* sandbox = nullptr;

// Resident memory of pid in KiB, from /proc/PID/status.
long residentKiB(pid_t pid)
{
    std::string status = readFileBytes("/proc/" + std::to_string(pid) + "/status").value_or("");
    std::size_t at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

// A line as the agent's logger writes it, in one write.
std::string logLine(int number)
{
    return msgLine("line " + std::to_string(number), "2024-05-01T12:34:56") + "\n";
}

// Writes a line to the pipe (non-blocking, below PIPE_BUF: all or
// nothing), waiting for room at most 5 s: a relay that stopped reading
// fails the test instead of hanging it.
bool writeAll(int fd, const std::string& bytes)
{
    for (;;) {
        if (write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()))
            return true;
        pollfd room{fd, POLLOUT, 0};
        if (errno != EAGAIN || poll(&room, 1, 5000) != 1)
            return false;
    }
}

// Walks the messages: the lines in order, each whole and once, each gap in
// their numbers reported where it is, with its size, nothing else. Gives
// the lines dropped in all.
long checkGapsReported(const std::vector<SyslogMessage>& messages, int lines)
{
    int next = 1;
    long dropped = 0;
    for (const SyslogMessage& m : messages) {
        unsigned long count = 0;
        int number = 0;
        if (std::sscanf(m.text.c_str(), "orvanta-log: dropped %lu line", &count) == 1) {
            EXPECT_EQ(m.priority, LOG_WARNING) << m.raw;
            next += static_cast<int>(count);
            dropped += static_cast<long>(count);
        } else if (std::sscanf(m.text.c_str(), "line %d", &number) == 1) {
            EXPECT_EQ(m.priority, LOG_NOTICE) << m.raw;
            EXPECT_EQ(m.text, "line " + std::to_string(number)) << m.raw;
            EXPECT_EQ(number, next) << "lost without a report, out of order or twice";
            next = number + 1;
        } else {
            ADD_FAILURE() << "not a line sent: " << m.raw;
        }
    }
    EXPECT_EQ(next, lines + 1) << "the last lines lost without a report";
    return dropped;
}

// How syslog fails to take the burst: gone (no /dev/log), or running on a
// socket that it does not read.
struct Syslog {
    const char* name;
    SyslogRecorder::Kind kind;
    bool present;
};

void PrintTo(const Syslog& syslog, std::ostream* out)
{
    *out << syslog.name;
}

class LogRelay : public testing::TestWithParam<Syslog> {};

TEST_P(LogRelay, ABurstNeverHoldsTheWriterUpAndTheLossIsReportedOnceSyslogReads)
{
    ORVANTA_REQUIRE_SANDBOX();
    ASSERT_NE(sandbox, nullptr) << "could not enter the sandbox";
    SyslogRecorder syslog(GetParam().kind);
    if (GetParam().present)
        ASSERT_EQ(syslog.bindUnread("/dev/log"), 0);
    else
        ASSERT_TRUE(unlink("/dev/log") == 0 || errno == ENOENT);
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    ASSERT_EQ(fcntl(pipeFds[1], F_SETFL, O_NONBLOCK), 0);
    pid_t relay = fork();
    if (relay == 0) {
        dup2(pipeFds[0], STDIN_FILENO);
        execl(ORVANTA_RELAY, ORVANTA_RELAY, static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(relay, 0);
    close(pipeFds[0]);
    const int out = pipeFds[1];

    const int lines = 100000;
    Clock::duration longestWrite{}, all{};
    long memoryEarly = -1;
    for (int number = 1; number <= lines; ++number) {
        std::string line = logLine(number);
        auto before = Clock::now();
        ASSERT_TRUE(writeAll(out, line)) << "line " << number;
        auto took = Clock::now() - before;
        longestWrite = std::max(longestWrite, took);
        all += took;
        if (number == lines / 10)
            memoryEarly = residentKiB(relay);
    }
    for (int queued = 1; ioctl(out, FIONREAD, &queued) == 0 && queued > 0;)
        std::this_thread::sleep_for(1ms);
    long memoryLate = residentKiB(relay);
    auto ms = [](Clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    };
    std::printf(
        "%d lines written in %.0f ms, the longest write %.2f ms; relay resident %ld KiB, then %ld KiB\n",
        lines, ms(all), ms(longestWrite), memoryEarly, memoryLate);
    EXPECT_LT(longestWrite, 250ms) << "the writer was held up";
    EXPECT_GT(memoryEarly, 0);
    EXPECT_LE(memoryLate - memoryEarly, 64) << "the relay's memory grew with the lines it dropped";
    // A stop of the module's process group, a hang-up: the relay stays for
    // the last lines.
    EXPECT_EQ(kill(relay, SIGTERM), 0);
    EXPECT_EQ(kill(relay, SIGHUP), 0);

    // Syslog reads (again): what the relay kept arrives, then the count of
    // what it dropped, and the lines after that.
    if (GetParam().present)
        syslog.start();
    else
        ASSERT_EQ(syslog.bind("/dev/log"), 0);
    ASSERT_TRUE(syslog.waitFor(
        [](const SyslogMessage& m) { return m.text.find(" dropped ") != std::string::npos; }, 10s));
    ASSERT_TRUE(writeAll(out, logLine(lines + 1)));
    ASSERT_TRUE(syslog.waitForText("line " + std::to_string(lines + 1), 10s));
    std::vector<SyslogMessage> messages = syslog.messages();
    long dropped = checkGapsReported(messages, lines + 1);
    EXPECT_GT(dropped, 0);
    std::printf("%ld lines kept and sent, %ld reported dropped\n", lines + 1 - dropped, dropped);
    for (const SyslogMessage& m : messages) {
        EXPECT_EQ(m.ident, "tessard") << m.raw;
        EXPECT_EQ(m.facility, LOG_DAEMON) << m.raw;
    }

    // The last writer is gone: the relay ends by itself.
    close(out);
    int status = -1;
    EXPECT_TRUE(sandbox->waitExit(relay, 5s, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

INSTANTIATE_TEST_SUITE_P(Syslog, LogRelay,
                         testing::Values(Syslog{"Gone", SyslogRecorder::Kind::Datagram, false},
                                         Syslog{"DatagramNotRead", SyslogRecorder::Kind::Datagram, true},
                                         Syslog{"StreamNotRead", SyslogRecorder::Kind::Stream, true}),
                         [](const testing::TestParamInfo<Syslog>& info) { return info.param.name; });

} // namespace

int main(int argc, char** argv)
{
    // A relay that died must fail the test, not end it.
    signal(SIGPIPE, SIG_IGN);
    return runAllTestsInSandbox(argc, argv, sandbox);
}
