#include "net/Framing.h"

#include <algorithm>
#include <memory>

#include "core/TextList.h"
#include "platform/ByteOrder.h"
#include "platform/CodePage.h"

namespace orvo::net {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Moves up to `size` bytes into `data`: first from the input buffer, then from the stream.
std::size_t ReadSome(Connection& connection, char* data, std::size_t size) {
  std::string& input = connection.Input();
  if (!input.empty()) {
    const std::size_t n = std::min(size, input.size());
    input.copy(data, n);
    input.erase(0, n);
    return n;
  }
  return connection.Stream().Receive(data, size);
}

void ReadExactly(Connection& connection, char* data, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const std::size_t n = ReadSome(connection, data + got, size - got);
    if (n == 0) throw FramingError("connection closed inside a count");
    got += n;
  }
}

}  // namespace

std::string EncodeCount(uint32_t count) {
  return platform::Be32Bytes(count);
}

std::string ReadCommandLine(Connection& connection) {
  std::string& buffer = connection.Input();
  std::unique_ptr<char[]> piece;
  std::size_t searchFrom = 0;
  for (;;) {
    const std::size_t end = buffer.find(kLineEnd, searchFrom);
    if (end != std::string::npos) {
      if (end > kMaxCommandLineBytes) throw FramingError("command line too long");
      std::string line = platform::SanitizeUtf8(std::string_view(buffer).substr(0, end));
      buffer.erase(0, end + kLineEnd.size());
      return line;
    }
    if (buffer.size() > kMaxCommandLineBytes + 1) throw FramingError("command line too long");
    // A CR at the end of this receive may meet its LF at the start of the next.
    searchFrom = buffer.empty() ? 0 : buffer.size() - 1;
    // Received into a scratch piece, not a grown buffer: an idle connection then keeps only the
    // bytes that arrived, not a zero-filled 32 KiB.
    if (!piece) piece = std::make_unique_for_overwrite<char[]>(kPieceBytes);
    const std::size_t n = connection.Stream().Receive(piece.get(), kPieceBytes);
    if (n == 0) throw FramingError("connection closed before the end of the command line");
    buffer.append(piece.get(), n);
  }
}

void SendCountedBlock(Connection& connection, std::string_view payload) {
  if (payload.size() > kMaxCountedBlockBytes)
    throw FramingError("payload too large for a counted block");
  std::string block = EncodeCount(static_cast<uint32_t>(payload.size()));
  // Small replies go out in one write, so the count and the payload share a segment.
  if (payload.size() <= kPieceBytes) {
    block.append(payload);
    connection.Stream().SendAll(block.data(), block.size());
    return;
  }
  ByteStream& stream = connection.Stream();
  stream.Cork(true);
  stream.SendAll(block.data(), block.size());
  stream.SendAll(payload.data(), payload.size());
  stream.Cork(false);
}

void SendCountedBlock(Connection& connection, platform::File& file) {
  const uint64_t size = file.Size();
  if (size > kMaxCountedBlockBytes) throw FramingError("file too large for a counted block");
  ByteStream& stream = connection.Stream();
  const std::string count = EncodeCount(static_cast<uint32_t>(size));
  stream.Cork(true);
  stream.SendAll(count.data(), count.size());
  const uint64_t sent = stream.SendFromFile(file, size);
  stream.Cork(false);
  if (sent < size) throw FramingError("file ended before its announced size");
}

BlockEnd ReceiveCountedBlock(Connection& connection, ByteSink& sink) {
  char header[4];
  ReadExactly(connection, header, sizeof header);
  const auto buffer = std::make_unique<char[]>(kPieceBytes);
  if (static_cast<unsigned char>(header[0]) & 0x80) {
    // Until-close form: everything up to the peer's close (orderly or reset) is the payload.
    for (;;) {
      const std::size_t n = ReadSome(connection, buffer.get(), kPieceBytes);
      if (n == 0) return BlockEnd::UntilClose;
      sink.Write(buffer.get(), n);
    }
  }
  const uint64_t size = platform::LoadBe32(std::string_view(header, sizeof header));
  sink.Reserve(size);
  uint64_t received = 0;
  while (received < size) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<uint64_t>(kPieceBytes, size - received));
    const std::size_t n = ReadSome(connection, buffer.get(), want);
    if (n == 0) {
      throw FramingError("connection closed after " + std::to_string(received) + " of " +
                         std::to_string(size) + " bytes");
    }
    sink.Write(buffer.get(), n);
    received += n;
  }
  return BlockEnd::Counted;
}

void SendTextList(Connection& connection, const std::vector<std::string>& lines) {
  SendCountedBlock(connection, core::EncodeTextList(lines));
}

void WriteRawBytes(Connection& connection, std::string_view bytes) {
  connection.Stream().SendAll(bytes.data(), bytes.size());
}

}  // namespace orvo::net
