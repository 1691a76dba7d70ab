// Must not build: the cache sits below the client.
#include "client/core/navigation_rules.h"
