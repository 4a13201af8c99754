#ifndef ORVANTA_FRAMEWORK_ABSTRACTAGENT_H
#define ORVANTA_FRAMEWORK_ABSTRACTAGENT_H

#include "Export.h"

class RequestClient;
class TemplateCollection;
class MeasurementSupport;

// The host agent as plug-ins see it. Implemented by the host; the slot
// order of the virtual operations is an ABI shared with the real agent.
class ORVANTA_EXPORT AbstractAgent {
public:
    virtual ~AbstractAgent();                             // slots 0, 1
    virtual RequestClient* requestClient() = 0;           // slot 2
    virtual TemplateCollection* templateCollection() = 0; // slot 3
    virtual int agentValue() = 0;                         // slot 4
    virtual MeasurementSupport* measurementSupport() = 0; // slot 5
    // Where the agent keeps the device's managed-object id. Callers keep
    // the pointer and read through it at each use: the id may be learnt
    // after the plug-ins are created.
    virtual long* deviceId() = 0; // slot 6
};

#endif
