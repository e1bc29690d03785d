// Throughput of the content transfer coders, with OpenSSL's base64 block coder on the same data
// as the reference. Bytes processed are counted on the unencoded side.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "message/coders.h"

namespace mailferry {
namespace {

constexpr std::size_t kDataSize = 1 << 20;
constexpr std::size_t kChunk = 57;  // the writer's base64 chunk: one 76-character line

const std::string& RandomBytes() {
  static const std::string data = [] {
    std::mt19937 rng(42);
    std::string bytes(kDataSize, '\0');
    for (char& c : bytes) c = static_cast<char>(rng() & 0xFF);
    return bytes;
  }();
  return data;
}

// The random data as 76-character base64 lines, as the reader gets them.
const std::vector<std::string>& Base64Lines() {
  static const std::vector<std::string> lines = [] {
    std::vector<std::string> out;
    const std::string& data = RandomBytes();
    for (std::size_t i = 0; i < data.size(); i += kChunk) {
      out.push_back(Base64Encode(std::string_view(data).substr(i, kChunk)));
    }
    return out;
  }();
  return lines;
}

// Mostly Latin text with some 8-bit letters and an occasional "=", in lines of 60 to 100
// bytes, each followed by CR LF as the writer passes them.
const std::vector<std::string>& TextLines() {
  static const std::vector<std::string> lines = [] {
    std::vector<std::string> out;
    std::mt19937 rng(7);
    const std::string alphabet =
        "abcdefghijklmnopqrstuvwxyz abcdefghijklmnopqrstuvwxyz ABCDEFGHIJ.,;=\xE4\xF6\xFC\xDF";
    std::size_t total = 0;
    while (total < kDataSize) {
      std::string line;
      const std::size_t length = 60 + rng() % 41;
      for (std::size_t i = 0; i < length; ++i) line.push_back(alphabet[rng() % alphabet.size()]);
      line += "\r\n";
      total += line.size();
      out.push_back(std::move(line));
    }
    return out;
  }();
  return lines;
}

void BM_Base64Encode(benchmark::State& state) {
  const std::string_view data = RandomBytes();
  for (auto _ : state) {
    for (std::size_t i = 0; i < data.size(); i += kChunk) {
      std::string line = Base64Encode(data.substr(i, kChunk));
      benchmark::DoNotOptimize(line.data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_Base64Encode);

void BM_OpenSSLEncodeBlock(benchmark::State& state) {
  const std::string_view data = RandomBytes();
  const auto* in = reinterpret_cast<const unsigned char*>(data.data());
  unsigned char out[80];
  for (auto _ : state) {
    for (std::size_t i = 0; i < data.size(); i += kChunk) {
      const int n = static_cast<int>(std::min(kChunk, data.size() - i));
      benchmark::DoNotOptimize(EVP_EncodeBlock(out, in + i, n));
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_OpenSSLEncodeBlock);

void BM_Base64Decode(benchmark::State& state) {
  const auto& lines = Base64Lines();
  for (auto _ : state) {
    for (const std::string& line : lines) {
      std::string bytes = Base64Decode(line);
      benchmark::DoNotOptimize(bytes.data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * RandomBytes().size()));
}
BENCHMARK(BM_Base64Decode);

void BM_OpenSSLDecodeBlock(benchmark::State& state) {
  const auto& lines = Base64Lines();
  unsigned char out[80];
  for (auto _ : state) {
    for (const std::string& line : lines) {
      benchmark::DoNotOptimize(EVP_DecodeBlock(
          out, reinterpret_cast<const unsigned char*>(line.data()), static_cast<int>(line.size())));
      benchmark::ClobberMemory();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * RandomBytes().size()));
}
BENCHMARK(BM_OpenSSLDecodeBlock);

// The whole megabyte as one block: the coders' own speed, without a per-call allocation
// dominating.
void BM_Base64EncodeBlock(benchmark::State& state) {
  const std::string& data = RandomBytes();
  for (auto _ : state) {
    std::string text = Base64Encode(data);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_Base64EncodeBlock);

void BM_OpenSSLEncodeBlockWhole(benchmark::State& state) {
  const std::string& data = RandomBytes();
  std::vector<unsigned char> out(data.size() / 3 * 4 + 8);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(),
                                             reinterpret_cast<const unsigned char*>(data.data()),
                                             static_cast<int>(data.size())));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_OpenSSLEncodeBlockWhole);

void BM_Base64DecodeBlock(benchmark::State& state) {
  static const std::string text = Base64Encode(RandomBytes());
  for (auto _ : state) {
    std::string bytes = Base64Decode(text);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * RandomBytes().size()));
}
BENCHMARK(BM_Base64DecodeBlock);

void BM_OpenSSLDecodeBlockWhole(benchmark::State& state) {
  static const std::string text = Base64Encode(RandomBytes());
  std::vector<unsigned char> out(text.size() / 4 * 3 + 8);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_DecodeBlock(out.data(),
                                             reinterpret_cast<const unsigned char*>(text.data()),
                                             static_cast<int>(text.size())));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * RandomBytes().size()));
}
BENCHMARK(BM_OpenSSLDecodeBlockWhole);

void BM_QPEncode(benchmark::State& state) {
  const auto& lines = TextLines();
  std::size_t bytes = 0;
  for (const auto& line : lines) bytes += line.size();
  for (auto _ : state) {
    for (const std::string& line : lines) {
      std::string encoded = QPEncode(line);
      benchmark::DoNotOptimize(encoded.data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_QPEncode);

void BM_QPDecode(benchmark::State& state) {
  // The encoded text split into physical lines, as the reader passes them.
  static const std::vector<std::string> encoded_lines = [] {
    std::vector<std::string> out;
    for (const auto& line : TextLines()) {
      const std::string encoded = QPEncode(line);
      std::size_t start = 0;
      while (start < encoded.size()) {
        const std::size_t end = encoded.find("\r\n", start) + 2;
        out.push_back(encoded.substr(start, end - start));
        start = end;
      }
    }
    return out;
  }();
  std::size_t bytes = 0;
  for (const auto& line : TextLines()) bytes += line.size();
  for (auto _ : state) {
    for (const std::string& line : encoded_lines) {
      std::string decoded = QPDecode(line);
      benchmark::DoNotOptimize(decoded.data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_QPDecode);

}  // namespace
}  // namespace mailferry

BENCHMARK_MAIN();
