# Writes the C++ table of the portal's assets (web/Assets.h) from the files in web/assets/, so the
# program serves its pages without any file beside it. Run at build time by web/CMakeLists.txt:
#   cmake -DASSET_DIR=... -DASSETS=a.html,b.js -DOUTPUT=.../Assets.cpp -P EmbedAssets.cmake
# Each file becomes a string of \x escapes; its content type follows from its extension.
cmake_minimum_required(VERSION 3.25)

string(REPLACE "," ";" assets "${ASSETS}")
set(table "")
foreach(name IN LISTS assets)
  if(name MATCHES "\\.html$")
    set(type "text/html; charset=utf-8")
  elseif(name MATCHES "\\.js$")
    set(type "text/javascript; charset=utf-8")
  elseif(name MATCHES "\\.css$")
    set(type "text/css; charset=utf-8")
  elseif(name MATCHES "\\.svg$")
    set(type "image/svg+xml")
  else()
    message(FATAL_ERROR "EmbedAssets: no content type for ${name}")
  endif()
  file(READ "${ASSET_DIR}/${name}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
  # 32 bytes a line keeps the generated file readable in an editor and in a compiler's messages.
  string(REPEAT "\\\\x[0-9a-f][0-9a-f]" 32 line)
  string(REGEX REPLACE "(${line})" "\\1\"\n     \"" escaped "${escaped}")
  string(APPEND table "    {\"${name}\"sv, \"${type}\"sv,\n     \"${escaped}\"sv},\n")
endforeach()

set(source "// Generated from web/assets/ by web/EmbedAssets.cmake at build time; edit the assets instead.
#include <string_view>

#include \"web/Assets.h\"

namespace orvo::web {

namespace {

using namespace std::string_view_literals;

constexpr Asset kAssets[] = {
${table}};

}  // namespace

const Asset* FindAsset(std::string_view name) {
  for (const Asset& asset : kAssets) {
    if (asset.name == name) {
      return &asset;
    }
  }
  return nullptr;
}

}  // namespace orvo::web
")

file(WRITE "${OUTPUT}" "${source}")
