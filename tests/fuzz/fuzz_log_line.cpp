// The relay's line rules over any byte stream, fed in reads of any size
// (the input's first byte), line after line. Each message must be 1 to
// LOG_LINE_TEXT_MAX bytes of text with no control byte but tab, at a valid
// severity, the line's own; the pieces of a line, their marks removed,
// joined must give back the line's text, as a plain model of the rules
// makes it from the whole line at once.
#include "Require.h"
#include "log_line.h"

#include <syslog.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Messages = std::vector<std::pair<int, std::string>>;

const std::string cutMark = " [...]";
const std::string continuedMark = "[...] ";

void collect(void* context, int severity, const char* text, size_t length)
{
    static_cast<Messages*>(context)->emplace_back(severity, std::string(text, length));
}

void shown(std::string& text, unsigned char c)
{
    static const char hex[] = "0123456789abcdef";
    if ((c >= 0x20 && c != 0x7F) || c == '\t')
        text += static_cast<char>(c);
    else
        text += std::string("\\x") + hex[c >> 4] + hex[c & 15];
}

bool has(const std::string& text, size_t at, const char* piece)
{
    std::string wanted(piece);
    return at + wanted.size() <= text.size() && text.compare(at, wanted.size(), wanted) == 0;
}

// "0000-00-00T00:00:00" at 1, 0 standing for a digit.
bool timeAt1(const std::string& text)
{
    static const char pattern[] = "0000-00-00T00:00:00";
    if (text.size() < 20)
        return false;
    for (size_t i = 0; i < sizeof pattern - 1; ++i) {
        char c = text[1 + i];
        if (pattern[i] == '0' ? c < '0' || c > '9' : c != pattern[i])
            return false;
    }
    return true;
}

// Length of a "[%FT%T] [TAG] " or "[] [TAG] " prefix, 0 for none; sets
// severity from the tag.
size_t prefixOf(const std::string& text, int& severity)
{
    if (!has(text, 0, "["))
        return 0;
    size_t tag = has(text, 1, "]") ? 1 : timeAt1(text) ? 20 : 0;
    if (tag == 0 || !has(text, tag, "] [") || !has(text, tag + 6, "] "))
        return 0;
    static const std::pair<const char*, int> levels[] = {
        {"ERR", LOG_ERR}, {"WRN", LOG_WARNING}, {"MSG", LOG_NOTICE}, {"DBG", LOG_DEBUG}};
    for (const auto& level : levels) {
        if (has(text, tag + 3, level.first)) {
            severity = level.second;
            return tag + 8;
        }
    }
    return 0;
}

// The message text of one line (without its line feed) and its severity:
// complete control sequences removed, control bytes shown, the prefix
// taken off.
std::string model(const std::string& line, int& severity)
{
    std::string text;
    for (size_t i = 0; i < line.size();) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c != 0x1B) {
            shown(text, c);
            ++i;
            continue;
        }
        if (i + 1 >= line.size() || line[i + 1] != '[') {
            shown(text, c);
            ++i;
            continue;
        }
        size_t at = i + 2, parameters = 0;
        while (at < line.size() && line[at] >= 0x20 && line[at] <= 0x3F && parameters < 16) {
            ++at;
            ++parameters;
        }
        if (at < line.size() && line[at] >= 0x40 && line[at] <= 0x7E) {
            i = at + 1;
            continue;
        }
        // Not a complete sequence: shown as it was read, and the byte
        // that ended it read afresh.
        for (size_t k = i; k < at; ++k)
            shown(text, static_cast<unsigned char>(line[k]));
        i = at;
    }
    severity = LOG_INFO;
    return text.substr(prefixOf(text, severity));
}

void check(const std::string& line, const Messages& messages)
{
    int severity = -1;
    std::string expected = model(line, severity);
    require(expected.empty() == messages.empty(), "a line with text gives messages, one without none");
    std::string joined;
    for (size_t i = 0; i < messages.size(); ++i) {
        const std::string& text = messages[i].second;
        require(messages[i].first == severity, "the line's severity");
        require(!text.empty() && text.size() <= LOG_LINE_TEXT_MAX, "1 to 448 bytes");
        for (char c : text)
            require((static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) || c == '\t', "a control byte");
        size_t from = 0, to = text.size();
        if (i > 0) {
            require(text.compare(0, continuedMark.size(), continuedMark) == 0, "the continuation mark");
            from = continuedMark.size();
        }
        if (i + 1 < messages.size()) {
            require(text.size() >= from + cutMark.size() &&
                        text.compare(text.size() - cutMark.size(), cutMark.size(), cutMark) == 0,
                    "the cut mark");
            to -= cutMark.size();
        }
        joined.append(text, from, to - from);
    }
    require(joined == expected, "the pieces joined give the line's text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t step = 1 + data[0] % 64;
    const std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);
    Messages messages;
    log_line line;
    log_line_init(&line, collect, &messages);
    // The messages of each line come while its bytes are read.
    for (size_t start = 0; start < stream.size();) {
        size_t end = stream.find('\n', start);
        size_t next = end == std::string::npos ? stream.size() : end + 1;
        messages.clear();
        for (size_t at = start; at < next; at += step)
            log_line_feed(&line, stream.data() + at, std::min(step, next - at));
        if (end == std::string::npos)
            log_line_end(&line);
        check(stream.substr(start, (end == std::string::npos ? stream.size() : end) - start), messages);
        start = next;
    }
    messages.clear();
    log_line_end(&line);
    require(messages.empty(), "nothing left at the end");
    return 0;
}
