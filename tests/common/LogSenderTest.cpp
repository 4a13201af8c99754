// The syslog sender on a stream /dev/log (in a sandbox that this test
// program enters): each message ended by a NUL byte, whole and once, when
// the stream takes a few bytes at a time or breaks in the middle of one.
// The stream's sendmsg is the kernel's, cut down to what a test allows
// (the program is linked with --wrap=sendmsg).
#include "SandboxTesting.h"
#include "log_sender.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

using namespace orvanta::test;

namespace {

Sandbox* sandbox = nullptr;

// Bytes one sendmsg may take; 0: as many as the kernel takes.
size_t takeAtMost = 0;

} // namespace

extern "C" ssize_t __real_sendmsg(int fd, const struct msghdr* message, int flags);

extern "C" ssize_t __wrap_sendmsg(int fd, const struct msghdr* message, int flags)
{
    if (takeAtMost == 0)
        return __real_sendmsg(fd, message, flags);
    struct iovec parts[8];
    struct msghdr cut = *message;
    cut.msg_iov = parts;
    cut.msg_iovlen = 0;
    size_t left = takeAtMost;
    for (size_t i = 0; i < message->msg_iovlen && i < 8 && left > 0; ++i) {
        parts[i] = message->msg_iov[i];
        parts[i].iov_len = std::min(parts[i].iov_len, left);
        left -= parts[i].iov_len;
        ++cut.msg_iovlen;
    }
    return __real_sendmsg(fd, &cut, flags);
}

namespace {

// A stream /dev/log that accepts when asked.
class StreamLog {
public:
    StreamLog() : listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, "/dev/log");
        unlink("/dev/log");
        bound = ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                listen(listener, 4) == 0;
    }
    ~StreamLog()
    {
        close(listener);
        unlink("/dev/log");
    }
    StreamLog(const StreamLog&) = delete;
    StreamLog& operator=(const StreamLog&) = delete;

    bool ok() const { return bound; }
    // The next connection, or -1 when none comes within 10 s.
    int accept() const
    {
        pollfd incoming{listener, POLLIN, 0};
        return poll(&incoming, 1, 10000) == 1 ? accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    }

private:
    int listener;
    bool bound = false;
};

// What a connection carries: the messages, each up to its NUL as
// "severity.facility ident: text" (the time left out), and a piece
// without its NUL as "cut: ..." once the sender closed the connection.
// Reads until `messages` NULs came, or the connection ended.
std::vector<std::string> receive(int connection, size_t messages)
{
    std::vector<std::string> got;
    std::string piece;
    char byte;
    for (size_t nuls = 0; nuls < messages;) {
        pollfd readable{connection, POLLIN, 0};
        if (poll(&readable, 1, 10000) != 1 || read(connection, &byte, 1) != 1)
            break;
        if (byte != '\0') {
            piece += byte;
            continue;
        }
        got.push_back(parseSyslogDatagram(piece).line());
        piece.clear();
        ++nuls;
    }
    if (!piece.empty())
        got.push_back("cut: " + piece);
    return got;
}

// Flushes until nothing waits (at most 1000 times).
void flushAll(log_sender& sender)
{
    for (int i = 0; i < 1000 && !log_sender_idle(&sender); ++i)
        log_sender_flush(&sender, 0);
}

class LogSenderStream : public testing::Test {
protected:
    void SetUp() override
    {
        ORVANTA_REQUIRE_SANDBOX();
        ASSERT_NE(sandbox, nullptr) << "could not enter the sandbox";
        ASSERT_TRUE(log.ok());
        log_sender_init(&sender, "tessard", queue, sizeof queue);
        log_sender_add(&sender, LOG_NOTICE, "one", 3);
        log_sender_add(&sender, LOG_ERR, "two\ttab", 7);
        log_sender_add(&sender, LOG_DEBUG, "three", 5);
    }
    void TearDown() override
    {
        takeAtMost = 0;
        log_sender_close(&sender);
    }

    StreamLog log;
    char queue[2048];
    log_sender sender;
};

TEST_F(LogSenderStream, MessagesTakenAFewBytesAtATimeArriveWholeAndOnce)
{
    takeAtMost = 7;
    flushAll(sender);
    EXPECT_TRUE(log_sender_idle(&sender));
    int connection = log.accept();
    ASSERT_GE(connection, 0);
    log_sender_close(&sender);
    EXPECT_EQ(receive(connection, 4),
              (std::vector<std::string>{"notice.daemon tessard: one", "err.daemon tessard: two\ttab",
                                        "debug.daemon tessard: three"}));
    close(connection);
}

TEST_F(LogSenderStream, AMessageCutByABrokenConnectionIsCountedNeverSentAgain)
{
    takeAtMost = 10;
    log_sender_flush(&sender, 0);
    int first = log.accept();
    ASSERT_GE(first, 0);
    // Syslog goes away with ten bytes of the first message.
    char begun[10];
    ASSERT_EQ(read(first, begun, sizeof begun), 10);
    close(first);

    takeAtMost = 0;
    flushAll(sender);
    int second = log.accept();
    ASSERT_GE(second, 0);
    log_sender_close(&sender);
    EXPECT_EQ(receive(second, 4),
              (std::vector<std::string>{
                  "err.daemon tessard: two\ttab", "debug.daemon tessard: three",
                  "warning.daemon tessard: orvanta-log: dropped 1 line: syslog was slow, full or absent"}));
    close(second);
}

} // namespace

int main(int argc, char** argv)
{
    signal(SIGPIPE, SIG_IGN);
    return runAllTestsInSandbox(argc, argv, sandbox);
}
