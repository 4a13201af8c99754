#ifndef ORVANTA_TESTS_FRAMEWORK_RECORDINGAGENT_H
#define ORVANTA_TESTS_FRAMEWORK_RECORDINGAGENT_H

#include "AbstractAgent.h"

#include <string>
#include <vector>

// An agent that notes every operation called on it. The template
// collection and measurement support are stand-in addresses, never used.
class RecordingAgent : public AbstractAgent {
public:
    RecordingAgent(RequestClient* client, long id, int value) : client(client), id(id), value(value) {}

    RequestClient* requestClient() override { return note("requestClient"), client; }
    TemplateCollection* templateCollection() override
    {
        return note("templateCollection"), reinterpret_cast<TemplateCollection*>(&collection);
    }
    int agentValue() override { return note("agentValue"), value; }
    MeasurementSupport* measurementSupport() override
    {
        return note("measurementSupport"), reinterpret_cast<MeasurementSupport*>(&support);
    }
    long* deviceId() override { return note("deviceId"), &id; }

    std::vector<std::string> calls;
    RequestClient* client;
    long id;
    int value;
    char collection = 0;
    char support = 0;

private:
    void note(const char* operation) { calls.push_back(operation); }
};

#endif
