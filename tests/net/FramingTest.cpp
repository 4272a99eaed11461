#include <gtest/gtest.h>

#include "net/Framing.h"
#include "tests/support/MemoryStream.h"

namespace orvo::net {
namespace {

using orvo::testing::MemoryStream;

class StringSink final : public ByteSink {
 public:
  void Reserve(uint64_t size) override { reserved = size; }
  void Write(const char* data, std::size_t size) override { bytes.append(data, size); }
  uint64_t reserved = 0;
  std::string bytes;
};

std::string ReadLine(MemoryStream& stream) {
  Connection connection(stream);
  return ReadCommandLine(connection);
}

TEST(CommandLine, LengthLimitCountsBytesBeforeTheTerminator) {
  MemoryStream atLimit(std::string(kMaxCommandLineBytes, 'x') + "\r\n");
  EXPECT_EQ(ReadLine(atLimit).size(), kMaxCommandLineBytes);

  MemoryStream overLimit(std::string(kMaxCommandLineBytes + 1, 'x') + "\r\n");
  EXPECT_THROW(ReadLine(overLimit), FramingError);

  // Multi-byte characters count by their bytes: 5462 * 3 = 16386 bytes.
  std::string wide;
  for (int i = 0; i < 5462; ++i) wide += "中";
  MemoryStream wideLine(wide + "\r\n");
  EXPECT_THROW(ReadLine(wideLine), FramingError);
}

TEST(CommandLine, EndlessLineWithoutTerminatorFailsWithoutReadingForever) {
  MemoryStream stream(std::string(200000, 'a'));
  EXPECT_THROW(ReadLine(stream), FramingError);
  EXPECT_LT(stream.Receives(), 3u) << "must stop once the limit is passed";
}

TEST(CommandLine, TerminatorSplitAcrossReceivesEndsTheLine) {
  MemoryStream stream;
  stream.Feed("LIST /a\r");
  stream.Feed("\nrest");
  Connection connection(stream);
  EXPECT_EQ(ReadCommandLine(connection), "LIST /a");
  EXPECT_EQ(connection.Input(), "rest");
}

TEST(CommandLine, OneByteAtATimeStillFindsTheLine) {
  MemoryStream stream;
  stream.Feed("GET /x y\r\n", 1);
  EXPECT_EQ(ReadLine(stream), "GET /x y");
}

TEST(CommandLine, BareLfIsAnOrdinaryCharacterAndCloseBeforeCrLfFails) {
  MemoryStream stream("LIST /a\n");
  EXPECT_THROW(ReadLine(stream), FramingError);
  MemoryStream withLf("A\nB\r\n");
  EXPECT_EQ(ReadLine(withLf), "A\nB");
}

TEST(CommandLine, EmptyLineBomAndInvalidBytes) {
  MemoryStream empty("\r\n");
  EXPECT_EQ(ReadLine(empty), "");
  MemoryStream bom("\xEF\xBB\xBFLIST\r\n");
  EXPECT_EQ(ReadLine(bom), "\xEF\xBB\xBFLIST");
  MemoryStream invalid("GET /a\xFF\r\n");
  EXPECT_EQ(ReadLine(invalid), "GET /a\xEF\xBF\xBD");
}

TEST(CountedBlock, SendsBigEndianCountThenPayload) {
  MemoryStream stream;
  Connection connection(stream);
  SendTextList(connection, {"a", "b"});
  EXPECT_EQ(stream.Output(), std::string("\x00\x00\x00\x06"
                                         "a\r\nb\r\n",
                                         10));
  MemoryStream empty;
  Connection emptyConnection(empty);
  SendTextList(emptyConnection, {});
  EXPECT_EQ(empty.Output(), std::string(4, '\0'));
}

TEST(CountedBlock, PutLineAndBlockInOneWriteAreReadFromTheInputBufferFirst) {
  MemoryStream stream(std::string("PUT /f\r\n\x00\x00\x00\x05hello", 17));
  Connection connection(stream);
  EXPECT_EQ(ReadCommandLine(connection), "PUT /f");
  StringSink sink;
  EXPECT_EQ(ReceiveCountedBlock(connection, sink), BlockEnd::Counted);
  EXPECT_EQ(sink.bytes, "hello");
  EXPECT_EQ(sink.reserved, 5u);
}

TEST(CountedBlock, ZeroCountReadsNothingMore) {
  MemoryStream stream(
      std::string("\x00\x00\x00\x00"
                  "extra",
                  9));
  Connection connection(stream);
  StringSink sink;
  EXPECT_EQ(ReceiveCountedBlock(connection, sink), BlockEnd::Counted);
  EXPECT_EQ(sink.bytes, "");
}

TEST(CountedBlock, TopBitCountRunsUntilThePeerCloses) {
  for (const std::string& count :
       {std::string("\xFF\xFF\xFF\xFF"), std::string("\x80\x00\x00\x00", 4)}) {
    MemoryStream stream;
    stream.Feed(count + "first");
    stream.Feed(std::string(100000, 'z'));
    Connection connection(stream);
    StringSink sink;
    EXPECT_EQ(ReceiveCountedBlock(connection, sink), BlockEnd::UntilClose);
    EXPECT_EQ(sink.bytes.size(), 100005u);
  }
}

TEST(CountedBlock, EarlyCloseKeepsWhatArrivedAndFails) {
  MemoryStream stream(std::string("\x00\x00\x13\x88", 4) + std::string(1000, 'q'));
  Connection connection(stream);
  StringSink sink;
  try {
    ReceiveCountedBlock(connection, sink);
    FAIL() << "an early close must fail";
  } catch (const FramingError& e) {
    EXPECT_STREQ(e.what(), "connection closed after 1000 of 5000 bytes");
  }
  EXPECT_EQ(sink.bytes.size(), 1000u);
}

TEST(CountedBlock, CloseInsideTheCountFails) {
  MemoryStream stream(std::string("\x00\x00", 2));
  Connection connection(stream);
  StringSink sink;
  EXPECT_THROW(ReceiveCountedBlock(connection, sink), FramingError);
}

TEST(CountedBlock, AbortedUntilCloseUploadIsAFailureNotAnEnd) {
  MemoryStream stream(
      std::string("\xFF\xFF\xFF\xFF"
                  "abc"));
  stream.AbortAfterInput();
  Connection connection(stream);
  StringSink sink;
  EXPECT_THROW(ReceiveCountedBlock(connection, sink), ConnectionError);
}

TEST(RawBlock, SendsBytesUnchanged) {
  MemoryStream stream;
  Connection connection(stream);
  WriteRawBytes(connection, std::string(4, '\0'));
  EXPECT_EQ(stream.Output(), std::string(4, '\0'));
}

}  // namespace
}  // namespace orvo::net
