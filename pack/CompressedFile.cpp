#include "pack/CompressedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace orvo::pack {
namespace {

constexpr std::size_t kReadBytes = 256u << 10;
constexpr std::size_t kOutBytes = 128u << 10;

std::string Reason(int error) {
  return std::strerror(error);
}

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

// An unnamed file in `folder`, gone with its last descriptor; where the file system cannot make
// one, a named file removed at once.
platform::File OpenSpillFile(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    std::string name = folder + "/.orvo-pack-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
  }
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "temporary file");
  return platform::File(fd);
}

}  // namespace

CompressOutcome CompressFile(const std::string& path, const CompressSettings& settings,
                             std::string& buffer, const std::atomic<bool>& cancel) {
  using Kind = CompressFailure::Kind;
  // Non-blocking, so that a named pipe in the tree cannot hold the packing up; a plain file reads
  // the same either way.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return Failed(Kind::Open, Reason(errno));
  platform::File input(fd);
  struct stat status {};
  if (::fstat(fd, &status) != 0) return Failed(Kind::Open, Reason(errno));
  if (S_ISDIR(status.st_mode)) return Failed(Kind::Open, Reason(EISDIR));
  if (!S_ISREG(status.st_mode)) return Failed(Kind::Open, "Not a regular file");
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

  RawDeflate deflater;
  if (!deflater.Ok()) return Failed(Kind::Read, "Out of memory");
  z_stream& z = deflater.Stream();

  CompressedFile result;
  const uint64_t expected = static_cast<uint64_t>(status.st_size);
  result.head.reserve(static_cast<std::size_t>(std::min<uint64_t>(
      ::deflateBound(&z, static_cast<uLong>(std::min<uint64_t>(expected, 1u << 30))),
      settings.memoryBytes)));
  buffer.resize(kReadBytes);
  std::string out(kOutBytes, '\0');
  uLong crc = ::crc32_z(0, nullptr, 0);

  // Appends what deflate produced, to memory while the share lasts and to the spill file after.
  auto keep = [&](std::size_t produced) {
    result.compressedSize += produced;
    if (!result.spill.IsOpen() && result.head.size() + produced <= settings.memoryBytes) {
      result.head.append(out.data(), produced);
      return;
    }
    if (!result.spill.IsOpen()) result.spill = OpenSpillFile(settings.spillFolder);
    result.spill.WriteAll(out.data(), produced);
  };

  bool finished = false;
  while (!finished) {
    if (cancel.load(std::memory_order_relaxed)) return Failed(Kind::Cancelled, {});
    std::size_t got = 0;
    try {
      got = input.Read(buffer.data(), buffer.size());
    } catch (const std::system_error& e) {
      return Failed(Kind::Read, Reason(e.code().value()));
    }
    crc = ::crc32_z(crc, reinterpret_cast<const Bytef*>(buffer.data()), got);
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
      return Failed(Kind::Spill, Reason(e.code().value()));
    }
  }
  result.crc = static_cast<uint32_t>(crc);
  if (result.spill.IsOpen() && ::lseek(result.spill.Native(), 0, SEEK_SET) != 0) {
    return Failed(Kind::Spill, Reason(errno));
  }
  CompressOutcome outcome;
  outcome.file = std::move(result);
  return outcome;
}

}  // namespace orvo::pack
