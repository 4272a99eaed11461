// SHA-256 against the published test vectors, fed whole and in uneven pieces, and on Linux against
// sha256sum over a file of a few megabytes.
#include "platform/Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "tests/support/TempDir.h"

#ifndef _WIN32
#include "tests/support/Process.h"
#endif

namespace orvo::platform {
namespace {

std::string DigestOf(const std::string& data, std::size_t piece) {
  Sha256 sha;
  for (std::size_t at = 0; at < data.size(); at += piece) {
    sha.Update(data.data() + at, std::min(piece, data.size() - at));
  }
  return HexDigest(sha.Final());
}

TEST(Sha256Test, KnownVectorsWholeAndInPieces) {
  struct Case {
    std::string data;
    const char* digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.data.substr(0, 20));
    for (const std::size_t piece : {std::size_t{1} << 20, std::size_t{7}, std::size_t{64}}) {
      if (piece < 64 && c.data.size() > 1000) continue;  // a million one-byte calls add nothing
      EXPECT_EQ(DigestOf(c.data, piece), c.digest) << "pieces of " << piece;
    }
  }
}

TEST(Sha256Test, FinalStartsOverOnAnEmptyStream) {
  Sha256 sha;
  sha.Update("abc", 3);
  EXPECT_EQ(HexDigest(sha.Final()),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(HexDigest(sha.Final()),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

#ifndef _WIN32
TEST(Sha256Test, AgreesWithSha256sumOverAGeneratedFile) {
  orvo::testing::TempDir dir;
  std::mt19937 random(11);
  std::string data(3 * 1024 * 1024 + 17, '\0');
  for (char& c : data) c = static_cast<char>(random() & 0xFF);
  const std::string path = dir.Write("data.bin", data);

  orvo::testing::Process sum("/usr/bin/sha256sum", {path});
  const orvo::testing::Outcome outcome = sum.Wait();
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(DigestOf(data, 100000), outcome.out.substr(0, 64));
}
#endif

}  // namespace
}  // namespace orvo::platform
