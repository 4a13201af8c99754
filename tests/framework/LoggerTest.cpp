// Log lines are compared whole, byte for byte; only the timestamp of a
// decorated line is replaced by TIME once its form has been checked.
#include "Logger.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <ctime>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

// Sets the process-wide logger's verbosity for one test and puts it back.
class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        before = Logger::instance()->getVerbosity();
        ASSERT_TRUE(capture.ok());
    }
    void TearDown() override { Logger::instance()->setVerbosity(before); }

    void verbosity(unsigned char level) { Logger::instance()->setVerbosity(level); }

    // One of each level, a level above DBG and a dump.
    static void logEveryKind()
    {
        Logger::log(Logger::MSG, "message %d", 0);
        Logger::log(Logger::WRN, "warning %s", "one");
        Logger::log(Logger::ERR, "error %c", '2');
        Logger::log(Logger::DBG, "debug %u", 3u);
        Logger::log(7, "level %d", 7);
        Logger::data("a\nb");
    }

    StderrCapture capture;
    unsigned char before = 0;
};

// What thread t logs: short texts and texts longer than a pipe's atomic write.
std::string bodyOf(int t)
{
    return std::string(t % 2 ? 5000 : 40, static_cast<char>('a' + t));
}

void viaVaList(Logger& logger, unsigned char level, const char* format, ...) ORVANTA_PRINTF(3, 4);
void viaVaList(Logger& logger, unsigned char level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    logger.vLogMessage(level, format, args);
    va_end(args);
}

} // namespace

TEST_F(LoggerTest, StartsSilentAndKeepsTheVerbositySet)
{
    Logger own;
    EXPECT_EQ(own.getVerbosity(), 0);
    own.setVerbosity(200);
    EXPECT_EQ(own.getVerbosity(), 200);
    EXPECT_EQ(Logger::instance(), Logger::instance());
}

TEST_F(LoggerTest, VerbosityZeroWritesOnlyPlainMessagesAndErrors)
{
    verbosity(0);
    logEveryKind();
    EXPECT_EQ(capture.text(),
              "message 0\n"
              "error 2\n"
              "level 7\n");
}

TEST_F(LoggerTest, VerbosityOneDecoratesAndAddsWarnings)
{
    verbosity(1);
    logEveryKind();
    std::string text = capture.text();
    // One line of the log a line here.
    // clang-format off
    EXPECT_EQ(withoutTimes(text), LOG_PREFIX_MSG "message 0" LOG_RESET "\n"
                                  LOG_PREFIX_WRN "warning one" LOG_RESET "\n"
                                  LOG_PREFIX_ERR "error 2" LOG_RESET "\n"
                                  LOG_PREFIX_DBG "level 7" LOG_RESET "\n");
    // clang-format on
}

TEST_F(LoggerTest, VerbosityTwoAndAboveWriteEverything)
{
    // One line of the log a line here.
    // clang-format off
    const std::string expected = LOG_PREFIX_MSG "message 0" LOG_RESET "\n"
                                 LOG_PREFIX_WRN "warning one" LOG_RESET "\n"
                                 LOG_PREFIX_ERR "error 2" LOG_RESET "\n"
                                 LOG_PREFIX_DBG "debug 3" LOG_RESET "\n"
                                 LOG_PREFIX_DBG "level 7" LOG_RESET "\n"
                                 "\x1b[35m    a\n    b\n\x1b[0m";
    // clang-format on
    for (unsigned char level : {2, 3, 4, 255}) {
        SCOPED_TRACE(static_cast<int>(level));
        capture.clear();
        verbosity(level);
        logEveryKind();
        EXPECT_EQ(withoutTimes(capture.text()), expected);
    }
}

TEST_F(LoggerTest, LevelsAboveDebugAreAlwaysWritten)
{
    for (unsigned char level : {4, 100, 255}) {
        SCOPED_TRACE(static_cast<int>(level));
        capture.clear();
        verbosity(0);
        Logger::log(level, "high");
        verbosity(1);
        Logger::log(level, "high");
        EXPECT_EQ(withoutTimes(capture.text()), "high\n" LOG_PREFIX_DBG "high" LOG_RESET "\n");
    }
}

