// Arbitrary bytes as what the page reads from outside: as a form body,
// decoded values hold no NUL and, encoded again, decode to themselves; put
// into the page, they leave no markup and no control byte; as the
// supervisor's status, a status taken writes back to the same status; as
// logread's output, only the module's lines are kept, at most as many and
// as long as the page shows; as a line of /proc/locks, it is read safely.
#include "Require.h"
#include "form.h"
#include "html.h"
#include "log_tail.h"
#include "status.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const names[] = {"token", "action", "enabled", "username", "password", "interval"};
constexpr std::size_t fieldCount = sizeof names / sizeof names[0];

std::string encoded(const char* text)
{
    std::string out;
    for (const char* c = text; *c; ++c) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(*c));
        out += hex;
    }
    return out;
}

void checkForm(const std::string& bytes)
{
    std::string body = bytes;
    body.push_back('\0');
    form_field fields[fieldCount];
    for (std::size_t i = 0; i < fieldCount; ++i)
        fields[i] = {names[i], nullptr};
    form_result result = form_decode(&body[0], bytes.size(), fields, fieldCount);
    require(result != FORM_TOO_LARGE || bytes.size() > FORM_BODY_MAX,
            "a body within the limit refused as too large");
    if (result != FORM_OK)
        return;
    std::string again;
    for (const form_field& field : fields)
        if (field.value) {
            require(std::strlen(field.value) <= bytes.size(), "a value longer than the body");
            again += std::string(again.empty() ? "" : "&") + field.name + "=" + encoded(field.value);
        }
    if (again.size() > FORM_BODY_MAX)
        return;
    std::string copy = again + '\0';
    form_field decoded[fieldCount];
    for (std::size_t i = 0; i < fieldCount; ++i)
        decoded[i] = {names[i], nullptr};
    require(form_decode(&copy[0], again.size(), decoded, fieldCount) == FORM_OK, "encoded values refused");
    for (std::size_t i = 0; i < fieldCount; ++i)
        require(
            (!fields[i].value && !decoded[i].value) ||
                (fields[i].value && decoded[i].value && std::strcmp(fields[i].value, decoded[i].value) == 0),
            "a value that does not decode to itself");
}

void checkHtml(const std::string& bytes)
{
    char* out = nullptr;
    std::size_t size = 0;
    FILE* f = open_memstream(&out, &size);
    html_put_n(f, bytes.data(), bytes.size());
    std::fclose(f);
    std::string page(out, size);
    std::free(out);
    require(page.find_first_of("<>\"'") == std::string::npos, "markup left in the page");
    for (std::size_t i = 0; i < page.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(page[i]);
        require(c >= 0x20 || c == '\t', "a control byte left in the page");
        require(c != 0x7f, "DEL left in the page");
        if (c == '&')
            require(page.compare(i, 5, "&amp;") == 0 || page.compare(i, 4, "&lt;") == 0 ||
                        page.compare(i, 4, "&gt;") == 0 || page.compare(i, 6, "&quot;") == 0 ||
                        page.compare(i, 5, "&#39;") == 0,
                    "a bare ampersand in the page");
    }
}

void checkStatus(const std::string& bytes)
{
    supervisor_status status;
    if (!status_parse(bytes.data(), bytes.size(), &status))
        return;
    static const char* const states[] = {"starting", "running", "pausing"};
    char last[32];
    if (status.last == END_NONE)
        std::snprintf(last, sizeof last, "none");
    else
        std::snprintf(last, sizeof last, "%s %lu", status.last == END_EXIT ? "exit" : "signal",
                      status.last_code);
    char text[256];
    int n = std::snprintf(text, sizeof text, "pid=%ld\nstate=%s\nagent=%ld\nsince=%lu\nstarts=%lu\nlast=%s\n",
                          status.pid, states[status.state], status.agent, status.since, status.starts, last);
    supervisor_status again;
    require(status_parse(text, static_cast<std::size_t>(n), &again), "a status taken does not read back");
    require(status.pid == again.pid && status.state == again.state && status.agent == again.agent &&
                status.since == again.since && status.starts == again.starts && status.last == again.last &&
                status.last_code == again.last_code,
            "a status that reads back otherwise");
}

void checkLog(const std::string& bytes)
{
    static log_tail tail;
    log_tail_init(&tail);
    log_tail_feed(&tail, bytes.data(), bytes.size());
    log_tail_end(&tail);
    require(tail.kept <= LOG_TAIL_LINES, "more lines kept than shown");
    for (std::size_t i = 0; i < tail.kept; ++i) {
        std::size_t length;
        const char* line = log_tail_line(&tail, i, &length);
        require(length <= LOG_TAIL_WIDTH, "a line longer than shown");
        require(log_line_is_module(line, length), "another program's line kept");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    checkForm(bytes);
    checkHtml(bytes);
    checkStatus(bytes);
    checkLog(bytes);
    std::string line = bytes.substr(0, bytes.find('\0'));
    status_lock_line(line.c_str(), 1234, 0, 0x2a, 5678);
    return 0;
}
