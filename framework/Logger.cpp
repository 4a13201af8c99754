#include "Logger.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// Tag and ANSI colour of each level; a decorated line starts with
// "\x1b[1m\x1b[<colour>m[<time>] [<tag>] \x1b[0m\x1b[<colour>m".
const char* const tags[] = {"MSG", "WRN", "ERR", "DBG"};
const char* const colours[] = {"32", "33", "31", "36"};
const char reset[] = "\x1b[0m";

// Local time as "%FT%T" into text (20 bytes); reentrant, so that lines
// logged on several threads never share a timestamp buffer.
void formatNow(char* text, size_t size)
{
    time_t now = time(nullptr);
    struct tm local;
    if (!localtime_r(&now, &local) || strftime(text, size, "%FT%T", &local) == 0)
        text[0] = '\0';
}

// What ends every line: the colour reset and the line feed. Room for it is
// kept whatever else fails, so that a line that could not grow still ends
// and the next one is never glued to it (the log relay would file both as
// one, at the first one's level).
const size_t endRoom = sizeof reset - 1 + 1;

// A line under construction: a stack buffer that moves to the heap only
// for long messages. When memory runs out it keeps what fitted.
class LineText {
public:
    LineText() : text(small), size(0), capacity(sizeof small), failed(false) {}
    ~LineText()
    {
        if (text != small)
            free(text);
    }
    LineText(const LineText&) = delete;
    LineText& operator=(const LineText&) = delete;

    void append(const char* bytes, size_t n)
    {
        if (!reserve(n))
            return;
        memcpy(text + size, bytes, n);
        size += n;
    }

    void appendf(const char* format, ...) ORVANTA_PRINTF(2, 3)
    {
        va_list args;
        va_start(args, format);
        vappendf(format, args);
        va_end(args);
    }

    // What does not fit when memory runs out is cut off, and nothing is
    // added after it.
    void vappendf(const char* format, va_list args) ORVANTA_PRINTF(2, 0)
    {
        if (failed)
            return;
        va_list again;
        va_copy(again, args);
        int n = vsnprintf(text + size, room() + 1, format, args);
        if (n >= 0 && static_cast<size_t>(n) > room() && reserve(static_cast<size_t>(n)))
            n = vsnprintf(text + size, room() + 1, format, again);
        va_end(again);
        // Not std::min: an instance of a standard template would be
        // exported from the library where the compiler does not inline it.
        if (n >= 0)
            size += static_cast<size_t>(n) < room() ? static_cast<size_t>(n) : room();
    }

    // Ends the line with end (at most endRoom bytes), into the room kept
    // for it.
    void finish(const char* end)
    {
        size_t n = strlen(end);
        if (n > endRoom)
            n = endRoom;
        memcpy(text + size, end, n);
        size += n;
    }

    bool cut() const { return failed; }
    bool endsLine() const { return size > 0 && text[size - 1] == '\n'; }

    // One write of everything collected: stdio locks the stream for the
    // call, and an unbuffered stderr passes it to the kernel as it is.
    void emit() const
    {
        if (size)
            fwrite(text, 1, size, stderr);
    }

private:
    // Bytes that may still be added before the room kept for the end.
    size_t room() const { return capacity - endRoom - size; }

    bool reserve(size_t n)
    {
        if (failed)
            return false;
        if (room() >= n)
            return true;
        size_t wanted = size + n + endRoom + 1;
        char* grown = static_cast<char*>(text == small ? malloc(wanted) : realloc(text, wanted));
        if (!grown) {
            failed = true;
            return false;
        }
        if (text == small)
            memcpy(grown, small, size);
        text = grown;
        capacity = wanted;
        return true;
    }

    char small[512];
    char* text;
    size_t size;
    size_t capacity;
    bool failed;
};

} // namespace

Logger::Logger() : verbosity(0), timeText() {}

Logger* Logger::instance()
{
    static Logger logger;
    return &logger;
}

void Logger::setVerbosity(unsigned char level)
{
    verbosity = level;
}

unsigned char Logger::getVerbosity()
{
    return verbosity;
}

void Logger::log(unsigned char level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    instance()->vLogMessage(level, format, args);
    va_end(args);
}

void Logger::logMessage(unsigned char level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vLogMessage(level, format, args);
    va_end(args);
}

void Logger::vLogMessage(unsigned char level, const char* format, va_list args)
{
    if (level == WRN && verbosity == 0)
        return;
    if (level == DBG && verbosity < 2)
        return;

    LineText line;
    if (verbosity != 0) {
        char now[sizeof timeText];
        formatNow(now, sizeof now);
        unsigned tag = level <= 3 ? level : 3;
        line.appendf("\x1b[1m\x1b[%sm[%s] [%s] \x1b[0m\x1b[%sm", colours[tag], now, tags[tag], colours[tag]);
    }
    line.vappendf(format, args);
    line.finish(verbosity != 0 ? "\x1b[0m\n" : "\n");
    line.emit();
}

void Logger::data(const char* text)
{
    instance()->logData(text);
}

void Logger::logData(const char* text)
{
    if (verbosity < 2)
        return;
    if (!text)
        text = "";

    LineText dump;
    dump.append("\x1b[35m", 5);
    const char* rest = text;
    for (const char* end; (end = strchr(rest, '\n')) != nullptr; rest = end + 1)
        dump.appendf("    %.*s\n", static_cast<int>(end - rest), rest);
    if (*rest)
        dump.appendf("    %s\n", rest);
    // A dump cut short still ends its last line.
    dump.finish(dump.cut() && !dump.endsLine() ? "\n\x1b[0m" : reset);
    dump.emit();
}

const char* Logger::logTime()
{
    formatNow(timeText, sizeof timeText);
    return timeText;
}
