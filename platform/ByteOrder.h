// Reading and writing fixed-width unsigned integers in a given byte order, byte by byte, so the
// result does not depend on the host's own order or on alignment. Wire counts are big-endian,
// listing records, FIND_DATA fields and zip headers little-endian. Callers check that `bytes`
// holds `at + width` bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvo::platform {

template <typename T>
T LoadLe(std::string_view bytes, std::size_t at = 0) {
  T value = 0;
  for (std::size_t i = sizeof(T); i-- > 0;) {
    value = static_cast<T>(value << 8 | static_cast<unsigned char>(bytes[at + i]));
  }
  return value;
}

template <typename T>
T LoadBe(std::string_view bytes, std::size_t at = 0) {
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    value = static_cast<T>(value << 8 | static_cast<unsigned char>(bytes[at + i]));
  }
  return value;
}

// Appends the low sizeof(T) bytes of `value`.
template <typename T>
void AppendLe(std::string& out, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

template <typename T>
void AppendBe(std::string& out, T value) {
  for (std::size_t i = sizeof(T); i-- > 0;) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

// The low 2, 4 or 8 bytes of `value`: a record's field of that width, whatever type holds it.
inline void AppendLe16(std::string& out, uint64_t value) {
  AppendLe(out, static_cast<uint16_t>(value));
}
inline void AppendLe32(std::string& out, uint64_t value) {
  AppendLe(out, static_cast<uint32_t>(value));
}
inline void AppendLe64(std::string& out, uint64_t value) {
  AppendLe(out, value);
}

inline uint16_t LoadLe16(std::string_view bytes, std::size_t at = 0) {
  return LoadLe<uint16_t>(bytes, at);
}
inline uint32_t LoadLe32(std::string_view bytes, std::size_t at = 0) {
  return LoadLe<uint32_t>(bytes, at);
}
inline uint64_t LoadLe64(std::string_view bytes, std::size_t at = 0) {
  return LoadLe<uint64_t>(bytes, at);
}
inline uint32_t LoadBe32(std::string_view bytes, std::size_t at = 0) {
  return LoadBe<uint32_t>(bytes, at);
}

// The four bytes of a count, as the wire carries it.
inline std::string Le32Bytes(uint32_t value) {
  std::string out;
  AppendLe(out, value);
  return out;
}
inline std::string Be32Bytes(uint32_t value) {
  std::string out;
  AppendBe(out, value);
  return out;
}

}  // namespace orvo::platform
