// The compiled-in assets match web/assets/, every asset a page or script names is there, and no
// asset holds what the portal's Content-Security-Policy would block (outside URLs, inline scripts
// or styles, event-handler attributes), so a page never breaks silently in the browser.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "web/Assets.h"

namespace {

namespace fs = std::filesystem;
using orvo::web::FindAsset;

std::vector<fs::path> AssetFiles() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(ORVO_WEB_ASSET_DIR)) {
    files.push_back(entry.path());
  }
  return files;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Assets, EveryFileIsCompiledInWithItsBytesAndContentType) {
  const std::map<std::string, std::string> types = {
      {".html", "text/html; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".svg", "image/svg+xml"},
  };
  const auto files = AssetFiles();
  ASSERT_FALSE(files.empty());
  for (const auto& file : files) {
    const std::string name = file.filename().string();
    const auto* asset = FindAsset(name);
    ASSERT_NE(asset, nullptr) << name << " is in web/assets/ but not in the program";
    EXPECT_EQ(asset->name, name);
    EXPECT_EQ(asset->body, ReadFile(file)) << name;
    EXPECT_EQ(asset->contentType, types.at(file.extension().string())) << name;
  }
  EXPECT_EQ(FindAsset("missing.html"), nullptr);
  EXPECT_EQ(FindAsset(""), nullptr);
  EXPECT_EQ(FindAsset("../login.html"), nullptr);
}

TEST(Assets, EveryReferencedAssetExists) {
  const std::regex reference(R"(/assets/([A-Za-z0-9._-]+))");
  int references = 0;
  for (const auto& file : AssetFiles()) {
    const std::string text = ReadFile(file);
    for (std::sregex_iterator it(text.begin(), text.end(), reference), end; it != end; ++it) {
      ++references;
      EXPECT_NE(FindAsset((*it)[1].str()), nullptr)
          << file.filename() << " names /assets/" << (*it)[1].str();
    }
  }
  EXPECT_GT(references, 0) << "the pages name their scripts and styles under /assets/";
}

// What the policy `default-src 'none'; script-src 'self'; style-src 'self'; ...` would block.
TEST(Assets, NothingTheContentSecurityPolicyBlocks) {
  // A standalone SVG needs its namespace name, which is never fetched.
  const std::regex svgNamespace(R"(xmlns="http://www\.w3\.org/2000/svg")");
  const std::regex outsideUrl(R"(https?://)", std::regex::icase);
  const std::regex scriptTag(R"(<script\b([^>]*)>([\s\S]*?)</script>)", std::regex::icase);
  const std::regex markupBlocked(R"(<style\b|\sstyle\s*=|\son[a-z]+\s*=|javascript:)",
                                 std::regex::icase);
  for (const auto& file : AssetFiles()) {
    const std::string name = file.filename().string();
    const std::string text = std::regex_replace(ReadFile(file), svgNamespace, "");
    EXPECT_FALSE(std::regex_search(text, outsideUrl)) << name << " holds an outside URL";
    const auto ext = file.extension();
    if (ext != ".html" && ext != ".svg") {
      continue;
    }
    std::smatch match;
    EXPECT_FALSE(std::regex_search(text, match, markupBlocked))
        << name << " holds " << match.str() << ", which the policy blocks";
    for (std::sregex_iterator it(text.begin(), text.end(), scriptTag), end; it != end; ++it) {
      EXPECT_NE((*it)[1].str().find("src=\"/assets/"), std::string::npos)
          << name << ": a script not loaded from /assets/";
      EXPECT_EQ((*it)[2].str().find_first_not_of(" \t\r\n"), std::string::npos)
          << name << ": an inline script body";
    }
  }
}

}  // namespace
