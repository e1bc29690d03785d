// ReadLine throughput over a loopback connection against the raw receive rate of the same bytes.
// A scripted server sends 80-byte lines (78 characters and CR LF), 51.2 MB per run, and closes.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/socket_stack.h"
#include "support/scripted_server.h"
#include "transport/tcp_client.h"
#include "transport/transport_exceptions.h"

namespace mailferry {
namespace {

constexpr int kLineLength = 80;
constexpr int kLinesPerBlock = 400;  // 32000 bytes per send
constexpr std::int64_t kBlocks = 1600;
constexpr std::int64_t kTotalBytes = std::int64_t{kLineLength} * kLinesPerBlock * kBlocks;

std::string Block() {
  std::string block;
  for (int i = 0; i < kLinesPerBlock; ++i) {
    std::string line = "line " + std::to_string(i) + " ";
    line.resize(kLineLength - 2, 'x');
    block += line + "\r\n";
  }
  return block;
}

std::unique_ptr<testing::ScriptedServer> StartSender() {
  auto server = std::make_unique<testing::ScriptedServer>();
  server->Accept().SendRepeated(Block(), kBlocks).Close();
  server->Start();
  return server;
}

void BM_ReadLine(benchmark::State& state) {
  std::int64_t lines = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto server = StartSender();
    TMfTCPClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(server->port());
    client.OpenConnection();
    state.ResumeTiming();
    try {
      for (;;) {
        benchmark::DoNotOptimize(client.ReadLine());
        ++lines;
      }
    } catch (const EMfConnClosedGracefully&) {
    }
    state.PauseTiming();
    client.CloseConnection();
    server->Finish();
    state.ResumeTiming();
  }
  if (lines != state.iterations() * kLinesPerBlock * kBlocks) state.SkipWithError("lines lost");
  state.SetBytesProcessed(state.iterations() * kTotalBytes);
}
BENCHMARK(BM_ReadLine)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same bytes received into one 32 KiB buffer, without looking at them.
void BM_RawReceive(benchmark::State& state) {
  auto stack = CreateSystemSocketStack();
  std::vector<char> buffer(32768);
  std::int64_t received = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto server = StartSender();
    SocketErrorCode error = 0;
    const SocketHandle socket = stack->CreateSocket(&error);
    if (stack->Connect(socket, "127.0.0.1", server->port(), 0) != 0) {
      state.SkipWithError("cannot connect");
      break;
    }
    state.ResumeTiming();
    for (;;) {
      const auto count = stack->Receive(socket, buffer.data(), buffer.size(), &error);
      if (count <= 0) break;
      received += count;
    }
    state.PauseTiming();
    stack->Close(socket);
    server->Finish();
    state.ResumeTiming();
  }
  if (received != state.iterations() * kTotalBytes) state.SkipWithError("bytes lost");
  state.SetBytesProcessed(state.iterations() * kTotalBytes);
}
BENCHMARK(BM_RawReceive)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace mailferry

BENCHMARK_MAIN();
