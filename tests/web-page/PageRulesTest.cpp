// The page's rules for what comes from outside: form bodies, text put into
// the page, the supervisor's status file and the system log's lines.
#include "form.h"
#include "html.h"
#include "log_tail.h"
#include "status.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const fieldNames[] = {"token", "action", "username"};

// The values of the three fields ("-" for a missing one), or the refusal.
std::string decoded(const std::string& body)
{
    std::vector<char> buffer(body.begin(), body.end());
    buffer.push_back('\0');
    form_field fields[] = {{fieldNames[0], nullptr}, {fieldNames[1], nullptr}, {fieldNames[2], nullptr}};
    switch (form_decode(buffer.data(), body.size(), fields, 3)) {
    case FORM_OK:
        break;
    case FORM_TOO_LARGE:
        return "too large";
    case FORM_MALFORMED:
        return "malformed";
    case FORM_REPEATED:
        return "repeated";
    }
    std::string values;
    for (const form_field& field : fields)
        values += std::string(&field == fields ? "" : "|") + (field.value ? field.value : "-");
    return values;
}

TEST(Form, DecodesTheFieldsAskedFor)
{
    const std::string fits(FORM_BODY_MAX - 9, 'x');
    const struct {
        std::string body, expected;
    } cases[] = {
        {"token=abc&action=save&username=router", "abc|save|router"},
        {"username=a+b%20c", "-|-|a b c"},
        {"username=%2B%26%3D%25", "-|-|+&=%"},
        {"username=%e2%82%ac%E2%82%AC", "-|-|\xe2\x82\xac\xe2\x82\xac"},
        {"username=%3Cscript%3E", "-|-|<script>"},
        {"username=a%0D%0Ab", "-|-|a\r\nb"},
        {"", "-|-|-"},
        {"action=save", "-|save|-"},
        {"username=&token", "|-|"},
        {"&&token=t&&", "t|-|-"},
        {"=x&other=1&Token=2&token=3", "3|-|-"},
        {"%74oken=t", "t|-|-"},
        {"username=" + fits, "-|-|" + fits},
        {"username=" + fits + "x", "too large"},
        {"username=%", "malformed"},
        {"username=%4", "malformed"},
        {"username=%4&token=1", "malformed"},
        {"username=%G1", "malformed"},
        {"username=%00", "malformed"},
        {std::string("username=a\0b", 12), "malformed"},
        {"%=1", "malformed"},
        {"token=1&token=1", "repeated"},
        {"token=1&%74oken=2", "repeated"},
        {"username=a&username", "repeated"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decoded(c.body), c.expected) << c.body;
}

std::string escaped(const std::string& text)
{
    char* bytes = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&bytes, &size);
    html_put_n(out, text.data(), text.size());
    fclose(out);
    std::string result(bytes, size);
    free(bytes);
    return result;
}

