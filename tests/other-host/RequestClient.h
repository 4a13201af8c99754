// An interface whose slots the host interface fixes: declared as the
// stand-ins declare it.
#include "../../framework/host-types/RequestClient.h"
