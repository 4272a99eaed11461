#include <stdexcept>

#include "platform/File.h"

namespace orvo::platform {
std::size_t File::Read(char*, std::size_t) { throw std::runtime_error("not available on Windows yet"); }
void File::WriteAll(const char*, std::size_t) { throw std::runtime_error("not available on Windows yet"); }
uint64_t File::Size() const { throw std::runtime_error("not available on Windows yet"); }
void File::Resize(uint64_t) { throw std::runtime_error("not available on Windows yet"); }
void File::Reserve(uint64_t) { throw std::runtime_error("not available on Windows yet"); }
void File::Sync() { throw std::runtime_error("not available on Windows yet"); }
void File::Close() {}
}  // namespace orvo::platform