TEST_F(LoggerTest, FormatsByPrintfRules)
{
    verbosity(0);
    Logger::log(Logger::MSG, "%5.2f|%-4s|%x|%%|%s|%ld", 3.14159, "ab", 255u, "", -9L);
    Logger::log(Logger::MSG, "%s", "no %d here");
    EXPECT_EQ(capture.text(), " 3.14|ab  |ff|%||-9\nno %d here\n");
}

TEST_F(LoggerTest, WritesMessagesLongerThanAnyBufferWhole)
{
    std::string longText;
    for (int i = 0; longText.size() < 70000; ++i)
        longText += "part " + std::to_string(i) + ";";
    verbosity(0);
    Logger::log(Logger::ERR, "<%s>", longText.c_str());
    verbosity(3);
    Logger::log(Logger::DBG, "%s", longText.substr(0, 513).c_str());
    Logger::log(Logger::WRN, "%s", longText.substr(0, 5000).c_str());
    EXPECT_EQ(withoutTimes(capture.text()), "<" + longText + ">\n" + dbgLine(longText.substr(0, 513)) + "\n" +
                                                wrnLine(longText.substr(0, 5000)) + "\n");
}

namespace {
// While set, allocations by this program's own code fail (it is linked
// with --wrap=malloc): the logger's line buffer cannot grow.
bool mallocFails = false;
} // namespace

extern "C" void* __real_malloc(size_t size);
extern "C" void* __wrap_malloc(size_t size)
{
    return mallocFails ? nullptr : __real_malloc(size);
}

TEST_F(LoggerTest, ALineThatCannotGrowKeepsWhatFittedAndStillEnds)
{
    const std::string longText(1000, 'z');
    // What each writes, given the number of z's that fitted, and then the
    // line after it.
    const struct {
        unsigned char verbosity;
        void (*log)(const std::string&);
        std::string (*expected)(const std::string& fitted);
    } cases[] = {
        {0, [](const std::string& t) { Logger::log(Logger::ERR, "%s", t.c_str()); },
         [](const std::string& fitted) {
             return fitted + "\nnext\n";
         }},
        {1, [](const std::string& t) { Logger::log(Logger::ERR, "%s", t.c_str()); },
         [](const std::string& fitted) {
             return errLine(fitted) + "\n" + msgLine("next") + "\n";
         }},
        {2, [](const std::string& t) { Logger::data(("a\n" + t + "\nb").c_str()); },
         [](const std::string& fitted) {
             return "\x1b[35m    a\n    " + fitted + "\n\x1b[0m" + msgLine("next") + "\n";
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.verbosity));
        verbosity(c.verbosity);
        capture.clear();
        mallocFails = true;
        c.log(longText);
        mallocFails = false;
        Logger::log(Logger::MSG, "next");
        std::string written = withoutTimes(capture.text());
        size_t fitted = static_cast<size_t>(std::count(written.begin(), written.end(), 'z'));
        EXPECT_LT(fitted, longText.size()) << "the buffer grew";
        EXPECT_EQ(written, c.expected(std::string(fitted, 'z')));
    }
}

TEST_F(LoggerTest, ObjectsLogUnderTheirOwnVerbosity)
{
    verbosity(0);
    Logger own;
    own.setVerbosity(2);
    own.logMessage(Logger::DBG, "own %s", "debug");
    viaVaList(own, Logger::WRN, "via %s", "va_list");
    own.logData("x");
    viaVaList(*Logger::instance(), Logger::WRN, "not shown");
    viaVaList(*Logger::instance(), Logger::MSG, "shown %d", 1);
    EXPECT_EQ(withoutTimes(capture.text()),
              dbgLine("own debug") + "\n" + wrnLine("via va_list") + "\n\x1b[35m    x\n\x1b[0mshown 1\n");
}

TEST_F(LoggerTest, DumpsIndentEachLine)
{
    verbosity(2);
    const std::pair<const char*, std::string> cases[] = {
        {"a\n\nb", "\x1b[35m    a\n    \n    b\n\x1b[0m"},
        {"ends\n", "\x1b[35m    ends\n\x1b[0m"},
        {"", "\x1b[35m\x1b[0m"},
        {"\n", "\x1b[35m    \n\x1b[0m"},
        {"one line", "\x1b[35m    one line\n\x1b[0m"},
        {"100% %s %n\ttab", "\x1b[35m    100% %s %n\ttab\n\x1b[0m"},
        {nullptr, "\x1b[35m\x1b[0m"},
    };
    for (const auto& [text, dump] : cases) {
        SCOPED_TRACE(text ? text : "(null)");
        capture.clear();
        Logger::data(text);
        EXPECT_EQ(capture.text(), dump);
    }

    std::string longLine(3000, 'x');
    capture.clear();
    Logger::data((longLine + "\n" + longLine).c_str());
    EXPECT_EQ(capture.text(), "\x1b[35m    " + longLine + "\n    " + longLine + "\n\x1b[0m");
}

