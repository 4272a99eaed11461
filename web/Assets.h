// The portal's pages, scripts, styles and icon, compiled into the program from web/assets/ so
// that a classroom without internet needs nothing else. Found by file name; any thread.
#pragma once

#include <string_view>

namespace orvo::web {

struct Asset {
  std::string_view name;         // file name in web/assets/, such as "login.html"
  std::string_view contentType;  // with charset for text
  std::string_view body;
};

// The asset of that file name; nullptr when there is none.
const Asset* FindAsset(std::string_view name);

}  // namespace orvo::web
