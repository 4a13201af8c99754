#include "ScriptedRequestClient.h"

#include "Aggregator.h"
#include "CharValue.h"
#include "ComposedRecord.h"
#include "Csv.h"
#include "IntegerValue.h"
#include "RequestData.h"

ScriptedRequestClient::ScriptedRequestClient() = default;
ScriptedRequestClient::~ScriptedRequestClient() = default;

void ScriptedRequestClient::push(Answer answer)
{
    script.push_back(std::move(answer));
}

void ScriptedRequestClient::pushFailure(int status)
{
    Answer answer;
    answer.status = status;
    push(std::move(answer));
}

void ScriptedRequestClient::pushRows(std::vector<Row> rows)
{
    Answer answer;
    answer.rows = std::move(rows);
    push(std::move(answer));
}

void ScriptedRequestClient::setResponder(Responder decide)
{
    responder = std::move(decide);
}

bool ScriptedRequestClient::configure(const char* server, const char* username,
                                      const char* password)
{
    serverUrl = server ? server : "";
    user = username ? username : "";
    secret = password ? password : "";
    return true;
}

int ScriptedRequestClient::registerTemplates(const char* id, const char* text)
{
    identifier = id ? id : "";
    templateText = text ? text : "";
    ++registered;
    return 0;
}

bool ScriptedRequestClient::fillRecord(const Row& row, ComposedRecord& record)
{
    for (const Field& field : row) {
        bool added = field.isText ? record.add(CharValue(field.text.c_str(), false))
                                  : record.add(IntegerValue(field.number));
        if (!added)
            return false;
    }
    return true;
}

int ScriptedRequestClient::request(const RequestData& data, Aggregator& response, void*)
{
    std::vector<std::string> lines;
    for (unsigned i = 0; i < data.lineCount(); ++i)
        lines.push_back(csvLine(data.line(i)));
    sent.push_back(lines);

    Answer answer;
    if (!script.empty()) {
        answer = std::move(script.front());
        script.pop_front();
    } else if (responder) {
        answer = responder(lines);
    }
    if (answer.status != 0)
        return answer.status;
    for (const Row& row : answer.rows) {
        ComposedRecord record(false);
        if (!fillRecord(row, record) || !response.add(record))
            return -1;
    }
    return 0;
}
