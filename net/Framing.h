// The byte-exact units on a service connection: the command line, the counted block (4-byte
// big-endian count, then the payload), the raw block and the text list. Handlers never touch bytes
// themselves; they call these. Every function raises ConnectionError (or FramingError) on failure,
// which ends the command; nothing is sent after a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/Connection.h"
#include "platform/File.h"

namespace orvo::net {

class FramingError : public ConnectionError {
 public:
  using ConnectionError::ConnectionError;
};

// Longest command line accepted, in bytes before its CR LF; it bounds a line's memory.
inline constexpr std::size_t kMaxCommandLineBytes = 16384;
// Largest payload a counted block may announce: the count is 32 bits and its top bit is reserved
// for the until-close form.
inline constexpr uint64_t kMaxCountedBlockBytes = 0x7FFFFFFFu;
// Receives and file reads move at most this many bytes at a time.
inline constexpr std::size_t kPieceBytes = ByteStream::kPieceBytes;

// Reads the command text up to the first CR LF, decoded as UTF-8 (invalid bytes become U+FFFD).
// Fails when the line passes kMaxCommandLineBytes or the peer goes before the CR LF.
std::string ReadCommandLine(Connection& connection);

void SendCountedBlock(Connection& connection, std::string_view payload);
// Sends `file` from its current position to its end as one counted block, in pieces.
void SendCountedBlock(Connection& connection, platform::File& file);

// Where a received counted block goes.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Called once before the bytes of a counted (not until-close) block.
  virtual void Reserve(uint64_t size) = 0;
  virtual void Write(const char* data, std::size_t size) = 0;
};

enum class BlockEnd { Counted, UntilClose };

// Reads one counted block into `sink`. A count with the top bit set means every byte until the
// peer closes. Fails (after the bytes that did arrive were written) when the peer breaks off early.
BlockEnd ReceiveCountedBlock(Connection& connection, ByteSink& sink);

void SendTextList(Connection& connection, const std::vector<std::string>& lines);

void WriteRawBytes(Connection& connection, std::string_view bytes);

// The 4-byte big-endian count that starts a counted block.
std::string EncodeCount(uint32_t count);

}  // namespace orvo::net
