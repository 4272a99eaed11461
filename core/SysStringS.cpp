#include "core/SysStringS.h"

#include <stdexcept>

#include "core/TextList.h"
#include "platform/CodePage.h"

namespace orvo::core {

void TSysStringS::Add(const std::string& value) {
  std::lock_guard guard(FLock);
  FItems.push_back(value);
  if (FItems.size() > kMaxLines) FItems.pop_front();
}

void TSysStringS::Delete(std::size_t index) {
  std::lock_guard guard(FLock);
  if (index >= FItems.size()) throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(index));
}

void TSysStringS::Clear() {
  std::lock_guard guard(FLock);
  FItems.clear();
}

std::size_t TSysStringS::Count() const {
  std::lock_guard guard(FLock);
  return FItems.size();
}

std::string TSysStringS::Strings(std::size_t index) const {
  std::lock_guard guard(FLock);
  if (index >= FItems.size()) throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  return FItems[index];
}

std::string TSysStringS::Text() const {
  std::lock_guard guard(FLock);
  std::string text;
  for (const auto& line : FItems) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void TSysStringS::Savetostream(std::string& stream) const {
  std::lock_guard guard(FLock);
  if (platform::AnsiCodePage() == 65001) stream += "\xEF\xBB\xBF";
  for (const auto& line : FItems) AppendTextListLine(stream, line);
}

TSysStringS& SysLog() {
  static TSysStringS log;
  return log;
}

}  // namespace orvo::core
