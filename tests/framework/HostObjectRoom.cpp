// Compiled, not run: a host type of ORVANTA_HOST_TYPE_BYTES in the
// framework's storage for host objects. 256 bytes leave the room that the
// storage promises and compile; 257 must be refused by the build.
#include "HostObject.h"

struct HostType {
    unsigned char bytes[ORVANTA_HOST_TYPE_BYTES];
};

static_assert(sizeof(HostObject<HostType>) > 0, "instantiates the storage");
