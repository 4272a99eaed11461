// The byte-order helpers against byte strings written out by hand, both ways round.
#include "platform/ByteOrder.h"

#include <gtest/gtest.h>

#include <string>

namespace orvo::platform {
namespace {

TEST(ByteOrder, ReadsAndWritesEachWidthInEachOrder) {
  const std::string bytes("\x01\x02\x03\x04\x05\x06\x07\xF8", 8);
  EXPECT_EQ(LoadLe16(bytes), 0x0201u);
  EXPECT_EQ(LoadLe32(bytes), 0x04030201u);
  EXPECT_EQ(LoadLe32(bytes, 4), 0xF8070605u) << "a high top byte stays unsigned";
  EXPECT_EQ(LoadLe64(bytes), 0xF807060504030201u);
  EXPECT_EQ(LoadBe32(bytes), 0x01020304u);
  EXPECT_EQ(LoadBe32(bytes, 4), 0x050607F8u);

  EXPECT_EQ(Le32Bytes(0x04030201u), bytes.substr(0, 4));
  EXPECT_EQ(Be32Bytes(0x01020304u), bytes.substr(0, 4));
  std::string out;
  AppendLe<uint16_t>(out, 0x0201);
  AppendLe<uint64_t>(out, 0xF807060504030201u);
  EXPECT_EQ(out, bytes.substr(0, 2) + bytes);
  EXPECT_EQ(LoadLe32(Le32Bytes(0xFFFFFFFFu)), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace orvo::platform
