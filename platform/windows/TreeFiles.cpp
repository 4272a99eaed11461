#include "platform/TreeFiles.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "platform/windows/FindRecord.h"
#include "platform/windows/WideText.h"

namespace orvo::platform {
namespace {

struct CloseFind {
  void operator()(HANDLE find) const { FindClose(find); }
};

}  // namespace

void ForEachFileBelow(const std::string& folder,
                      const std::function<void(const TreeFile&)>& visit) {
  // Folders still to read, so the depth of the tree costs no stack.
  std::vector<std::wstring> pending{Wide(folder)};
  while (!pending.empty()) {
    std::wstring current = std::move(pending.back());
    pending.pop_back();
    if (!current.empty() && current.back() != L'\\') current += L'\\';
    WIN32_FIND_DATAW entry{};
    const HANDLE find = FindFirstFileExW((current + L"*").c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) continue;
    const std::unique_ptr<void, CloseFind> closer(find);
    do {
      if (IsDotEntry(entry.cFileName)) continue;
      // Links and junctions are taken as themselves: neither entered nor counted.
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
      const std::wstring path = current + entry.cFileName;
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        pending.push_back(path);
        continue;
      }
      const std::string text = Narrow(path);
      const std::string name = Narrow(entry.cFileName);
      visit({text, name, (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow});
    } while (FindNextFileW(find, &entry));
  }
}

}  // namespace orvo::platform