TEST(Html, EscapesEverythingThatIsNotText)
{
    const struct {
        std::string text, expected;
    } cases[] = {
        {"router-17", "router-17"},
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"\"><img src=x onerror=alert(1)>", "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;"},
        {"a&amp;b 'c'", "a&amp;amp;b &#39;c&#39;"},
        {"tab\there \xc3\xa4\xe2\x82\xac", "tab\there \xc3\xa4\xe2\x82\xac"},
        {std::string("\x1b[31mred\r\n\x7f\0", 12), "\\x1b[31mred\\x0d\\x0a\\x7f\\x00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(escaped(c.text), c.expected) << c.text;
}

// The status read, as "pid state agent since starts last", or "refused".
std::string status(const std::string& text)
{
    supervisor_status s;
    if (!status_parse(text.data(), text.size(), &s))
        return "refused";
    static const char* const states[] = {"starting", "running", "pausing"};
    static const char* const ends[] = {"none", "exit", "signal"};
    return std::to_string(s.pid) + " " + states[s.state] + " " + std::to_string(s.agent) + " " +
           std::to_string(s.since) + " " + std::to_string(s.starts) + " " + ends[s.last] + " " +
           std::to_string(s.last_code);
}

TEST(Status, TakesOnlyAWholeStatusFile)
{
    const std::string whole = "pid=1234\nstate=running\nagent=1240\nsince=5231\nstarts=3\nlast=exit 1\n";
    const struct {
        std::string text, expected;
    } cases[] = {
        {whole, "1234 running 1240 5231 3 exit 1"},
        {"pid=7\nstate=pausing\nagent=0\nsince=9\nstarts=1\nlast=signal 9\n", "7 pausing 0 9 1 signal 9"},
        {"last=none\nstarts=0\nsince=1\nagent=0\nstate=starting\npid=7\nnew=1\n", "7 starting 0 1 0 none 0"},
        {"", "refused"},
        {whole.substr(0, whole.size() - 1), "refused"},
        {whole.substr(0, whole.size() - 12), "refused"},
        {whole + "pid=1\n", "refused"},
        {"pid=0\nstate=running\nagent=1\nsince=1\nstarts=1\nlast=none\n", "refused"},
        {"pid=1x\nstate=running\nagent=1\nsince=1\nstarts=1\nlast=none\n", "refused"},
        {"pid=1\nstate=sleeping\nagent=1\nsince=1\nstarts=1\nlast=none\n", "refused"},
        {"pid=1\nstate=running\nagent=1\nsince=1\nstarts=1\nlast=exit\n", "refused"},
        {"pid=1\nstate=running\nagent=-1\nsince=1\nstarts=1\nlast=none\n", "refused"},
        {"pid=1\nstate=running\nagent=1\nsince=99999999999\nstarts=1\nlast=none\n", "refused"},
        {"pid=1\nstate=running\nagent=1\nsince=1\nstarts=1\nlast=none\r\n", "refused"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(status(c.text), c.expected) << c.text;
}

TEST(Status, KnowsTheSupervisorByItsLock)
{
    // The lock of pid 1234 on the file 00:2a:5678.
    const struct {
        const char* line;
        bool held;
    } cases[] = {
        {"1: FLOCK  ADVISORY  WRITE 1234 00:2a:5678 0 EOF\n", true},
        {"3: FLOCK  ADVISORY  WRITE 1234 00:2a:5679 0 EOF\n", false},
        {"3: FLOCK  ADVISORY  WRITE 1234 00:2b:5678 0 EOF\n", false},
        {"3: FLOCK  ADVISORY  WRITE 1235 00:2a:5678 0 EOF\n", false},
        {"3: FLOCK  ADVISORY  READ 1234 00:2a:5678 0 EOF\n", false},
        {"3: POSIX  ADVISORY  WRITE 1234 00:2a:5678 0 EOF\n", false},
        {"3: -> FLOCK  ADVISORY  WRITE 1234 00:2a:5678 0 EOF\n", false},
        {"garbage\n", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(status_lock_line(c.line, 1234, 0x00, 0x2a, 5678) != 0, c.held) << c.line;
}

TEST(LogTail, KeepsTheModulesLastLines)
{
    const struct {
        std::string line;
        bool module;
    } cases[] = {
        {"Dec  8 15:45:43 vm daemon.notice orvanta[6841]: started", true},
        {"Dec  8 15:45:43 vm daemon.err tessard: tessard-measured-values.so: cannot open", true},
        {"Mon Dec  8 15:45:43 2024 daemon.notice orvanta[1]: Starting agent", true},
        {"Dec  8 15:45:43 vm orvanta: x", true},
        {"Dec  8 15:45:43 vm daemon.info dnsmasq[99]: orvanta[1]: tessard: x", false},
        {"Dec  8 15:45:43 vm daemon.info xorvanta[1]: x", false},
        {"Dec  8 15:45:43 vm daemon.info orvanta[]: x", false},
        {"Dec  8 15:45:43 vm daemon.info orvanta[1]:x", false},
        {"orvanta", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(log_line_is_module(c.line.data(), c.line.size()) != 0, c.module) << c.line;

    log_tail tail;
    log_tail_init(&tail);
    std::string log;
    for (int i = 0; i < 35; ++i)
        log += "vm daemon.notice orvanta[1]: line " + std::to_string(i) + "\nvm kern.info kernel: other\r\n";
    log += "vm daemon.info tessard: " + std::string(LOG_TAIL_WIDTH, 'x') + "\nvm daemon.info tessard: last";
    for (char c : log)
        log_tail_feed(&tail, &c, 1);
    log_tail_end(&tail);
    ASSERT_EQ(tail.kept, size_t{LOG_TAIL_LINES});
    std::vector<std::string> kept;
    for (size_t i = 0; i < tail.kept; ++i) {
        size_t length;
        const char* line = log_tail_line(&tail, i, &length);
        kept.emplace_back(line, length);
    }
    EXPECT_EQ(kept.front(), "vm daemon.notice orvanta[1]: line 17");
    EXPECT_EQ(kept[LOG_TAIL_LINES - 3], "vm daemon.notice orvanta[1]: line 34");
    EXPECT_EQ(kept[LOG_TAIL_LINES - 2], "vm daemon.info tessard: " + std::string(LOG_TAIL_WIDTH - 24, 'x'));
    EXPECT_EQ(kept.back(), "vm daemon.info tessard: last");
}

} // namespace
