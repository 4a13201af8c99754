#include "log_sender.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#define LOG_PATH "/dev/log"
#define DATAGRAM_MAX 480
#define RETRY_MS 1000

void log_sender_init(struct log_sender *sender, const char *ident, char *queue, size_t size)
{
    memset(sender, 0, sizeof *sender);
    sender->ident = ident;
    sender->queue = queue;
    sender->size = size;
    sender->fd = -1;
    sender->stamped = (time_t)-1;
    sender->reporter = "orvanta-log";
}

static size_t queued(const struct log_sender *sender)
{
    return sender->tail - sender->head;
}

static int enqueue(struct log_sender *sender, const char *datagram, size_t n)
{
    if (sender->tail + 2 + n > sender->size) {
        memmove(sender->queue, sender->queue + sender->head, queued(sender));
        sender->tail -= sender->head;
        sender->head = 0;
        if (sender->tail + 2 + n > sender->size)
            return 0;
    }
    char *record = sender->queue + sender->tail;
    record[0] = (char)(n >> 8);
    record[1] = (char)(n & 0xFF);
    memcpy(record + 2, datagram, n);
    sender->tail += 2 + n;
    return 1;
}

/* "Mmm dd hh:mm:ss", local time, worked out once a second. */
static const char *stamp(struct log_sender *sender)
{
    time_t now = time(NULL);
    if (now != sender->stamped) {
        struct tm local;
        sender->stamped = now;
        if (!localtime_r(&now, &local) ||
            strftime(sender->stamp, sizeof sender->stamp, "%b %e %T", &local) == 0)
            sender->stamp[0] = '\0';
    }
    return sender->stamp;
}

static int queue_message(struct log_sender *sender, int severity, const char *text, size_t length)
{
    char datagram[DATAGRAM_MAX];
    int header = snprintf(datagram, sizeof datagram, "<%d>%s %s: ", LOG_DAEMON | severity, stamp(sender),
                          sender->ident);
    if (header < 0 || (size_t)header >= sizeof datagram)
        return 0;
    if (length > sizeof datagram - (size_t)header)
        length = sizeof datagram - (size_t)header;
    memcpy(datagram + header, text, length);
    return enqueue(sender, datagram, (size_t)header + length);
}

/* Once the queue has drained to half, the count of what was lost goes
 * where the lost messages would have been. */
static void report_dropped(struct log_sender *sender)
{
    if (sender->dropped == 0 || queued(sender) > sender->size / 2)
        return;
    char text[96];
    int n = snprintf(text, sizeof text, "%s: dropped %lu line%s: syslog was slow, full or absent",
                     sender->reporter, sender->dropped, sender->dropped == 1 ? "" : "s");
    if (n > 0 && (size_t)n < sizeof text && queue_message(sender, LOG_WARNING, text, (size_t)n))
        sender->dropped = 0;
}

void log_sender_add(struct log_sender *sender, int severity, const char *text, size_t length)
{
    report_dropped(sender);
    if (sender->dropped > 0 || !queue_message(sender, severity, text, length))
        ++sender->dropped;
}

/* A connected socket of type to /dev/log, or -1 with errno. */
static int open_log(int type)
{
    struct sockaddr_un address;
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, LOG_PATH, sizeof LOG_PATH);
    int fd = socket(AF_UNIX, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, (struct sockaddr *)&address, sizeof address) == 0)
        return fd;
    int error = errno;
    close(fd);
    errno = error;
    return -1;
}

/* A datagram socket as syslog's own, else a stream where syslog listens on
 * one (as libc's syslog() falls back). A stream connect that would wait (the
 * daemon's backlog full) counts as failed: tried again a second later. */
static int connect_log(struct log_sender *sender, long long now_ms)
{
    if (sender->fd >= 0)
        return 1;
    if (now_ms < sender->retry_at)
        return 0;
    sender->stream = 0;
    sender->fd = open_log(SOCK_DGRAM);
    if (sender->fd < 0 && errno == EPROTOTYPE) {
        sender->stream = 1;
        sender->fd = open_log(SOCK_STREAM);
    }
    if (sender->fd >= 0)
        return 1;
    sender->retry_at = now_ms + RETRY_MS;
    return 0;
}

/* Length of the first message in the queue. */
static size_t first_length(const struct log_sender *sender)
{
    const char *record = sender->queue + sender->head;
    return (size_t)(unsigned char)record[0] << 8 | (unsigned char)record[1];
}

static void pop_first(struct log_sender *sender, size_t n)
{
    sender->head += 2 + n;
    sender->partial = 0;
    if (sender->head == sender->tail)
        sender->head = sender->tail = 0;
}

static ssize_t send_retrying(int fd, const struct msghdr *message)
{
    ssize_t sent;
    do
        sent = sendmsg(fd, message, MSG_DONTWAIT | MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent;
}

/* 1 sent (or dropped for good), 0 syslog takes nothing now, -1 the
 * connection failed. */
static int send_first(struct log_sender *sender)
{
    size_t n = first_length(sender);
    /* On a stream, what is left of the message and its NUL. */
    static char nul = '\0';
    size_t left = n - sender->partial;
    struct iovec parts[2] = {{sender->queue + sender->head + 2 + sender->partial, left}, {&nul, 1}};
    struct msghdr message;
    memset(&message, 0, sizeof message);
    message.msg_iov = left > 0 ? parts : parts + 1;
    message.msg_iovlen = sender->stream && left > 0 ? 2 : 1;
    ssize_t sent = send_retrying(sender->fd, &message);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS))
        return 0;
    if (sent < 0 && (sender->stream || errno != EMSGSIZE))
        return -1;
    if (sent < 0) {
        ++sender->dropped;
    } else if (sender->stream && sender->partial + (size_t)sent < n + 1) {
        sender->partial += (size_t)sent;
        return 0;
    }
    pop_first(sender, n);
    return 1;
}

void log_sender_flush(struct log_sender *sender, long long now_ms)
{
    /* A daemon that restarted refuses the old connection: connect again at
     * once, but only once, and then a second later. */
    int reconnected = 0;
    for (;;) {
        report_dropped(sender);
        if (queued(sender) == 0 || !connect_log(sender, now_ms))
            return;
        int result = send_first(sender);
        if (result == 0)
            return;
        if (result < 0) {
            log_sender_close(sender);
            if (reconnected++)
                sender->retry_at = now_ms + RETRY_MS;
        }
    }
}

int log_sender_poll(const struct log_sender *sender, long long now_ms, struct pollfd *entry)
{
    entry->fd = -1;
    entry->events = 0;
    entry->revents = 0;
    if (log_sender_idle(sender))
        return -1;
    if (sender->fd < 0)
        return sender->retry_at > now_ms ? (int)(sender->retry_at - now_ms) : 0;
    entry->fd = sender->fd;
    entry->events = POLLOUT;
    /* Should the socket not say when it takes messages again. */
    return RETRY_MS;
}

int log_sender_idle(const struct log_sender *sender)
{
    return queued(sender) == 0 && sender->dropped == 0;
}

void log_sender_close(struct log_sender *sender)
{
    if (sender->fd >= 0)
        close(sender->fd);
    sender->fd = -1;
    /* Its rest on another connection would arrive as a message of its own. */
    if (sender->partial > 0) {
        pop_first(sender, first_length(sender));
        ++sender->dropped;
    }
}
