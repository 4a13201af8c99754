#ifndef ORVANTA_HOST_AGENT_H
#define ORVANTA_HOST_AGENT_H

#include "AbstractAgent.h"

// The agent object that plug-ins see: it hands out the request client,
// the template collection, the measurement support and the device id.
// It owns none of them; whoever builds the agent keeps them alive.
class Agent : public AbstractAgent {
public:
    Agent(RequestClient& client, TemplateCollection& templates, long deviceId = 0, int agentValue = 0);

    // The measurement support is built from the agent, so it is handed
    // over after construction.
    void setMeasurementSupport(MeasurementSupport* support) { measurements = support; }
    void setDeviceId(long id) { device = id; }

    RequestClient* requestClient() override;
    TemplateCollection* templateCollection() override;
    int agentValue() override;
    MeasurementSupport* measurementSupport() override;
    long* deviceId() override;

private:
    RequestClient& client;
    TemplateCollection& templates;
    MeasurementSupport* measurements = nullptr;
    long device;
    int value;
};

#endif
