#ifndef ORVANTA_HOST_SCRIPTEDREQUESTCLIENT_H
#define ORVANTA_HOST_SCRIPTEDREQUESTCLIENT_H

#include "RequestClient.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

// A request client whose answers are scripted: tests and the development
// agent decide what the "platform" says. It keeps nothing of what is sent.
class ScriptedRequestClient : public RequestClient {
public:
    // One value of a response row: an integer or a text.
    struct Field {
        bool isText;
        long number;
        std::string text;
        static Field integer(long value) { return Field{false, value, std::string()}; }
        static Field string(std::string value) { return Field{true, 0, std::move(value)}; }
    };
    using Row = std::vector<Field>;

    // status non-zero stands for a transport failure (no rows are given).
    struct Answer {
        int status = 0;
        std::vector<Row> rows;
    };

    // Decides the answer to a request that no scripted answer is left for;
    // it sees the request's records themselves.
    using Responder = std::function<Answer(const RequestData& data)>;

    ScriptedRequestClient();
    ~ScriptedRequestClient() override;

    // Answers are used in the order pushed, one per request.
    void push(Answer answer);
    void pushFailure(int status = 1);
    void pushRows(std::vector<Row> rows);
    // Without a responder, an unscripted request succeeds with no rows.
    void setResponder(Responder responder);
    size_t scriptedLeft() const { return script.size(); }

    bool configure(const char* server, const char* username, const char* password) override;
    int registerTemplates(const char* identifier, const char* templates) override;
    int request(const RequestData& data, Aggregator& response, void* context) override;

private:
    std::deque<Answer> script;
    Responder responder;
};

#endif
