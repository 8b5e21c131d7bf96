#pragma once
// The terminal's registry calls on a POSIX host, over the terminal folder's
// registry.reg (platform/sim/registry.h).

namespace platform {

// Keys opened and not yet closed.
int OpenRegistryKeyCount();

}  // namespace platform
