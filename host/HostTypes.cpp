// Destructors of the host's abstract interfaces: their vtables live in the
// host, as they do in the real agent.
#include "AbstractAgent.h"
#include "AbstractDataSink.h"
#include "Record.h"
#include "RequestClient.h"
#include "RequestData.h"

AbstractAgent::~AbstractAgent() = default;
AbstractDataSink::~AbstractDataSink() = default;
RequestClient::~RequestClient() = default;
RequestData::~RequestData() = default;
Record::~Record() = default;

unsigned Record::lineCount() const
{
    return 1;
}

const Record& Record::line(unsigned) const
{
    return *this;
}
