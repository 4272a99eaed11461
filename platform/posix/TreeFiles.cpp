#include "platform/TreeFiles.h"

#include <fts.h>
#include <sys/stat.h>

#include <memory>

namespace orvo::platform {
namespace {

struct CloseFts {
  void operator()(FTS* fts) const { ::fts_close(fts); }
};

}  // namespace

void ForEachFileBelow(const std::string& folder,
                      const std::function<void(const TreeFile&)>& visit) {
  std::string root = folder;
  char* const roots[] = {root.data(), nullptr};
  // fts reads each folder whole before going down, so a deep tree holds no descriptor per level.
  const std::unique_ptr<FTS, CloseFts> walk(::fts_open(roots, FTS_PHYSICAL | FTS_NOCHDIR, nullptr));
  if (!walk) return;
  while (const FTSENT* entry = ::fts_read(walk.get())) {
    if (entry->fts_info != FTS_F) continue;
    visit({std::string_view(entry->fts_path, entry->fts_pathlen),
           std::string_view(entry->fts_name, entry->fts_namelen),
           static_cast<uint64_t>(entry->fts_statp->st_size)});
  }
}

}  // namespace orvo::platform
