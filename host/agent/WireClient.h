#ifndef ORVANTA_HOST_WIRECLIENT_H
#define ORVANTA_HOST_WIRECLIENT_H

#include "ScriptedRequestClient.h"

#include <cstdio>
#include <string>
#include <vector>

// The development agent's connection to the platform: nothing leaves the
// machine. Everything that would go to the platform is written to out, one
// labelled line each, and flushed:
//
//   identifier: <template-set identifier>       once, at registration
//   template: <registration line>               one per registered template
//   request: <line>                             one per line of a request
//   status: <n>                                 the exchange's result, 0 = took place
//   response: <row>                             one per row of the answer
//
// Lines and rows are comma-separated values (Csv.h). Answers come from a
// script first (loadAnswers), then from a stand-in for the platform: a
// record is accepted (no rows), and a request that sets or clears the
// supported measurements gets the device-check row naming the device.
class WireClient : public ScriptedRequestClient {
public:
    explicit WireClient(FILE* out);

    // Appends the answers in path to the script, one per request in order.
    // One answer a line: "fail" or "fail <n>" (transport failure, status 1
    // or n), "ok" (no rows), or rows separated by ";" whose fields are
    // separated by "," (integers where a field is one, texts otherwise).
    // Blank lines and lines starting with "#" are skipped. False, with an
    // ERR line, when the file cannot be read or a line makes no sense.
    bool loadAnswers(const char* path);

    int registerTemplates(const char* identifier, const char* templates) override;
    int request(const RequestData& data, Aggregator& response, void* context) override;

    // How the stand-in platform answers one request (its lines as CSV).
    Answer platformAnswer(const std::vector<std::string>& lines) const;

private:
    void write(const char* label, const std::string& text);

    FILE* out;
    // Message ids of the templates that set or clear the supported
    // measurements, and of the device-check response template.
    std::vector<long> fragmentRequests;
    long deviceCheck = 0;
};

#endif
