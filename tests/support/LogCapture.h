#ifndef ORVANTA_TESTS_SUPPORT_LOGCAPTURE_H
#define ORVANTA_TESTS_SUPPORT_LOGCAPTURE_H

// What the logger writes, caught on the standard error stream: fd 2 goes
// to an anonymous memory file for the life of a capture. The one way the
// tests catch log output and mask its timestamps.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class StderrCapture {
public:
    StderrCapture()
    {
        std::fflush(stderr);
        saved = fcntl(2, F_DUPFD_CLOEXEC, 3);
        file = memfd_create("stderr", MFD_CLOEXEC);
        if (saved >= 0 && file >= 0)
            dup2(file, 2);
    }

    ~StderrCapture()
    {
        restore();
        if (file >= 0)
            close(file);
    }

    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    bool ok() const { return saved >= 0 && file >= 0; }

    // Everything written so far; the capture goes on.
    std::string text() const
    {
        std::fflush(stderr);
        std::string all;
        char chunk[65536];
        off_t at = 0;
        for (ssize_t n; (n = pread(file, chunk, sizeof chunk, at)) > 0; at += n)
            all.append(chunk, static_cast<size_t>(n));
        return all;
    }

    // Forgets what was written so far.
    void clear()
    {
        std::fflush(stderr);
        if (ftruncate(file, 0) == 0)
            lseek(file, 0, SEEK_SET);
    }

    void restore()
    {
        if (saved < 0)
            return;
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        saved = -1;
    }

private:
    int saved;
    int file;
};

// What action writes on the standard error stream, as it was written.
inline std::string stderrOf(const std::function<void()>& action)
{
    StderrCapture capture;
    action();
    return capture.text();
}

// The decorated prefixes as they are written, with the timestamp shown as
// TIME (see withoutTimes).
#define LOG_PREFIX_MSG "\x1b[1m\x1b[32m[TIME] [MSG] \x1b[0m\x1b[32m"
#define LOG_PREFIX_WRN "\x1b[1m\x1b[33m[TIME] [WRN] \x1b[0m\x1b[33m"
#define LOG_PREFIX_ERR "\x1b[1m\x1b[31m[TIME] [ERR] \x1b[0m\x1b[31m"
#define LOG_PREFIX_DBG "\x1b[1m\x1b[36m[TIME] [DBG] \x1b[0m\x1b[36m"
#define LOG_RESET "\x1b[0m"

// text with the timestamp of every decorated line ("%FT%T") replaced by
// TIME. A timestamp of any other form stays and fails the comparison.
inline std::string withoutTimes(const std::string& text)
{
    static const std::string start = "\x1b[1m\x1b[3";
    static const char form[] = "dddd-dd-ddTdd:dd:dd";
    std::string plain;
    plain.reserve(text.size());
    size_t done = 0;
    for (size_t at; (at = text.find(start, done)) != std::string::npos;) {
        size_t stamp = at + start.size() + 3;
        bool decorated = stamp + 19 + 8 <= text.size() &&
                         std::string("1236").find(text[at + start.size()]) != std::string::npos &&
                         text.compare(at + start.size() + 1, 2, "m[") == 0 &&
                         text.compare(stamp + 19, 3, "] [") == 0;
        for (size_t i = 0; decorated && i < 19; ++i) {
            char c = text[stamp + i];
            decorated = form[i] == 'd' ? c >= '0' && c <= '9' : c == form[i];
        }
        size_t next = decorated ? stamp + 19 : at + start.size();
        plain.append(text, done, (decorated ? stamp : next) - done);
        if (decorated)
            plain += "TIME";
        done = next;
    }
    plain.append(text, done, std::string::npos);
    return plain;
}

// The captured text as lines (without their line feeds), timestamps
// replaced; a last line without a line feed ends in "<no line feed>".
inline std::vector<std::string> logLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string plain = withoutTimes(text);
    size_t start = 0;
    for (size_t end; (end = plain.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(plain.substr(start, end - start));
    if (start < plain.size())
        lines.push_back(plain.substr(start) + "<no line feed>");
    return lines;
}

// One decorated line as the logger writes it at verbosity 1 and up,
// without its line feed: its time as withoutTimes masks it, or as given.
inline std::string decoratedLine(std::string prefix, const std::string& m, const char* time)
{
    return prefix.replace(prefix.find("TIME"), 4, time) + m + LOG_RESET;
}
inline std::string msgLine(const std::string& m, const char* time = "TIME")
{
    return decoratedLine(LOG_PREFIX_MSG, m, time);
}
inline std::string wrnLine(const std::string& m, const char* time = "TIME")
{
    return decoratedLine(LOG_PREFIX_WRN, m, time);
}
inline std::string errLine(const std::string& m, const char* time = "TIME")
{
    return decoratedLine(LOG_PREFIX_ERR, m, time);
}
inline std::string dbgLine(const std::string& m, const char* time = "TIME")
{
    return decoratedLine(LOG_PREFIX_DBG, m, time);
}

#endif
