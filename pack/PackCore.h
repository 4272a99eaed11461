// The packing loop that PackFolder and PackEntries share: the archive created, the files of a
// source deflated by the pipeline and appended in order, the trailer, and the archive finished or
// removed. Internal to pack/.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "pack/FolderReader.h"
#include "pack/PackEntries.h"
#include "pack/Pipeline.h"

namespace orvo::pack {

// Records the failure's kind, its parts and its sentence for the error box.
void Fail(PackResult& result, PackError kind, const std::string& path, const std::string& reason);

// Makes the source once the archive exists, so that the source can leave the archive out.
using SourceMaker = std::function<FileSource(const LeaveOut& archive)>;

// PackEntries' contract, with the source made by `makeSource`.
PackResult PackInto(const std::string& archivePath, const SourceMaker& makeSource,
                    EntriesProgress& progress, const EntriesOptions& options,
                    const std::function<std::vector<MemoryEntry>()>& trailer);

}  // namespace orvo::pack
