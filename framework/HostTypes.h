#ifndef ORVANTA_FRAMEWORK_HOSTTYPES_H
#define ORVANTA_FRAMEWORK_HOSTTYPES_H

// The host agent's types as the framework and the plug-ins see them. The
// declarations in use are the project's stand-ins (framework/host-types/),
// or the host's own headers when the build names their folder
// (ORVANTA_HOST_INCLUDE_DIR). Framework and plug-in code includes them
// through this header only.
//
// Their members are defined in the host process. Code built with hidden
// visibility would otherwise make its references to them hidden, and a
// library could not be linked against a host whose headers carry no
// visibility of their own; here they stay dynamic whatever the headers say.
#pragma GCC visibility push(default)
#include "AbstractAgent.h"
#include "AbstractDataSink.h"
#include "Aggregator.h"
#include "CharValue.h"
#include "ComposedRecord.h"
#include "IntegerValue.h"
#include "Record.h"
#include "RequestClient.h"
#include "RequestData.h"
#include "Value.h"
#pragma GCC visibility pop

#endif
