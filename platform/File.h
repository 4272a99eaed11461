// An open file owned by one thread: closed by its destructor on every path.
// Read and Write raise std::system_error on failure; Read returns 0 at the end of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace orvo::platform {

#ifdef _WIN32
using NativeFileHandle = void*;
#else
using NativeFileHandle = int;
#endif

class File {
 public:
  File() = default;
  explicit File(NativeFileHandle handle) : handle_(handle) {}
  ~File() { Close(); }
  File(File&& other) noexcept : handle_(std::exchange(other.handle_, kInvalid)) {}
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, kInvalid);
    }
    return *this;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool IsOpen() const { return handle_ != kInvalid; }
  NativeFileHandle Native() const { return handle_; }

  std::size_t Read(char* data, std::size_t size);
  void WriteAll(const char* data, std::size_t size);
  uint64_t Size() const;
  // Sets the size, taking or giving back space at the end.
  void Resize(uint64_t size);
  // Moves the position that Read and Write start at to `offset` bytes from the start.
  void Seek(uint64_t offset);
  void Sync();
  void Close();

 private:
#ifdef _WIN32
  static inline const NativeFileHandle kInvalid = nullptr;
#else
  static constexpr NativeFileHandle kInvalid = -1;
#endif
  NativeFileHandle handle_ = kInvalid;
};

}  // namespace orvo::platform
