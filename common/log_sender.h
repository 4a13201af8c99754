/*
 * log_sender: writes messages to syslog without ever waiting for it.
 *
 * Each message goes to "/dev/log" as one datagram
 * "<PRI>Mmm dd hh:mm:ss IDENT: TEXT", facility daemon, stamped when it is
 * added. Where syslog listens on a stream socket instead (connecting a
 * datagram socket fails with EPROTOTYPE), the messages go over a stream
 * connection, each ended by a NUL byte, as libc's syslog() frames them.
 * A stream may take part of a message; the rest follows when it takes
 * more, and a message cut by a broken connection is counted as lost,
 * never sent again in part or whole. A message that syslog does not take
 * at once (slow, full, absent) waits in a queue that the caller gives. When the queue is full,
 * messages are dropped and counted until it has drained to half; then a
 * warning with the count takes the place of the lost messages. A missing or
 * refusing /dev/log is tried again a second later, so a syslog daemon that
 * restarts is found again.
 *
 * C-style, no allocation: a log_sender is a fixed-size record that the
 * caller owns, and so is its queue.
 */
#ifndef ORVANTA_LOG_SENDER_H
#define ORVANTA_LOG_SENDER_H

#include <poll.h>
#include <stddef.h>
#include <time.h>

struct log_sender {
    const char *ident;     /* "tessard", or with a pid "orvanta[1234]" */
    int fd;                /* -1 while not connected */
    int stream;            /* fd is a stream connection */
    size_t partial;        /* bytes of the first message already on the stream */
    long long retry_at;    /* monotonic milliseconds: next connection attempt */
    unsigned long dropped; /* messages lost since the last warning */
    size_t head, tail;     /* queue[head..tail): records of a 2-byte length and a datagram */
    size_t size;           /* of queue */
    char *queue;
    time_t stamped;
    char stamp[16];
    const char *reporter; /* names the sender in the warning of lost messages */
};

/* ident and queue (size bytes, at least one message of 482) must live as
 * long as the sender. The warning of lost messages begins "orvanta-log: ",
 * the relay's name, unless reporter is set to another afterwards. */
void log_sender_init(struct log_sender *sender, const char *ident, char *queue, size_t size);

/* Queues one message (severity LOG_EMERG .. LOG_DEBUG), or drops it. The
 * text needs no NUL; it is cut to fit one datagram. */
void log_sender_add(struct log_sender *sender, int severity, const char *text, size_t length);

/* Sends what syslog takes now; connects when a connection is due. */
void log_sender_flush(struct log_sender *sender, long long now_ms);

/* Sets *entry up for poll (the connection, for POLLOUT while messages wait;
 * fd -1 while none waits, so that a connection that syslog closed does not
 * wake poll for ever) and gives the longest wait (ms, -1 for none) before
 * the next flush. */
int log_sender_poll(const struct log_sender *sender, long long now_ms, struct pollfd *entry);

/* True when nothing waits to be sent or reported. */
int log_sender_idle(const struct log_sender *sender);

/* Closes the connection; a message begun on the stream is counted as lost. */
void log_sender_close(struct log_sender *sender);

#endif
