/*
 * log_line: turns the agent's log stream into syslog messages, one per line.
 *
 * The agent's logger writes lines like
 *   "\x1b[1m\x1b[31m[2024-05-01T12:00:00] [ERR] \x1b[0m\x1b[31mtext\x1b[0m\n"
 * (plain "text\n" at verbosity 0; data dumps as magenta lines indented by
 * four blanks). Each line becomes one message:
 *   - the level tag gives the severity: ERR err, WRN warning, MSG notice,
 *     DBG debug; a line without the "[time] [TAG] " prefix is info;
 *   - the prefix and every complete ANSI control sequence (ESC '[' ... final
 *     byte: the colours, and any other) are removed; the rest is kept byte
 *     for byte, except that control bytes other than tab (NUL, CR, a stray
 *     ESC, ...) are shown as "\xHH", since syslog texts are C strings;
 *   - a line longer than LOG_LINE_TEXT_MAX is sent in pieces of the line's
 *     severity: each piece but the last ends with " [...]", each but the
 *     first starts with "[...] ", and no piece splits a UTF-8 character;
 *   - a line with no text (only escape sequences, as the reset that ends a
 *     dump) gives no message; a last line without its line end is sent at
 *     the end of the stream.
 *
 * C-style, no allocation: a log_line is a fixed-size record that the
 * caller owns.
 */
#ifndef ORVANTA_LOG_LINE_H
#define ORVANTA_LOG_LINE_H

#include <stddef.h>

/* Text bytes of one message, marks included: with the syslog header
 * ("<PRI>Mmm dd hh:mm:ss tessard: ", at most 30 bytes) a datagram stays
 * within the 480 bytes that every syslog receiver must accept. */
#define LOG_LINE_TEXT_MAX 448

/* Receives each message: the severity (LOG_ERR .. LOG_DEBUG, no facility)
 * and the text, which is not NUL-terminated. */
typedef void (*log_line_emit)(void *context, int severity, const char *text, size_t length);

enum log_line_escape { LOG_LINE_TEXT, LOG_LINE_ESC, LOG_LINE_CSI };

struct log_line {
    log_line_emit emit;
    void *context;
    int severity; /* of the line being read, once decided */
    int decided;  /* the line's prefix has been looked for */
    enum log_line_escape escape;
    size_t sequence_length;
    char sequence[16]; /* a control sequence being read, after ESC '[' */
    size_t length;
    char text[LOG_LINE_TEXT_MAX];
};

void log_line_init(struct log_line *line, log_line_emit emit, void *context);

/* Takes the next bytes of the stream; calls emit for each message done. */
void log_line_feed(struct log_line *line, const char *bytes, size_t n);

/* The end of the stream: sends what is left of a last line. */
void log_line_end(struct log_line *line);

#endif
