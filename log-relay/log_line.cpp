#include "log_line.h"

#include "calls_callback.h"

#include <string.h>
#include <syslog.h>

static const char CUT_MARK[] = " [...]";
static const char CONTINUED_MARK[] = "[...] ";
#define MARK_LENGTH (sizeof CUT_MARK - 1)

/* "[%FT%T] [TAG] ": 0 stands for a digit. The logger leaves the time empty
 * when it cannot format it. */
static const char TIME_PATTERN[] = "0000-00-00T00:00:00";
#define TIME_LENGTH (sizeof TIME_PATTERN - 1)
#define PREFIX_MAX (1 + TIME_LENGTH + 3 + 3 + 2)

static const struct {
    char tag[4];
    int severity;
} LEVELS[] = {{"ERR", LOG_ERR}, {"WRN", LOG_WARNING}, {"MSG", LOG_NOTICE}, {"DBG", LOG_DEBUG}};

/* The emitter is the relay's or a test's. */
CALLS_CALLBACK static void pass_on(struct log_line *line, size_t length)
{
    line->emit(line->context, line->severity, line->text, length);
}

void log_line_init(struct log_line *line, log_line_emit emit, void *context)
{
    memset(line, 0, sizeof *line);
    line->emit = emit;
    line->context = context;
    line->escape = LOG_LINE_TEXT;
}

static int is_time(const char *text, size_t length)
{
    if (length == 0)
        return 1;
    if (length != TIME_LENGTH)
        return 0;
    for (size_t i = 0; i < TIME_LENGTH; ++i) {
        int digit = text[i] >= '0' && text[i] <= '9';
        if (TIME_PATTERN[i] == '0' ? !digit : text[i] != TIME_PATTERN[i])
            return 0;
    }
    return 1;
}

/* Length of the "[time] [TAG] " prefix at the start of text, 0 when there is
 * none; sets *severity from the tag. */
static size_t prefix_length(const char *text, size_t length, int *severity)
{
    const char *close = length > 0 && text[0] == '[' ? (const char *)memchr(text, ']', length) : NULL;
    if (!close)
        return 0;
    size_t time_end = (size_t)(close - text);
    if (!is_time(text + 1, time_end - 1) || length < time_end + 8)
        return 0;
    const char *tag = text + time_end;
    if (memcmp(tag, "] [", 3) != 0 || memcmp(tag + 6, "] ", 2) != 0)
        return 0;
    for (size_t i = 0; i < sizeof LEVELS / sizeof LEVELS[0]; ++i) {
        if (memcmp(tag + 3, LEVELS[i].tag, 3) == 0) {
            *severity = LEVELS[i].severity;
            return time_end + 8;
        }
    }
    return 0;
}

/* Looks for the prefix once, as soon as enough of the line is there. */
static void decide(struct log_line *line)
{
    line->decided = 1;
    line->severity = LOG_INFO;
    size_t skip = prefix_length(line->text, line->length, &line->severity);
    memmove(line->text, line->text + skip, line->length - skip);
    line->length -= skip;
}

/* Where a piece may end: before a UTF-8 character whose last bytes are
 * still to come. */
static size_t character_boundary(const char *text, size_t length)
{
    size_t at = length, following = 0;
    while (at > 0 && following < 3 && ((unsigned char)text[at - 1] & 0xC0) == 0x80) {
        --at;
        ++following;
    }
    if (at == 0)
        return length;
    unsigned char lead = (unsigned char)text[at - 1];
    size_t needed = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    return following < needed ? at - 1 : length;
}

/* Sends the text so far as a piece of a longer line and starts the next
 * piece with the continuation mark and the bytes of a cut character. */
static void cut(struct log_line *line)
{
    if (!line->decided)
        decide(line);
    size_t end = character_boundary(line->text, line->length);
    char carried[3];
    size_t carry = line->length - end;
    memcpy(carried, line->text + end, carry);
    memcpy(line->text + end, CUT_MARK, MARK_LENGTH);
    pass_on(line, end + MARK_LENGTH);
    memcpy(line->text, CONTINUED_MARK, MARK_LENGTH);
    memcpy(line->text + MARK_LENGTH, carried, carry);
    line->length = MARK_LENGTH + carry;
}

static void append(struct log_line *line, const char *bytes, size_t n)
{
    if (line->length + n > LOG_LINE_TEXT_MAX - MARK_LENGTH)
        cut(line);
    memcpy(line->text + line->length, bytes, n);
    line->length += n;
    if (!line->decided && line->length >= PREFIX_MAX)
        decide(line);
}

/* Text bytes as they are; control bytes but tab as "\xHH". */
static void put_byte(struct log_line *line, unsigned char c)
{
    if ((c >= 0x20 && c != 0x7F) || c == '\t') {
        append(line, (const char *)&c, 1);
        return;
    }
    static const char HEX[] = "0123456789abcdef";
    char shown[4] = {'\\', 'x', HEX[c >> 4], HEX[c & 15]};
    append(line, shown, sizeof shown);
}

static void end_line(struct log_line *line)
{
    if (!line->decided)
        decide(line);
    if (line->length > 0)
        pass_on(line, line->length);
    line->length = 0;
    line->decided = 0;
}

/* An ESC that starts no complete control sequence is text: shown with what
 * was read after it. */
static void flush_escape(struct log_line *line)
{
    if (line->escape == LOG_LINE_TEXT)
        return;
    put_byte(line, 0x1B);
    if (line->escape == LOG_LINE_CSI) {
        put_byte(line, '[');
        for (size_t i = 0; i < line->sequence_length; ++i)
            put_byte(line, (unsigned char)line->sequence[i]);
    }
    line->escape = LOG_LINE_TEXT;
}

static void take_text(struct log_line *line, unsigned char c)
{
    if (c == 0x1B) {
        line->escape = LOG_LINE_ESC;
        line->sequence_length = 0;
    } else if (c == '\n') {
        end_line(line);
    } else {
        put_byte(line, c);
    }
}

/* ESC '[', then parameter and intermediate bytes (0x20-0x3F), then one
 * final byte (0x40-0x7E) ends the sequence. */
static void take_escape(struct log_line *line, unsigned char c)
{
    if (line->escape == LOG_LINE_ESC && c == '[') {
        line->escape = LOG_LINE_CSI;
    } else if (line->escape == LOG_LINE_CSI && c >= 0x40 && c <= 0x7E) {
        line->escape = LOG_LINE_TEXT;
    } else if (line->escape == LOG_LINE_CSI && c >= 0x20 && c <= 0x3F &&
               line->sequence_length < sizeof line->sequence) {
        line->sequence[line->sequence_length++] = (char)c;
    } else {
        flush_escape(line);
        take_text(line, c);
    }
}

void log_line_feed(struct log_line *line, const char *bytes, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = (unsigned char)bytes[i];
        if (line->escape == LOG_LINE_TEXT)
            take_text(line, c);
        else
            take_escape(line, c);
    }
}

void log_line_end(struct log_line *line)
{
    flush_escape(line);
    end_line(line);
}
