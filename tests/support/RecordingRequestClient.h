// A scripted request client that keeps what tests compare: every request,
// each as its lines in the host's text (Csv.h, no line ends).
#pragma once

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
        sent_.push_back(csvLines(data));
        return ScriptedRequestClient::request(data, response, context);
    }

    // Every request so far, in order.
    const std::vector<Lines>& requests() const { return sent_; }
    void forgetRequests() { sent_.clear(); }

private:
    std::vector<Lines> sent_;
};

} // namespace orvanta::test
