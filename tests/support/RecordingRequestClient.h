// A scripted request client that keeps what tests compare: every request,
// each as its lines in the host's text (Csv.h, no line ends).
#ifndef ORVANTA_TESTS_SUPPORT_RECORDINGREQUESTCLIENT_H
#define ORVANTA_TESTS_SUPPORT_RECORDINGREQUESTCLIENT_H

#include "Csv.h"
#include "ScriptedRequestClient.h"

#include <string>
#include <vector>

namespace orvanta::test {

class RecordingRequestClient : public ScriptedRequestClient {
public:
    using Lines = std::vector<std::string>;

    int request(const RequestData& data, Aggregator& response, void* context) override
    {
        sent.push_back(csvLines(data));
        return ScriptedRequestClient::request(data, response, context);
    }

    // Every request so far, in order.
    const std::vector<Lines>& requests() const { return sent; }
    void forgetRequests() { sent.clear(); }

private:
    std::vector<Lines> sent;
};

} // namespace orvanta::test

#endif
