#include "platform/DescriptorLimit.h"

#include <sys/resource.h>

#include <algorithm>

namespace orvo::platform {
namespace {

// Linux refuses a soft limit above fs.nr_open (1,048,576 by default), even with an unlimited hard
// limit.
constexpr rlim_t kLargestUsefulLimit = rlim_t{1} << 20;

}  // namespace

uint64_t RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  const rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? kLargestUsefulLimit : limit.rlim_max;
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted) {
    return limit.rlim_cur == RLIM_INFINITY ? kLargestUsefulLimit : limit.rlim_cur;
  }
  rlimit raised = limit;
  raised.rlim_cur = wanted;
  if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) return raised.rlim_cur;
  // Over fs.nr_open: the largest that Linux takes always works.
  raised.rlim_cur = std::max(limit.rlim_cur, std::min(wanted, kLargestUsefulLimit));
  if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) return raised.rlim_cur;
  return limit.rlim_cur;
}

}  // namespace orvo::platform
