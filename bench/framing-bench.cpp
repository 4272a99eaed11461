// In-process figures for the byte work of a request: reading a command line, sending a counted
// block, encoding a text list (UTF-8 to GBK) and decoding a LIST reply on the client side.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/TextList.h"
#include "net/Framing.h"
#include "net/OrvoClient.h"
#include "platform/ByteOrder.h"

namespace {

using orvo::net::ByteStream;
using orvo::net::Connection;

// Hands out one scripted input again and again and discards output.
class ReplayStream final : public ByteStream {
 public:
  explicit ReplayStream(std::string input) : input_(std::move(input)) {}
  void Rewind() { at_ = 0; }
  std::size_t Receive(char* data, std::size_t size) override {
    const std::size_t n = input_.copy(data, size, at_);
    at_ += n;
    return n;
  }
  // Copies what is sent, as a socket's send does into the kernel's buffer.
  void SendAll(const char* data, std::size_t size) override {
    if (scratch_.size() < size) scratch_.resize(size);
    std::memcpy(scratch_.data(), data, size);
    benchmark::ClobberMemory();
  }

 private:
  std::string input_;
  std::size_t at_ = 0;
  std::vector<char> scratch_;
};

void BM_ReadCommandLine(benchmark::State& state) {
  const std::string line =
      "LIST /srv/orvo/一班/张三/" + std::string(static_cast<std::size_t>(state.range(0)), 'a');
  ReplayStream stream(line + "\r\n");
  for (auto _ : state) {
    stream.Rewind();
    Connection connection(stream);
    benchmark::DoNotOptimize(orvo::net::ReadCommandLine(connection));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(line.size() + 2));
}
BENCHMARK(BM_ReadCommandLine)->Arg(16)->Arg(1024)->Arg(16000);

void BM_SendCountedBlockFromMemory(benchmark::State& state) {
  const std::string payload(static_cast<std::size_t>(state.range(0)), 'x');
  ReplayStream stream("");
  Connection connection(stream);
  for (auto _ : state) orvo::net::SendCountedBlock(connection, payload);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_SendCountedBlockFromMemory)->Arg(64)->Arg(1 << 20);

void BM_EncodeTextList(benchmark::State& state) {
  std::vector<std::string> lines;
  for (int i = 0; i < state.range(0); ++i)
    lines.push_back("GET /srv/orvo/一班/学生" + std::to_string(i) + "/作业.docx");
  for (auto _ : state) benchmark::DoNotOptimize(orvo::core::EncodeTextList(lines));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_EncodeTextList)->Arg(10)->Arg(1000);

void BM_DecodeListReply(benchmark::State& state) {
  const auto records = static_cast<std::size_t>(state.range(0));
  std::string record(orvo::net::kListingRecordBytes, '\0');
  record[0] = 0x20;
  for (int i = 0; i < 12; ++i) record[44 + 2 * i] = static_cast<char>('a' + i);
  const auto bytes = static_cast<uint32_t>(records * record.size());
  std::string reply = orvo::platform::Le32Bytes(bytes);
  for (std::size_t i = 0; i < records; ++i) reply += record;
  for (auto _ : state) benchmark::DoNotOptimize(orvo::net::DecodeListReply(reply));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_DecodeListReply)->Arg(10)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
