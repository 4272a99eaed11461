#include "platform/DescriptorLimit.h"

namespace orvo::platform {

// Windows counts no open-files limit for sockets and files opened through the system.
uint64_t RaiseDescriptorLimit() {
  return 0;
}

}  // namespace orvo::platform
