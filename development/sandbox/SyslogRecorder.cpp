#include "SyslogRecorder.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orvanta::test {

namespace {

const char* const severityNames[] = {"emerg", "alert", "crit", "err", "warning", "notice", "info", "debug"};
const char* const facilityNames[] = {"kern",   "user",     "mail",    "daemon", "auth",     "syslog",
                                     "lpr",    "news",     "uucp",    "cron",   "authpriv", "ftp",
                                     "ntp",    "security", "console", "cron2",  "local0",   "local1",
                                     "local2", "local3",   "local4",  "local5", "local6",   "local7"};

bool isTimestamp(const std::string& s, std::size_t at)
{
    // "Mmm dd hh:mm:ss " (day padded with a blank)
    return s.size() >= at + 16 && s[at + 3] == ' ' && s[at + 6] == ' ' && s[at + 9] == ':' &&
           s[at + 12] == ':' && s[at + 15] == ' ';
}

} // namespace

std::string SyslogMessage::line() const
{
    std::string out;
    out += priority >= 0 && priority < 8 ? severityNames[priority] : "?";
    out += '.';
    int f = facility >> 3;
    out += facility >= 0 && f < 24 ? facilityNames[f] : "?";
    out += ' ' + ident;
    if (pid >= 0)
        out += '[' + std::to_string(pid) + ']';
    out += ": " + text;
    return out;
}

SyslogMessage parseSyslogDatagram(const std::string& datagram)
{
    SyslogMessage m;
    m.raw = datagram;
    std::size_t at = 0;
    if (datagram.size() > 2 && datagram[0] == '<') {
        std::size_t close = datagram.find('>');
        if (close != std::string::npos && close > 1) {
            int pri = std::atoi(datagram.substr(1, close - 1).c_str());
            m.priority = pri & 7;
            m.facility = pri & ~7;
            at = close + 1;
        }
    }
    if (isTimestamp(datagram, at))
        at += 16;
    std::size_t colon = datagram.find(": ", at);
    if (colon == std::string::npos) {
        m.text = datagram.substr(at);
        return m;
    }
    std::string tag = datagram.substr(at, colon - at);
    std::size_t bracket = tag.find('[');
    if (bracket != std::string::npos && tag.back() == ']') {
        m.ident = tag.substr(0, bracket);
        m.pid = std::atol(tag.substr(bracket + 1).c_str());
    } else {
        m.ident = tag;
    }
    m.text = datagram.substr(colon + 2);
    return m;
}

SyslogRecorder::SyslogRecorder(Kind socketKind)
    : kind(socketKind),
      socketFd(socket(AF_UNIX, (socketKind == Kind::Stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0))
{
}

SyslogRecorder::~SyslogRecorder()
{
    {
        std::lock_guard<std::mutex> lock(guard);
        stopping = true;
    }
    if (receiver.joinable())
        receiver.join();
    if (socketFd >= 0)
        close(socketFd);
}

int SyslogRecorder::bind(const char* path)
{
    int error = bindUnread(path);
    if (error == 0)
        start();
    return error;
}

int SyslogRecorder::bindUnread(const char* path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketFd < 0 || std::strlen(path) >= sizeof address.sun_path)
        return EINVAL;
    std::strcpy(address.sun_path, path);
    unlink(path);
    if (::bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return errno;
    if (kind == Kind::Stream && listen(socketFd, 16) != 0)
        return errno;
    return 0;
}

void SyslogRecorder::start()
{
    std::lock_guard<std::mutex> lock(guard);
    if (running || socketFd < 0)
        return;
    running = true;
    receiver = std::thread([this] { receive(); });
}

void SyslogRecorder::receive()
{
    std::vector<char> buffer(65536);
    std::vector<int> connections;
    std::vector<std::string> pieces; // of each connection: a message begun
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(guard);
            if (stopping)
                break;
        }
        if (kind == Kind::Stream) {
            receiveStreams(connections, pieces);
            continue;
        }
        pollfd p{socketFd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0)
            continue;
        ssize_t n = recv(socketFd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n >= 0)
            keep(std::string(buffer.data(), static_cast<std::size_t>(n)));
    }
    for (int fd : connections)
        close(fd);
}

void SyslogRecorder::receiveStreams(std::vector<int>& connections, std::vector<std::string>& pieces)
{
    std::vector<pollfd> entries{{socketFd, POLLIN, 0}};
    for (int fd : connections)
        entries.push_back({fd, POLLIN, 0});
    if (poll(entries.data(), entries.size(), 20) <= 0)
        return;
    char chunk[65536];
    for (std::size_t i = connections.size(); i > 0; --i) {
        if (!entries[i].revents)
            continue;
        ssize_t n = recv(connections[i - 1], chunk, sizeof chunk, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        std::string& piece = pieces[i - 1];
        for (ssize_t at = 0; at < n; ++at) {
            if (chunk[at] != '\0') {
                piece += chunk[at];
                continue;
            }
            keep(piece);
            piece.clear();
        }
        if (n > 0)
            continue;
        // A message cut by the end of its connection is kept as it came.
        if (!piece.empty())
            keep(piece);
        close(connections[i - 1]);
        connections.erase(connections.begin() + static_cast<long>(i - 1));
        pieces.erase(pieces.begin() + static_cast<long>(i - 1));
    }
    if (entries[0].revents) {
        int fd = accept4(socketFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            connections.push_back(fd);
            pieces.emplace_back();
        }
    }
}

void SyslogRecorder::keep(const std::string& message)
{
    SyslogMessage m = parseSyslogDatagram(message);
    m.arrival = Clock::now();
    std::lock_guard<std::mutex> lock(guard);
    if (copyFd >= 0) {
        std::string line = m.line() + "\n";
        ssize_t ignored = write(copyFd, line.data(), line.size());
        (void)ignored;
    }
    kept.push_back(std::move(m));
    newMessage.notify_all();
}

void SyslogRecorder::copyTo(int fd)
{
    std::lock_guard<std::mutex> lock(guard);
    copyFd = fd;
}

std::vector<SyslogMessage> SyslogRecorder::messages() const
{
    std::lock_guard<std::mutex> lock(guard);
    return kept;
}

std::vector<std::string> SyslogRecorder::texts() const
{
    std::vector<std::string> out;
    for (const SyslogMessage& m : messages())
        out.push_back(m.text);
    return out;
}

std::size_t SyslogRecorder::count() const
{
    std::lock_guard<std::mutex> lock(guard);
    return kept.size();
}

std::optional<SyslogMessage> SyslogRecorder::waitFor(const Predicate& match,
                                                     std::chrono::milliseconds timeout,
                                                     std::size_t from) const
{
    auto deadline = Clock::now() + timeout;
    std::unique_lock<std::mutex> lock(guard);
    for (std::size_t i = from;;) {
        for (; i < kept.size(); ++i)
            if (match(kept[i]))
                return kept[i];
        if (newMessage.wait_until(lock, deadline) == std::cv_status::timeout && i == kept.size())
            return std::nullopt;
    }
}

std::optional<SyslogMessage> SyslogRecorder::waitForText(const std::string& text,
                                                         std::chrono::milliseconds timeout,
                                                         std::size_t from) const
{
    return waitFor([&](const SyslogMessage& m) { return m.text == text; }, timeout, from);
}

bool SyslogRecorder::waitForCount(std::size_t n, std::chrono::milliseconds timeout) const
{
    auto deadline = Clock::now() + timeout;
    std::unique_lock<std::mutex> lock(guard);
    return newMessage.wait_until(lock, deadline, [&] { return kept.size() >= n; });
}

} // namespace orvanta::test
