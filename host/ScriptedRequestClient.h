#ifndef ORVANTA_HOST_SCRIPTEDREQUESTCLIENT_H
#define ORVANTA_HOST_SCRIPTEDREQUESTCLIENT_H

#include "RequestClient.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

class ComposedRecord;

// A request client whose answers are scripted: tests and the development
// agent decide what the "platform" says. It records everything sent.
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
    // it sees the request's lines as CSV text, one string per line.
    using Responder = std::function<Answer(const std::vector<std::string>& lines)>;

    ScriptedRequestClient();
    ~ScriptedRequestClient() override;

    // Answers are used in the order pushed, one per request.
    void push(Answer answer);
    void pushFailure(int status = 1);
    void pushRows(std::vector<Row> rows);
    // Without a responder, an unscripted request succeeds with no rows.
    void setResponder(Responder responder);
    size_t scriptedLeft() const { return script.size(); }

    // Every request so far, each as its lines in CSV text (no line ends).
    const std::vector<std::vector<std::string>>& requests() const { return sent; }
    void forgetRequests() { sent.clear(); }

    const std::string& server() const { return serverUrl; }
    const std::string& username() const { return user; }
    const std::string& password() const { return secret; }
    const std::string& templateIdentifier() const { return identifier; }
    const std::string& templates() const { return templateText; }
    int registrations() const { return registered; }

    bool configure(const char* server, const char* username, const char* password) override;
    int registerTemplates(const char* identifier, const char* templates) override;
    int request(const RequestData& data, Aggregator& response, void* context) override;

    // Turns a scripted row into a record of IntegerValue and CharValue.
    static bool fillRecord(const Row& row, ComposedRecord& record);

private:
    std::deque<Answer> script;
    Responder responder;
    std::vector<std::vector<std::string>> sent;
    std::string serverUrl, user, secret, identifier, templateText;
    int registered = 0;
};

#endif
