#include "platform/ProcessSignals.h"

namespace orvo::platform {

// A write to a closed socket or pipe fails with an error code here, and a file's size is limited
// by its volume alone.
void IgnoreBrokenPipeSignals() {}

}  // namespace orvo::platform
