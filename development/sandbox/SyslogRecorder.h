// Records the messages that programs send to a syslog socket: datagrams,
// or on a stream socket messages each ended by a NUL byte (as libc's
// syslog() frames them there).
#ifndef ORVANTA_SANDBOX_SYSLOGRECORDER_H
#define ORVANTA_SANDBOX_SYSLOGRECORDER_H

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace orvanta::test {

// One syslog datagram as glibc's syslog() sends it:
// "<PRI>Mmm dd hh:mm:ss IDENT[PID]: TEXT".
struct SyslogMessage {
    int priority = -1; // severity: LOG_EMERG (0) .. LOG_DEBUG (7)
    int facility = -1; // as syslog.h defines it, e.g. LOG_DAEMON (24)
    std::string ident;
    long pid = -1; // -1 when the datagram carries none
    std::string text;
    std::string raw; // the whole datagram
    std::chrono::steady_clock::time_point arrival;

    // "notice.daemon orvanta[123]: started"
    std::string line() const;
};

// Parses a datagram; fields that cannot be parsed keep their defaults and
// text holds what follows the priority.
SyslogMessage parseSyslogDatagram(const std::string& datagram);

// A Unix datagram (or stream) socket, created unbound and close-on-exec at
// construction so that it can be bound later inside another mount
// namespace (a forked child binds it at "/dev/log" after mounting its /dev
// overlay). Once bound (by anyone), start() makes a thread receive every
// message.
class SyslogRecorder {
public:
    using Clock = std::chrono::steady_clock;
    using Predicate = std::function<bool(const SyslogMessage&)>;
    enum class Kind { Datagram, Stream };

    explicit SyslogRecorder(Kind kind = Kind::Datagram);
    ~SyslogRecorder();
    SyslogRecorder(const SyslogRecorder&) = delete;
    SyslogRecorder& operator=(const SyslogRecorder&) = delete;

    int fd() const { return socketFd; }
    // Binds the socket to path in the caller's mount namespace (an existing
    // entry there is unlinked first) and starts receiving. 0 or an errno.
    int bind(const char* path = "/dev/log");
    // Binds (and for a stream listens) like bind(), but reads nothing until
    // start(): a syslog that runs and does not read. 0 or an errno.
    int bindUnread(const char* path = "/dev/log");
    // Starts the receiving thread (idempotent); for a socket bound elsewhere.
    void start();
    // From now on also appends each message's line() and a line feed to
    // the file descriptor, as it arrives (for shell scripts to read).
    void copyTo(int fd);

    // Everything received so far, in arrival order.
    std::vector<SyslogMessage> messages() const;
    std::vector<std::string> texts() const;
    std::size_t count() const;

    // Waits up to timeout for a message, at index `from` or later, that
    // matches; gives it, or nothing on timeout.
    std::optional<SyslogMessage> waitFor(const Predicate& match, std::chrono::milliseconds timeout,
                                         std::size_t from = 0) const;
    std::optional<SyslogMessage> waitForText(const std::string& text, std::chrono::milliseconds timeout,
                                             std::size_t from = 0) const;
    // Waits until at least n messages have arrived.
    bool waitForCount(std::size_t n, std::chrono::milliseconds timeout) const;

private:
    void receive();
    // Reads what the stream connections and the listener have.
    void receiveStreams(std::vector<int>& connections, std::vector<std::string>& pieces);
    void keep(const std::string& message);

    Kind kind;
    int socketFd = -1;
    int copyFd = -1;
    bool running = false;
    bool stopping = false;
    std::thread receiver;
    mutable std::mutex guard;
    mutable std::condition_variable newMessage;
    std::vector<SyslogMessage> kept;
};

} // namespace orvanta::test

#endif
