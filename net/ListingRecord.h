// The listing record of a LIST reply as clients read it: the same layout the server writes
// (platform/FindData.h), under the names the client code uses.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/FindData.h"

namespace orvo::net {

using ListingEntry = platform::FindData;
inline constexpr std::size_t kListingRecordBytes = platform::kFindDataBytes;

inline ListingEntry DecodeListingRecord(std::string_view record) {
  return platform::DecodeFindData(record);
}
using platform::FileTimeToUnixSeconds;

}  // namespace orvo::net
