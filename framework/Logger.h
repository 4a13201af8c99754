#ifndef ORVANTA_FRAMEWORK_LOGGER_H
#define ORVANTA_FRAMEWORK_LOGGER_H

#include "Export.h"

#include <cstdarg>

// The framework's one diagnostic channel: coloured, time-stamped lines on
// the standard error stream, filtered by a verbosity that only the host
// sets. Levels: 0 MSG, 1 WRN, 2 ERR, 3 DBG.
//
// Each line (and each data dump) is formatted whole and then written with
// one call, so lines from several threads never interleave.
class ORVANTA_EXPORT Logger {
public:
    enum Level : unsigned char { MSG = 0, WRN = 1, ERR = 2, DBG = 3 };

    Logger();

    // The process-wide logger, created on first use (thread-safe).
    static Logger* instance();

    void setVerbosity(unsigned char level);
    unsigned char getVerbosity();

    static void log(unsigned char level, const char* format, ...) ORVANTA_PRINTF(2, 3);
    void logMessage(unsigned char level, const char* format, ...) ORVANTA_PRINTF(3, 4);
    void vLogMessage(unsigned char level, const char* format, va_list args) ORVANTA_PRINTF(3, 0);

    // Dumps a multi-line text indented by four blanks (verbosity 2 and up);
    // a null text is dumped as the empty one.
    static void data(const char* text);
    void logData(const char* text);

    // Formats the current local time ("%FT%T") into timeText.
    const char* logTime();

private:
    unsigned char verbosity;
    char timeText[20];
};

#endif
