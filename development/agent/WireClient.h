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

    // Tells the stand-in platform the message IDs of the measurement
    // support's templates. registration is the part of the collection's
    // registration text ("10,<id>,<text>" and "11,<id>,<text>" lines, each
    // ended by CR LF) that MeasurementSupport::init() added: its set and
    // clear request templates and its device-check response template.
    void knowSupportedMeasurementTemplates(const std::string& registration);

    int registerTemplates(const char* identifier, const char* templates) override;
    int request(const RequestData& data, Aggregator& response, void* context) override;

    // How the stand-in platform answers one request: a line whose message ID
    // is that of the set or clear template gets the device-check row naming
    // the device of its second value.
    Answer platformAnswer(const RequestData& data) const;

private:
    void write(const char* label, const std::string& text);

    FILE* out;
    std::vector<long> fragmentRequests;
    long deviceCheck = 0;
};

#endif
