#include "ScriptedRequestClient.h"

#include "Aggregator.h"
#include "CharValue.h"
#include "ComposedRecord.h"
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

bool ScriptedRequestClient::configure(const char*, const char*, const char*)
{
    return true;
}

int ScriptedRequestClient::registerTemplates(const char*, const char*)
{
    return 0;
}

namespace {

// A scripted row as a record of IntegerValue and CharValue.
bool fillRecord(const ScriptedRequestClient::Row& row, ComposedRecord& record)
{
    for (const ScriptedRequestClient::Field& field : row) {
        bool added = field.isText ? record.add(CharValue(field.text.c_str(), false))
                                  : record.add(IntegerValue(field.number));
        if (!added)
            return false;
    }
    return true;
}

} // namespace

int ScriptedRequestClient::request(const RequestData& data, Aggregator& response, void*)
{
    Answer answer;
    if (!script.empty()) {
        answer = std::move(script.front());
        script.pop_front();
    } else if (responder) {
        answer = responder(data);
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
