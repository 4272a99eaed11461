#include "platform/ActAsOwner.h"

namespace orvo::platform {

// Windows programs run as the user who starts them; there is no root to step down from.
bool ActAsOwnerOf(const std::string&) {
  return false;
}

RootForAWhile::RootForAWhile() = default;
RootForAWhile::~RootForAWhile() = default;

}  // namespace orvo::platform
