#include "HostTypes.h"

// Out of line on purpose: this is the key function, so Value's vtable and
// type information are emitted here, in the framework.
Value::~Value() = default;
