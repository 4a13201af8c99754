#include "Csv.h"

#include "AbstractDataSink.h"
#include "Record.h"
#include "RequestData.h"
#include "Value.h"

#include <cstdio>
#include <cstring>

namespace {

class CsvSink : public AbstractDataSink {
public:
    explicit CsvSink(std::string& out) : text(out) {}

    int writeInteger(long value) override { return append(std::to_string(value)); }

    int writeFloat(double value) override
    {
        char digits[64];
        std::snprintf(digits, sizeof digits, "%.17g", value);
        return append(digits);
    }

    int writeString(const char* value) override { return append(csvField(value)); }

private:
    int append(const std::string& piece)
    {
        text += piece;
        return static_cast<int>(piece.size());
    }

    std::string& text;
};

} // namespace

std::string csvField(const char* text)
{
    if (!text)
        return std::string();
    if (!std::strpbrk(text, ",\"\r\n"))
        return text;
    std::string quoted = "\"";
    for (const char* p = text; *p; ++p) {
        if (*p == '"')
            quoted += '"';
        quoted += *p;
    }
    quoted += '"';
    return quoted;
}

std::string csvLine(const Record& record)
{
    std::string line;
    CsvSink sink(line);
    for (unsigned i = 0; i < record.size(); ++i) {
        if (i)
            line += ',';
        record.value(i).write(sink);
    }
    return line;
}

std::vector<std::string> csvLines(const RequestData& data)
{
    std::vector<std::string> lines;
    for (unsigned i = 0; i < data.lineCount(); ++i)
        lines.push_back(csvLine(data.line(i)));
    return lines;
}
