#ifndef ORVANTA_FRAMEWORK_REQUESTCLIENT_H
#define ORVANTA_FRAMEWORK_REQUESTCLIENT_H

#include "Export.h"

class RequestData;
class Aggregator;

// The agent's connection to the platform. Implemented by the host.
class ORVANTA_EXPORT RequestClient {
public:
    virtual ~RequestClient(); // slots 0, 1
    // Host side: where and as whom to talk to the platform.
    virtual bool configure(const char* server, const char* username,
                           const char* password) = 0; // slot 2
    // Host side: announces the template set under its identifier.
    virtual int registerTemplates(const char* identifier,
                                  const char* templates) = 0; // slot 3
    // Sends data (one record or an aggregator of records) and fills
    // response with the platform's answer rows. 0 when the exchange took
    // place (response may hold no rows), non-zero when it failed.
    // context is always null.
    virtual int request(const RequestData& data, Aggregator& response,
                        void* context) = 0; // slot 4
};

#endif
