#include "Agent.h"

Agent::Agent(RequestClient& requestClient, TemplateCollection& collection, long deviceId, int agentValue)
    : client(requestClient), templates(collection), device(deviceId), value(agentValue)
{
}

RequestClient* Agent::requestClient()
{
    return &client;
}
TemplateCollection* Agent::templateCollection()
{
    return &templates;
}
int Agent::agentValue()
{
    return value;
}
MeasurementSupport* Agent::measurementSupport()
{
    return measurements;
}
long* Agent::deviceId()
{
    return &device;
}