TEST_F(LoggerTest, DumpsNeedVerbosityTwo)
{
    for (unsigned char level : {0, 1}) {
        verbosity(level);
        Logger::data("hidden\n");
        Logger::instance()->logData("hidden too");
    }
    EXPECT_EQ(capture.text(), "");
}

TEST_F(LoggerTest, TimestampsAreLocalTimeToTheSecond)
{
    verbosity(1);
    time_t before = time(nullptr);
    Logger::log(Logger::MSG, "when");
    const char* stamp = Logger::instance()->logTime();
    time_t after = time(nullptr);

    std::string text = capture.text();
    ASSERT_EQ(withoutTimes(text), msgLine("when") + "\n") << text;
    for (std::string shown : {text.substr(sizeof "\x1b[1m\x1b[32m[" - 1, 19), std::string(stamp)}) {
        SCOPED_TRACE(shown);
        ASSERT_EQ(shown.size(), 19u);
        struct tm fields = {};
        const char* end = strptime(shown.c_str(), "%Y-%m-%dT%H:%M:%S", &fields);
        ASSERT_TRUE(end && *end == '\0');
        fields.tm_isdst = -1;
        time_t at = mktime(&fields);
        EXPECT_GE(at, before);
        EXPECT_LE(at, after);
    }
}

TEST_F(LoggerTest, LinesFromSeveralThreadsNeverInterleave)
{
    verbosity(3);
    const int threads = 6, perThread = 150;
    std::atomic<bool> go(false);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t, &go] {
            std::string body = bodyOf(t);
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < perThread; ++i) {
                Logger::log(static_cast<unsigned char>(i % 4), "%d:%d:%s", t, i, body.c_str());
                if (i % 10 == 0)
                    Logger::data(("dump " + std::to_string(t) + "\n" + body).c_str());
            }
        });
    }
    go = true;
    for (std::thread& worker : workers)
        worker.join();

    // A dump ends with a reset that the next line follows directly: take
    // dumps off the front of a line before checking the line.
    const std::string dumpStart = "\x1b[35m    dump ";
    const char* const prefixes[] = {LOG_PREFIX_MSG, LOG_PREFIX_WRN, LOG_PREFIX_ERR, LOG_PREFIX_DBG};
    std::map<int, int> next, dumps;
    std::vector<std::string> lines = logLines(capture.text());
    for (size_t n = 0; n < lines.size(); ++n) {
        std::string line = lines[n];
        while (line.compare(0, dumpStart.size(), dumpStart) == 0) {
            ASSERT_LT(n + 2, lines.size());
            int t = line[dumpStart.size()] - '0';
            ASSERT_EQ(line, dumpStart + std::to_string(t));
            EXPECT_EQ(lines[n + 1], "    " + bodyOf(t));
            ++dumps[t];
            line = lines[n += 2];
            ASSERT_EQ(line.compare(0, 4, LOG_RESET), 0);
            line.erase(0, 4);
        }
        if (line.empty())
            continue;
        size_t tag = line.find("] [");
        ASSERT_NE(tag, std::string::npos) << line.substr(0, 100);
        size_t prefixLength = sizeof LOG_PREFIX_MSG - 1;
        int t = -1, i = -1, used = 0;
        ASSERT_EQ(sscanf(line.c_str() + prefixLength, "%d:%d:%n", &t, &i, &used), 2) << line.substr(0, 100);
        EXPECT_EQ(line.substr(0, prefixLength), prefixes[i % 4]);
        EXPECT_EQ(i, next[t]++) << "the lines of one thread come in order";
        EXPECT_EQ(line.substr(prefixLength + static_cast<size_t>(used)), bodyOf(t) + LOG_RESET);
    }
    for (int t = 0; t < threads; ++t) {
        EXPECT_EQ(next[t], perThread);
        EXPECT_EQ(dumps[t], perThread / 10);
    }
}
