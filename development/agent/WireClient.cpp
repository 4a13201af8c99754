#include "WireClient.h"

#include "Aggregator.h"
#include "Csv.h"
#include "Logger.h"
#include "Record.h"
#include "RequestData.h"
#include "Value.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

bool wholeNumber(const std::string& text, long& number)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    number = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

std::string trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The lines of a registration text, without their line ends; empty lines
// are left out.
std::vector<std::string> registrationLines(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::string line : split(text, '\n')) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

bool parseAnswer(const std::string& line, ScriptedRequestClient::Answer& answer)
{
    using Field = ScriptedRequestClient::Field;
    if (line == "ok")
        return true;
    if (line.compare(0, 4, "fail") == 0) {
        std::string status = trimmed(line.substr(4));
        long number = 1;
        if (!status.empty() && (!wholeNumber(status, number) || number == 0))
            return false;
        answer.status = static_cast<int>(number);
        return true;
    }
    for (const std::string& row : split(line, ';')) {
        ScriptedRequestClient::Row fields;
        for (const std::string& text : split(trimmed(row), ',')) {
            long number;
            fields.push_back(wholeNumber(text, number) ? Field::integer(number) : Field::string(text));
        }
        answer.rows.push_back(fields);
    }
    return true;
}

} // namespace

WireClient::WireClient(FILE* stream) : out(stream)
{
    setResponder([this](const RequestData& data) { return platformAnswer(data); });
}

bool WireClient::loadAnswers(const char* path)
{
    FILE* file = std::fopen(path, "re");
    if (!file) {
        Logger::log(Logger::ERR, "Cannot read answers %s: %s", path, std::strerror(errno));
        return false;
    }
    char buffer[1024];
    unsigned number = 0;
    bool good = true;
    while (good && std::fgets(buffer, sizeof buffer, file)) {
        ++number;
        std::string line = trimmed(buffer);
        if (line.empty() || line[0] == '#')
            continue;
        Answer answer;
        if (!parseAnswer(line, answer)) {
            Logger::log(Logger::ERR, "Answers %s, line %u: not an answer.", path, number);
            good = false;
        } else {
            push(answer);
        }
    }
    std::fclose(file);
    return good;
}

int WireClient::registerTemplates(const char* identifier, const char* templates)
{
    write("identifier", identifier ? identifier : "");
    for (const std::string& line : registrationLines(templates ? templates : ""))
        write("template", line);
    return 0;
}

void WireClient::knowSupportedMeasurementTemplates(const std::string& registration)
{
    fragmentRequests.clear();
    deviceCheck = 0;
    for (const std::string& line : registrationLines(registration)) {
        std::vector<std::string> fields = split(line, ',');
        long id = 0;
        if (fields.size() < 3 || !wholeNumber(fields[1], id))
            continue;
        if (fields[0] == "10")
            fragmentRequests.push_back(id);
        else if (fields[0] == "11")
            deviceCheck = id;
    }
}

ScriptedRequestClient::Answer WireClient::platformAnswer(const RequestData& data) const
{
    Answer answer;
    for (unsigned i = 0; i < data.lineCount(); ++i) {
        const Record& line = data.line(i);
        if (line.size() < 2 || line.value(0).valueType() != VALUE_TYPE_INTEGER ||
            line.value(1).valueType() != VALUE_TYPE_INTEGER)
            continue;
        for (long request : fragmentRequests)
            if (request == line.value(0).integerValue())
                answer.rows.push_back({Field::integer(deviceCheck), Field::string("true"),
                                       Field::integer(line.value(1).integerValue())});
    }
    return answer;
}

int WireClient::request(const RequestData& data, Aggregator& response, void* context)
{
    for (const std::string& line : csvLines(data))
        write("request", line);
    unsigned before = response.length();
    int status = ScriptedRequestClient::request(data, response, context);
    write("status", std::to_string(status));
    if (status == 0)
        for (unsigned i = before; i < response.length(); ++i)
            write("response", csvLine(response.get(i)));
    return status;
}

void WireClient::write(const char* label, const std::string& text)
{
    std::fprintf(out, "%s: %s\n", label, text.c_str());
    std::fflush(out);
}
