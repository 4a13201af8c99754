#include "AbstractAgent.h"

// The key function: the vtable lives in the host, as in the real agent.
AbstractAgent::~AbstractAgent() = default;
