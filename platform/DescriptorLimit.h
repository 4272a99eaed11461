// The process's limit on open files, which bounds how many connections it can hold. A service
// started from an ordinary shell inherits a soft limit far below what the system allows it.
#pragma once

#include <cstdint>

namespace orvo::platform {

// Raises the soft open-files limit to the hard one where it is lower, and returns the soft limit
// in force afterwards; 0 where the host sets no such limit (Windows).
uint64_t RaiseDescriptorLimit();

}  // namespace orvo::platform
