#include "platform/ProcessSignals.h"

#include <signal.h>

namespace orvo::platform {

void IgnoreBrokenPipeSignals() {
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
}

}  // namespace orvo::platform
