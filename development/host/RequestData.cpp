#include "RequestData.h"

// The key function: the vtable lives in the host, as in the real agent.
RequestData::~RequestData() = default;
