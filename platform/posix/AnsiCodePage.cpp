#include <iconv.h>

#include <cerrno>
#include <stdexcept>

#include "platform/CodePage.h"
#include "platform/Utf8Units.h"

namespace orvo::platform {
namespace {

// Hosts without an ANSI code page of their own use the one of the Chinese Windows clients.
constexpr char kAnsiCharset[] = "CP936";

class Iconv {
 public:
  Iconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {
    if (handle_ == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error("code page conversion unavailable");
  }
  ~Iconv() { iconv_close(handle_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts all of `in`; returns false when the input holds a sequence it cannot convert.
  bool Convert(std::string_view in, std::string& out) {
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    char buffer[64];
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
      char* dst = buffer;
      size_t dstLeft = sizeof buffer;
      const size_t rc = iconv(handle_, &src, &srcLeft, &dst, &dstLeft);
      out.append(buffer, sizeof buffer - dstLeft);
      if (rc == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    return true;
  }

 private:
  iconv_t handle_;
};

}  // namespace

unsigned AnsiCodePage() {
  return 936;
}

std::string Utf8ToAnsi(std::string_view utf8) {
  Iconv toAnsi(kAnsiCharset, "UTF-8");
  std::string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    // Plain ASCII runs need no conversion.
    if (static_cast<unsigned char>(utf8[pos]) < 0x80) {
      out += utf8[pos++];
      continue;
    }
    const size_t start = pos;
    const char32_t cp = DecodeOne(utf8, pos);
    if (cp == kReplacement || !toAnsi.Convert(utf8.substr(start, pos - start), out)) out += '?';
  }
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  Iconv toUtf8("UTF-8", kAnsiCharset);
  std::string out;
  out.reserve(ansi.size() * 3 / 2);
  size_t pos = 0;
  while (pos < ansi.size()) {
    const unsigned char b = static_cast<unsigned char>(ansi[pos]);
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++pos;
      continue;
    }
    // GBK is a double-byte code page: try two bytes, else give up one byte.
    if (pos + 1 < ansi.size() && toUtf8.Convert(ansi.substr(pos, 2), out)) {
      pos += 2;
    } else {
      AppendUtf8(out, kReplacement);
      ++pos;
    }
  }
  return out;
}

}  // namespace orvo::platform
