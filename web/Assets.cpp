#include "web/Assets.h"

namespace orvo::web {

const Asset* FindAsset(std::string_view /*name*/) {
  return nullptr;
}

}  // namespace orvo::web
