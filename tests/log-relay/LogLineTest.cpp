// The rules that turn the agent's log stream into syslog messages.
#include "LogCapture.h"
#include "log_line.h"

#include <gtest/gtest.h>
#include <syslog.h>
#include <string>
#include <utility>
#include <vector>

namespace {

using Messages = std::vector<std::pair<int, std::string>>;

void collect(void* context, int severity, const char* text, size_t length)
{
    static_cast<Messages*>(context)->emplace_back(severity, std::string(text, length));
}

// The stream fed in reads of `step` bytes (0: all at once), then ended.
Messages relay(const std::string& stream, size_t step = 0)
{
    Messages messages;
    log_line line;
    log_line_init(&line, collect, &messages);
    for (size_t at = 0; at < stream.size(); at += step ? step : stream.size())
        log_line_feed(&line, stream.data() + at, std::min(step ? step : stream.size(), stream.size() - at));
    log_line_end(&line);
    return messages;
}

// The time of the decorated lines fed in.
const char stamp[] = "2024-05-01T12:34:56";

TEST(LogLine, TurnsEachLineIntoOneMessage)
{
    const std::string longText(LOG_LINE_TEXT_MAX * 2, 'x');
    const size_t piece = LOG_LINE_TEXT_MAX - 6;
    const std::string euro = "\xe2\x82\xac";
    const std::string euros = std::string(piece - 1, 'e') + euro + "!";
    const struct {
        const char* what;
        std::string stream;
        Messages expected;
    } cases[] = {
        {"levels",
         errLine("failed", stamp) + "\n" + wrnLine("odd", stamp) + "\n" + msgLine("ok", stamp) + "\n" +
             dbgLine("detail", stamp) + "\n",
         {{LOG_ERR, "failed"}, {LOG_WARNING, "odd"}, {LOG_NOTICE, "ok"}, {LOG_DEBUG, "detail"}}},
        {"verbosity 0: no tag", "No mobile info available\n", {{LOG_INFO, "No mobile info available"}}},
        {"a time the logger could not format", errLine("x", "") + "\n", {{LOG_ERR, "x"}}},
        {"one prefix only",
         msgLine("[2024-05-01T12:34:56] [ERR] x", stamp) + "\n",
         {{LOG_NOTICE, "[2024-05-01T12:34:56] [ERR] x"}}},
        {"no prefix: bad time, unknown tag, no blank",
         "[2024-05-01 12:34:56] [ERR] a\n[2024-05-01T12:34:56] [INF] b\n[2024-05-01T12:34:56] [ERR]c\n",
         {{LOG_INFO, "[2024-05-01 12:34:56] [ERR] a"},
          {LOG_INFO, "[2024-05-01T12:34:56] [INF] b"},
          {LOG_INFO, "[2024-05-01T12:34:56] [ERR]c"}}},
        {"a dump and the line after it",
         "\x1b[35m    a\n    \n    b\n\x1b[0m" + msgLine("next", stamp) + "\n",
         {{LOG_INFO, "    a"}, {LOG_INFO, "    "}, {LOG_INFO, "    b"}, {LOG_NOTICE, "next"}}},
        {"a dump at the end", "\x1b[35m    a\n\x1b[0m", {{LOG_INFO, "    a"}}},
        {"empty lines", "\n\x1b[0m\n" + msgLine("", stamp) + "\n", {}},
        {"text kept byte for byte",
         "50% of \\ 'it' \"ok\"\ttab \xc3\xa4\n",
         {{LOG_INFO, "50% of \\ 'it' \"ok\"\ttab \xc3\xa4"}}},
        {"control bytes", std::string("a\0b\rc\x7f\n", 7), {{LOG_INFO, "a\\x00b\\x0dc\\x7f"}}},
        {"other control sequences", "a\x1b[2Kb\x1b[?25lc\n", {{LOG_INFO, "abc"}}},
        {"stray escapes",
         "a\x1bZb\x1b\x1b[31mc\x1b[3\x01"
         "d\x1b[31\n",
         {{LOG_INFO, "a\\x1bZb\\x1bc\\x1b[3\\x01d\\x1b[31"}}},
        {"an overlong sequence",
         "a\x1b[" + std::string(17, '1') + "mb\n",
         {{LOG_INFO, "a\\x1b[" + std::string(17, '1') + "mb"}}},
        {"the last line without its line end", "one\ntwo", {{LOG_INFO, "one"}, {LOG_INFO, "two"}}},
        {"an escape at the end", "one\x1b", {{LOG_INFO, "one\\x1b"}}},
        {"a long line in pieces, the next line whole",
         errLine(longText, stamp) + "\n" + "next\n",
         {{LOG_ERR, std::string(piece, 'x') + " [...]"},
          {LOG_ERR, "[...] " + std::string(piece - 6, 'x') + " [...]"},
          {LOG_ERR, "[...] " + std::string(longText.size() - 2 * piece + 6, 'x')},
          {LOG_INFO, "next"}}},
        {"a line that just fits", std::string(piece, 'y') + "\n", {{LOG_INFO, std::string(piece, 'y')}}},
        {"no piece ends inside a character",
         euros + "\n",
         {{LOG_INFO, std::string(piece - 1, 'e') + " [...]"}, {LOG_INFO, "[...] " + euro + "!"}}},
        {"a control byte shown whole in the next piece",
         std::string(piece - 1, 'z') + "\x01\n",
         {{LOG_INFO, std::string(piece - 1, 'z') + " [...]"}, {LOG_INFO, "[...] \\x01"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(relay(c.stream), c.expected);
        EXPECT_EQ(relay(c.stream, 1), c.expected) << "read a byte at a time";
    }
}

} // namespace
