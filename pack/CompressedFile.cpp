#include "pack/CompressedFile.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "pack/HostFiles.h"

namespace orvo::pack {
namespace {

constexpr std::size_t kReadBytes = 256u << 10;
constexpr std::size_t kOutBytes = 128u << 10;

CompressOutcome Failed(CompressFailure::Kind kind, std::string reason) {
  CompressOutcome outcome;
  outcome.failure = {kind, std::move(reason)};
  return outcome;
}

class RawDeflate {
 public:
  RawDeflate() {
    // Raw deflate (negative window bits): the zip entry carries no zlib header or trailer.
    ok_ = ::deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) ==
          Z_OK;
  }
  ~RawDeflate() {
    if (ok_) ::deflateEnd(&stream_);
  }
  RawDeflate(const RawDeflate&) = delete;
  RawDeflate& operator=(const RawDeflate&) = delete;

  bool Ok() const { return ok_; }
  z_stream& Stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

}  // namespace

CompressOutcome CompressFile(const std::string& path, const CompressSettings& settings,
                             std::string& buffer, const std::atomic<bool>& cancel) {
  using Kind = CompressFailure::Kind;
  uint64_t expected = 0;
  std::string reason;
  platform::File input = host::OpenToRead(path, expected, reason);
  if (!input.IsOpen()) return Failed(Kind::Open, std::move(reason));

  RawDeflate deflater;
  if (!deflater.Ok()) return Failed(Kind::Read, "Out of memory");
  z_stream& z = deflater.Stream();

  CompressedFile result;
  result.head.reserve(static_cast<std::size_t>(std::min<uint64_t>(
      ::deflateBound(&z, static_cast<uLong>(std::min<uint64_t>(expected, 1u << 30))),
      settings.memoryBytes)));
  buffer.resize(kReadBytes);
  std::string out(kOutBytes, '\0');
  uLong crc = ::crc32_z(0, nullptr, 0);
  std::optional<platform::Sha256> sha256;
  if (settings.sha256) sha256.emplace();

  // Appends what deflate produced, to memory while the share lasts and to the spill file after.
  auto keep = [&](std::size_t produced) {
    result.compressedSize += produced;
    if (!result.spill.IsOpen() && result.head.size() + produced <= settings.memoryBytes) {
      result.head.append(out.data(), produced);
      return;
    }
    if (!result.spill.IsOpen()) result.spill = host::OpenTemporary(settings.spillFolder);
    result.spill.WriteAll(out.data(), produced);
  };

  bool finished = false;
  while (!finished) {
    if (cancel.load(std::memory_order_relaxed)) return Failed(Kind::Cancelled, {});
    std::size_t got = 0;
    try {
      got = input.Read(buffer.data(), buffer.size());
    } catch (const std::system_error& e) {
      return Failed(Kind::Read, host::ErrorText(e.code()));
    }
    crc = ::crc32_z(crc, reinterpret_cast<const Bytef*>(buffer.data()), got);
    if (sha256) sha256->Update(buffer.data(), got);
    result.uncompressedSize += got;
    z.next_in = reinterpret_cast<Bytef*>(buffer.data());
    z.avail_in = static_cast<uInt>(got);
    const int flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
    try {
      do {
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        const int rc = ::deflate(&z, flush);
        if (rc == Z_STREAM_ERROR) return Failed(Kind::Read, "Compression failed");
        keep(out.size() - z.avail_out);
        finished = rc == Z_STREAM_END;
      } while (z.avail_out == 0 || (flush == Z_FINISH && !finished));
    } catch (const std::system_error& e) {
      return Failed(Kind::Spill, host::ErrorText(e.code()));
    }
  }
  result.crc = static_cast<uint32_t>(crc);
  if (sha256) result.sha256 = sha256->Final();
  if (result.spill.IsOpen()) {
    try {
      host::Rewind(result.spill);
    } catch (const std::system_error& e) {
      return Failed(Kind::Spill, host::ErrorText(e.code()));
    }
  }
  CompressOutcome outcome;
  outcome.file = std::move(result);
  return outcome;
}

CompressedFile CompressMemory(std::string_view content) {
  RawDeflate deflater;
  if (!deflater.Ok()) throw std::bad_alloc();
  z_stream& z = deflater.Stream();
  CompressedFile result;
  result.head.resize(::deflateBound(&z, static_cast<uLong>(content.size())));
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  z.avail_in = static_cast<uInt>(content.size());
  z.next_out = reinterpret_cast<Bytef*>(result.head.data());
  z.avail_out = static_cast<uInt>(result.head.size());
  // The bound leaves room for the whole stream, so one call ends it.
  if (::deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("Compression failed");
  result.head.resize(z.total_out);
  result.compressedSize = z.total_out;
  result.uncompressedSize = content.size();
  result.crc = static_cast<uint32_t>(::crc32_z(
      ::crc32_z(0, nullptr, 0), reinterpret_cast<const Bytef*>(content.data()), content.size()));
  return result;
}

}  // namespace orvo::pack
