// On Windows the packer's platform is the system itself; this unit only gives
// the library a body when the system's compound-file library is selected.
#include "platform/platform.h"
